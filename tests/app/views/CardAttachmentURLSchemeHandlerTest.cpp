#include "app/views/CardAttachmentURLSchemeHandler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>

#include "Common/FIDeckDocument.h"
#include "app/shell/FIAppDelegateDocuments.h"
#include "app/storage/PreviewedVersionDocument.h"
#include "model/TWLogger.h"
#include "platform/foundation/Dispatch.h"
#include "platform/web/ScriptedPage.h"
#include "platform/web/WebView.h"
#include "platform/web/WebViewConfiguration.h"
#include "support/MainLoop.h"

using namespace memorant_test;

namespace {

// A deck document that holds its attachments in memory and records the names
// asked for. With a gate, a read waits for the gate to open.
class AttachmentsDocument : public FIDeckDocument {
public:
    explicit AttachmentsDocument(std::map<std::string, Data> attachments)
        : FIDeckDocument(URL::fileURLWithPath("/tmp/Attachments.flashcards")), attachments_(std::move(attachments)) {}

    std::optional<DispatchSemaphore> gate;
    std::atomic<bool> readStarted{false};

    std::optional<Data> dataForAttachmentWithName(const std::optional<std::string>& fileName) override {
        EXPECT_FALSE(DispatchQueue::main().isCurrent()) << "reads stay off the main thread";
        readStarted = true;
        if (gate) gate->wait();
        std::lock_guard lock(mutex_);
        requested_.push_back(fileName.value_or("<nil>"));
        auto found = attachments_.find(fileName.value_or(""));
        return found == attachments_.end() ? std::nullopt : std::optional<Data>(found->second);
    }
    std::vector<std::string> requested() const {
        std::lock_guard lock(mutex_);
        return requested_;
    }

private:
    std::map<std::string, Data> attachments_;
    mutable std::mutex mutex_;
    std::vector<std::string> requested_;
};

std::shared_ptr<AttachmentsDocument> makeDocument(std::map<std::string, Data> attachments) {
    return std::make_shared<AttachmentsDocument>(std::move(attachments));
}

bool backlogContains(const std::string& text) {
    for (const auto& line : TWLogger::sharedInstance().messageBacklog())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

class CardAttachmentURLSchemeHandlerTest : public ::testing::Test {
protected:
    std::shared_ptr<CardAttachmentURLSchemeHandler> handler = std::make_shared<CardAttachmentURLSchemeHandler>();
    std::shared_ptr<WebView> webView;

    void SetUp() override {
        FIAppDelegateDocuments::setCurrentDocument(nullptr);
        PreviewedVersionDocument::setPreviewedVersionDocument(nullptr);
        WebViewConfiguration configuration;
        configuration.setURLSchemeHandler(handler, "card-attachment");
        webView = WebView::create(configuration);
    }
    void TearDown() override {
        FIAppDelegateDocuments::setCurrentDocument(nullptr);
        PreviewedVersionDocument::setPreviewedVersionDocument(nullptr);
    }

    // Starts the page's request and runs the main loop until the task is answered.
    std::shared_ptr<URLSchemeTask> load(const std::string& urlText) {
        auto task = webView->page().startURLSchemeTask(*URL::URLWithString(urlText));
        EXPECT_TRUE(task);
        if (!task) return task;
        EXPECT_TRUE(runMainLoopUntil([&] { return task->isFinished() || task->failure(); })) << urlText;
        return task;
    }
};

TEST_F(CardAttachmentURLSchemeHandlerTest, ServesAttachmentsOfTheOpenDocumentWithTheirMimeType) {
    auto document = makeDocument({{"photo.jpg", dataFromString("jpeg bytes")},
                                  {"my%20pic.png", dataFromString("png bytes")},
                                  {"empty.png", Data{}}});
    FIAppDelegateDocuments::setCurrentDocument(document);
    struct Row {
        std::string url, name, mimeType, bytes;
    };
    const Row rows[] = {
        {"card-attachment://photo.jpg", "photo.jpg", "image/jpeg", "jpeg bytes"},
        {"card-attachment:DECKID/photo.jpg", "photo.jpg", "image/jpeg", "jpeg bytes"},
        {"card-attachment://my%20pic.png", "my%20pic.png", "image/png", "png bytes"},  // escapes kept
        {"card-attachment://empty.png", "empty.png", "image/png", ""},
    };
    for (const auto& row : rows) {
        auto task = load(row.url);
        ASSERT_TRUE(task);
        ASSERT_TRUE(task->response()) << row.url;
        EXPECT_EQ(task->request().url, task->response()->url);
        EXPECT_EQ(row.mimeType, task->response()->mimeType) << row.url;
        EXPECT_EQ(-1, task->response()->expectedContentLength);
        EXPECT_FALSE(task->response()->textEncodingName);
        EXPECT_EQ(dataFromString(row.bytes), task->receivedData()) << row.url;
        EXPECT_TRUE(task->isFinished());
        EXPECT_FALSE(task->failure());
        EXPECT_EQ(row.name, document->requested().back());
    }
    EXPECT_TRUE(handler->activeTasks().empty());
}

TEST_F(CardAttachmentURLSchemeHandlerTest, EachFailureHasItsCode) {
    auto document = makeDocument({{"photo.jpg", dataFromString("x")}});
    struct Row {
        std::string url;
        bool hasDocument;
        std::int64_t code;
        bool gotResponse;
        std::string logged;
    };
    const Row rows[] = {
        {"", true, 1, false, ""},  // no URL
        {"card-attachment://photo", true, 2, false, "No mime type for: card-attachment://photo"},
        {"card-attachment://photo.unknownext", true, 2, false, "No mime type for: card-attachment://photo.unknownext"},
        {"card-attachment://deck/..", true, 2, false, "No mime type for: "},  // no way out of the document
        {"card-attachment://photo.jpg", false, 3, true, "No current document"},
        {"card-attachment://missing.png", true, 4, true, "No data for attachment request: card-attachment://missing.png"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.url);
        FIAppDelegateDocuments::setCurrentDocument(row.hasDocument ? document : nullptr);
        TWLogger::sharedInstance().setMessageBacklog({});
        std::shared_ptr<URLSchemeTask> task;
        if (row.url.empty()) {
            task = std::make_shared<URLSchemeTask>(URLSchemeTask::Request{});
            handler->webViewStartURLSchemeTask(*webView, task);
        } else {
            task = load(row.url);
            ASSERT_TRUE(task);
        }
        ASSERT_TRUE(task->failure());
        EXPECT_EQ("Memorant.CardAttachmentURLSchemeHandler", task->failure()->domain());
        EXPECT_EQ(row.code, task->failure()->code());
        EXPECT_EQ(Value::dictionary(), task->failure()->userInfo());
        EXPECT_EQ(row.gotResponse, task->response().has_value());
        EXPECT_TRUE(task->receivedData().empty());
        if (!row.logged.empty()) {
            EXPECT_TRUE(backlogContains(row.logged));
        }
        EXPECT_TRUE(handler->activeTasks().empty());
    }
    EXPECT_EQ(std::vector<std::string>{"missing.png"}, document->requested()) << "only code 4 reaches the document";
}

TEST_F(CardAttachmentURLSchemeHandlerTest, PreviewedVersionServesOnlyWhenNoDocumentIsOpen) {
    PreviewedVersionDocument::setPreviewedVersionDocument(makeDocument({{"a.png", dataFromString("version")}}));
    EXPECT_EQ(dataFromString("version"), load("card-attachment://a.png")->receivedData());

    FIAppDelegateDocuments::setCurrentDocument(makeDocument({{"a.png", dataFromString("current")}}));
    EXPECT_EQ(dataFromString("current"), load("card-attachment://a.png")->receivedData());
}

TEST_F(CardAttachmentURLSchemeHandlerTest, TaskStoppedDuringTheReadReceivesNothingMore) {
    auto document = makeDocument({{"a.png", dataFromString("bytes")}});
    DispatchSemaphore gate;
    document->gate = gate;
    FIAppDelegateDocuments::setCurrentDocument(document);

    auto task = webView->page().startURLSchemeTask(*URL::URLWithString("card-attachment://a.png"));
    ASSERT_TRUE(task);
    EXPECT_EQ(1u, handler->activeTasks().size());
    ASSERT_TRUE(runMainLoopUntil([&] { return document->readStarted.load(); }));
    webView->page().stopURLSchemeTask(task);
    EXPECT_TRUE(handler->activeTasks().empty());

    // The read holds the document until its result has been handled on the main queue.
    std::weak_ptr<AttachmentsDocument> readDocument = document;
    FIAppDelegateDocuments::setCurrentDocument(nullptr);
    document.reset();
    gate.signal();
    ASSERT_TRUE(runMainLoopUntil([&] { return readDocument.expired(); }));

    EXPECT_TRUE(task->isStopped());
    EXPECT_TRUE(task->response());
    EXPECT_TRUE(task->receivedData().empty());
    EXPECT_FALSE(task->isFinished());
    EXPECT_FALSE(task->failure());
    EXPECT_TRUE(handler->activeTasks().empty());
}

}  // namespace
