// Opening decks from the library screen, on the virtual clock, with deck
// files on disk whose opens the test holds, fails or puts in conflict.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "Common/FCPersistenceError.h"
#include "Common/FCZipBackedBinaryDocumentPersistence.h"
#include "app/cards/CardListTableViewController.h"
#include "app/cards/DeckSplitScenes.h"
#include "app/cards/EditStudyCardViewController.h"
#include "app/library/DeckLibraryConfigurator.h"
#include "app/library/DeckLibraryTableViewController.h"
#include "app/library/DeckMasterNavigationController.h"
#include "app/library/DiffableDeckListDataSource.h"
#include "app/library/DocumentItemDetails.h"
#include "app/library/DocumentItemDetailsHelper.h"
#include "app/library/PickCoverStyleController.h"
#include "app/library/ScriptedDeckDocuments.h"
#include "app/shell/FIAppDelegateDocuments.h"
#include "app/storage/DocumentDetailsCache.h"
#include "app/views/DocumentItemTableViewCell.h"
#include "model/FCCoverStyle.h"
#include "model/TWLogger.h"
#include "platform/analytics/Analytics.h"
#include "platform/foundation/FileManager.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TableView.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"
#include "support/ListedDocumentsController.h"

using namespace memorant_test;

namespace {

// The card editor's segue of the card list is the card editor's to define;
// here it leads to a screen that only records that it came.
class EditorSegueStandIn : public ViewController {};

std::vector<std::string> logLinesContaining(const std::string& text) {
    std::vector<std::string> found;
    for (const auto& line : TWLogger::sharedInstance().messageBacklog())
        if (line.find(text) != std::string::npos) found.push_back(line);
    return found;
}

std::shared_ptr<FCCoverStyle> coverStyle(const char* start, const char* end, const char* icon,
                                         std::optional<std::string> customImage = std::nullopt) {
    auto style = std::make_shared<FCCoverStyle>();
    style->setStartHexColor(std::string(start));
    style->setEndHexColor(std::string(end));
    style->setIconName(std::string(icon));
    style->setCustomImageName(std::move(customImage));
    return style;
}

}  // namespace

class DeckLibraryOpenDeckTest : public UITest {
protected:
    void SetUp() override {
        TWLogger::sharedInstance().setMessageBacklogSize(100000);
        TWLogger::sharedInstance().setMessageBacklog({});
        Analytics::shared().clear();
        Storyboard::extendStoryboard(
            DeckLibraryTableViewController::kStoryboardName, "zz-open-deck-test", [](Storyboard& s) {
                s.addScene<EditorSegueStandIn>("EditorSegueStandIn");
                s.addSegue(CardListTableViewController::kSceneIdentifier, "ShowEditorDetailSegue", "EditorSegueStandIn",
                           StoryboardSegueKind::Modal);
            });
        writeFlashcardsDeck(a, 3, coverStyle("#3996f9", "#93ddfe", "Globe"));
        writeFlashcardsDeck(b, 12);
        hooks->events.clear();

        library = Storyboard::storyboardWithName(DeckLibraryTableViewController::kStoryboardName)
                      ->instantiate<DeckLibraryTableViewController>(DeckLibraryTableViewController::kSceneIdentifier);
        ASSERT_NE(nullptr, library);
        library->setDocumentsController(documents);
        useScriptedDeckDocuments(*library, hooks);
        window = std::make_shared<Window>();
        window->setRootViewController(std::make_shared<NavigationController>(library));
        window->makeKeyAndVisible();
        drainMainLoop();
        documents->deliver({std::make_shared<DocumentItem>(a), std::make_shared<DocumentItem>(b),
                            std::make_shared<DocumentItem>(legacy)});
        // Rows are configured again when their details arrive, which shows
        // the waiting indicator of a pending row at once: the tests start
        // once every row's details are in and no read is left.
        const auto& cache = *library->documentDetailsCache();
        ASSERT_TRUE(runMainLoopUntil([&cache] {
            return cache.upToDateDocumentIdentifiers().size() == 3 && cache.backgroundQueue()->operationCount() == 0;
        }));
        drainMainLoop();
    }
    void TearDown() override {
        // Whatever is still open is closed and saved before the folder goes.
        if (!library) return UITest::TearDown();
        library->setPickCoverStyleController(nullptr);
        if (auto presented = library->presentedViewController()) presented->dismissViewController(false);
        library->_closeCurrentlyOpenDocumentIfNeeded([this] { closedAtEnd = true; });
        EXPECT_TRUE(runMainLoopUntil([this] { return closedAtEnd; }));
        for (auto& w : Application::shared().windows()) w->setHidden(true);
        FIFlashcardsDocument::setErrorAlertPresenter(nullptr);
        Storyboard::extendStoryboard(DeckLibraryTableViewController::kStoryboardName, "zz-open-deck-test",
                                     [](Storyboard&) {});
        UITest::TearDown();
    }

    IndexPath rowOf(const URL& url) { return IndexPath::forRow(url == a ? 0 : url == b ? 1 : 2, 0); }
    std::shared_ptr<DocumentItemTableViewCell> cellOf(const URL& url) {
        return std::dynamic_pointer_cast<DocumentItemTableViewCell>(
            library->tableView()->cellForRowAtIndexPath(rowOf(url)));
    }
    bool tapRow(const URL& url) { return UIDriver::tapRow(*library->tableView(), rowOf(url)); }
    // Runs until the deck's split view is shown over the library.
    ::testing::AssertionResult waitForPresentedDeck() {
        auto shown = runMainLoopUntil([this] {
            return library->presentedDeckSplitViewController() &&
                   library->presentedViewController() == library->presentedDeckSplitViewController();
        });
        if (shown) advance(ViewController::kTransitionDuration);
        return shown;
    }
    std::shared_ptr<CardListTableViewController> cardList() {
        auto master = std::dynamic_pointer_cast<DeckMasterNavigationController>(
            library->presentedDeckSplitViewController()->viewControllers().front());
        return std::dynamic_pointer_cast<CardListTableViewController>(master->viewControllers().front());
    }
    std::vector<std::string> events() const { return hooks->events; }
    void script(const URL& url, ScriptedOpen open) { hooks->scripts[url.path()] = std::move(open); }

    TempDir dir;
    URL a = URL::fileURLWithPath(dir.file("Spanish.flashcards"));
    URL b = URL::fileURLWithPath(dir.file("Capitals.flashcards"));
    URL legacy = URL::fileURLWithPath(dir.file("Old.studydeck"));
    std::shared_ptr<ScriptedDocumentHooks> hooks = std::make_shared<ScriptedDocumentHooks>();
    std::shared_ptr<ListedDocumentsController> documents = std::make_shared<ListedDocumentsController>();
    std::shared_ptr<DeckLibraryTableViewController> library;
    std::shared_ptr<Window> window;
    bool closedAtEnd = false;
};

TEST_F(DeckLibraryOpenDeckTest, ATappedRowPresentsTheDeckInItsSplitViewWithTheConfiguredCardList) {
    ASSERT_TRUE(tapRow(a));
    ASSERT_TRUE(waitForPresentedDeck());
    EXPECT_EQ(std::vector<std::string>{"open Spanish.flashcards"}, events());

    auto document = library->currentlyOpenDocument();
    ASSERT_TRUE(std::dynamic_pointer_cast<FIFlashcardsDocument>(document));
    EXPECT_EQ(a, document->fileURL());
    EXPECT_EQ(library, std::dynamic_pointer_cast<DeckLibraryTableViewController>(document->delegate()));
    EXPECT_EQ(document, FIAppDelegateDocuments::currentDocument());
    EXPECT_EQ(std::nullopt, library->documentURLpendingOpen());
    EXPECT_TRUE(library->documentDetailsCache()->ignoreDocumentWithIdentifier().has_value());

    // The split view: beside the secondary, the library its delegate, full
    // screen over the library.
    auto split = library->presentedDeckSplitViewController();
    EXPECT_EQ(kDeckSplitViewControllerScene, split->storyboardIdentifier());
    EXPECT_EQ(SplitViewControllerDisplayMode::OneBesideSecondary, split->preferredDisplayMode());
    EXPECT_EQ(library, std::dynamic_pointer_cast<DeckLibraryTableViewController>(split->delegate().lock()));
    EXPECT_EQ(ModalPresentationStyle::FullScreen, split->modalPresentationStyle());
    EXPECT_EQ(split, UIDriver::topViewController(*window));

    // The card list's fields.
    auto list = cardList();
    ASSERT_TRUE(list);
    EXPECT_EQ(document, list->document());
    ASSERT_TRUE(list->documentDeails());
    EXPECT_EQ(3, list->documentDeails()->numberOfStudyCards());
    EXPECT_EQ(library, std::dynamic_pointer_cast<DeckLibraryTableViewController>(list->deckChangeDelegate()));
    EXPECT_EQ(library, std::dynamic_pointer_cast<DeckLibraryTableViewController>(list->cardListDelegate()));
    EXPECT_FALSE(list->isReadOnlyVersionPreview());
    ASSERT_TRUE(list->presentationMode());
    EXPECT_EQ(PresentationMode::Tag::topLevelCards, list->presentationMode()->tag());
    EXPECT_EQ(3, list->tableView()->numberOfRowsInSection(0));
    EXPECT_EQ(std::nullopt, list->tableView()->indexPathForSelectedRow());

    // "OpenDeck" with the card count in its range.
    auto recorded = Analytics::shared().events();
    ASSERT_EQ(1u, recorded.size());
    EXPECT_EQ("OpenDeck", recorded[0].name);
    EXPECT_EQ("up to 10", recorded[0].properties["numCards2"].stringValue());
    EXPECT_TRUE(recorded[0].properties.find("fileSize2"));

    // No thumbnail was asked for: the deck is unchanged.
    EXPECT_FALSE(document->hasUnsavedChanges());
    for (const char* line : {"DEBUG| Request to open: ", " INFO| About to open document: ",
                             " INFO| Completion handler for opening document: ", "DEBUG| Document state: normal",
                             "DEBUG| Success opening: "})
        EXPECT_EQ(1u, logLinesContaining(line).size()) << line;
    EXPECT_EQ(1u, logLinesContaining(". Success opening: true").size());

    // The card list's close: the split view goes, and the library, shown
    // again, closes the deck.
    list->closeDeck();
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(nullptr, library->presentedDeckSplitViewController());
    EXPECT_EQ(nullptr, library->presentedViewController());
    ASSERT_TRUE(runMainLoopUntil([this] { return events().size() == 2; }));
    EXPECT_EQ("close Spanish.flashcards", events()[1]);
    EXPECT_EQ(nullptr, library->currentlyOpenDocument());
    list->closeDeck();  // nothing is presented any more
}

TEST_F(DeckLibraryOpenDeckTest, ADeckTheLibraryCannotShowIsClosedAgain) {
    // An alert holds the window's one presentation, so the deck's split view is refused.
    auto alert =
        AlertController::alertControllerWithTitle(std::string("Busy"), std::nullopt, AlertControllerStyle::Alert);
    library->presentViewController(alert, false);
    library->_openDocumentAtURL(a, false, false, false, true);
    ASSERT_TRUE(runMainLoopUntil([this] { return events().size() == 2; }));
    EXPECT_EQ((std::vector<std::string>{"open Spanish.flashcards", "close Spanish.flashcards"}), events());
    EXPECT_EQ(nullptr, library->currentlyOpenDocument());
    EXPECT_EQ(nullptr, library->presentedDeckSplitViewController());
    EXPECT_EQ(alert, library->presentedViewController());
    EXPECT_EQ(std::nullopt, library->documentURLpendingOpen());
    EXPECT_EQ(1u, logLinesContaining(" WARN| Could not show document: " + a.description()).size());
}

TEST_F(DeckLibraryOpenDeckTest, TheSameRowTwiceOpensOnceAndTheIndicatorWaitsAQuarterSecond) {
    script(a, {OpenOutcome::opens, std::nullopt, true});
    ASSERT_TRUE(tapRow(a));
    ASSERT_TRUE(tapRow(a));
    EXPECT_EQ(std::vector<std::string>{"open Spanish.flashcards"}, events());
    auto refused = logLinesContaining("Already opening this document: ");
    ASSERT_EQ(1u, refused.size());
    EXPECT_EQ(0u, refused[0].find(" INFO| Already opening this document: " + a.description() + " |"));

    advance(0.24);
    EXPECT_FALSE(cellOf(a)->wantsPendingOpenIndicator());
    advance(0.01);
    EXPECT_TRUE(cellOf(a)->wantsPendingOpenIndicator());
    EXPECT_TRUE(cellOf(a)->pendingOpenIndicatorView());
    EXPECT_FALSE(cellOf(b)->wantsPendingOpenIndicator());

    ASSERT_TRUE(hooks->finish(a));
    ASSERT_TRUE(waitForPresentedDeck());
    EXPECT_FALSE(cellOf(a)->wantsPendingOpenIndicator());
    EXPECT_EQ(nullptr, cellOf(a)->pendingOpenIndicatorView());
}

TEST_F(DeckLibraryOpenDeckTest, AnOpenThatEndsWithinAQuarterSecondNeverShowsTheIndicator) {
    script(b, {OpenOutcome::opens, std::nullopt, true});
    ASSERT_TRUE(tapRow(b));
    advance(0.2);
    ASSERT_TRUE(hooks->finish(b));
    ASSERT_TRUE(waitForPresentedDeck());
    advance(1);
    EXPECT_FALSE(cellOf(b)->wantsPendingOpenIndicator());
    EXPECT_EQ(nullptr, cellOf(b)->pendingOpenIndicatorView());
    EXPECT_EQ("11 - 20", Analytics::shared().events().at(0).properties["numCards2"].stringValue());
}

TEST_F(DeckLibraryOpenDeckTest, DeckAThenDeckBClosesAAndGoesOnWithB) {
    script(a, {OpenOutcome::opens, std::nullopt, true});
    script(b, {OpenOutcome::opens, std::nullopt, true});
    ASSERT_TRUE(tapRow(a));
    ASSERT_TRUE(tapRow(b));
    EXPECT_EQ(b, library->documentURLpendingOpen());

    // A's open ends: B is pending, so A is closed and B's open goes on.
    ASSERT_TRUE(hooks->finish(a));
    ASSERT_TRUE(runMainLoopUntil([this] { return events().size() == 3; }));
    EXPECT_EQ(
        (std::vector<std::string>{"open Spanish.flashcards", "open Capitals.flashcards", "close Spanish.flashcards"}),
        events());
    auto handedOver = logLinesContaining("Use tapped on another document: ");
    ASSERT_EQ(1u, handedOver.size());
    EXPECT_NE(std::string::npos, handedOver[0].find("DEBUG| Use tapped on another document: " + b.description() +
                                                    ". Closing this one: " + a.description() + " |"));
    EXPECT_EQ(b, library->documentURLpendingOpen());
    EXPECT_EQ(nullptr, library->currentlyOpenDocument());
    EXPECT_EQ(nullptr, library->presentedDeckSplitViewController());
    advance(0.3);
    EXPECT_TRUE(cellOf(b)->wantsPendingOpenIndicator());
    EXPECT_FALSE(cellOf(a)->wantsPendingOpenIndicator());

    ASSERT_TRUE(hooks->finish(b));
    ASSERT_TRUE(waitForPresentedDeck());
    EXPECT_EQ(b, library->currentlyOpenDocument()->fileURL());
    EXPECT_EQ(library->currentlyOpenDocument(), cardList()->document());
}

TEST_F(DeckLibraryOpenDeckTest, AFailedOpenShowsTheErrorAlertAndClosesTheDocument) {
    Error chained("DeckDocumentPersistence", 3, Value::dictionary({{NSLocalizedDescriptionKey, "Unreadable deck"}}));
    chained.setUnderlyingError(Error(NSPOSIXErrorDomain, 5, Value::dictionary({{NSLocalizedDescriptionKey, "I/O"}})));
    const struct {
        const char* what;
        std::optional<Error> error;
        std::optional<std::string> message;
    } cases[] = {
        {"an error with an underlying one", chained, "Unreadable deck - I/O"},
        {"a deck of a newer version",
         Error(FCPersistenceErrorDomain, FCPersistenceErrorUnsupportedFormatVersion,
               Value::dictionary({{NSLocalizedDescriptionKey, "Made by a newer version"},
                                  {NSLocalizedRecoverySuggestionErrorKey, "Please update the app."}})),
         "Please update the app."},
        {"no error", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TWLogger::sharedInstance().setMessageBacklog({});
        hooks->events.clear();
        script(a, {OpenOutcome::fails, c.error, false});
        ASSERT_TRUE(tapRow(a));
        ASSERT_TRUE(runMainLoopUntil([this] { return library->presentedViewController() != nullptr; }));
        advance(ViewController::kTransitionDuration);
        auto alert = std::dynamic_pointer_cast<AlertController>(library->presentedViewController());
        ASSERT_TRUE(alert);
        EXPECT_EQ("Error Opening the Document", alert->title());
        EXPECT_EQ(c.message, alert->message());
        ASSERT_EQ(2u, alert->actions().size());
        EXPECT_EQ("Contact Support", alert->actions()[0]->title());
        EXPECT_EQ("OK", alert->actions()[1]->title());
        EXPECT_EQ(1u, logLinesContaining(
                          " WARN| Error opening document: " + (c.error ? c.error->description() : std::string("nil")) +
                          ". Closing document again.")
                          .size());
        EXPECT_EQ(1u, logLinesContaining(". Success opening: false").size());
        EXPECT_EQ((std::vector<std::string>{"open Spanish.flashcards", "close Spanish.flashcards"}), events());
        EXPECT_EQ(std::nullopt, library->documentURLpendingOpen());
        EXPECT_EQ(nullptr, library->currentlyOpenDocument());
        EXPECT_EQ(nullptr, library->presentedDeckSplitViewController());
        ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "OK"));
        advance(ViewController::kTransitionDuration);
    }

    // The deck can be asked for again, and "Contact Support" starts the
    // feedback mail (no mail account here: its not-configured alert).
    ASSERT_TRUE(tapRow(a));
    ASSERT_TRUE(runMainLoopUntil([this] { return library->presentedViewController() != nullptr; }));
    advance(ViewController::kTransitionDuration);
    auto alert = std::dynamic_pointer_cast<AlertController>(library->presentedViewController());
    ASSERT_TRUE(alert);
    ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "Contact Support"));
    advance(ViewController::kTransitionDuration);
    auto mailAlerts = AlertView::visibleAlertViews();
    ASSERT_EQ(1u, mailAlerts.size());
    EXPECT_EQ("Mail is not configured", mailAlerts[0]->title());
    mailAlerts[0]->clickButtonAtIndex(mailAlerts[0]->cancelButtonIndex());
}

TEST_F(DeckLibraryOpenDeckTest, AReadOnlyFileIsMadeWritableOrEndsInTheLockedAlert) {
    // A superuser may write every file, so the file's permissions are scripted.
    for (const bool canBeMadeWritable : {true, false}) {
        SCOPED_TRACE(canBeMadeWritable ? "made writable" : "stays locked");
        TWLogger::sharedInstance().setMessageBacklog({});
        hooks->events.clear();
        bool writable = false;
        std::vector<std::uint32_t> changes;
        library->setDeckFilePermissions({
            [&](const std::string&) { return writable; },
            [](const std::string&, Error*) {
                FileAttributes attributes;
                attributes.posixPermissions = 0444;
                return std::optional<FileAttributes>(attributes);
            },
            [&](const std::string&, std::uint32_t permissions, Error*) {
                changes.push_back(permissions);
                writable = canBeMadeWritable;
                return true;
            },
        });
        ASSERT_TRUE(tapRow(a));
        ASSERT_TRUE(runMainLoopUntil([this] { return library->presentedViewController() != nullptr; }));
        advance(ViewController::kTransitionDuration);
        EXPECT_EQ(std::vector<std::uint32_t>{0644}, changes);
        EXPECT_EQ(1u, logLinesContaining(" WARN| Document is locked/not writable: " + a.path() +
                                         ". Trying to make writable...")
                          .size());
        EXPECT_EQ(1u, logLinesContaining(" INFO| Updated permissions from: 0o444 to: 0o644 for: " + a.path()).size());
        EXPECT_EQ(std::nullopt, library->documentURLpendingOpen());
        if (canBeMadeWritable) {
            EXPECT_EQ(library->presentedDeckSplitViewController(), library->presentedViewController());
            EXPECT_EQ(a, library->currentlyOpenDocument()->fileURL());
            cardList()->closeDeck();
            advance(ViewController::kTransitionDuration);
            ASSERT_TRUE(runMainLoopUntil([this] { return events().size() == 2; }));
        } else {
            auto alert = std::dynamic_pointer_cast<AlertController>(library->presentedViewController());
            ASSERT_TRUE(alert);
            EXPECT_EQ("Error Opening the Document", alert->title());
            EXPECT_EQ(0u, alert->message().value_or("").find("The document is locked."));
            ASSERT_EQ(2u, alert->actions().size());
            EXPECT_EQ("Contact Support", alert->actions()[0]->title());
            EXPECT_EQ("OK", alert->actions()[1]->title());
            EXPECT_EQ(
                1u,
                logLinesContaining(" WARN| Document still not writable. Won't open. Closing document again.").size());
            EXPECT_EQ(nullptr, library->currentlyOpenDocument());
            EXPECT_EQ(nullptr, library->presentedDeckSplitViewController());
            EXPECT_EQ((std::vector<std::string>{"open Spanish.flashcards", "close Spanish.flashcards"}), events());
            ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "OK"));
            advance(ViewController::kTransitionDuration);
        }
    }
}

TEST_F(DeckLibraryOpenDeckTest, ADeckInConflictIsClosedAndHandedToTheConflictBrowser) {
    script(a, {OpenOutcome::inConflict, std::nullopt, false});
    ASSERT_TRUE(tapRow(a));
    ASSERT_TRUE(runMainLoopUntil([this] { return !library->conflictResolutionRequests().empty(); }));
    EXPECT_EQ(std::vector<URL>{a}, library->conflictResolutionRequests());
    EXPECT_EQ((std::vector<std::string>{"open Spanish.flashcards", "close Spanish.flashcards"}), events());
    EXPECT_EQ(
        1u, logLinesContaining(" INFO| Document in conflict. Closing and showing conflict resolution browser.").size());
    EXPECT_EQ(nullptr, library->currentlyOpenDocument());
    EXPECT_EQ(nullptr, library->presentedDeckSplitViewController());
    EXPECT_EQ(nullptr, library->presentedViewController());
    EXPECT_EQ(std::nullopt, library->documentURLpendingOpen());
    EXPECT_TRUE(Analytics::shared().events().empty());
}

TEST_F(DeckLibraryOpenDeckTest, TheFirstCardsEditorAfterThePresentationAndAForcedThumbnail) {
    Device::current().setUserInterfaceIdiom(UserInterfaceIdiom::Pad);
    library->_openDocumentAtURL(b, true, false, true, true);
    ASSERT_TRUE(runMainLoopUntil([this] { return library->presentedDeckSplitViewController() != nullptr; }));
    auto list = cardList();
    // Not before the presentation has completed.
    EXPECT_EQ(std::nullopt, list->tableView()->indexPathForSelectedRow());
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(IndexPath::forRow(0, 0), list->tableView()->indexPathForSelectedRow());
    EXPECT_TRUE(std::dynamic_pointer_cast<EditorSegueStandIn>(UIDriver::topViewController(*window)));

    auto document = std::dynamic_pointer_cast<FIFlashcardsDocument>(library->currentlyOpenDocument());
    ASSERT_TRUE(document);
    EXPECT_TRUE(document->needsThumbnailUpdate());
    EXPECT_TRUE(document->hasUnsavedChanges());
    EXPECT_EQ(1u, logLinesContaining("DEBUG| Forcing update of thumbnail for document: Capitals.flashcards").size());
    // Two columns on the pad: nothing collapsed.
    EXPECT_EQ(2u, library->presentedDeckSplitViewController()->viewControllers().size());
}

TEST_F(DeckLibraryOpenDeckTest, OnAPhoneTheLibraryCollapsesTheBlankDetailAway) {
    ASSERT_TRUE(tapRow(a));
    ASSERT_TRUE(waitForPresentedDeck());
    auto split = library->presentedDeckSplitViewController();
    EXPECT_TRUE(split->isCollapsed());
    auto master = std::dynamic_pointer_cast<DeckMasterNavigationController>(split->viewControllers().front());
    ASSERT_TRUE(master);
    EXPECT_EQ(std::vector<std::shared_ptr<ViewController>>{cardList()}, master->viewControllers());
    EXPECT_TRUE(library->collapseSecondaryViewController(
        *split, *std::make_shared<NavigationController>(std::make_shared<EditStudyCardViewController>()), *master));
}

TEST_F(DeckLibraryOpenDeckTest, PickingACoverChangesTheRowAndTheDeckAndTheFinishedPickerSavesIt) {
    // Deck A has a custom cover image; picking drops it.
    {
        auto withImage =
            FIFlashcardsDocument::initNewDocumentWithFileURL(a, coverStyle("#3996f9", "#93ddfe", "Globe", "cover.png"));
        withImage->addNewAttachmentWithData(Data{'p', 'n', 'g'}, "cover.png");
        std::optional<bool> saved;
        withImage->saveToURL(a, DocumentSaveOperation::ForCreating, [&](bool ok) { saved = ok; });
        ASSERT_TRUE(runMainLoopUntil([&] { return saved.has_value(); }));
        bool closed = false;
        withImage->closeWithCompletionHandler([&](bool) { closed = true; });
        ASSERT_TRUE(runMainLoopUntil([&] { return closed; }));
    }
    library->setEditing(true, false);
    ASSERT_TRUE(cellOf(a)->wantsEditCoverIndictator());
    ASSERT_TRUE(UIDriver::tap(*cellOf(a)->coverImageView()));
    ASSERT_TRUE(runMainLoopUntil([this] { return library->pickCoverStyleController() != nullptr; }));

    auto picker = library->pickCoverStyleController();
    EXPECT_EQ(library, std::dynamic_pointer_cast<DeckLibraryTableViewController>(picker->delegate().lock()));
    EXPECT_EQ(library->view(), picker->containerView());
    EXPECT_EQ(a, picker->documentURL());
    EXPECT_EQ(1, picker->pickerView()->selectedRowInComponent(0));  // "#3996f9"
    EXPECT_EQ(6, picker->pickerView()->selectedRowInComponent(1));  // "Globe"
    auto document = std::dynamic_pointer_cast<FIFlashcardsDocument>(library->currentlyOpenDocument());
    ASSERT_TRUE(document);
    EXPECT_EQ(nullptr, library->presentedDeckSplitViewController());
    EXPECT_EQ(std::nullopt, library->documentURLpendingOpen());

    UIDriver::pickRow(*picker->pickerView(), 4, 0);
    auto picked = document->deck()->coverStyle();
    EXPECT_EQ("#f56b0b", picked->startHexColor());
    EXPECT_EQ("#fdac34", picked->endHexColor());
    EXPECT_EQ("Globe", picked->iconName());
    EXPECT_EQ(std::nullopt, picked->customImageName());
    EXPECT_TRUE(document->needsThumbnailUpdate());
    EXPECT_TRUE(document->hasUnsavedChanges());
    // The row shows the new cover at once: its icon on the style's colour.
    const auto& helper = DocumentItemDetailsHelper::shared();
    auto expected = helper.coverStyleImage(picked, helper.coverImageSize());
    auto cover = cellOf(a)->coverImageView();
    ASSERT_TRUE(cellOf(a)->coverImage());
    EXPECT_EQ(expected->coverImage()->size(), cellOf(a)->coverImage()->size());
    EXPECT_EQ(cellOf(a)->coverImage(), cover->image());
    ASSERT_TRUE(expected->coverImageBackgroundColor());
    EXPECT_TRUE(
        colorNear(*expected->coverImageBackgroundColor(), cover->backgroundColor().value_or(Color::clearColor())));
    EXPECT_EQ(ContentMode::Center, cover->contentMode());

    // A tap in the library's empty space (above the picker at the bottom)
    // closes the picker, which closes and saves the deck with its new cover.
    ASSERT_TRUE(UIDriver::tap(*window, Point(200, 500)));
    EXPECT_EQ(nullptr, library->pickCoverStyleController());
    ASSERT_TRUE(runMainLoopUntil([this] { return events().size() == 2; }));
    EXPECT_EQ("close Spanish.flashcards", events()[1]);
    EXPECT_EQ(nullptr, library->currentlyOpenDocument());
    EXPECT_TRUE(runMainLoopUntil([this] { return library->documentsPendingClose().empty(); }));

    auto reread = FIFlashcardsDocument::initWithFileURL(a);
    std::optional<bool> opened;
    reread->openWithCompletionHandler([&](bool ok) { opened = ok; });
    ASSERT_TRUE(runMainLoopUntil([&] { return opened.has_value(); }));
    ASSERT_TRUE(*opened);
    EXPECT_EQ("#f56b0b", reread->deck()->coverStyle()->startHexColor());
    EXPECT_EQ(std::nullopt, reread->zipBackedPersistence()->dataForAttachmentWithName(std::string("cover.png")));
    bool closed = false;
    reread->closeWithCompletionHandler([&](bool) { closed = true; });
    ASSERT_TRUE(runMainLoopUntil([&] { return closed; }));
}

TEST_F(DeckLibraryOpenDeckTest, APickOnlyReachesTheOpenCurrentFormatDeckOfAVisibleRow) {
    ASSERT_TRUE(library->tableView()->isEditing() == false);
    library->_openDocumentAtURL(a, false, true, false, true);
    ASSERT_TRUE(runMainLoopUntil([this] { return library->pickCoverStyleController() != nullptr; }));
    auto document = library->currentlyOpenDocument();
    const auto before = document->deck()->coverStyle();
    auto style = coverStyle("#f56b0b", "#fdac34", "Leaf");
    auto& picker = *library->pickCoverStyleController();

    // Another document's URL, or a URL without a row, changes nothing.
    library->pickCoverStyleController(picker, style, b);
    library->pickCoverStyleController(picker, style, URL::fileURLWithPath(dir.file("Gone.flashcards")));
    library->pickCoverStyleController(picker, style, std::nullopt);
    EXPECT_EQ(before, document->deck()->coverStyle());
    EXPECT_FALSE(document->hasUnsavedChanges());
    library->pickCoverStyleController(picker, style, a);
    EXPECT_EQ(style, document->deck()->coverStyle());

    // A second cover request while the picker shows only takes it away,
    // which closes the deck.
    library->_openDocumentAtURL(b, false, true, false, true);
    ASSERT_TRUE(runMainLoopUntil([this] { return library->pickCoverStyleController() == nullptr; }));
    ASSERT_TRUE(runMainLoopUntil([this] { return library->currentlyOpenDocument() == nullptr; }));
}

TEST_F(DeckLibraryOpenDeckTest, ACoverChangeOfALegacyDeckDoesNothing) {
    library->_openDocumentAtURL(legacy, false, true, false, true);
    drainMainLoop();
    advance(1);
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(std::nullopt, library->documentURLpendingOpen());
    EXPECT_EQ(nullptr, library->pickCoverStyleController());
    EXPECT_EQ(1u, logLinesContaining("Request to open: ").size());
    EXPECT_TRUE(logLinesContaining("About to open").empty());
    EXPECT_FALSE(cellOf(legacy)->wantsPendingOpenIndicator());
}

// The request leaves no URL pending after an unsupported extension, so the
// same URL can be asked for again (and is refused again as unsupported, not
// as already opening).
TEST_F(DeckLibraryOpenDeckTest, AnUnsupportedExtensionLeavesNothingPending) {
    const URL text = URL::fileURLWithPath(dir.file("notes.txt"));
    library->_openDocumentAtURL(text, false, false, false, true);
    EXPECT_EQ(std::nullopt, library->documentURLpendingOpen());
    library->_openDocumentAtURL(text, false, false, false, true);
    EXPECT_EQ(2u, logLinesContaining(" WARN| Unsupported document type: " + text.description()).size());
    EXPECT_TRUE(logLinesContaining("Already opening this document").empty());
    EXPECT_TRUE(events().empty());
    EXPECT_TRUE(AlertView::visibleAlertViews().empty());
    EXPECT_EQ(nullptr, library->presentedViewController());
}

// A deck opened while another is still open here (the cover picker's, or
// one opened from outside the library) closes that one first, its row
// reading "Saving…" meanwhile, and only then takes the new one, so the
// first deck's changes are saved.
TEST_F(DeckLibraryOpenDeckTest, ADeckStillOpenIsClosedAndSavedBeforeTheNewOneTakesItsPlace) {
    library->_openDocumentAtURL(a, false, true, false, true);
    ASSERT_TRUE(runMainLoopUntil([this] { return library->pickCoverStyleController() != nullptr; }));
    auto first = library->currentlyOpenDocument();
    UIDriver::pickRow(*library->pickCoverStyleController()->pickerView(), 5, 0);
    ASSERT_TRUE(first->hasUnsavedChanges());

    bool savingShownWhileClosing = false;
    hooks->onClose = [&](const URL& url) {
        if (url == a) savingShownWhileClosing = library->documentsPendingClose().count(a) == 1;
    };
    library->_openDocumentAtURL(b, false, false, false, true);
    ASSERT_TRUE(waitForPresentedDeck());
    EXPECT_EQ(
        (std::vector<std::string>{"open Spanish.flashcards", "open Capitals.flashcards", "close Spanish.flashcards"}),
        events());
    EXPECT_TRUE(savingShownWhileClosing);
    EXPECT_FALSE(first->hasUnsavedChanges());
    EXPECT_TRUE(first->documentState() & DocumentStateClosed);
    // Presenting the new deck ended the picker; the presented deck stays open.
    EXPECT_EQ(nullptr, library->pickCoverStyleController());
    EXPECT_FALSE(library->currentlyOpenDocument()->documentState() & DocumentStateClosed);
    EXPECT_EQ(nullptr, first->delegate());
    EXPECT_EQ(b, library->currentlyOpenDocument()->fileURL());
    EXPECT_EQ(library->currentlyOpenDocument(), FIAppDelegateDocuments::currentDocument());
    EXPECT_TRUE(runMainLoopUntil([this] { return library->documentsPendingClose().empty(); }));
}

// Each save of the open deck writes a new file and renames it over the deck:
// the deck keeps its identifier, so the details cache goes on leaving it
// alone, and closing it through its close button ends that.
TEST_F(DeckLibraryOpenDeckTest, AnOpenDeckSavedThreeTimesKeepsItsIdentifierUntilItsCloseEndsTheIgnoring) {
    ASSERT_TRUE(tapRow(a));
    ASSERT_TRUE(waitForPresentedDeck());
    auto& cache = *library->documentDetailsCache();
    const std::int64_t identifier = cache.documentIdentifierProvider().identifier(a);
    EXPECT_EQ(identifier, cache.ignoreDocumentWithIdentifier());
    auto document = std::dynamic_pointer_cast<FIFlashcardsDocument>(library->currentlyOpenDocument());
    ASSERT_TRUE(document);
    for (int save = 1; save <= 3; ++save) {
        SCOPED_TRACE("save " + std::to_string(save));
        struct stat before;
        ASSERT_EQ(0, ::stat(a.path().c_str(), &before));
        document->didChangeCardContents();
        std::optional<bool> saved;
        document->saveToURL(a, DocumentSaveOperation::ForOverwriting, [&](bool ok) { saved = ok; });
        ASSERT_TRUE(runMainLoopUntil([&] { return saved.has_value(); }));
        ASSERT_TRUE(*saved);
        struct stat after;
        ASSERT_EQ(0, ::stat(a.path().c_str(), &after));
        EXPECT_NE(before.st_ino, after.st_ino);  // a new file took the deck's place
        EXPECT_EQ(identifier, cache.documentIdentifierProvider().identifier(a));
        EXPECT_EQ(identifier, cache.ignoreDocumentWithIdentifier());
    }

    auto close = cardList()->navigationItem().leftBarButtonItem();
    ASSERT_TRUE(close);
    ASSERT_TRUE(UIDriver::tap(*close));
    advance(ViewController::kTransitionDuration);
    ASSERT_TRUE(runMainLoopUntil([this] {
        return !library->presentedViewController() && !library->currentlyOpenDocument() &&
               library->documentsPendingClose().empty();
    }));
    EXPECT_TRUE(document->documentState() & DocumentStateClosed);
    EXPECT_EQ(std::nullopt, cache.ignoreDocumentWithIdentifier());
}

// A deck opened from outside the library (a file handed to the app) while
// another deck is shown takes its place on screen.
TEST_F(DeckLibraryOpenDeckTest, AnOpenWhileADeckIsShownEndsInTheNewDeck) {
    ASSERT_TRUE(tapRow(a));
    ASSERT_TRUE(waitForPresentedDeck());
    auto first = library->currentlyOpenDocument();
    auto firstSplit = library->presentedDeckSplitViewController();

    DeckLibraryConfigurator::openDocumentAtURL(b, false, true, library);
    ASSERT_TRUE(runMainLoopUntil([&] {
        return library->presentedDeckSplitViewController() &&
               library->presentedDeckSplitViewController() != firstSplit &&
               library->presentedViewController() == library->presentedDeckSplitViewController();
    }));
    advance(ViewController::kTransitionDuration);
    EXPECT_TRUE(first->documentState() & DocumentStateClosed);
    ASSERT_TRUE(library->currentlyOpenDocument());
    EXPECT_EQ(b, library->currentlyOpenDocument()->fileURL());
    EXPECT_FALSE(library->currentlyOpenDocument()->documentState() & DocumentStateClosed);
    EXPECT_EQ(library->currentlyOpenDocument(), cardList()->document());
    EXPECT_EQ(nullptr, firstSplit->presentingViewController());
    EXPECT_EQ(std::nullopt, library->documentURLpendingOpen());
}

// A damaged deck fails to open: the library tells the user that opening it
// failed, and the document shows no alert of its own (which speaks of saving).
TEST_F(DeckLibraryOpenDeckTest, ADamagedDeckShowsTheOpeningAlertAndNoOther) {
    FIAppDelegateDocuments::installDocumentHooks();
    const auto whole = dataWithContentsOfFile(a.path());
    ASSERT_TRUE(whole);
    auto& files = FileManager::defaultManager();
    const struct {
        const char* what;
        std::function<void()> damage;
    } cases[] = {
        {"a truncated zip",
         [&] { files.createFileAtPath(a.path(), Data(whole->begin(), whole->begin() + whole->size() / 2)); }},
        {"random bytes",
         [&] {
             Data bytes;
             for (unsigned i = 0; i < 4096; ++i) bytes.push_back(static_cast<std::uint8_t>((i * 2654435761u) >> 13));
             files.createFileAtPath(a.path(), bytes);
         }},
        {"an empty file", [&] { files.createFileAtPath(a.path(), Data()); }},
        {"a folder", [&] { files.createDirectoryAtPath(a.path(), true); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        files.removeItemAtPath(a.path());
        c.damage();
        ASSERT_TRUE(tapRow(a));
        ASSERT_TRUE(runMainLoopUntil([this] { return library->presentedViewController() != nullptr; }));
        advance(ViewController::kTransitionDuration);
        drainMainLoop();
        auto alert = std::dynamic_pointer_cast<AlertController>(library->presentedViewController());
        ASSERT_TRUE(alert);
        EXPECT_EQ("Error Opening the Document", alert->title());
        EXPECT_EQ(alert, UIDriver::presentedAlert());  // no alert above it
        EXPECT_EQ(nullptr, library->currentlyOpenDocument());
        ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "OK"));
        advance(ViewController::kTransitionDuration);
    }
}
