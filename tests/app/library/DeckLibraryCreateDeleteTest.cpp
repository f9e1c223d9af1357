// Creating, importing and deleting decks from the library, on a temporary
// Documents folder listed by a real local documents controller and on the
// virtual clock.

#include <gtest/gtest.h>

#include <unistd.h>

#include <future>
#include <thread>

#include "Common/FIFlashcardsDocument.h"
#include "Common/FILegacyDeckDocument.h"
#include "app/cards/CardListTableViewController.h"
#include "app/library/DeckLibraryTableViewController.h"
#include "app/library/DeckMasterNavigationController.h"
#include "app/library/DocumentItemDetailsHelper.h"
#include "app/library/ScriptedDeckDocuments.h"
#include "app/shell/FIAppDelegateDocuments.h"
#include "app/storage/DocumentDetailsCache.h"
#include "app/storage/LocalDocumentsController.h"
#include "app/storage/MakeNewDeckDialogViewController.h"
#include "app/views/StandaloneAlertController.h"
#include "model/FCCoverStyle.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/URLResourceValues.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/DocumentMenuViewController.h"
#include "platform/ui/Image.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TextField.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using namespace memorant_test;

namespace {

// The local controller of the test's Documents folder, recording the
// library's hooks among the documents' events. With `fileArrives`, someone
// else's file lands at the unique URL right after it was named, before the
// new deck is saved (another new deck of that title, a file synced in).
class RecordingLocalDocumentsController : public DocumentsController {
public:
    RecordingLocalDocumentsController(const URL& folder, std::shared_ptr<ScriptedDocumentHooks> hooks)
        : local_(LocalDocumentsController::create(folder)), hooks_(std::move(hooks)) {}
    void setDelegate(std::weak_ptr<FlashcardsDocumentQueryDelegate> delegate) override {
        local_->setDelegate(std::move(delegate));
    }
    void startListing() override { local_->startListing(); }
    void stopListing() override { local_->stopListing(); }
    void enableUpdates() override {}
    void disableUpdates() override {}
    bool isDocumentNameAvailable(const std::string& name, const URL& parent) override {
        return local_->isDocumentNameAvailable(name, parent);
    }
    std::optional<URL> uniqueDocumentURL(const std::string& baseName, const std::string& extension) override {
        if (noFolder) return std::nullopt;
        auto url = local_->uniqueDocumentURL(baseName, extension);
        if (url && fileArrives) {
            EXPECT_TRUE(writeStringAtomically(kSomeonesDeck, url->path()));
        }
        return url;
    }
    void documentDidChange(const URL& url) override { local_->documentDidChange(url); }
    void documentWasAdded(const URL& url) override {
        hooks_->events.push_back("added " + url.lastPathComponent());
        local_->documentWasAdded(url);
    }
    void documentWasDeleted(const URL& url) override {
        hooks_->events.push_back("deleted " + url.lastPathComponent());
        local_->documentWasDeleted(url);
    }
    void documentWasMoved(const URL& from, const URL& to) override { local_->documentWasMoved(from, to); }

    static constexpr const char* kSomeonesDeck = "someone else's deck";
    std::atomic<bool> fileArrives{false};
    std::atomic<bool> noFolder{false};  // as when the cloud container is gone

private:
    std::shared_ptr<LocalDocumentsController> local_;
    std::shared_ptr<ScriptedDocumentHooks> hooks_;
};

class EditorSegueStandIn : public ViewController {};

std::size_t logLinesContaining(const std::string& text) {
    std::size_t n = 0;
    for (const auto& line : TWLogger::sharedInstance().messageBacklog())
        if (line.find(text) != std::string::npos) ++n;
    return n;
}

// The save-error alerts on screen, each in its own window.
std::vector<std::shared_ptr<StandaloneAlertController>> saveErrorAlerts() {
    std::vector<std::shared_ptr<StandaloneAlertController>> found;
    for (const auto& window : Application::shared().windows()) {
        if (window->isHidden() || !window->rootViewController()) continue;
        if (auto alert = std::dynamic_pointer_cast<StandaloneAlertController>(
                window->rootViewController()->presentedViewController()))
            found.push_back(alert);
    }
    return found;
}

}  // namespace

class DeckLibraryCreateDeleteTest : public UITest {
protected:
    void SetUp() override {
        TWLogger::sharedInstance().setMessageBacklogSize(100000);
        TWLogger::sharedInstance().setMessageBacklog({});
        FIAppDelegateDocuments::installDocumentHooks();
        Storyboard::extendStoryboard(
            DeckLibraryTableViewController::kStoryboardName, "zz-create-delete-test", [](Storyboard& s) {
                s.addScene<EditorSegueStandIn>("EditorSegueStandIn");
                s.addSegue(CardListTableViewController::kSceneIdentifier, "ShowEditorDetailSegue", "EditorSegueStandIn",
                           StoryboardSegueKind::Modal);
            });
        ASSERT_TRUE(FileManager::defaultManager().createDirectoryAtPath(folder.path(), true));
        library = Storyboard::storyboardWithName(DeckLibraryTableViewController::kStoryboardName)
                      ->instantiate<DeckLibraryTableViewController>(DeckLibraryTableViewController::kSceneIdentifier);
        ASSERT_NE(nullptr, library);
        library->setDocumentsController(documents);
        useScriptedDeckDocuments(*library, hooks);
        window->setRootViewController(std::make_shared<NavigationController>(library));
        window->makeKeyAndVisible();
        ASSERT_TRUE(runMainLoopUntil([this] { return library->isViewLoaded(); }));
        settle();
    }
    void TearDown() override {
        if (library) {
            if (auto presented = library->presentedViewController()) presented->dismissViewController(false);
            bool closed = false;
            library->_closeCurrentlyOpenDocumentIfNeeded([&closed] { closed = true; });
            EXPECT_TRUE(runMainLoopUntil([&closed] { return closed; }));
            settle();
        }
        for (auto& w : Application::shared().windows()) w->setHidden(true);
        FIFlashcardsDocument::setErrorAlertPresenter(nullptr);
        FIFlashcardsDocument::setCoverIconImageProvider(nullptr);
        Storyboard::extendStoryboard(DeckLibraryTableViewController::kStoryboardName, "zz-create-delete-test",
                                     [](Storyboard&) {});
        UITest::TearDown();
    }
    // Lets the list and the details reads settle.
    void settle() {
        drainMainLoop();
        const auto& cache = *library->documentDetailsCache();
        ASSERT_TRUE(runMainLoopUntil([&cache] { return cache.backgroundQueue()->operationCount() == 0; }));
        drainMainLoop();
    }
    std::vector<std::string> listed() const {
        std::vector<std::string> names;
        for (const auto& item : library->documentItems()) names.push_back(item->url().lastPathComponent());
        return names;
    }
    ::testing::AssertionResult waitForListed(const std::vector<std::string>& names) {
        return runMainLoopUntil([&] { return listed() == names; });
    }
    // A deck on disk that the library lists.
    URL addDeck(const std::string& name) {
        URL url = URL::fileURLWithPath(folder.path() + "/" + name);
        writeFlashcardsDeck(url, 2);
        hooks->events.clear();
        documents->documentWasAdded(url);
        hooks->events.clear();
        return url;
    }
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
    std::shared_ptr<AlertController> deletingAlert() {
        auto alert = UIDriver::presentedAlert();
        return alert && alert->title() == std::optional<std::string>("Deleting Deck\u2026") ? alert : nullptr;
    }
    std::vector<std::string> events() const { return hooks->events; }
    bool exists(const URL& url) const { return FileManager::defaultManager().fileExistsAtPath(url.path()); }
    std::shared_ptr<MakeNewDeckDialogViewController> presentedDialog() {
        auto navigation = std::dynamic_pointer_cast<NavigationController>(library->presentedViewController());
        return navigation ? std::dynamic_pointer_cast<MakeNewDeckDialogViewController>(navigation->topViewController())
                          : nullptr;
    }

    TempDir dir;
    URL folder = URL::fileURLWithPath(dir.file("Documents"), true);
    std::shared_ptr<ScriptedDocumentHooks> hooks = std::make_shared<ScriptedDocumentHooks>();
    std::shared_ptr<RecordingLocalDocumentsController> documents =
        std::make_shared<RecordingLocalDocumentsController>(folder, hooks);
    std::shared_ptr<DeckLibraryTableViewController> library;
    std::shared_ptr<Window> window = std::make_shared<Window>();
};

TEST_F(DeckLibraryCreateDeleteTest, TheAddMenuCreatesAHiddenExtensionDeckThatIsAnnouncedThenOpenedOnItsFirstCard) {
    ASSERT_TRUE(UIDriver::tap(*library->addDeckBarButtonItem()));
    auto menu = library->addMenu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu, library->presentedViewController());
    EXPECT_EQ(std::vector<std::string>{FIFlashcardsDocument::flashcardsDocumentUTI()}, menu->documentTypes());
    EXPECT_EQ(DocumentPickerMode::Open, menu->documentPickerMode());
    EXPECT_EQ(ModalPresentationStyle::Popover, menu->modalPresentationStyle());
    EXPECT_EQ(library->addDeckBarButtonItem(), menu->popoverPresentationController()->barButtonItem());
    ASSERT_EQ(2u, menu->rowTitles().size());
    EXPECT_EQ("Create Deck", menu->rowTitles()[0]);
    ASSERT_TRUE(menu->options()[0].image);
    EXPECT_EQ(menu->options()[0].image->size(), Image::named("PlusTemplate")->size());
    advance(ViewController::kTransitionDuration);

    // A tap on "Create Deck": the menu goes, the dialog comes.
    ASSERT_TRUE(menu->rowButton("Create Deck"));
    ASSERT_TRUE(UIDriver::tap(*menu->rowButton("Create Deck")));
    advance(ViewController::kTransitionDuration);
    advance(ViewController::kTransitionDuration);
    auto dialog = presentedDialog();
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(UIDriver::typeText(*dialog->deckTitleTextField(), "  A/B \n"));
    ASSERT_TRUE(UIDriver::tap(*dialog->createDeckBarButtonItem()));
    advance(ViewController::kTransitionDuration);

    ASSERT_TRUE(waitForPresentedDeck());
    const URL created = URL::fileURLWithPath(folder.path() + "/A-B.flashcards");
    EXPECT_TRUE(exists(created));
    EXPECT_EQ(std::optional<Value>(Value(true)), resourceValueForKey(created, URLHasHiddenExtensionKey));
    // Announced first, then opened.
    EXPECT_EQ((std::vector<std::string>{"added A-B.flashcards", "open A-B.flashcards"}), events());
    const auto& request = library->operationRequests().back();
    EXPECT_EQ(std::optional<URL>(created), request.url);
    EXPECT_TRUE(request.editFirstCardRightAway);
    EXPECT_FALSE(request.regenerateThumbnail || request.openToChangeCover || request.animated);
    // The editor of its one card.
    EXPECT_EQ(1, cardList()->tableView()->numberOfRowsInSection(0));
    EXPECT_EQ(IndexPath::forRow(0, 0), cardList()->tableView()->indexPathForSelectedRow());
    EXPECT_TRUE(std::dynamic_pointer_cast<EditorSegueStandIn>(UIDriver::topViewController(*window)));
    EXPECT_TRUE(waitForListed({"A-B.flashcards"}));

    // Back in the library, the same title again names the next free file.
    library->dismissViewController(false);
    library->setPresentedDeckSplitViewController(nullptr);
    ASSERT_TRUE(runMainLoopUntil([this] { return library->currentlyOpenDocument() == nullptr; }));
    hooks->events.clear();
    auto style = std::make_shared<FCCoverStyle>();
    style->setStartHexColor(std::string("#f4314a"));
    library->_handleNewDeckDialogResult(std::string("A/B"), style);
    ASSERT_TRUE(waitForPresentedDeck());
    EXPECT_EQ((std::vector<std::string>{"added A-B 2.flashcards", "open A-B 2.flashcards"}), events());
    auto deck = library->currentlyOpenDocument()->deck();
    ASSERT_TRUE(deck && deck->coverStyle());
    EXPECT_EQ(style->startHexColor(), deck->coverStyle()->startHexColor());
    EXPECT_TRUE(waitForListed({"A-B.flashcards", "A-B 2.flashcards"}));
}

TEST_F(DeckLibraryCreateDeleteTest, ACancelledDialogMakesNothingAndTitlesLoseSlashesAndNulBytes) {
    library->_handleNewDeckDialogResult(std::nullopt, nullptr);
    library->_handleNewDeckDialogResult(std::string("Kept"), nullptr);
    library->_handleNewDeckDialogResult(std::nullopt, FCCoverStyle::defaultStyle());
    settle();
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(std::vector<std::string>{}, *FileManager::defaultManager().contentsOfDirectoryAtPath(folder.path()));

    const struct {
        std::string title;
        std::string fileName;
    } cases[] = {{"A/B", "A-B"}, {std::string("a\0b", 3), "a-b"}, {"//x/", "--x-"}, {"Déjà vu: 1", "Déjà vu: 1"}};
    for (const auto& c : cases) EXPECT_EQ(c.fileName, DeckLibraryTableViewController::fileNameForDeckTitle(c.title));
}

TEST_F(DeckLibraryCreateDeleteTest, AFailedSaveShowsTheSaveErrorAlertOnceAndAddsNoRow) {
    // A folder the deck cannot be written in: read-only, or gone where the
    // user may write anything (the superuser).
    ASSERT_TRUE(FileManager::defaultManager().setPosixPermissions(folder.path(), 0555));
    if (::access(folder.path().c_str(), W_OK) == 0) {
        ASSERT_TRUE(FileManager::defaultManager().removeItemAtPath(folder.path()));
    }
    library->_handleNewDeckDialogResult(std::string("Lost"), FCCoverStyle::defaultStyle());
    ASSERT_TRUE(runMainLoopUntil([] { return logLinesContaining("WARN| Error saving new document: ") == 1; }));
    ASSERT_TRUE(runMainLoopUntil([] { return !saveErrorAlerts().empty(); }));
    advance(ViewController::kTransitionDuration);
    settle();
    EXPECT_EQ(1u, logLinesContaining(" WARN| Error saving new document: " +
                                     URL::fileURLWithPath(folder.path() + "/Lost.flashcards").description() + " |"));
    ASSERT_EQ(1u, saveErrorAlerts().size());
    EXPECT_EQ(Bundle::main().localizedString("ErrorSavingDeckTitle", "", "Localizable"), saveErrorAlerts()[0]->title());
    EXPECT_TRUE(events().empty());
    EXPECT_TRUE(library->documentItems().empty());
    EXPECT_EQ(nullptr, library->presentedViewController());
    EXPECT_TRUE(UIDriver::tapAlertAction(*saveErrorAlerts()[0], "OK"));
    advance(ViewController::kTransitionDuration);
    FileManager::defaultManager().setPosixPermissions(folder.path(), 0755);
}

TEST_F(DeckLibraryCreateDeleteTest, AFileArrivingAtTheNewDecksNameIsKeptAndTheCreateFailsLikeAnySave) {
    documents->fileArrives = true;
    library->_handleNewDeckDialogResult(std::string("Spanish"), FCCoverStyle::defaultStyle());
    ASSERT_TRUE(runMainLoopUntil([] { return logLinesContaining("WARN| Error saving new document: ") == 1; }));
    ASSERT_TRUE(runMainLoopUntil([] { return !saveErrorAlerts().empty(); }));
    advance(ViewController::kTransitionDuration);
    settle();
    const URL url = URL::fileURLWithPath(folder.path() + "/Spanish.flashcards");
    auto kept = dataWithContentsOfFile(url.path());
    ASSERT_TRUE(kept);
    EXPECT_EQ(std::string(RecordingLocalDocumentsController::kSomeonesDeck), std::string(kept->begin(), kept->end()));
    EXPECT_EQ(1u, saveErrorAlerts().size());
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(nullptr, library->presentedViewController());
    EXPECT_TRUE(UIDriver::tapAlertAction(*saveErrorAlerts()[0], "OK"));
    advance(ViewController::kTransitionDuration);
}

TEST_F(DeckLibraryCreateDeleteTest, PickingADeckElsewhereOpensItWhereItLies) {
    ASSERT_TRUE(FileManager::defaultManager().createDirectoryAtPath(dir.file("Elsewhere"), true));
    const URL far = URL::fileURLWithPath(dir.file("Elsewhere/Far.flashcards"));
    writeFlashcardsDeck(far, 3);
    hooks->events.clear();
    ASSERT_TRUE(UIDriver::tap(*library->addDeckBarButtonItem()));
    advance(ViewController::kTransitionDuration);
    auto browse = library->addMenu()->rowButton(DocumentMenuViewController::kDocumentBrowserPlaceTitle);
    ASSERT_TRUE(browse);
    ASSERT_TRUE(UIDriver::tap(*browse));
    advance(ViewController::kTransitionDuration);
    advance(ViewController::kTransitionDuration);
    auto picker = std::dynamic_pointer_cast<DocumentPickerViewController>(library->presentedViewController());
    ASSERT_TRUE(picker);
    EXPECT_EQ(library, std::dynamic_pointer_cast<DeckLibraryTableViewController>(picker->delegate()));
    EXPECT_EQ(DocumentPickerMode::Open, picker->documentPickerMode());
    EXPECT_EQ(std::vector<std::string>{FIFlashcardsDocument::flashcardsDocumentUTI()}, picker->documentTypes());
    ASSERT_TRUE(picker->userDidPickDocumentAtURL(far));
    advance(ViewController::kTransitionDuration);
    ASSERT_TRUE(waitForPresentedDeck());
    EXPECT_EQ(std::vector<std::string>{"open Far.flashcards"}, events());
    EXPECT_EQ(far, library->currentlyOpenDocument()->fileURL());
    const auto& request = library->operationRequests().back();
    EXPECT_EQ(std::optional<URL>(far), request.url);
    EXPECT_FALSE(request.regenerateThumbnail || request.openToChangeCover || request.editFirstCardRightAway ||
                 request.animated);
    EXPECT_TRUE(exists(far));
    EXPECT_EQ(std::vector<std::string>{}, listed());
}

TEST_F(DeckLibraryCreateDeleteTest, CancelWithinFourSecondsLeavesTheDeckAndWaitingDeletesItUnderCoordination) {
    const URL a = addDeck("Alpha.flashcards");
    ASSERT_TRUE(waitForListed({"Alpha.flashcards"}));
    settle();
    ASSERT_TRUE(UIDriver::swipeRow(*library->tableView(), IndexPath::forRow(0, 0)));
    ASSERT_TRUE(UIDriver::tapSwipeAction(*library->tableView(), "Delete"));
    drainMainLoop();
    auto alert = deletingAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(std::nullopt, alert->message());
    ASSERT_EQ(1u, alert->actions().size());
    EXPECT_EQ(AlertActionStyle::Cancel, alert->actions()[0]->style());
    EXPECT_EQ(nullptr, library->delayedDeleteTimer());  // not before the alert is on screen
    advance(ViewController::kTransitionDuration);
    ASSERT_TRUE(library->delayedDeleteTimer());
    ASSERT_TRUE(library->delayedDeleteTimerUserInfo());
    EXPECT_EQ(alert, library->delayedDeleteTimerUserInfo()->alert);
    EXPECT_EQ(std::optional<URL>(a), library->delayedDeleteTimerUserInfo()->url);

    // Cancel in the last moment: the four seconds end while the alert goes,
    // before its handler runs, and the answer still wins.
    advance(3.9);
    ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "Cancel"));
    advance(ViewController::kTransitionDuration);
    EXPECT_FALSE(library->delayedDeleteTimer() && library->delayedDeleteTimer()->isValid());
    EXPECT_EQ(nullptr, library->delayedDeleteTimer());
    advance(10);
    settle();
    EXPECT_TRUE(exists(a));
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(std::vector<std::string>{"Alpha.flashcards"}, listed());

    // Again, and waiting: the removal waits for a reader that holds the file.
    library->deleteDeck(a);
    advance(ViewController::kTransitionDuration);
    std::promise<void> entered, release;
    std::thread reader([&] {
        FileCoordinator().coordinateReadingItemAtURL(a, FileCoordinator::ReadingNone, nullptr, [&](const URL&) {
            entered.set_value();
            release.get_future().wait();
        });
    });
    entered.get_future().wait();
    advance(DeckLibraryTableViewController::kDeleteConfirmationDelay);
    EXPECT_EQ(nullptr, deletingAlert() == alert ? alert : nullptr);
    advance(ViewController::kTransitionDuration);
    ASSERT_TRUE(runMainLoopUntil([] { return FileCoordinator::numberOfWaitingCoordinations() == 1; }));
    EXPECT_TRUE(exists(a));
    release.set_value();
    reader.join();
    ASSERT_TRUE(runMainLoopUntil([this] { return !events().empty(); }));
    EXPECT_EQ(std::vector<std::string>{"deleted Alpha.flashcards"}, events());
    EXPECT_FALSE(exists(a));
    EXPECT_EQ(1u, logLinesContaining(" INFO| Deleted document: " + a.description() + " |"));
    EXPECT_TRUE(waitForListed({}));
    EXPECT_EQ(nullptr, deletingAlert());
    EXPECT_EQ(nullptr, library->presentedViewController());
}

TEST_F(DeckLibraryCreateDeleteTest, TheOpenDeckAsksFromItsCardListAndIsClosedAndDismissedBeforeItsFileGoes) {
    const URL a = addDeck("Alpha.flashcards");
    ASSERT_TRUE(waitForListed({"Alpha.flashcards"}));
    library->_openDocumentAtURL(a, false, false, false, true);
    ASSERT_TRUE(waitForPresentedDeck());
    std::shared_ptr<SplitViewController> split = library->presentedDeckSplitViewController();
    hooks->events.clear();
    hooks->onClose = [this](const URL& url) {
        // The file is still there while the deck closes.
        hooks->events.push_back(exists(url) ? "file present" : "file gone");
    };

    // The card list's delete: the library already presents the split view,
    // so the alert comes over it.
    auto delegate = cardList()->deckChangeDelegate();
    ASSERT_TRUE(delegate);
    delegate->deleteDeckAtURL(a);
    drainMainLoop();
    auto alert = deletingAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(split, alert->presentingViewController());
    advance(ViewController::kTransitionDuration);
    ASSERT_TRUE(library->delayedDeleteTimer());
    advance(DeckLibraryTableViewController::kDeleteConfirmationDelay);
    advance(ViewController::kTransitionDuration);
    // The alert has gone; the deck closes, and its split view goes.
    ASSERT_TRUE(runMainLoopUntil([this, split] { return events().size() == 2 && split->isBeingDismissed(); }));
    EXPECT_EQ(nullptr, library->currentlyOpenDocument());
    EXPECT_TRUE(exists(a));
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(nullptr, library->presentedDeckSplitViewController());
    ASSERT_TRUE(runMainLoopUntil([this] { return events().size() == 3; }));
    EXPECT_EQ((std::vector<std::string>{"close Alpha.flashcards", "file present", "deleted Alpha.flashcards"}),
              events());
    EXPECT_FALSE(exists(a));
    EXPECT_EQ(nullptr, library->currentlyOpenDocument());
    EXPECT_EQ(nullptr, library->presentedViewController());
    EXPECT_EQ(nullptr, FIAppDelegateDocuments::currentDocument());
    EXPECT_TRUE(waitForListed({}));
}

TEST_F(DeckLibraryCreateDeleteTest, ALegacyDeckLosesItsPreviewAndAFailedRemovalKeepsTheRow) {
    const URL legacy = URL::fileURLWithPath(folder.path() + "/Old.studydeck", true);
    const URL preview = FILegacyDeckDocument::previewFileURLforLegacyDeckURL(legacy);
    ASSERT_TRUE(FileManager::defaultManager().createDirectoryAtPath(legacy.path() + "/Contents", true));
    ASSERT_TRUE(writeStringAtomically("preview", preview.path()));
    library->deleteDeck(legacy);
    advance(ViewController::kTransitionDuration);
    advance(DeckLibraryTableViewController::kDeleteConfirmationDelay);
    advance(ViewController::kTransitionDuration);
    ASSERT_TRUE(runMainLoopUntil([this] { return !events().empty(); }));
    EXPECT_EQ(std::vector<std::string>{"deleted Old.studydeck"}, events());
    EXPECT_FALSE(exists(legacy));
    EXPECT_FALSE(exists(preview));
    EXPECT_EQ(0u, logLinesContaining("Error removing preview: "));

    // A deck whose file went away behind the library's back cannot be
    // removed: the warning, and the controller is not told.
    hooks->events.clear();
    const URL b = addDeck("Beta.flashcards");
    ASSERT_TRUE(waitForListed({"Beta.flashcards"}));
    ASSERT_TRUE(FileManager::defaultManager().removeItemAtPath(b.path()));
    library->deleteDeck(b);
    advance(ViewController::kTransitionDuration);
    advance(DeckLibraryTableViewController::kDeleteConfirmationDelay);
    advance(ViewController::kTransitionDuration);
    const std::string warning = " WARN| Error deleting document at url: " + b.description() + ". Error: ";
    ASSERT_TRUE(runMainLoopUntil([&] { return logLinesContaining(warning) == 2; }));
    settle();
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(std::vector<std::string>{"Beta.flashcards"}, listed());
    EXPECT_EQ(0u, logLinesContaining("Deleted document: " + b.description()));
}

TEST_F(DeckLibraryCreateDeleteTest, ANewRequestWhileConfirmingReplacesTheOldOne) {
    const URL a = addDeck("Alpha.flashcards");
    const URL b = addDeck("Beta.flashcards");
    ASSERT_TRUE(waitForListed({"Alpha.flashcards", "Beta.flashcards"}));
    library->deleteDeck(a);
    advance(ViewController::kTransitionDuration);
    auto first = deletingAlert();
    ASSERT_TRUE(first);
    advance(2.0);
    library->deleteDeck(b);
    drainMainLoop();
    advance(ViewController::kTransitionDuration);
    auto second = deletingAlert();
    ASSERT_TRUE(second);
    EXPECT_NE(first, second);
    EXPECT_EQ(nullptr, first->presentingViewController());
    EXPECT_EQ(std::optional<URL>(b), library->delayedDeleteTimerUserInfo()->url);
    // The first one's four seconds pass without effect.
    advance(2.5);
    EXPECT_TRUE(exists(a));
    EXPECT_TRUE(exists(b));
    advance(2.0);
    advance(ViewController::kTransitionDuration);
    ASSERT_TRUE(runMainLoopUntil([this] { return !events().empty(); }));
    EXPECT_EQ(std::vector<std::string>{"deleted Beta.flashcards"}, events());
    EXPECT_TRUE(exists(a));
    EXPECT_FALSE(exists(b));
    EXPECT_TRUE(waitForListed({"Alpha.flashcards"}));
}

// Without a folder for decks (the cloud container gone) a new deck cannot be
// made: the user hears of it as of any new deck that could not be saved.
TEST_F(DeckLibraryCreateDeleteTest, ACreateWithoutAFolderShowsTheSaveErrorAlert) {
    documents->noFolder = true;
    ASSERT_TRUE(UIDriver::tap(*library->addDeckBarButtonItem()));
    advance(ViewController::kTransitionDuration);
    ASSERT_TRUE(library->addMenu() && library->addMenu()->userDidSelectOption("Create Deck"));
    advance(ViewController::kTransitionDuration);
    advance(ViewController::kTransitionDuration);
    auto dialog = presentedDialog();
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(UIDriver::typeText(*dialog->deckTitleTextField(), "Spanish"));
    ASSERT_TRUE(UIDriver::tap(*dialog->createDeckBarButtonItem()));
    advance(ViewController::kTransitionDuration);

    ASSERT_TRUE(runMainLoopUntil([] { return !saveErrorAlerts().empty(); }));
    advance(ViewController::kTransitionDuration);
    settle();
    EXPECT_EQ(1u, logLinesContaining(" WARN| No folder to create the document in: Spanish |"));
    ASSERT_EQ(1u, saveErrorAlerts().size());
    EXPECT_EQ(Bundle::main().localizedString("ErrorSavingDeckTitle", "", "Localizable"), saveErrorAlerts()[0]->title());
    EXPECT_EQ(std::optional<std::string>("There is no folder to create the deck in."), saveErrorAlerts()[0]->message());
    EXPECT_TRUE(events().empty());
    EXPECT_TRUE(library->documentItems().empty());
    EXPECT_TRUE(UIDriver::tapAlertAction(*saveErrorAlerts()[0], "OK"));
    advance(ViewController::kTransitionDuration);
}
