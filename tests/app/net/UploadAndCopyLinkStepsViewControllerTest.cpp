// The upload wizard driven as a user would: alerts tapped through the UI
// driver on the virtual clock, the upload going to a local web service.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <mutex>

#include "Common/FIFlashcardsDocument.h"
#include "app/net/SharingTestSupport.h"
#include "app/net/UploadAndCopyLinkStepsViewController.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"
#include "support/TestHTTPServer.h"

using memorant_test::drainMainLoop;
using memorant_test::runMainLoopUntil;
using memorant_test::ScopedServiceHost;
using memorant_test::TempDir;
using memorant_test::TestHTTPServer;

namespace {

class UploadWizardTest : public memorant_test::UITest {
protected:
    // What the server's handler reads and writes: declared before the server,
    // so that it outlives the server's threads.
    std::mutex mutex;
    std::vector<std::string> authorNames;
    int replyStatus = 200;
    std::string replyBody = "https://share.example/c/Deck42";
    std::atomic<bool> stall{false};
    std::atomic<bool> requestArrived{false};
    TestHTTPServer server;
    ScopedServiceHost host{"127.0.0.1:" + std::to_string(server.port())};
    TempDir dir;
    std::shared_ptr<FIFlashcardsDocument> document =
        FIFlashcardsDocument::initNewDocumentWithFileURL(URL::fileURLWithPath(dir.file("Capitals.flashcards")));
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect(0, 0, 390, 844));
    std::shared_ptr<ViewController> root = std::make_shared<ViewController>();
    std::shared_ptr<UploadAndCopyLinkStepsViewController> wizard;
    int finished = 0;


    void SetUp() override {
        UserDefaults::standard().removeObjectForKey(UploadAndCopyLinkStepsViewController::kSharingUserNameDefault);
        Application::shared().clearOpenedURLs();
        server.server().Post("/share/upload.php", [this](const httplib::Request&, httplib::Response& res,
                                                         const httplib::ContentReader& reader) {
            std::string name, author;
            reader(
                [&](const httplib::MultipartFormData& part) {
                    name = part.name;
                    return true;
                },
                [&](const char* data, size_t length) {
                    if (name == "authorName") author.append(data, length);
                    return true;
                });
            {
                std::lock_guard lock(mutex);
                authorNames.push_back(author);
            }
            requestArrived = true;
            if (stall) server.stallUntilReleased(std::chrono::seconds(20));
            res.status = replyStatus;
            res.set_content(replyBody, "text/plain");
        });
        server.start();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        server.release();
        if (wizard) wizard->backgroundQueue()->waitUntilAllOperationsAreFinished();
        window->setHidden(true);
        memorant_test::UITest::TearDown();
    }

    // Presents a new wizard, as the share activity does, up to its first prompt.
    std::shared_ptr<AlertController> openWizard() {
        wizard = std::make_shared<UploadAndCopyLinkStepsViewController>();
        wizard->setDocument(document);
        wizard->didFinishHandler = [this] { ++finished; };
        root->presentViewController(wizard, true);
        advance(1);
        return UIDriver::presentedAlert();
    }
    // What the share sheet does once the activity finished.
    void closeWizard() {
        root->dismissViewController(false);
        advance(0.5);
    }
    std::shared_ptr<AlertController> tap(const std::shared_ptr<AlertController>& alert, const std::string& title) {
        EXPECT_TRUE(alert && UIDriver::tapAlertAction(*alert, title)) << title;
        advance(1);
        return UIDriver::presentedAlert();
    }
    std::shared_ptr<AlertController> enterName(const std::shared_ptr<AlertController>& prompt, const std::string& name) {
        if (!prompt || prompt->textFields().size() != 1) {
            ADD_FAILURE() << "no name prompt";
            return nullptr;
        }
        prompt->textFields().front()->setText(name);
        return tap(prompt, "Next");
    }
    // Waits for the upload's result in the progress alert.
    void waitForResult(const std::shared_ptr<AlertController>& alert) {
        ASSERT_TRUE(runMainLoopUntil([&] {
            return wizard->backgroundQueue()->operationCount() == 0 && alert->title() != "Uploading deck…" &&
                   alert->title() != "Uploading cards…" && alert->title() != "Preparing cards…" &&
                   alert->title() != "Done uploading.";
        }));
        drainMainLoop();
    }
    std::vector<std::string> actionTitles(const AlertController& alert) const {
        std::vector<std::string> titles;
        for (const auto& action : alert.actions()) titles.push_back(action->title().value_or(""));
        return titles;
    }
};

TEST_F(UploadWizardTest, ABlankNameAsksAgainAndCancelUploadsNothing) {
    auto prompt = openWizard();
    ASSERT_TRUE(prompt);
    EXPECT_EQ(prompt->title(), "Pick a username for sharing:");
    EXPECT_EQ(prompt->message(), "The deck will be uploaded to 127.0.0.1 and you will receive a private link for "
                                 "you to share that is valid for 30 days.");
    EXPECT_EQ(actionTitles(*prompt), (std::vector<std::string>{"Next", "Cancel"}));
    EXPECT_EQ(prompt->textFields().front()->text().value_or(""), "");

    auto again = enterName(prompt, " \n\t ");
    ASSERT_TRUE(again);
    EXPECT_NE(again, prompt);
    EXPECT_EQ(again->title(), "Pick a username for sharing:");
    EXPECT_EQ(tap(again, "Cancel"), nullptr);
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(wizard->isUploading());
    EXPECT_FALSE(UserDefaults::standard().hasValueForKey(UploadAndCopyLinkStepsViewController::kSharingUserNameDefault));
    std::lock_guard lock(mutex);
    EXPECT_TRUE(authorNames.empty());
}

TEST_F(UploadWizardTest, TheNameIsCutToWholeCharactersAndTheLinkIsCopiedAndOpened) {
    // 24 letters, a flag at the cut (two code points, one character), then more.
    const std::string flag = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";
    const std::string typed = "  ABCDEFGHIJKLMNOPQRSTUVWX" + flag + "yzabc  ";
    const std::string kept = "ABCDEFGHIJKLMNOPQRSTUVWX" + flag;
    const auto pasteboardChanges = Pasteboard::generalPasteboard().changeCount();
    // One place further the flag goes whole.
    EXPECT_EQ(UploadAndCopyLinkStepsViewController::userNameFromText(std::string(25, 'Z') + flag), std::string(25, 'Z'));

    auto progress = enterName(openWizard(), typed);
    ASSERT_TRUE(progress);
    EXPECT_EQ(UserDefaults::standard().stringForKey(UploadAndCopyLinkStepsViewController::kSharingUserNameDefault),
              kept);
    waitForResult(progress);
    EXPECT_EQ(progress->title(), "Upload successful!");
    EXPECT_EQ(progress->message(), "The link is valid for 30 days and has been copied to the clipboard.");
    EXPECT_EQ(actionTitles(*progress), (std::vector<std::string>{"Cancel", "Show Shared Deck"}));
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(authorNames, (std::vector<std::string>{kept}));
    }
    EXPECT_EQ(finished, 0);
    EXPECT_EQ(tap(progress, "Show Shared Deck"), nullptr);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(Pasteboard::generalPasteboard().string(), "https://share.example/c/Deck42");
    EXPECT_EQ(Pasteboard::generalPasteboard().changeCount(), pasteboardChanges + 1);
    ASSERT_EQ(Application::shared().openedURLs().size(), 1u);
    EXPECT_EQ(Application::shared().openedURLs()[0].absoluteString(), "https://share.example/c/Deck42");

    // The next wizard offers the stored name; "Cancel" after a success copies too.
    closeWizard();
    replyBody = "https://share.example/c/Second";
    auto prompt = openWizard();
    ASSERT_TRUE(prompt);
    EXPECT_EQ(prompt->textFields().front()->text(), kept);
    auto second = tap(prompt, "Next");
    waitForResult(second);
    EXPECT_EQ(tap(second, "Cancel"), nullptr);
    EXPECT_EQ(finished, 2);
    EXPECT_EQ(Pasteboard::generalPasteboard().string(), "https://share.example/c/Second");
    EXPECT_EQ(Application::shared().openedURLs().size(), 2u);
}

TEST_F(UploadWizardTest, AFailureShowsTheUploadsMessageAndALinkThatIsNoURLIsNeitherCopiedNorOpened) {
    struct Case {
        int status;
        std::string body;
        std::string message;
    };
    const std::vector<Case> cases{
        {500, "down", "Expected status code in (200-299), got 500"},
        {200, "ok", "The deck could not be uploaded. Please try again later."},
        {200, "http://not a link", "The deck could not be uploaded. Please try again later."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        replyStatus = c.status;
        replyBody = c.body;
        const auto pasteboardChanges = Pasteboard::generalPasteboard().changeCount();
        const int finishedBefore = finished;
        auto progress = enterName(openWizard(), "Ada");
        ASSERT_TRUE(progress);
        waitForResult(progress);
        EXPECT_EQ(progress->title(), "Upload failed");
        EXPECT_EQ(progress->message(), c.message);
        EXPECT_EQ(actionTitles(*progress), (std::vector<std::string>{"Cancel"}));
        EXPECT_EQ(tap(progress, "Cancel"), nullptr);
        EXPECT_EQ(finished, finishedBefore + 1);
        EXPECT_EQ(Pasteboard::generalPasteboard().changeCount(), pasteboardChanges);
        EXPECT_TRUE(Application::shared().openedURLs().empty());
        closeWizard();
    }
    EXPECT_EQ(wizard->sharedLink(), "http://not a link");
}

TEST_F(UploadWizardTest, CancelDuringTheUploadFinishesAtOnceAndStopsTheRequest) {
    stall = true;
    auto progress = enterName(openWizard(), "Ada");
    ASSERT_TRUE(progress);
    ASSERT_TRUE(runMainLoopUntil([&] { return requestArrived.load(); }));
    // The whole body went: the alert shows the step and the percentage.
    ASSERT_TRUE(runMainLoopUntil([&] { return progress->message() == "100%"; }));
    EXPECT_EQ(progress->title(), "Uploading cards…");
    EXPECT_EQ(tap(progress, "Cancel"), nullptr);
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(wizard->wasCanceled());
    ASSERT_TRUE(runMainLoopUntil([&] { return wizard->backgroundQueue()->operationCount() == 0; }));
    drainMainLoop();
    EXPECT_EQ(wizard->sharedLink(), std::nullopt);
    EXPECT_TRUE(Application::shared().openedURLs().empty());
    EXPECT_EQ(finished, 1);
}

}  // namespace
