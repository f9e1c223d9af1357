#include <gtest/gtest.h>

#include "DeckLibraryTestSupport.h"
#include "app/shell/FIAppDelegateDocuments.h"
#include "app/storage/LocalDocumentsController.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/UIDriver.h"
#include "support/TestEnvironment.h"

using namespace memorant_test;

namespace {

class DeckLibraryClosingTest : public DeckLibraryTest {
protected:
    void SetUp() override {
        DeckLibraryTest::SetUp();
        alpha = localItem("Alpha.flashcards");
        beta = localItem("Beta.flashcards");
        documents->deliver({alpha, beta}, {DocumentItemAnimation::reload()});
    }
    void TearDown() override {
        for (const auto& window : Application::shared().windows())
            if (window != this->window) window->setHidden(true);
        DeckLibraryTest::TearDown();
    }

    // The document as the opening leaves it: open in the library, and not
    // read by the details cache.
    std::shared_ptr<ScriptedDeckDocument> open(const URL& url, bool legacy = false,
                                               unsigned state = DocumentStateNormal) {
        auto document = std::make_shared<ScriptedDeckDocument>(url, legacy, state);
        library->setCurrentlyOpenDocument(document);
        library->documentDetailsCache()->ignoreDocument(url);
        return document;
    }
    std::int64_t identifier(const URL& url) {
        return library->documentDetailsCache()->documentIdentifierProvider().identifier(url);
    }

    std::shared_ptr<DocumentItem> alpha, beta;
};

TEST_F(DeckLibraryClosingTest, TheOpenDocumentIsTheLibrarysAndTheAppsCurrentOne) {
    auto first = open(alpha->url());
    EXPECT_EQ(library, std::dynamic_pointer_cast<DeckLibraryTableViewController>(first->delegate()));
    EXPECT_EQ(first, FIAppDelegateDocuments::currentDocument());
    auto second = open(beta->url());
    EXPECT_EQ(nullptr, first->delegate());
    EXPECT_NE(nullptr, second->delegate());
    EXPECT_EQ(second, FIAppDelegateDocuments::currentDocument());
    library->setCurrentlyOpenDocument(nullptr);
    EXPECT_EQ(nullptr, second->delegate());
    EXPECT_EQ(nullptr, FIAppDelegateDocuments::currentDocument());
}

TEST_F(DeckLibraryClosingTest, NothingToCloseCompletesOnceAfterTheCall) {
    int completions = 0;
    settle();
    TWLogger::sharedInstance().setMessageBacklog({});
    library->_closeCurrentlyOpenDocumentIfNeeded([&] { ++completions; });
    EXPECT_EQ(0, completions);
    drainMainLoop();
    EXPECT_EQ(1, completions);
    EXPECT_EQ(0u, libraryLines());
}

TEST_F(DeckLibraryClosingTest, AClosedDocumentIsOnlyDetached) {
    auto document = open(alpha->url(), false, DocumentStateClosed);
    int completions = 0;
    library->_closeCurrentlyOpenDocumentIfNeeded([&] { ++completions; });
    EXPECT_EQ(nullptr, library->currentlyOpenDocument());
    EXPECT_EQ(nullptr, document->delegate());
    EXPECT_EQ(nullptr, FIAppDelegateDocuments::currentDocument());
    EXPECT_EQ(0, completions);
    drainMainLoop();
    EXPECT_EQ(1, completions);
    EXPECT_EQ(0, document->closeCalls);
    EXPECT_TRUE(library->documentsPendingClose().empty());
    EXPECT_EQ(0u, loggedCount("Will close document at: " + alpha->url().description()));
    EXPECT_EQ("Today, 09:00", subtitle(0));
}

TEST_F(DeckLibraryClosingTest, ARowReadsSavingWhileItsDeckCloses) {
    for (bool success : {true, false}) {
        SCOPED_TRACE(success ? "closed" : "failed");
        auto document = open(alpha->url());
        if (!success) document->setLastError(Error("FCPersistenceErrorDomain", 4));
        int completions = 0;
        library->_closeCurrentlyOpenDocumentIfNeeded([&] { ++completions; });
        EXPECT_EQ(nullptr, library->currentlyOpenDocument());
        EXPECT_EQ(1, document->closeCalls);
        EXPECT_EQ(1u, library->documentsPendingClose().count(alpha->url()));
        EXPECT_EQ("Saving…", subtitle(0));
        EXPECT_TRUE(logged(" INFO", "_closeCurrentlyOpenDocumentIfNeeded(completion:)",
                           "Closing document at: " + alpha->url().path()));
        EXPECT_TRUE(logged("DEBUG", "willCloseDocument(at:)", "Will close document at: " + alpha->url().description()));

        document->finishClose(success);
        drainMainLoop();
        EXPECT_EQ(1, completions);
        EXPECT_TRUE(library->documentsPendingClose().empty());
        EXPECT_EQ("Today, 09:00", subtitle(0));
        EXPECT_EQ(std::nullopt, library->documentDetailsCache()->ignoreDocumentWithIdentifier());
        EXPECT_TRUE(logged("DEBUG", "didCloseDocument(at:)", "Did close document at: " + alpha->url().description()));
        if (success)
            EXPECT_TRUE(logged(" INFO", "_closeCurrentlyOpenDocumentIfNeeded(completion:)",
                               "Closed document: Alpha.flashcards"));
        else
            EXPECT_TRUE(logged(" WARN", "_closeCurrentlyOpenDocumentIfNeeded(completion:)",
                               "Error closing document at: " + alpha->url().path() +
                                   ". Last error: " + document->lastError()->description()));
        // Not a local controller (nor a cloud one): no hook is called.
        EXPECT_EQ(0u, documents->count("documentDidChange " + alpha->url().path()));
    }
    // A failed close without an error says so.
    auto document = open(alpha->url());
    library->_closeCurrentlyOpenDocumentIfNeeded();
    document->finishClose(false);
    drainMainLoop();
    EXPECT_TRUE(logged(" WARN", "_closeCurrentlyOpenDocumentIfNeeded(completion:)",
                       "Error closing document at: " + alpha->url().path() + ". Last error: nil"));
}

TEST_F(DeckLibraryClosingTest, TheLocalControllerIsToldOfEveryCloseAndTheCloudOneOfNone) {
    // The local controller over a folder with the deck: after each close it
    // lists the changed file again and delivers.
    TempDir folder;
    const std::string path = folder.file("Alpha.flashcards");
    ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(path, dataFromString("deck")));
    auto local = LocalDocumentsController::create(URL::fileURLWithPath(folder.str(), true));
    library->setDocumentsController(local);
    local->startListing();
    ASSERT_TRUE(runMainLoopUntil([&] { return library->documentItems().size() == 1; }));
    const auto listed = library->documentItems().front();
    for (bool success : {true, false}) {
        auto document = open(URL::fileURLWithPath(path));
        library->_closeCurrentlyOpenDocumentIfNeeded();
        document->finishClose(success);
        ASSERT_TRUE(runMainLoopUntil([&] { return library->documentItems().front() != listed; }))
            << "the local list was not made again";
        settleWorker(*local->backgroundWorkerQueue());
    }

    auto cloud = std::make_shared<RecordingCloudDocumentsController>();
    library->setDocumentsController(cloud);
    for (bool success : {true, false}) {
        auto document = open(alpha->url());
        int completions = 0;
        library->_closeCurrentlyOpenDocumentIfNeeded([&] { ++completions; });
        document->finishClose(success);
        drainMainLoop();
        EXPECT_EQ(1, completions);
    }
    EXPECT_TRUE(cloud->calls.empty());
}

TEST_F(DeckLibraryClosingTest, ADeckOpenedWhileAnotherClosesStaysIgnored) {
    auto first = open(alpha->url());
    library->_closeCurrentlyOpenDocumentIfNeeded();
    // Beta opens before Alpha has finished closing.
    auto second = open(beta->url());
    first->finishClose(true);
    drainMainLoop();
    EXPECT_EQ(std::optional<std::int64_t>(identifier(beta->url())),
              library->documentDetailsCache()->ignoreDocumentWithIdentifier());
    EXPECT_EQ(second, library->currentlyOpenDocument());

    library->_closeCurrentlyOpenDocumentIfNeeded();
    second->finishClose(true);
    drainMainLoop();
    EXPECT_EQ(std::nullopt, library->documentDetailsCache()->ignoreDocumentWithIdentifier());
}

TEST_F(DeckLibraryClosingTest, AFailedLegacyCloseShowsTheSaveErrorAlertOnce) {
    auto alertCount = [] {
        int n = 0;
        for (const auto& w : Application::shared().windows())
            if (UIDriver::topViewController(*w) &&
                std::dynamic_pointer_cast<AlertController>(UIDriver::topViewController(*w)))
                ++n;
        return n;
    };
    // A ".flashcards" document shows its own alert when its save fails.
    auto current = open(alpha->url());
    library->_closeCurrentlyOpenDocumentIfNeeded();
    current->finishClose(false);
    drainMainLoop();
    EXPECT_EQ(0, alertCount());

    auto legacy = open(URL::fileURLWithPath("/decks/Old.studydeck"), true);
    legacy->setLastError(Error("FCPersistenceErrorDomain", 4));
    library->_closeCurrentlyOpenDocumentIfNeeded();
    legacy->finishClose(false);
    drainMainLoop();
    advance(ViewController::kTransitionDuration);
    ASSERT_EQ(1, alertCount());
    auto alert = UIDriver::presentedAlert();
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ(Bundle::main().localizedString("ErrorSavingDeckTitle", "", "Localizable"), alert->title());
    ASSERT_EQ(2u, alert->actions().size());
    EXPECT_EQ(std::optional<std::string>("OK"), alert->actions()[1]->title());

    // A legacy close that succeeds shows nothing more.
    auto again = open(URL::fileURLWithPath("/decks/Old.studydeck"), true);
    library->_closeCurrentlyOpenDocumentIfNeeded();
    again->finishClose(true);
    drainMainLoop();
    EXPECT_EQ(1, alertCount());
}

TEST_F(DeckLibraryClosingTest, ComingBackToTheLibraryClosesTheDeck) {
    auto document = open(alpha->url());
    navigation->pushViewController(std::make_shared<ViewController>(), false);
    drainMainLoop();
    EXPECT_EQ(0, document->closeCalls);
    navigation->popViewControllerAnimated(false);
    drainMainLoop();
    EXPECT_EQ(1, document->closeCalls);
    EXPECT_EQ("Saving…", subtitle(0));
    document->finishClose(true);
    drainMainLoop();
    EXPECT_EQ("Today, 09:00", subtitle(0));
}

TEST_F(DeckLibraryClosingTest, TheBackgroundPausesAndTheForegroundResumesTheListing) {
    auto document = open(alpha->url());
    const auto before = documents->calls.size();
    Application::shared().didEnterBackground();
    Application::shared().willEnterForeground();
    EXPECT_EQ((std::vector<std::string>{"disableUpdates", "enableUpdates"}),
              std::vector<std::string>(documents->calls.begin() + static_cast<std::ptrdiff_t>(before),
                                       documents->calls.end()));
    EXPECT_TRUE(
        logged("DEBUG", "handleAppDidEnterBackgroundNotification(_:)", "Paused query after entering background"));
    EXPECT_TRUE(
        logged("DEBUG", "handleAppWillEnterForegroundNotification(_:)", "Resumed query after entering foreground"));
    EXPECT_EQ(0, document->closeCalls) << "the open deck stays open in the background";

    // With the cloud controller: its query pauses and resumes once each.
    auto cloud = std::make_shared<RecordingCloudDocumentsController>();
    library->setDocumentsController(cloud);
    Application::shared().didEnterBackground();
    Application::shared().willEnterForeground();
    EXPECT_EQ((std::vector<std::string>{"disableUpdates", "enableUpdates"}), cloud->calls);
    library->setCurrentlyOpenDocument(nullptr);
}

}  // namespace
