// The upload of a deck for a share link, against a web service played by a
// cpp-httplib server in this process that takes the multipart body apart in
// the order it was sent.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <regex>
#include <thread>

#include "Common/FIFlashcardsDocument.h"
#include "app/net/AFHTTPRequestOperation.h"
#include "app/net/FCUploadAndCopyLinkOperation.h"
#include "app/net/SharingTestSupport.h"
#include "app/shell/FIAppDelegate.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "model/FCJSONAdditions.h"
#include "model/FCStudyStats.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Operation.h"
#include "platform/net/URLError.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"
#include "support/TestHTTPServer.h"

using memorant_test::backlogContains;
using memorant_test::runMainLoopUntil;
using memorant_test::ScopedServiceHost;
using memorant_test::TempDir;
using memorant_test::TestHTTPServer;

namespace {

struct Part {
    std::string name, fileName, type, content;
};

class UploadTest : public ::testing::Test {
protected:
    // What the server's handler reads and writes: declared before the server,
    // so that it outlives the server's threads.
    std::mutex mutex;
    std::vector<std::vector<Part>> uploads;  // one entry per request, parts in order
    int replyStatus = 200;
    std::string replyBody = "http://share.example/c/abc123";
    std::atomic<bool> stall{false};
    std::atomic<bool> trickle{false};
    std::atomic<bool> requestArrived{false};
    TestHTTPServer server;
    ScopedServiceHost host{"127.0.0.1:" + std::to_string(server.port())};
    TempDir dir;
    URL url = URL::fileURLWithPath(dir.file("World Capitals.flashcards"));
    std::shared_ptr<FIFlashcardsDocument> document;
    std::shared_ptr<OperationQueue> queue = OperationQueue::create("com.memorant.mobile.UploadSharedDeckQueue");

    void SetUp() override {
        queue->setMaxConcurrentOperationCount(1);
        FileManager::defaultManager().removeItemAtPath(FCUploadAndCopyLinkOperation::_apiKeyFileURL().path());
        server.server().Post("/share/upload.php", [this](const httplib::Request&, httplib::Response& res,
                                                         const httplib::ContentReader& reader) {
            std::vector<Part> parts;
            reader(
                [&](const httplib::MultipartFormData& part) {
                    parts.push_back({part.name, part.filename, part.content_type, {}});
                    return true;
                },
                [&](const char* data, size_t length) {
                    parts.back().content.append(data, length);
                    return true;
                });
            {
                std::lock_guard lock(mutex);
                uploads.push_back(parts);
            }
            requestArrived = true;
            if (stall) server.stallUntilReleased(std::chrono::seconds(20));
            if (trickle) {
                // A byte every 20 ms: never silent, never done (gives up after 20 s).
                return res.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
                    if (offset >= 1000) return false;
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    return sink.write("h", 1);
                });
            }
            res.status = replyStatus;
            res.set_content(replyBody, "text/plain");
        });
        server.start();
        makeDocument();
    }
    void TearDown() override {
        server.release();
        if (document) {
            bool closed = false;
            document->closeWithCompletionHandler([&](bool) { closed = true; });
            EXPECT_TRUE(runMainLoopUntil([&] { return closed; }));
        }
    }

    bool call(const std::function<void(Document::Completion)>& start) {
        std::optional<bool> result;
        start([&](bool ok) { result = ok; });
        EXPECT_TRUE(runMainLoopUntil([&] { return result.has_value(); }));
        return result.value_or(false);
    }

    // A saved deck with a topic holding a studied card with an image and a
    // studied card at the top, and three attachments: two images and a file
    // of no known type.
    void makeDocument() {
        auto made = FIFlashcardsDocument::initNewDocumentWithFileURL(url);
        ASSERT_TRUE(call([&](auto done) { made->saveToURL(url, DocumentSaveOperation::ForCreating, done); }));
        ASSERT_TRUE(call([&](auto done) { made->closeWithCompletionHandler(done); }));
        document = FIFlashcardsDocument::initWithFileURL(url);
        ASSERT_TRUE(call([&](auto done) { document->openWithCompletionHandler(done); }));

        auto inTopic = FCStudyCard::studyCardWithTop("<img src=\"card-attachment://pic.png\">", "Paris", 2);
        inTopic->setLegacyIdentifier(std::string("card-in-topic"));
        auto stats = std::make_shared<FCStudyStats>();
        stats->addRating(1);
        stats->addRating(2);
        inTopic->setStudyStats(stats);
        inTopic->setReverseStudyStats(stats);
        auto topic = FCTopicCard::topicCardWithTitle("Europe <img src=\"card-attachment://photo.jpg\">", 1);
        topic->setLegacyIdentifier(std::string("topic"));
        topic->setCards({inTopic});
        auto top = FCStudyCard::studyCardWithTop("Capital of Peru?", "Lima", 3);
        top->setLegacyIdentifier(std::string("top-card"));
        top->setStudyStats(stats);
        auto deck = document->deck();
        deck->setCards({topic, top});
        deck->setLegacyIdentifier(std::string("my-deck"));
        deck->setStudyProgress(0.5);
        deck->setPreferredStudyDirection(2);
        deck->finishInitialization();
        document->addNewAttachmentWithData(Data(3000, 0x89), std::string("pic.png"));
        document->addNewAttachmentWithData(Data{0xff, 0xd8, 0xff}, std::string("photo.jpg"));
        document->addNewAttachmentWithData(Data{1, 2, 3}, std::string("notes.zzz"));
        save();
    }
    // Attachments reach the package folder that the upload reads with a save.
    void save() {
        // The additions are made on the file queue first.
        ASSERT_TRUE(
            call([&](auto done) { document->performAsynchronousFileAccessUsingBlock([done] { done(true); }); }));
        ASSERT_TRUE(document->hasUnsavedChanges());
        ASSERT_TRUE(call([&](auto done) { document->autosaveWithCompletionHandler(done); }));
    }

    std::shared_ptr<FCUploadAndCopyLinkOperation> makeOperation(std::set<std::string> images = {}) {
        auto operation = FCUploadAndCopyLinkOperation::create();
        operation->setDocument(document);
        operation->setIdentifier(std::string("UploadAndCopyLinkOperation"));
        operation->setIOSUserNameForSharing(std::string("Ada"));
        operation->setCardImageNames(std::move(images));
        return operation;
    }

    // Runs the operation on the upload queue until it has finished.
    void run(const std::shared_ptr<FCUploadAndCopyLinkOperation>& operation) {
        queue->addOperation(operation);
        ASSERT_TRUE(runMainLoopUntil([&] { return operation->isFinished(); }));
    }

    std::vector<Part> lastUpload() {
        std::lock_guard lock(mutex);
        return uploads.empty() ? std::vector<Part>() : uploads.back();
    }
    static const Part* partNamed(const std::vector<Part>& parts, const std::string& name) {
        for (const auto& part : parts)
            if (part.name == name) return &part;
        return nullptr;
    }
    static std::string genericMessage() { return "The deck could not be uploaded. Please try again later."; }
};

TEST_F(UploadTest, SendsTheFormFieldsTheCopyWithoutStatisticsAndTheImagesInOrder) {
    auto operation = makeOperation({"notes.zzz", "photo.jpg", "pic.png", "missing.png"});
    std::optional<std::string> handedLink;
    operation->setOnCurrentQueueDidFinishUploadWithLink([&](const std::string& link) { handedLink = link; });
    run(operation);

    EXPECT_EQ(operation->errorMessage(), std::nullopt);
    EXPECT_EQ(operation->sharedLink(), "http://share.example/c/abc123");
    EXPECT_EQ(handedLink, "http://share.example/c/abc123");
    EXPECT_EQ(operation->currentStep(), "Done uploading.");

    const std::vector<Part> parts = lastUpload();
    std::vector<std::string> names;
    for (const auto& part : parts) names.push_back(part.name);
    EXPECT_EQ(names, (std::vector<std::string>{"title", "ak", "av", "deckid", "numCards", "apiKey", "authorName",
                                               "appLanguage", "deckInfo", "cards", "firstCards", "cardImages[]",
                                               "cardImages[]"}));
    ASSERT_EQ(parts.size(), 13u);
    EXPECT_EQ(parts[0].content, "World Capitals");
    EXPECT_EQ(parts[1].content, "Memorant");
    EXPECT_EQ(parts[2].content, "200");
    EXPECT_TRUE(std::regex_match(parts[3].content, std::regex("[0-9a-f]{32}_l")));
    EXPECT_EQ(parts[4].content, "2");
    EXPECT_TRUE(
        std::regex_match(parts[5].content, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}")))
        << parts[5].content;
    EXPECT_EQ(parts[6].content, "Ada");
    EXPECT_EQ(parts[7].content, FIAppDelegate::currentAppLanguageCode());
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(parts[i].fileName, "") << parts[i].name;
    const std::vector<std::pair<std::string, std::string>> files{{"deck.json", "application/json"},
                                                                 {"cards.json", "application/json"},
                                                                 {"firstCards.json", "application/json"},
                                                                 {"photo.jpg", "image/jpeg"},
                                                                 {"pic.png", "image/png"}};
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(parts[8 + i].fileName, files[i].first);
        EXPECT_EQ(parts[8 + i].type, files[i].second);
    }
    EXPECT_EQ(parts[11].content, std::string("\xff\xd8\xff"));
    EXPECT_EQ(parts[12].content, std::string(3000, '\x89'));
    EXPECT_TRUE(backlogContains("Skipping invalid card image. Name: notes.zzz, mimeType: (null)"));
    EXPECT_TRUE(backlogContains("Skipping invalid card image. Name: missing.png"));

    // The deck that left: placeholder identifier, no progress or direction,
    // "_blank" links, fresh identifiers and no statistics anywhere.
    const auto deckInfo = objectFromJSONString(parts[8].content);
    ASSERT_TRUE(deckInfo && deckInfo->isDictionary());
    EXPECT_EQ((*deckInfo)["identifier"].stringValue(), "_blank");
    EXPECT_EQ((*deckInfo)["studyProgress"].doubleValue(-1), 0.0);
    EXPECT_EQ((*deckInfo)["preferredStudyDirection"].integerValue(-1), 0);
    for (const Part* part : {&parts[9], &parts[10]}) {
        SCOPED_TRACE(part->name);
        const auto cards = objectFromJSONString(part->content);
        ASSERT_TRUE(cards && cards->isArray());
        std::vector<std::string> texts, identifiers;
        std::function<void(const Value&)> walk = [&](const Value& list) {
            for (const Value& card : *list.asArray()) {
                identifiers.push_back(card["identifier"].stringValue());
                for (const char* key : {"top", "bottom", "title"})
                    if (card[key].isString()) texts.push_back(card[key].stringValue());
                for (const char* key : {"studystats", "reversestudystats"}) EXPECT_TRUE(card[key].isNull()) << key;
                if (card["cards"].isArray()) walk(card["cards"]);
            }
        };
        walk(*cards);
        EXPECT_NE(std::find(texts.begin(), texts.end(), "<img src=\"card-attachment:_blank/pic.png\">"), texts.end());
        EXPECT_NE(std::find(texts.begin(), texts.end(), "Europe <img src=\"card-attachment:_blank/photo.jpg\">"),
                  texts.end());
        EXPECT_EQ(part->content.find("pastResults"), std::string::npos);
        ASSERT_EQ(identifiers.size(), 3u);
        for (const auto& identifier : identifiers)
            EXPECT_TRUE(std::regex_match(identifier, std::regex("[0-9a-f]{32}"))) << identifier;
    }
    // The open deck itself is untouched.
    auto topic = std::dynamic_pointer_cast<FCTopicCard>(document->deck()->cards()[0]);
    ASSERT_TRUE(topic);
    auto inTopic = std::dynamic_pointer_cast<FCStudyCard>((*topic->cards())[0]);
    EXPECT_EQ(inTopic->top(), "<img src=\"card-attachment://pic.png\">");
    EXPECT_EQ(inTopic->legacyIdentifier(), "card-in-topic");
    EXPECT_EQ(inTopic->studyStats()->numberOfRatings(), 2);
    EXPECT_EQ(document->deck()->legacyIdentifier(), "my-deck");

    // Without images (and without a user name) exactly the eleven parts go.
    auto second = makeOperation();
    second->setIOSUserNameForSharing(std::nullopt);
    run(second);
    const std::vector<Part> plain = lastUpload();
    ASSERT_EQ(plain.size(), 11u);
    EXPECT_EQ(plain[10].name, "firstCards");
    EXPECT_EQ(plain[6].content, "Anonymous");
}

TEST_F(UploadTest, TheApiKeyIsMadeOnceMadeAgainWhenDeletedAndAnEmptyFileFails) {
    const std::string keyPath = FCUploadAndCopyLinkOperation::_apiKeyFileURL().path();
    EXPECT_EQ(keyPath, FIAppDelegate::applicationDataDirectoryURL().path() + "/apidata");
    auto keySent = [&] {
        auto operation = makeOperation();
        run(operation);
        const std::vector<Part> parts = lastUpload();
        const Part* key = partNamed(parts, "apiKey");
        return std::make_pair(operation, key ? key->content : std::string());
    };
    const auto [first, firstKey] = keySent();
    EXPECT_EQ(first->sharingApiKey(), firstKey);
    EXPECT_EQ(stringFromData(dataWithContentsOfFile(keyPath).value_or(Data())), firstKey);
    EXPECT_EQ(keySent().second, firstKey);

    FileManager::defaultManager().removeItemAtPath(keyPath);
    const std::string remade = keySent().second;
    EXPECT_EQ(remade.size(), 36u);
    EXPECT_NE(remade, firstKey);

    ASSERT_TRUE(writeDataAtomically(Data(), keyPath));
    const std::size_t sentBefore = uploads.size();
    auto failing = makeOperation();
    run(failing);
    EXPECT_EQ(failing->errorMessage(), genericMessage());
    EXPECT_TRUE(failing->isCancelled());
    EXPECT_EQ(uploads.size(), sentBefore);
    EXPECT_EQ(failing->makeShowAllDecksForUserURL(), std::nullopt);
}

TEST_F(UploadTest, TheReplyIsTheLinkOnlyWhenItIsOne) {
    struct Case {
        int status;
        std::string body;
        std::optional<std::string> link;
        std::string messagePart;  // part of the error message; "" for none
    };
    const std::vector<Case> cases{
        {200, "  HTTPS://x\n", "HTTPS://x", ""},
        {201, "\thttp://share.example/c/Q\r\n", "http://share.example/c/Q", ""},
        {200, "ok", std::nullopt, genericMessage()},
        {200, "", std::nullopt, genericMessage()},
        {500, "http://looks-like-a-link", std::nullopt, "500"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        replyStatus = c.status;
        replyBody = c.body;
        auto operation = makeOperation();
        std::optional<std::string> handed;
        operation->setOnCurrentQueueDidFinishUploadWithLink([&](const std::string& link) { handed = link; });
        run(operation);
        EXPECT_EQ(operation->sharedLink(), c.link);
        EXPECT_EQ(handed, c.link);
        if (c.messagePart.empty()) {
            EXPECT_EQ(operation->errorMessage(), std::nullopt);
        } else {
            ASSERT_TRUE(operation->errorMessage());
            EXPECT_NE(operation->errorMessage()->find(c.messagePart), std::string::npos) << *operation->errorMessage();
            EXPECT_TRUE(operation->isCancelled());
        }
    }
    EXPECT_TRUE(backlogContains("Invalid shared deck link from server: ok"));
    EXPECT_TRUE(backlogContains("Error uploading deck: "));
}

TEST_F(UploadTest, ProgressFollowsTheBytesSent) {
    document->addNewAttachmentWithData(Data(2 * 1024 * 1024, 7), std::string("large.png"));
    save();
    auto operation = makeOperation({"large.png"});
    std::vector<double> reported;
    std::vector<std::optional<std::string>> steps;
    operation->setDidUpdateProgress([&](double p) { reported.push_back(p); });
    operation->setDidUpdateCurrentStep([&](const std::optional<std::string>& s) { steps.push_back(s); });
    run(operation);
    ASSERT_EQ(operation->errorMessage(), std::nullopt);
    ASSERT_GE(reported.size(), 2u);
    EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
    EXPECT_GT(reported.front(), 0.0);
    EXPECT_LT(reported.front(), 1.0);
    EXPECT_DOUBLE_EQ(reported.back(), 1.0);
    EXPECT_DOUBLE_EQ(operation->progress(), 1.0);
    EXPECT_EQ(steps,
              (std::vector<std::optional<std::string>>{"Preparing cards…", "Uploading cards…", "Done uploading."}));
}

TEST_F(UploadTest, ASilentOrTricklingServerEndsTheUploadWithTheTimeOut) {
    const struct {
        const char* what;
        bool stalls, trickles;
        double timeout, deadline;
    } cases[] = {
        {"never answers: the time-out", true, false, 1, 1800},
        {"never silent, never done: the deadline", false, true, 5, 0.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        stall = c.stalls;
        trickle = c.trickles;
        auto operation = makeOperation();
        operation->setRequestTimeoutInterval(c.timeout);
        operation->setRequestDeadlineInterval(c.deadline);
        run(operation);
        EXPECT_EQ(operation->sharedLink(), std::nullopt);
        EXPECT_EQ(operation->errorMessage(), urlErrorDescription(URLErrorTimedOut));
        EXPECT_TRUE(operation->isCancelled());
    }
    EXPECT_EQ(FCUploadAndCopyLinkOperation::create()->requestDeadlineInterval(), 1800);
}

TEST_F(UploadTest, AReplyLongerThanALinkFailsAndTheNextUploadWorks) {
    replyBody = "http://share.example/c/" + std::string(64 * 1024, 'x');
    auto operation = makeOperation();
    run(operation);
    EXPECT_EQ(operation->sharedLink(), std::nullopt);
    EXPECT_EQ(operation->errorMessage(), urlErrorDescription(URLErrorDataLengthExceedsMaximum));
    ASSERT_TRUE(operation->requestOperation());
    EXPECT_EQ(operation->requestOperation()->responseData(), std::nullopt);

    replyBody = "http://share.example/c/abc123";
    auto next = makeOperation();
    run(next);
    EXPECT_EQ(next->sharedLink(), "http://share.example/c/abc123");
}

TEST_F(UploadTest, CancellingDuringTheUploadEndsItAtOnceWithoutAMessage) {
    stall = true;
    auto operation = makeOperation({"pic.png"});
    queue->addOperation(operation);
    ASSERT_TRUE(runMainLoopUntil([&] { return requestArrived.load(); }));
    queue->cancelAllOperations();  // what the wizard's "Cancel" does
    ASSERT_TRUE(runMainLoopUntil([&] { return operation->isFinished(); }));
    EXPECT_EQ(operation->sharedLink(), std::nullopt);
    EXPECT_EQ(operation->errorMessage(), std::nullopt);
    ASSERT_TRUE(operation->requestOperation());
    EXPECT_TRUE(operation->requestOperation()->isCancelled());
    EXPECT_EQ(operation->currentStep(), "Uploading cards…");
}

TEST_F(UploadTest, TheUploadersDeckPageAndTheDownloadSummary) {
    std::vector<std::string> bodies;
    int summaryStatus = 200;
    server.server().Post("/cards/api/", [&](const httplib::Request& req, httplib::Response& res) {
        {
            std::lock_guard lock(mutex);
            bodies.push_back(req.body);
        }
        res.status = summaryStatus;
        res.set_content("42 downloads", "text/plain");
    });
    auto operation = makeOperation();
    const std::optional<URL> page = operation->makeShowAllDecksForUserURL();
    const std::string key =
        stringFromData(*dataWithContentsOfFile(FCUploadAndCopyLinkOperation::_apiKeyFileURL().path()));
    ASSERT_TRUE(page);
    EXPECT_EQ(page->absoluteString(), "http://127.0.0.1:" + std::to_string(server.port()) + "/share/mine/?id=" + key);

    for (const auto& [status, expected] : std::vector<std::pair<int, std::optional<std::string>>>{
             {200, "42 downloads"}, {201, std::nullopt}, {404, std::nullopt}}) {
        summaryStatus = status;
        std::optional<std::optional<std::string>> message;
        operation->fetchTotalDownloadsMessage([&](const std::optional<std::string>& m) { message = m; });
        ASSERT_TRUE(runMainLoopUntil([&] { return message.has_value(); }));
        EXPECT_EQ(*message, expected) << status;
    }
    std::lock_guard lock(mutex);
    ASSERT_FALSE(bodies.empty());
    EXPECT_EQ(bodies.front(), "apikey=" + key + "&cmd=downloadsummary");
}

}  // namespace
