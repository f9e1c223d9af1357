#include <gtest/gtest.h>

#include <fstream>

#include "Common/FCPersistenceError.h"
#include "Common/FIFlashcardsDocument.h"
#include "DeckLibraryTestSupport.h"
#include "app/net/DownloadSharedDeckViewController.h"
#include "app/shell/FIAppDelegateDocuments.h"
#include "app/storage/VersionBrowserTableViewController.h"
#include "app/views/StandaloneAlertController.h"
#include "model/FCDeck.h"
#include "platform/cloud/UbiquityContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Thread.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/RefreshControl.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/UIDriver.h"
#include "support/TestEnvironment.h"

using namespace memorant_test;

namespace {

// A deck document that opens at once with an empty deck, closes when the
// test says so (ScriptedDeckDocument) and saves with the result it is given.
class OpenableDeckDocument : public ScriptedDeckDocument {
public:
    explicit OpenableDeckDocument(URL url) : ScriptedDeckDocument(std::move(url), false) {}
    void openWithCompletionHandler(Completion completion) override {
        setDeck(std::make_shared<FCDeck>());
        setDocumentState(DocumentStateNormal);
        DispatchQueue::main().async([completion] { completion(true); });
    }
    void saveToURL(const URL& url, DocumentSaveOperation operation, Completion completion) override {
        saves.push_back({url, operation});
        DispatchQueue::main().async([completion, ok = saveSucceeds] {
            if (completion) completion(ok);
        });
    }
    struct Save {
        URL url;
        DocumentSaveOperation operation;
    };
    std::vector<Save> saves;
    bool saveSucceeds = true;
};

// A ".flashcards" document whose writing always fails.
class UnwritableFlashcardsDocument : public FIFlashcardsDocument {
public:
    using FIFlashcardsDocument::FIFlashcardsDocument;
    bool writeContents(const std::any&, const URL&, DocumentSaveOperation, const std::optional<URL>&,
                       Error* error) override {
        Error::set(error, Error(FCPersistenceErrorDomain, -1,
                                Value::dictionary({{NSLocalizedDescriptionKey, "The disk is full."}})));
        return false;
    }
};

class DeckLibraryChangesTest : public DeckLibraryTest {
protected:
    void SetUp() override {
        DeckLibraryTest::SetUp();
        alpha = localItem("Alpha.flashcards");
        beta = localItem("Beta.flashcards");
        documents->deliver({alpha, beta}, {DocumentItemAnimation::reload()});
        library->setDeckFilePermissions({
            [](const std::string&) { return true; },
            [](const std::string&, Error*) { return std::optional<FileAttributes>(); },
            [](const std::string&, std::uint32_t, Error*) { return false; },
        });
        library->setDeckDocumentMaker([this](const URL& url, bool) -> std::shared_ptr<FIDeckDocument> {
            auto document = std::make_shared<OpenableDeckDocument>(url);
            made.push_back(document);
            return document;
        });
    }
    void TearDown() override {
        // An alert in a window of its own holds that window until it goes.
        for (const auto& alert : visibleAlerts()) alert->dismissViewController(false);
        drainMainLoop();
        for (const auto& other : Application::shared().windows())
            if (other != window) other->setHidden(true);
        FIFlashcardsDocument::setErrorAlertPresenter(nullptr);
        DeckLibraryTest::TearDown();
    }

    // Opens Alpha as a user would and waits for its split view.
    std::shared_ptr<OpenableDeckDocument> openAlpha() {
        library->_openDocumentAtURL(alpha->url(), false, false, false, true);
        drainMainLoop();
        advance(ViewController::kTransitionDuration);
        EXPECT_NE(nullptr, library->presentedDeckSplitViewController());
        EXPECT_EQ(library->presentedDeckSplitViewController(), library->presentedViewController());
        return made.empty() ? nullptr : made.back();
    }
    void settleTransitions() { advance(ViewController::kTransitionDuration); }

    // Reports the document reloaded from disk; the alert then over the deck's
    // split view, if any.
    std::shared_ptr<AlertController> alertAfterReload(const std::shared_ptr<OpenableDeckDocument>& document) {
        library->deckDocumentLoadedFromDisk(document);
        settleTransitions();
        return std::dynamic_pointer_cast<AlertController>(
            library->presentedDeckSplitViewController()->presentedViewController());
    }

    // The alerts on screen, in every window, topmost window last.
    std::vector<std::shared_ptr<AlertController>> visibleAlerts() {
        std::vector<std::shared_ptr<AlertController>> alerts;
        for (const auto& w : Application::shared().windows()) {
            if (w->isHidden()) continue;
            for (auto c = w->rootViewController(); c; c = c->presentedViewController())
                if (auto alert = std::dynamic_pointer_cast<AlertController>(c)) alerts.push_back(alert);
        }
        return alerts;
    }

    std::shared_ptr<DocumentItem> alpha, beta;
    std::vector<std::shared_ptr<OpenableDeckDocument>> made;
};

// --- Reloaded from disk ---

TEST_F(DeckLibraryChangesTest, AReloadOfAnotherDocumentOnlyLogs) {
    auto stray = std::make_shared<OpenableDeckDocument>(beta->url());
    library->deckDocumentLoadedFromDisk(stray);
    EXPECT_TRUE(
        logged("DEBUG", "deckDocumentLoaded(fromDisk:)", "Document reloaded from disk: /decks/Beta.flashcards"));
    EXPECT_TRUE(logged(" INFO", "deckDocumentLoaded(fromDisk:)",
                       "Document reloaded from disk: /decks/Beta.flashcards, but is not current document: nil"));

    openAlpha();
    library->deckDocumentLoadedFromDisk(stray);
    settleTransitions();
    EXPECT_TRUE(logged(" INFO", "deckDocumentLoaded(fromDisk:)",
                       "Document reloaded from disk: /decks/Beta.flashcards, but is not current document: "
                       "/decks/Alpha.flashcards"));
    EXPECT_TRUE(visibleAlerts().empty());
    EXPECT_EQ(nullptr, library->presentedDeckSplitViewController()->presentedViewController());
}

TEST_F(DeckLibraryChangesTest, ShowChangesClosesTheDeckAndOpensItAgain) {
    auto first = openAlpha();
    auto split = library->presentedDeckSplitViewController();

    // The alert comes over the deck's split view.
    auto alert = alertAfterReload(first);
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ("Deck Changed on Another Device", alert->title());
    EXPECT_EQ(std::nullopt, alert->message());
    EXPECT_EQ(AlertControllerStyle::Alert, alert->preferredStyle());
    ASSERT_EQ(1u, alert->actions().size());
    EXPECT_EQ("Show Changes", alert->actions()[0]->title());
    EXPECT_EQ(AlertActionStyle::Default, alert->actions()[0]->style());

    ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "Show Changes"));
    settleTransitions();
    EXPECT_TRUE(logged(" INFO", "deckDocumentLoaded(fromDisk:)", "User tapped: Show Changes"));
    EXPECT_TRUE(logged(" INFO", "closeAndReopenCurrentlyOpenDocument()",
                       "Closing and re-opening current document: /decks/Alpha.flashcards"));
    EXPECT_EQ(1, first->closeCalls);
    EXPECT_EQ(nullptr, library->currentlyOpenDocument());
    // The split view stays until the deck has closed.
    EXPECT_EQ(split, library->presentedViewController());
    const auto requestsBefore = library->operationRequests().size();

    first->finishClose(true);
    drainMainLoop();
    // Taken away without animation, then the same file is opened with no flags.
    EXPECT_NE(split, library->presentedViewController());
    ASSERT_EQ(requestsBefore + 1, library->operationRequests().size());
    const auto& reopen = library->operationRequests().back();
    EXPECT_EQ(DeckLibraryTableViewController::OperationRequest::Kind::Open, reopen.kind);
    EXPECT_EQ(alpha->url(), reopen.url);
    EXPECT_FALSE(reopen.regenerateThumbnail || reopen.openToChangeCover || reopen.editFirstCardRightAway ||
                 reopen.animated);
    settleTransitions();
    ASSERT_EQ(2u, made.size());
    EXPECT_EQ(made[1], library->currentlyOpenDocument());
    ASSERT_NE(nullptr, library->presentedDeckSplitViewController());
    EXPECT_NE(split, library->presentedDeckSplitViewController());
    EXPECT_EQ(library->presentedDeckSplitViewController(), library->presentedViewController());

    // The document may ask for the same itself.
    library->closeAndReopenDocument(made[1]);
    made[1]->finishClose(true);
    drainMainLoop();
    settleTransitions();
    EXPECT_EQ(3u, made.size());
    EXPECT_EQ(made[2], library->currentlyOpenDocument());

    // With no deck open nothing is opened.
    library->setCurrentlyOpenDocument(nullptr);
    library->closeAndReopenCurrentlyOpenDocument();
    drainMainLoop();
    settleTransitions();
    EXPECT_TRUE(
        logged(" INFO", "closeAndReopenCurrentlyOpenDocument()", "Closing and re-opening current document: nil"));
    EXPECT_EQ(3u, made.size());
}

TEST_F(DeckLibraryChangesTest, ANewNoticeReplacesOnlyAnEarlierChangedDeckAlert) {
    auto document = openAlpha();
    auto split = library->presentedDeckSplitViewController();
    auto earlier = alertAfterReload(document);
    ASSERT_NE(nullptr, earlier);

    // Over the earlier changed-deck alert: it goes, and the new one comes.
    library->deckDocumentLoadedFromDisk(document);
    settleTransitions();
    settleTransitions();
    auto later = std::dynamic_pointer_cast<AlertController>(split->presentedViewController());
    ASSERT_NE(nullptr, later);
    EXPECT_NE(earlier, later);
    EXPECT_EQ(nullptr, earlier->presentingViewController());
    EXPECT_EQ(1u, visibleAlerts().size());
    ASSERT_TRUE(UIDriver::tapAlertAction(*later, "Show Changes"));
    settleTransitions();
    document->finishClose(true);
    drainMainLoop();
    settleTransitions();
    auto reopened = made.back();
    ASSERT_NE(document, reopened);

    // Over another alert (here: a deck being deleted): that alert stays, and
    // the changed-deck alert comes in a window of its own.
    auto deleting = AlertController::alertControllerWithTitle(std::string("Deleting Deck…"), std::nullopt,
                                                              AlertControllerStyle::Alert);
    library->presentedDeckSplitViewController()->presentViewController(deleting, true);
    settleTransitions();
    library->deckDocumentLoadedFromDisk(reopened);
    settleTransitions();
    EXPECT_EQ(deleting, library->presentedDeckSplitViewController()->presentedViewController());
    EXPECT_FALSE(deleting->isBeingDismissed());
    auto alerts = visibleAlerts();
    ASSERT_EQ(2u, alerts.size());
    auto own = std::dynamic_pointer_cast<StandaloneAlertController>(alerts[1]);
    ASSERT_NE(nullptr, own);
    EXPECT_EQ("Deck Changed on Another Device", own->title());
    EXPECT_NE(nullptr, own->parentWindow());

    // A further notice replaces that one, in a window of its own again.
    library->deckDocumentLoadedFromDisk(reopened);
    settleTransitions();
    settleTransitions();
    alerts = visibleAlerts();
    ASSERT_EQ(2u, alerts.size());
    EXPECT_EQ(deleting, alerts[0]);
    EXPECT_NE(own, alerts[1]);
    EXPECT_EQ(nullptr, own->parentWindow());
}

TEST_F(DeckLibraryChangesTest, AnAlertAskedOverAnEarlierChangedDeckAlertIsNotTakenAwayWithIt) {
    auto document = openAlpha();
    auto split = library->presentedDeckSplitViewController();
    auto earlier = alertAfterReload(document);
    ASSERT_NE(nullptr, earlier);
    // The deletion question asked while the changed-deck alert is up comes over it.
    auto question = AlertController::alertControllerWithTitle(std::string("Deleting Deck…"), std::nullopt,
                                                              AlertControllerStyle::Alert);
    earlier->presentViewController(question, true);
    settleTransitions();

    library->deckDocumentLoadedFromDisk(document);
    settleTransitions();
    settleTransitions();
    EXPECT_EQ(earlier, split->presentedViewController());
    EXPECT_EQ(question, earlier->presentedViewController());
    EXPECT_FALSE(earlier->isBeingDismissed());
    EXPECT_FALSE(question->isBeingDismissed());
    auto alerts = visibleAlerts();
    ASSERT_EQ(3u, alerts.size());
    auto newest = std::dynamic_pointer_cast<StandaloneAlertController>(alerts[2]);
    ASSERT_NE(nullptr, newest);
    EXPECT_EQ("Deck Changed on Another Device", newest->title());
    EXPECT_NE(nullptr, newest->parentWindow());
}

// --- Deleted on another device ---

TEST_F(DeckLibraryChangesTest, DeleteClosesTheDeckTakesItsSplitViewAwayAndCompletesOnce) {
    auto document = openAlpha();
    auto split = library->presentedDeckSplitViewController();
    int completions = 0;
    library->deckDocumentDeletedOnAnotherDevice(document, [&] { ++completions; });
    settleTransitions();
    auto alert = std::dynamic_pointer_cast<AlertController>(split->presentedViewController());
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ("Deck Deleted on Another Device", alert->title());
    EXPECT_EQ("If you keep it, it will remain stored in iCloud.", alert->message());
    ASSERT_EQ(2u, alert->actions().size());
    EXPECT_EQ("Delete", alert->actions()[0]->title());
    EXPECT_EQ(AlertActionStyle::Cancel, alert->actions()[0]->style());
    EXPECT_EQ("Keep", alert->actions()[1]->title());
    EXPECT_EQ(AlertActionStyle::Default, alert->actions()[1]->style());

    ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "Delete"));
    settleTransitions();
    EXPECT_EQ(1, document->closeCalls);
    EXPECT_EQ(0, completions);
    document->finishClose(true);
    drainMainLoop();
    // The split view goes with animation; the completion comes after it.
    EXPECT_TRUE(split->isBeingDismissed());
    EXPECT_EQ(0, completions);
    settleTransitions();
    EXPECT_EQ(1, completions);
    EXPECT_EQ(nullptr, library->presentedDeckSplitViewController());
    EXPECT_EQ(nullptr, library->presentedViewController());
    EXPECT_EQ(nullptr, library->currentlyOpenDocument());
    EXPECT_TRUE(document->saves.empty());
    advance(5);
    EXPECT_EQ(1, completions);
}

TEST_F(DeckLibraryChangesTest, KeepWritesTheDeckBackAndCompletesOnce) {
    auto document = openAlpha();
    int completions = 0;
    library->deckDocumentDeletedOnAnotherDevice(document, [&] { ++completions; });
    settleTransitions();
    auto alert = UIDriver::presentedAlert();
    ASSERT_NE(nullptr, alert);
    ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "Keep"));
    settleTransitions();
    drainMainLoop();
    ASSERT_EQ(1u, document->saves.size());
    EXPECT_EQ(alpha->url(), document->saves[0].url);
    EXPECT_EQ(DocumentSaveOperation::ForOverwriting, document->saves[0].operation);
    EXPECT_EQ(1, completions);
    // The deck stays open.
    EXPECT_EQ(document, library->currentlyOpenDocument());
    EXPECT_EQ(library->presentedDeckSplitViewController(), library->presentedViewController());
    EXPECT_EQ(0, document->closeCalls);
}

TEST_F(DeckLibraryChangesTest, KeepWhoseSaveFailsShowsTheSaveErrorOnceAndStillCompletes) {
    FIAppDelegateDocuments::installDocumentHooks();
    TempDir dir;
    const URL url = URL::fileURLWithPath(dir.file("Alpha.flashcards"));
    {
        auto created = FIFlashcardsDocument::initNewDocumentWithFileURL(url);
        std::optional<bool> saved;
        created->saveToURL(url, DocumentSaveOperation::ForCreating, [&](bool ok) { saved = ok; });
        ASSERT_TRUE(runMainLoopUntil([&] { return saved.has_value(); }));
        ASSERT_TRUE(*saved);
        std::optional<bool> closed;
        created->closeWithCompletionHandler([&](bool ok) { closed = ok; });
        ASSERT_TRUE(runMainLoopUntil([&] { return closed.has_value(); }));
    }
    auto document = std::make_shared<UnwritableFlashcardsDocument>(url);
    std::optional<bool> opened;
    document->openWithCompletionHandler([&](bool ok) { opened = ok; });
    ASSERT_TRUE(runMainLoopUntil([&] { return opened.has_value(); }));
    ASSERT_TRUE(*opened);
    library->setCurrentlyOpenDocument(document);

    int completions = 0;
    library->deckDocumentDeletedOnAnotherDevice(document, [&] { ++completions; });
    settleTransitions();
    auto alert = UIDriver::presentedAlert();
    ASSERT_NE(nullptr, alert);
    ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "Keep"));
    settleTransitions();
    ASSERT_TRUE(runMainLoopUntil([&] { return completions > 0; }));
    settleTransitions();
    EXPECT_EQ(1, completions);
    auto alerts = visibleAlerts();
    ASSERT_EQ(1u, alerts.size());
    EXPECT_EQ(Bundle::main().localizedString("ErrorSavingDeckTitle", "", "Localizable"), alerts[0]->title());
    EXPECT_EQ("The disk is full.", alerts[0]->message());
    ASSERT_TRUE(UIDriver::tapAlertAction(*alerts[0], "OK"));
    settleTransitions();
    library->setCurrentlyOpenDocument(nullptr);
    std::optional<bool> closed;
    document->closeWithCompletionHandler([&](bool ok) { closed = ok; });
    ASSERT_TRUE(runMainLoopUntil([&] { return closed.has_value(); }));
    settleTransitions();
}

// The deletion question is never dismissed by a reload notice: its Delete
// still ends the deletion.
TEST_F(DeckLibraryChangesTest, AReloadNoticeLeavesTheDeletionQuestionToBeAnswered) {
    auto document = openAlpha();
    int completions = 0;
    library->deckDocumentDeletedOnAnotherDevice(document, [&] { ++completions; });
    settleTransitions();
    auto question = library->presentedDeckSplitViewController()->presentedViewController();
    library->deckDocumentLoadedFromDisk(document);
    settleTransitions();
    settleTransitions();
    auto alerts = visibleAlerts();
    ASSERT_EQ(2u, alerts.size());
    EXPECT_EQ(question, alerts[0]);
    EXPECT_EQ("Deck Changed on Another Device", alerts[1]->title());

    ASSERT_TRUE(UIDriver::tapAlertAction(*alerts[0], "Delete"));
    settleTransitions();
    document->finishClose(true);
    drainMainLoop();
    settleTransitions();
    EXPECT_EQ(1, completions);
    EXPECT_EQ(nullptr, library->presentedViewController());

    // Show Changes now has no deck to open.
    ASSERT_TRUE(UIDriver::tapAlertAction(*alerts[1], "Show Changes"));
    settleTransitions();
    drainMainLoop();
    EXPECT_EQ(1u, made.size());
}

// --- Versions ---

TEST_F(DeckLibraryChangesTest, VersionsAndConflictsOpenTheVersionBrowser) {
    TempDir folder;
    auto gamma = localItem("Gamma.flashcards", folder.path().string());
    ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(gamma->url().path(), Data{'x'}));
    documents->deliver({gamma, alpha}, {DocumentItemAnimation::reload()});
    const struct {
        bool conflicts;
        const char* title;
    } cases[] = {{false, "Document Versions"}, {true, "Conflicting Versions"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        if (c.conflicts) {
            library->showConflictResolutionForDocument(gamma->url());
            EXPECT_TRUE(logged(" INFO", "showConflictResolutionForDocument(at:)",
                               "Showing conflict resolution for: " + gamma->url().path()));
        } else {
            UIDriver::swipeRow(table(), {0, 0});
            ASSERT_TRUE(UIDriver::tapSwipeAction(table(), "Versions"));
        }
        auto browser = std::dynamic_pointer_cast<VersionBrowserTableViewController>(navigation->topViewController());
        ASSERT_NE(nullptr, browser);
        EXPECT_EQ(gamma->url(), browser->documentUrl());
        EXPECT_EQ(std::static_pointer_cast<DocumentsController>(documents), browser->documentsController());
        EXPECT_EQ(std::static_pointer_cast<SplitViewControllerDelegate>(library),
                  browser->cardListSplitViewControllerDelegate());
        EXPECT_EQ(c.conflicts, browser->presentationMode().isConflictResolution());
        EXPECT_TRUE(browser->presentationMode().versions().empty());
        EXPECT_EQ(c.title, browser->title());
        // Its versions load by themselves; then back to the library.
        auto spinning = [&] { return browser->activityIndicatorView()->isAnimating(); };
        auto timerDue = [&] { return RunLoop::main().nextTimerFireDate(RunLoop::kDefaultMode).has_value(); };
        for (int step = 0; step < 20 && spinning(); ++step) {
            ASSERT_TRUE(runMainLoopUntil([&] { return timerDue() || !spinning(); }));
            advance(0.5);
        }
        EXPECT_FALSE(spinning());
        advance(0.5);
        if (auto alert = UIDriver::presentedAlert()) UIDriver::tapAlertAction(*alert, "OK");
        navigation->popViewControllerAnimated(false);
        advance(1.0);
        EXPECT_EQ(library, navigation->topViewController());
    }

    // Without a navigation controller there is no browser.
    auto alone = Storyboard::storyboardWithName(DeckLibraryTableViewController::kStoryboardName)
                     ->instantiate<DeckLibraryTableViewController>(DeckLibraryTableViewController::kSceneIdentifier);
    alone->showVersionsForDocument(gamma->url());
    alone->showConflictResolutionForDocument(gamma->url());
    EXPECT_EQ(nullptr, alone->navigationController());
}

// --- Pull to refresh ---

TEST_F(DeckLibraryChangesTest, RefreshingLocalDecksEndsAtOnceAndWritesNothing) {
    auto control = table().refreshControl();
    ASSERT_TRUE(UIDriver::pullToRefresh(table()));
    EXPECT_FALSE(control->isRefreshing());
    drainMainLoop();
    EXPECT_EQ(0u, loggedCount("Forced iCloud reload by placing .reload file."));
}

TEST_F(DeckLibraryChangesTest, RefreshingCloudDecksWritesTheHelperFileAndEndsAfterASecond) {
    TempDir containers;
    UbiquityContainer::setContainersRoot(containers.path());
    auto cloud = std::make_shared<RecordingCloudDocumentsController>();
    library->setDocumentsController(cloud);
    auto folder = cloud->documentsDirectory();
    ASSERT_TRUE(folder.has_value());
    const std::string helper = folder->URLByDeletingLastPathComponent().path() + "/.reload";

    auto control = table().refreshControl();
    ASSERT_TRUE(UIDriver::pullToRefresh(table()));
    EXPECT_TRUE(control->isRefreshing());
    ASSERT_TRUE(runMainLoopUntil([] { return Thread::numberOfSleepingThreads() == 1; }));
    auto text = FileManager::defaultManager().contentsAtPath(helper);
    ASSERT_TRUE(text.has_value());
    const std::string number(text->begin(), text->end());
    ASSERT_FALSE(number.empty());
    EXPECT_EQ(std::string::npos, number.find_first_not_of("0123456789"));
    EXPECT_LE(std::stoi(number), 99);
    EXPECT_TRUE(logged("DEBUG", "_helperFileReload(_:)", "Forced iCloud reload by placing .reload file."));

    advance(0.9);
    EXPECT_TRUE(control->isRefreshing());
    virtualClock.clock().advance(0.1);
    ASSERT_TRUE(runMainLoopUntil([&] { return !control->isRefreshing(); }));
    // Another pull writes the file again.
    ASSERT_TRUE(UIDriver::pullToRefresh(table()));
    ASSERT_TRUE(runMainLoopUntil([] { return Thread::numberOfSleepingThreads() == 1; }));
    virtualClock.clock().advance(1.0);
    ASSERT_TRUE(runMainLoopUntil([&] { return !control->isRefreshing(); }));
    EXPECT_EQ(2u, loggedCount("Forced iCloud reload by placing .reload file."));
    library->setDocumentsController(documents);
    UbiquityContainer::setContainersRoot("");
}

// --- Shared decks ---

TEST_F(DeckLibraryChangesTest, ASharedDeckWaitsUntilNoDeckIsOpen) {
    openAlpha();
    auto split = library->presentedDeckSplitViewController();
    library->presentDownloadSharedDeckViewController("abc123");
    settleTransitions();
    EXPECT_EQ(split, library->presentedViewController());
    EXPECT_EQ(nullptr, split->presentedViewController());
    auto alerts = visibleAlerts();
    ASSERT_EQ(1u, alerts.size());
    auto refusal = std::dynamic_pointer_cast<StandaloneAlertController>(alerts[0]);
    ASSERT_NE(nullptr, refusal);
    EXPECT_NE(nullptr, refusal->parentWindow());
    EXPECT_EQ("Please close the current document before downloading a shared deck.", refusal->title());
    EXPECT_EQ(std::nullopt, refusal->message());
    ASSERT_EQ(1u, refusal->actions().size());
    EXPECT_EQ("OK", refusal->actions()[0]->title());
    EXPECT_EQ(AlertActionStyle::Default, refusal->actions()[0]->style());
    ASSERT_TRUE(UIDriver::tapAlertAction(*refusal, "OK"));
    settleTransitions();
    EXPECT_TRUE(visibleAlerts().empty());
}

TEST_F(DeckLibraryChangesTest, ASharedDeckIsDownloadedInAPopoverThatLoadsOncePresented) {
    library->presentDownloadSharedDeckViewController("abc123");
    auto download = std::dynamic_pointer_cast<DownloadSharedDeckViewController>(library->presentedViewController());
    ASSERT_NE(nullptr, download);
    EXPECT_EQ("abc123", download->publicDeckIdentifier());
    EXPECT_EQ(ModalPresentationStyle::Popover, download->modalPresentationStyle());
    EXPECT_TRUE(download->isModalInPresentation());
    EXPECT_EQ((Size{320, 220}), download->preferredContentSize());
    EXPECT_EQ(std::static_pointer_cast<AdaptivePresentationControllerDelegate>(download),
              download->popoverPresentationController()->delegate().lock());
    EXPECT_EQ(DownloadSharedDeckViewController::State::initial, download->state());
    EXPECT_TRUE(download->shownStates().empty());
    settleTransitions();
    EXPECT_EQ(DownloadSharedDeckViewController::State::loadingDetails, download->state());
    EXPECT_EQ(
        std::vector<DownloadSharedDeckViewController::State>{DownloadSharedDeckViewController::State::loadingDetails},
        download->shownStates());
    // A tap outside does not take it away.
    UIDriver::tapOutsidePresentation(*download);
    settleTransitions();
    EXPECT_EQ(download, library->presentedViewController());
    library->dismissViewController(false);
    drainMainLoop();
}

}  // namespace
