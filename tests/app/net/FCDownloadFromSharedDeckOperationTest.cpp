// The download of a shared deck and the synchronous JSON reads, against a web
// service played by a cpp-httplib server in this process. The deck it serves
// is made the way the upload makes it (a snapshot with "_blank" links).
#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>

#include "Common/FCDeckSnaphot.h"
#include "Common/FCDeckStoreContext.h"
#include "app/net/FCDownloadFromSharedDeckOperation.h"
#include "app/net/SharingTestSupport.h"
#include "app/net/URLFIJSON.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "model/FCJSONAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Operation.h"
#include "platform/net/URLError.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"
#include "support/TestHTTPServer.h"

using memorant_test::backlogContains;
using memorant_test::Reply;
using memorant_test::MainLoopLimits;
using memorant_test::runMainLoopUntil;
using memorant_test::ScopedServiceHost;
using memorant_test::SharedDeckServer;
using memorant_test::TempDir;
using memorant_test::TestHTTPServer;

namespace {

const std::string kGeneralError = "There was an error downloading the cards. Please try again later.";
const std::string kImageError = "Not all card images could be downloaded.";

class DownloadTest : public ::testing::Test {
protected:
    SharedDeckServer service;
    ScopedServiceHost host{"127.0.0.1:" + std::to_string(service.server.port())};
    TempDir dir;
    TempDir images;  // the operation's temporary folder
    std::shared_ptr<OperationQueue> queue = OperationQueue::create("com.memorant.mobile.DownloadSharedDeckQueue");
    const std::string link = "http://127.0.0.1/c/abc123";

    // What the callbacks saw, in order.
    std::vector<std::string> events;
    std::vector<double> progress;
    std::shared_ptr<FCDeck> deck;
    std::map<std::string, Data> imageBlockData;
    std::optional<FCCardArray> deliveredCards;
    std::map<std::string, Data> deliveredImages;

    void SetUp() override {
        queue->setMaxConcurrentOperationCount(1);
        // A deck as the upload leaves it: "_blank" links, no statistics.
        auto shared = std::make_shared<FCDeck>();
        shared->setLegacyIdentifier(std::string("_blank"));
        shared->setLegacyTitle(std::string("Shared Capitals"));
        auto inTopic = FCStudyCard::studyCardWithTop("<img src=\"card-attachment:_blank/a.png\">", "Paris", 2);
        auto topic = FCTopicCard::topicCardWithTitle("Europe <img src=\"card-attachment:_blank/b.jpg\">", 1);
        topic->setCards({inTopic});
        shared->setCards({topic, FCStudyCard::studyCardWithTop("Peru?", "Lima", 3)});
        shared->finishInitialization();
        const auto snapshot = FCDeckStoreContext::snapshotForDeck(*shared);
        ASSERT_TRUE(snapshot);
        serveIndex(R"({"cards":")" + service.url("/deck/cards.json") + R"(","deckInfo":")" +
                   service.url("/deck/info.json") + R"(","files":[")" + service.url("/img/a.png") + R"(",")" +
                   service.url("/img/b.jpg") + R"("]})");
        service.set("/deck/info.json", {200, stringFromData(snapshot->deckInfoData())});
        service.set("/deck/cards.json", {200, stringFromData(snapshot->cardsData())});
        service.set("/img/a.png", {200, "PNG-BYTES"});
        service.set("/img/b.jpg", {200, "JPEG-BYTES"});
    }

    void serveIndex(const std::string& body, const std::string& pid = "abc123") {
        service.set("/share/api/?cmd=deckindex&pid=" + pid, {200, body});
    }

    std::shared_ptr<FCDownloadFromSharedDeckOperation> makeOperation(const std::string& fromLink) {
        auto operation = FCDownloadFromSharedDeckOperation::create();
        operation->setIdentifier(fromLink);
        operation->setTemporaryDirectoryURL(URL::fileURLWithPath(images.str(), true));
        operation->setDidUpdateProgress([this](double p) { progress.push_back(p); });
        operation->setOnCurrentQueueDidDownloadDeck([this](const std::shared_ptr<FCDeck>& d) {
            deck = d;
            events.push_back("deck");
        });
        operation->setOnCurrentQueueDidFinishDownload([this] { events.push_back("finish"); });
        operation->setDidDownloadCards([this](const FCCardArray& cards, const std::map<std::string, Data>& imgs) {
            EXPECT_TRUE(DispatchQueue::main().isCurrent());
            deliveredCards = cards;
            deliveredImages = imgs;
            events.push_back("cards");
        });
        return operation;
    }

    void run(const std::shared_ptr<FCDownloadFromSharedDeckOperation>& operation, const MainLoopLimits& limits = {}) {
        queue->addOperation(operation);
        ASSERT_TRUE(runMainLoopUntil([&] { return operation->isFinished(); }, limits));
    }

    // Everything under the temporary folder, relative to it.
    std::vector<std::string> filesUnder(const std::filesystem::path& root) const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
            if (entry.is_regular_file()) found.push_back(entry.path().lexically_relative(root).string());
        std::sort(found.begin(), found.end());
        return found;
    }
};

TEST(SharedDeckIdentifier, IsTheLastWordAfterASlashBehindTheServiceDomain) {
    ScopedServiceHost host("share.example.org:8080");
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases{
        {"http://share.example.org/c/abc123", "abc123"},
        {"https://share.example.org/share/c/X_9?utm=1", "X_9"},
        {"http://share.example.org/c/abc/", "abc"},
        {"http://share.example.org/deck", std::nullopt},
        {"http://other.example.org/c/abc123", std::nullopt},
        {"http://share-example.org/c/zz", "zz"},  // the domain's dots match any character
        {"", std::nullopt},
    };
    for (const auto& [link, identifier] : cases)
        EXPECT_EQ(FCDownloadFromSharedDeckOperation::_parseSharedDeckIdentifier(link), identifier) << link;
}

TEST_F(DownloadTest, BuildsTheDeckWithPlainLinksAndHandsOverTheImagesInSteps) {
    auto operation = makeOperation(link);
    std::vector<std::optional<std::string>> steps;
    operation->setDidUpdateCurrentStep([&](const std::optional<std::string>& s) { steps.push_back(s); });
    EXPECT_EQ(operation->headline(), "Downloading cards from 127.0.0.1");
    run(operation);

    EXPECT_EQ(operation->errorMessage(), std::nullopt);
    EXPECT_FALSE(operation->isCancelled());
    EXPECT_EQ(progress, (std::vector<double>{0.05, 0.1, 0.2, 0.3, 0.5, 0.7, 0.7, 0.75, 0.8}));
    EXPECT_EQ(steps, (std::vector<std::optional<std::string>>{"Downloading cards…", "Downloading images…",
                                                              "Downloaded 2 cards."}));
    EXPECT_EQ(events, (std::vector<std::string>{"deck", "finish", "cards"}));
    ASSERT_TRUE(deck);
    EXPECT_EQ(deck->legacyTitle(), "Shared Capitals");
    ASSERT_TRUE(deliveredCards);
    ASSERT_EQ(deliveredCards->size(), 2u);
    auto topic = std::dynamic_pointer_cast<FCTopicCard>((*deliveredCards)[0]);
    ASSERT_TRUE(topic);
    EXPECT_EQ(topic->title(), "Europe <img src=\"card-attachment://b.jpg\">");
    EXPECT_EQ(std::dynamic_pointer_cast<FCStudyCard>((*topic->cards())[0])->top(),
              "<img src=\"card-attachment://a.png\">");
    EXPECT_EQ(deliveredImages, (std::map<std::string, Data>{{"a.png", dataFromString("PNG-BYTES")},
                                                            {"b.jpg", dataFromString("JPEG-BYTES")}}));
    const auto stored = filesUnder(images.path());
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(std::filesystem::path(stored[0]).filename(), "a.png");
    EXPECT_TRUE(backlogContains("Downloading from 127.0.0.1: " + link));
}

TEST_F(DownloadTest, WithTheImageBlockTheDictionaryIsEmptyAndWithoutImagesProgressJumps) {
    auto operation = makeOperation(link);
    operation->setOnCurrentQueueDidDownloadImage([this](const std::string& name, const Data& data) {
        imageBlockData[name] = data;
        events.push_back("image " + name);
    });
    run(operation);
    EXPECT_EQ(events, (std::vector<std::string>{"deck", "image a.png", "image b.jpg", "finish", "cards"}));
    EXPECT_EQ(imageBlockData.size(), 2u);
    EXPECT_TRUE(deliveredCards);
    EXPECT_TRUE(deliveredImages.empty());

    serveIndex(R"({"cards":")" + service.url("/deck/cards.json") + R"(","deckInfo":")" +
               service.url("/deck/info.json") + R"(","files":[]})");
    progress.clear();
    auto plain = makeOperation(link);
    run(plain);
    EXPECT_EQ(plain->errorMessage(), std::nullopt);
    EXPECT_EQ(progress, (std::vector<double>{0.05, 0.1, 0.2, 0.3, 0.7, 0.75, 0.8}));
}

TEST_F(DownloadTest, CancellingDuringTheImagesEndsQuietly) {
    service.set("/img/b.jpg", {200, "late", true});
    auto operation = makeOperation(link);
    queue->addOperation(operation);
    ASSERT_TRUE(runMainLoopUntil([&] { return service.stalled.load(); }));
    operation->cancel();
    ASSERT_TRUE(runMainLoopUntil([&] { return operation->isFinished(); }));
    EXPECT_EQ(operation->errorMessage(), std::nullopt);
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(deliveredCards);
}

TEST_F(DownloadTest, EveryFailureHasItsMessageAndLogLine) {
    const std::string cards = service.url("/deck/cards.json"), info = service.url("/deck/info.json");
    auto index = [&](const std::string& c, const std::string& i, const std::string& files) {
        return R"({"cards":")" + c + R"(","deckInfo":")" + i + R"(","files":)" + files + "}";
    };
    service.set("/broken/info.json", {500, "oops"});
    service.set("/broken/cards.json", {200, R"({"not":"an array"})"});
    service.set("/broken/text", {200, "hello"});
    const std::string longImage = "/img/" + std::string(300, 'x') + ".png";
    service.set(longImage, {200, "PNG-BYTES"});
    struct Case {
        std::string name;
        std::string link;
        std::optional<Reply> indexReply;  // nullopt: the fixture's index
        std::string message;
        std::string logLine;
    };
    const std::vector<Case> cases{
        {"no identifier", "http://example.org/c/abc123", std::nullopt,
         "Unable to identify deck. This does not seem to be a valid link to a deck on 127.0.0.1: "
         "http://example.org/c/abc123",
         "Error importing deck from 127.0.0.1: http://example.org/c/abc123. Error: Unable to identify deck."},
        {"index missing", link, Reply{404, "gone"}, kGeneralError, "Error downloading: http://127.0.0.1:"},
        {"index not JSON", link, Reply{200, "hello"}, kGeneralError, "Invalid object type: (null) from JSON: hello"},
        {"index an array", link, Reply{200, "[1,2]"}, kGeneralError, "Invalid object type: NSArray from JSON: [1,2]"},
        {"index without files", link, Reply{200, R"({"cards":"x","deckInfo":"y"})"}, kGeneralError,
         "Invalid deck index: "},
        {"description not readable", link, Reply{200, index(cards, service.url("/broken/info.json"), "[]")},
         kGeneralError, "Error downloading: " + service.url("/broken/info.json")},
        {"cards of the wrong type", link, Reply{200, index(service.url("/broken/cards.json"), info, "[]")},
         kGeneralError, "Invalid object type: NSDictionary from JSON: {\"not\":\"an array\"}"},
        {"image missing", link, Reply{200, index(cards, info, "[\"" + service.url("/img/none.png") + "\"]")},
         kImageError, "Error downloading: " + service.url("/img/none.png")},
        // A name longer than any file system takes: downloaded, but not written.
        {"image not writable", link, Reply{200, index(cards, info, "[\"" + service.url(longImage) + "\"]")},
         kImageError, "Error writing to temp file: " + images.str()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.indexReply) service.set("/share/api/?cmd=deckindex&pid=abc123", *c.indexReply);
        events.clear();
        auto operation = makeOperation(c.link);
        run(operation);
        EXPECT_EQ(operation->errorMessage(), c.message);
        EXPECT_TRUE(operation->isCancelled());
        EXPECT_TRUE(events.empty());
        EXPECT_TRUE(backlogContains(c.logLine)) << c.logLine;
    }
    const std::vector<std::string> requested = service.requests();
    EXPECT_EQ(std::count(requested.begin(), requested.end(), std::string("/share/api/")), 8);
}

TEST_F(DownloadTest, FailuresInTheImageFolderAndInReadingTheImagesBack) {
    // The folder cannot be made: the temporary "folder" is a file.
    const std::string notAFolder = dir.file("plain-file");
    ASSERT_TRUE(writeDataAtomically(Data{1}, notAFolder));
    auto blocked = makeOperation(link);
    blocked->setTemporaryDirectoryURL(URL::fileURLWithPath(notAFolder, true));
    run(blocked);
    EXPECT_EQ(blocked->errorMessage(), kImageError);
    EXPECT_TRUE(backlogContains("Error making temp directory: " + notAFolder + "/"));

    // The images go before they are read back.
    auto vanishing = makeOperation(link);
    vanishing->setOnCurrentQueueDidDownloadDeck([this](const std::shared_ptr<FCDeck>&) {
        for (const auto& entry : std::filesystem::directory_iterator(images.path()))
            std::filesystem::remove_all(entry.path());
    });
    run(vanishing);
    EXPECT_EQ(vanishing->errorMessage(), kGeneralError);
    EXPECT_TRUE(backlogContains("Error reading downloaded image: " + images.str()));
    EXPECT_FALSE(deliveredCards);
}

TEST_F(DownloadTest, AHostileIndexFailsClearlyAndWritesNothingOutsideTheFolder) {
    const std::string cards = service.url("/deck/cards.json"), info = service.url("/deck/info.json");
    const std::string secret = dir.file("secret.txt");
    ASSERT_TRUE(writeDataAtomically(dataFromString("[\"local\"]"), secret));
    auto index = [&](const std::string& c, const std::string& i, const std::string& files) {
        return R"({"cards":")" + c + R"(","deckInfo":")" + i + R"(","files":)" + files + "}";
    };
    service.set("/img/evil.jpg", {200, "EVIL"});
    service.set("/huge", {200, std::string(4096, ' ') + "{}"});
    service.set("/slow", {200, "{}", true});
    struct Case {
        std::string name;
        std::string index;
        std::string message;
        std::string logLine;
    };
    const std::vector<Case> cases{
        {"file URL for the cards", index("file://" + secret, info, "[]"), kGeneralError,
         "Error downloading: file://" + secret},
        {"file URL for an image", index(cards, info, "[\"file://" + secret + "\"]"), kImageError,
         "Error downloading: file://" + secret},
        {"relative image", index(cards, info, R"(["../x.jpg"])"), kImageError, "Error downloading: ../x.jpg"},
        {"encoded slash", index(cards, info, "[\"" + service.url("/img/..%2Fevil.jpg") + "\"]"), kImageError,
         "Invalid image file name"},
        {"encoded NUL", index(cards, info, "[\"" + service.url("/img/evil%00.jpg") + "\"]"), kImageError,
         "Invalid image file name"},
        {"dot dot", index(cards, info, "[\"" + service.url("/img/%2E%2E") + "\"]"), kImageError,
         "Invalid image file name"},
        {"dot", index(cards, info, "[\"" + service.url("/img/%2E") + "\"]"), kImageError,
         "Error downloading: " + service.url("/img/%2E") + " Error: Invalid image file name"},
        {"backslash", index(cards, info, "[\"" + service.url("/img/..%5Cevil.jpg") + "\"]"), kImageError,
         "Invalid image file name"},
        {"no name", index(cards, info, "[\"" + service.url("/img/") + "\"]"), kImageError, "Invalid image file name"},
        {"description over the size cap", index(cards, service.url("/huge"), "[]"), kGeneralError,
         "Error downloading: " + service.url("/huge")},
        {"a server that stalls", index(cards, service.url("/slow"), "[]"), kGeneralError,
         "Error downloading: " + service.url("/slow")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        serveIndex(c.index);
        auto operation = makeOperation(link);
        URLContentReadOptions limits = operation->JSONReadOptions();
        limits.maxBytes = 1024;
        limits.stallTimeout = 1;
        operation->setJSONReadOptions(limits);
        run(operation);
        EXPECT_EQ(operation->errorMessage(), c.message);
        EXPECT_TRUE(backlogContains(c.logLine)) << c.logLine;
        EXPECT_FALSE(deliveredCards);
    }
    service.server.release();
    // Nothing but the secret itself lies outside the image folder, and no
    // image folder holds more than plain names.
    EXPECT_EQ(filesUnder(dir.path()), (std::vector<std::string>{"secret.txt"}));
    for (const auto& file : filesUnder(images.path())) {
        const std::filesystem::path path(file);
        EXPECT_EQ(std::distance(path.begin(), path.end()), 2) << file;  // <unique folder>/<name>
    }

    // One name given twice is one file holding the later bytes.
    service.set("/other/a.png", {200, "SECOND"});
    serveIndex(index(cards, info, "[\"" + service.url("/img/a.png") + "\",\"" + service.url("/other/a.png") + "\"]"));
    auto twice = makeOperation(link);
    run(twice);
    EXPECT_EQ(twice->errorMessage(), std::nullopt);
    EXPECT_EQ(deliveredImages, (std::map<std::string, Data>{{"a.png", dataFromString("SECOND")}}));
}

TEST_F(DownloadTest, ImagesAreBoundedInNumberAndBytesAndTheLibraryGetsNothingUnlessAllArrive) {
    const std::string cards = service.url("/deck/cards.json"), info = service.url("/deck/info.json");
    service.set("/img/big.png", {200, std::string(6000, 'p')});
    auto files = [&](const std::vector<std::string>& paths) {
        std::string list = "[";
        for (const auto& path : paths) list += (list.size() > 1 ? ",\"" : "\"") + service.url(path) + "\"";
        return R"({"cards":")" + cards + R"(","deckInfo":")" + info + R"(","files":)" + list + "]}";
    };
    const struct {
        const char* what;
        std::vector<std::string> images;
        std::size_t requestedImages;  // how many image requests reach the server
    } cases[] = {
        {"more images than allowed", {"/img/a.png", "/img/b.jpg", "/img/a.png", "/img/b.jpg"}, 0},
        {"images together larger", {"/img/a.png", "/img/big.png", "/img/big.png"}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        serveIndex(files(c.images));
        events.clear();
        const auto before = service.requests().size();
        auto operation = makeOperation(link);
        operation->setImageBounds({3, 10000});
        run(operation);
        EXPECT_EQ(operation->errorMessage(), kImageError);
        EXPECT_TRUE(events.empty());  // no deck, no images handed over
        EXPECT_FALSE(deliveredCards);
        const auto requested = service.requests();
        EXPECT_EQ(std::count_if(requested.begin() + static_cast<std::ptrdiff_t>(before), requested.end(),
                                [](const std::string& path) { return path.rfind("/img/", 0) == 0; }),
                  static_cast<std::ptrdiff_t>(c.requestedImages));
    }
    EXPECT_EQ(FCDownloadFromSharedDeckOperation::create()->imageBounds().count, 10000u);
    EXPECT_EQ(FCDownloadFromSharedDeckOperation::create()->imageBounds().bytes, 512u * 1024 * 1024);

    // Within the bounds the deck arrives.
    serveIndex(files({"/img/a.png", "/img/big.png"}));
    auto normal = makeOperation(link);
    normal->setImageBounds({3, 10000});
    run(normal);
    EXPECT_EQ(normal->errorMessage(), std::nullopt);
    EXPECT_EQ(deliveredImages.size(), 2u);
}

// A reply that is no JSON, or JSON of a great many small values, fails with
// the decoding error; its text reaches the log only as a short excerpt, so
// retrying it keeps the backlog bounded in bytes.
TEST_F(DownloadTest, HostileRepliesFailWithBoundedLogLines) {
    const std::string cards = service.url("/deck/cards.json");
    std::string manyValues = "[";
    for (int i = 0; i < 2'100'000; ++i) manyValues += i ? ",0" : "0";
    manyValues += "]";
    const std::string notJSON = "<html>\n" + std::string(3 * 1024 * 1024, 'x') + "\n</html>";
    service.set("/hostile/many.json", {200, manyValues});
    service.set("/hostile/page", {200, notJSON});
    const struct {
        const char* what;
        std::string index;
        std::string logLine;
    } cases[] = {
        {"many small values",
         R"({"cards":")" + service.url("/hostile/many.json") + R"(","deckInfo":")" + service.url("/deck/info.json") +
             R"(","files":[]})",
         "Invalid object type: (null) from JSON: [0,0,0"},
        {"a page that is no JSON",
         R"({"cards":")" + cards + R"(","deckInfo":")" + service.url("/hostile/page") + R"(","files":[]})",
         "Invalid object type: (null) from JSON: <html>\\nxxx"},
    };
    TWLogger& logger = TWLogger::sharedInstance();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        serveIndex(c.index);
        for (int attempt = 0; attempt < 4; ++attempt) {
            auto operation = makeOperation(link);
            // Refusing millions of values takes its time under the sanitizers on a busy machine.
            MainLoopLimits patient;
            patient.maxIdlePasses = 12000;
            run(operation, patient);
            EXPECT_EQ(operation->errorMessage(), kGeneralError);
            EXPECT_LE(logger.messageBacklogBytes(), TWLogger::kMaxBacklogBytes);
        }
        EXPECT_TRUE(backlogContains(c.logLine)) << c.logLine;
        // Every line that quotes the reply quotes a short excerpt on one line.
        for (const auto& line : logger.messageBacklog()) {
            if (line.find("<html>") == std::string::npos && line.find("[0,0,0,0") == std::string::npos) continue;
            EXPECT_LT(line.size(), 2000u) << line.substr(0, 200);
            EXPECT_EQ(line.find('\n'), std::string::npos) << line.substr(0, 200);
        }
    }
    // The service answers properly again: the deck arrives.
    serveIndex(R"({"cards":")" + cards + R"(","deckInfo":")" + service.url("/deck/info.json") + R"(","files":[]})");
    auto normal = makeOperation(link);
    run(normal);
    EXPECT_EQ(normal->errorMessage(), std::nullopt);
    EXPECT_TRUE(deliveredCards);
}

TEST(URLFIJSON, ReadsOnlyTheExpectedKindAndHandsOutThePlatformsErrors) {
    TestHTTPServer server;
    server.server().Get(
        "/pair", [](const httplib::Request&, httplib::Response& res) { res.set_content("[1,2]", "application/json"); });
    server.server().Get(
        "/text", [](const httplib::Request&, httplib::Response& res) { res.set_content("not json", "text/plain"); });
    server.start();
    const URL pair = *URL::URLWithString(server.url("/pair"));

    Error error;
    EXPECT_EQ(fiDownloadJSONasNSDictionary(pair, &error), std::nullopt);
    EXPECT_EQ(error.domain(), "NSURLJSONHelper");
    EXPECT_EQ(error.code(), -1);
    EXPECT_EQ(error.localizedDescription(), "Invalid object type: NSArray from JSON: [1,2]");
    const auto array = fiDownloadJSONasNSArray(pair, &error);
    ASSERT_TRUE(array);
    EXPECT_EQ(array->count(), 2u);
    EXPECT_EQ(error.domain(), "");

    EXPECT_EQ(fiDownloadJSONasNSArray(*URL::URLWithString(server.url("/text")), &error), std::nullopt);
    EXPECT_EQ(error.localizedDescription(), "Invalid object type: (null) from JSON: not json");

    // A port bound for a moment and never listened on: nothing answers there.
    int closedPort = 0;
    {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
        ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
        closedPort = ntohs(address.sin_port);
        close(fd);
    }
    EXPECT_EQ(fiDownloadJSONasNSDictionary(*URL::URLWithString("http://127.0.0.1:" + std::to_string(closedPort) + "/"),
                                           &error),
              std::nullopt);
    EXPECT_EQ(error.domain(), "NSURLErrorDomain");
    EXPECT_EQ(error.code(), URLErrorCannotConnectToHost);

    TempDir dir;
    ASSERT_TRUE(writeDataAtomically(dataFromString("{}"), dir.file("local.json")));
    EXPECT_EQ(fiDownloadJSONasNSDictionary(URL::fileURLWithPath(dir.file("local.json")), &error), std::nullopt);
    EXPECT_EQ(error.code(), URLErrorUnsupportedURL);

    URLContentReadOptions capped = fiDefaultJSONDownloadOptions();
    capped.maxBytes = 3;
    EXPECT_EQ(fiDownloadJSONasNSArray(pair, &error, capped), std::nullopt);
    EXPECT_EQ(error.code(), URLErrorDataLengthExceedsMaximum);
}

}  // namespace
