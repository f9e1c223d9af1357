#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>

#include "Common/FIDeckDocument.h"
#include "app/shell/FIAppDelegate.h"
#include "app/shell/FIAppDelegateDocuments.h"
#include "app/study/FIAlternativeCardAttachmentURLProtocol.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/MainThread.h"
#include "support/ChildProcess.h"
#include "support/MainLoop.h"

using namespace memorant_test;

namespace {

class MemoryDocument : public FIDeckDocument {
public:
    explicit MemoryDocument(std::map<std::string, Data> attachments)
        : FIDeckDocument(URL::fileURLWithPath("/tmp/Memory.flashcards")), attachments_(std::move(attachments)) {}
    std::optional<Data> dataForAttachmentWithName(const std::optional<std::string>& fileName) override {
        EXPECT_FALSE(isMainThread()) << "the read runs on the loading thread";
        ++reads;
        auto found = attachments_.find(fileName.value_or(""));
        return found == attachments_.end() ? std::nullopt : std::optional<Data>(found->second);
    }
    std::atomic<int> reads{0};

private:
    std::map<std::string, Data> attachments_;
};

// Records what the protocol tells its client, in order.
struct Recorder : URLProtocolClient {
    std::mutex mutex;
    std::vector<std::string> events;
    std::shared_ptr<URLResponse> response;
    std::optional<Error> error;
    Data data;
    std::atomic<bool> done{false};
    void urlProtocolDidReceiveResponse(URLProtocol&, const URLResponse& r, URLCacheStoragePolicy policy) override {
        std::lock_guard lock(mutex);
        response = std::make_shared<URLResponse>(r);
        events.push_back(policy == URLCacheStoragePolicy::NotAllowed ? "response, not cached" : "response, cached");
    }
    void urlProtocolDidLoadData(URLProtocol&, const Data& d) override {
        std::lock_guard lock(mutex);
        data.insert(data.end(), d.begin(), d.end());
        events.push_back("data");
    }
    void urlProtocolDidFinishLoading(URLProtocol&) override {
        std::lock_guard lock(mutex);
        events.push_back("finished");
        done = true;
    }
    void urlProtocolDidFailWithError(URLProtocol&, const Error& e) override {
        std::lock_guard lock(mutex);
        error = e;
        events.push_back("failed");
        done = true;
    }
};

class FIAlternativeCardAttachmentURLProtocolTest : public ::testing::Test {
protected:
    void SetUp() override { FIAppDelegateDocuments::setCurrentDocument(nullptr); }
    void TearDown() override { FIAppDelegateDocuments::setCurrentDocument(nullptr); }

    std::shared_ptr<Recorder> load(const std::string& url) {
        auto recorder = std::make_shared<Recorder>();
        URLRequest request;
        request.setURL(URL::URLWithString(url));
        URLLoadingSystem::load(request, recorder);
        EXPECT_TRUE(runMainLoopUntil([&] { return recorder->done.load(); }));
        return recorder;
    }
};

}  // namespace

TEST_F(FIAlternativeCardAttachmentURLProtocolTest, RegisteredOnceAtStartAndTakesOnlyItsScheme) {
    // The application delegate's start-up registers it (in a child: start-up
    // also sends the process's standard error to the log file).
    const auto outcome = runInChildWithMemoryBudget(std::uint64_t(1) << 30, [] {
        FIAppDelegate::initialize();
        FIAlternativeCardAttachmentURLProtocol::registerCardAttachmentProtocol();
        const auto names = URLProtocol::registeredClassNames();
        return std::count(names.begin(), names.end(), FIAlternativeCardAttachmentURLProtocol::kErrorDomain) == 1;
    });
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(0, outcome.status);
    FIAlternativeCardAttachmentURLProtocol::registerCardAttachmentProtocol();
    FIAlternativeCardAttachmentURLProtocol::registerCardAttachmentProtocol();
    auto names = URLProtocol::registeredClassNames();
    EXPECT_EQ(1, std::count(names.begin(), names.end(), FIAlternativeCardAttachmentURLProtocol::kErrorDomain));

    struct Case {
        const char* url;
        bool accepted;
    };
    for (const Case& c : {Case{"card-attachment:/a.png", true}, Case{"CARD-ATTACHMENT:/a.png", true},
                          Case{"Card-Attachment:a.png", true}, Case{"card-attachments:/a.png", false},
                          Case{"card-attachment-x:/a.png", false}, Case{"file:///card-attachment/a.png", false}}) {
        URLRequest request;
        request.setURL(URL::URLWithString(c.url));
        EXPECT_EQ(c.accepted, FIAlternativeCardAttachmentURLProtocol::canInitWithRequest(request)) << c.url;
        EXPECT_EQ(request.url(), FIAlternativeCardAttachmentURLProtocol::canonicalRequestForRequest(request).url());
    }

    // A scheme nobody takes fails as an unsupported URL.
    auto other = load("card-attachments:/a.png");
    ASSERT_TRUE(other->error);
    EXPECT_EQ(URLLoadingSystem::kUnsupportedURLErrorCode, other->error->code());
}

TEST_F(FIAlternativeCardAttachmentURLProtocolTest, AnswersFromTheOpenDocumentOrFails) {
    FIAlternativeCardAttachmentURLProtocol::registerCardAttachmentProtocol();
    auto document = std::make_shared<MemoryDocument>(
        std::map<std::string, Data>{{"picture.png", Data{1, 2, 3}}, {"a%20b.png", Data{4}}});

    // No open document.
    auto none = load("card-attachment:/picture.png");
    EXPECT_EQ((std::vector<std::string>{"failed"}), none->events);
    EXPECT_EQ(FIAlternativeCardAttachmentURLProtocol::kErrorDomain, none->error->domain());
    EXPECT_EQ(-1, none->error->code());
    EXPECT_EQ("No attachment data for URL: card-attachment:/picture.png", none->error->localizedDescription());

    FIAppDelegateDocuments::setCurrentDocument(document);
    auto found = load("CARD-ATTACHMENT:/deck/picture.png");
    EXPECT_EQ((std::vector<std::string>{"response, not cached", "data", "finished"}), found->events);
    EXPECT_EQ((Data{1, 2, 3}), found->data);
    EXPECT_EQ("image/png", found->response->MIMEType());
    EXPECT_EQ(-1, found->response->expectedContentLength());
    EXPECT_EQ(std::nullopt, found->response->textEncodingName());
    EXPECT_EQ("CARD-ATTACHMENT:/deck/picture.png", found->response->url()->absoluteString());
    // The name keeps its escapes.
    EXPECT_EQ((Data{4}), load("card-attachment:a%20b.png")->data);
    const int reads = document->reads;

    struct Failure {
        const char* url;
        const char* description;
    };
    for (const Failure& f : {
             Failure{"card-attachment:/notes", "No mimetype for file: notes"},
             Failure{"card-attachment:/picture.unknownextension", "No mimetype for file: picture.unknownextension"},
             Failure{"card-attachment:", "No attachment data for URL: card-attachment:"},
             Failure{"card-attachment:/..", "No attachment data for URL: card-attachment:/.."},
             Failure{"card-attachment:/.", "No attachment data for URL: card-attachment:/."},
         }) {
        auto failed = load(f.url);
        ASSERT_TRUE(failed->error) << f.url;
        EXPECT_EQ(f.description, failed->error->localizedDescription());
        EXPECT_EQ((std::vector<std::string>{"failed"}), failed->events);
    }
    // None of those asked the document.
    EXPECT_EQ(reads, document->reads);
    auto missing = load("card-attachment:/other.png");
    EXPECT_EQ("No attachment data for URL: card-attachment:/other.png", missing->error->localizedDescription());
    EXPECT_EQ(reads + 1, document->reads);
}
