#include "app/storage/VersionBrowserTableViewController.h"

#include <gtest/gtest.h>

#include "Common/FIFlashcardsDocument.h"
#include "Common/FILegacyDeckDocument.h"
#include "app/cards/CardListTableViewController.h"
#include "app/library/DocumentItemDetails.h"
#include "app/storage/CloudTestSupport.h"
#include "app/storage/PreviewedVersionDocument.h"
#include "app/storage/VersionTestSupport.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/Window.h"

using namespace memorant_test;

namespace {

using Kind = FileVersion::Kind;
using Titles = std::vector<std::string>;

// 2025-03-10 12:00 in Berlin.
const Date kNoon = Date::fromTimeIntervalSince1970(1741561200 + 12 * 3600);

class SplitDelegate : public SplitViewControllerDelegate {};

class VersionBrowserTest : public VersionedDeckTest {
protected:
    VersionBrowserTest() {
        Locale::setCurrent("en_GB");
        TimeZone::setCurrent("Europe/Berlin");
        virtualClock.clock().set(kNoon);
        // Timers other tests left on the main loop fire now, not amid ours.
        advance(1.0);
        PreviewedVersionDocument::clearPreviewedVersionDocument();
        // A launch of the app delegate earlier in this process leaves the
        // documents' own error alert installed; these tests look at the
        // browser's alerts alone.
        FIFlashcardsDocument::setErrorAlertPresenter(nullptr);
    }
    ~VersionBrowserTest() override {
        advance(1.0);  // transitions under way end
        window->setHidden(true);
        drainMainLoop();
        PreviewedVersionDocument::clearPreviewedVersionDocument();
        drainMainLoop();
        Locale::setCurrent("");
        TimeZone::setCurrent("");
    }

    // The browser from the main storyboard, configured and pushed over a
    // stand-in of the library, as the library shows it.
    void show(bool conflicts) {
        browser = Storyboard::storyboardWithName("Main")->instantiate<VersionBrowserTableViewController>(
            VersionBrowserTableViewController::kSceneIdentifier);
        ASSERT_NE(nullptr, browser);
        if (conflicts)
            browser->configureForConflictingVersions(deck, controller, splitDelegate);
        else
            browser->configureForDocumentVersions(deck, controller, splitDelegate);
        navigation = std::make_shared<NavigationController>(library);
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
        drainMainLoop();
        navigation->pushViewController(browser, false);
        drainMainLoop();
        waitForList();
    }

    bool spinning() { return browser->activityIndicatorView()->isAnimating(); }

    // The forced download's 2.0 seconds pass; the list is read.
    void waitForList() {
        // The delay's timer is the one due in more than a second (the
        // clock may have moved on a little since it was set).
        auto downloadDelay = [&]() -> std::optional<double> {
            auto next = RunLoop::main().nextTimerFireDate(RunLoop::kDefaultMode);
            if (!next || next->timeIntervalSinceDate(virtualClock.now()) <= 1.0) return std::nullopt;
            return next->timeIntervalSinceDate(virtualClock.now());
        };
        ASSERT_TRUE(runMainLoopUntil([&] { return downloadDelay() || !spinning(); }));
        if (auto remaining = downloadDelay()) {
            advance(*remaining - 0.1);
            EXPECT_TRUE(spinning());  // not before the 2.0 seconds
            advance(0.1);
        }
        ASSERT_TRUE(runMainLoopUntil([&] { return !spinning(); }));
        advance(0.5);  // alerts and pushes come in
    }

    Titles titles() {
        Titles t;
        for (const auto& e : browser->presentationMode().versions()) t.push_back(e->title());
        return t;
    }
    std::string editTitle() { return browser->editButtonItem()->title().value_or(""); }
    std::shared_ptr<TableView> table() { return browser->tableView(); }
    void tapRow(std::int64_t row) { ASSERT_TRUE(UIDriver::tapRow(*table(), IndexPath{0, row})); }
    void tapEdit() {
        ASSERT_TRUE(UIDriver::tap(*browser->editButtonItem()));
        advance(0.5);
    }
    std::optional<std::string> alertTitle() {
        auto alert = UIDriver::presentedAlert();
        return alert ? alert->title() : std::nullopt;
    }
    void tapOK() {
        auto alert = UIDriver::presentedAlert();
        ASSERT_NE(nullptr, alert);
        ASSERT_EQ(1u, alert->actions().size());
        ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "OK"));
        advance(0.5);
    }
    // A real deck document of `cards` study cards, saved where a version's
    // contents come from.
    std::string savedDeck(const std::string& name, int cards) {
        auto document = FIFlashcardsDocument::initNewDocumentWithFileURL(URL::fileURLWithPath(source.file(name)));
        FCCardArray made;
        for (int i = 0; i < cards; ++i)
            made.push_back(FCStudyCard::studyCardWithTop("Q" + std::to_string(i), "A" + std::to_string(i), i + 1));
        document->deck()->setCards(std::move(made));
        document->didAddOrRemoveCards();
        std::optional<bool> saved;
        document->saveToURL(document->fileURL(), DocumentSaveOperation::ForCreating, [&](bool ok) { saved = ok; });
        EXPECT_TRUE(runMainLoopUntil([&] { return saved.has_value(); }));
        std::optional<bool> closed;
        document->closeWithCompletionHandler([&](bool ok) { closed = ok; });
        EXPECT_TRUE(runMainLoopUntil([&] { return closed.has_value(); }));
        return source.file(name);
    }

    TempDir source;
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect(0, 0, 390, 844));
    std::shared_ptr<ViewController> library = std::make_shared<ViewController>();
    std::shared_ptr<NavigationController> navigation;
    std::shared_ptr<SplitDelegate> splitDelegate = std::make_shared<SplitDelegate>();
    std::shared_ptr<VersionBrowserTableViewController> browser;
};

std::shared_ptr<FileVersion> madeVersion(Kind kind, std::optional<Date> date, std::optional<std::string> computer,
                                         std::optional<std::string> name, bool local) {
    return std::make_shared<FileVersion>(kind, "/decks/Deck.flashcards", "id",
                                         URL::fileURLWithPath("/decks/.Deck.flashcards.versions/id/Deck.flashcards"),
                                         date, std::move(name), std::move(computer), local, false);
}

}  // namespace

// The rows' texts in both modes: the date, "On "/"on " with the computer,
// the markers and the subtitle with its non-local mark; blanks stay.
TEST_F(VersionBrowserTest, RowTexts) {
    const Date today9 = kNoon.byAddingTimeInterval(-3 * 3600);
    struct Case {
        Kind kind;
        std::optional<Date> date;
        std::optional<std::string> computer;
        std::optional<std::string> name;
        bool local;
        bool current;
        std::string browseTitle, browseSubtitle, conflictTitle, conflictSubtitle;
    };
    const Case cases[] = {
        {Kind::Current, today9, "Desk", "Deck.flashcards", true, true, "Today, 09:00 on Desk (current version) ",
         "Deck.flashcards ", "Modified on Desk", "Today, 09:00"},
        {Kind::Other, std::nullopt, "Laptop", std::nullopt, true, false, "On Laptop ", "Deck.flashcards ",
         "Modified on Laptop", ""},
        {Kind::Conflict, today9, std::nullopt, "Theirs", true, false, "Today, 09:00 (conflict) ", "Theirs ",
         "Modified on an unknown device", "Today, 09:00"},
        {Kind::NonLocal, Date::fromTimeIntervalSince1970(1710072000), std::nullopt, std::nullopt, false, false,
         "10/03/2024, 13:00 ", "Deck.flashcards (non-local) ", "Modified on an unknown device", "10/03/2024, 13:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.browseTitle);
        auto version = madeVersion(c.kind, c.date, c.computer, c.name, c.local);
        auto browse = VersionBrowserTableViewController::browseEntry(version, c.current);
        EXPECT_EQ(c.browseTitle, browse->title());
        EXPECT_EQ(c.browseSubtitle, browse->subtitle());
        EXPECT_EQ(c.current, browse->isCurrent());
        auto conflict = VersionBrowserTableViewController::conflictEntry(version, c.current);
        EXPECT_EQ(c.conflictTitle, conflict->title());
        EXPECT_EQ(c.conflictSubtitle, conflict->subtitle());
    }
}

// The browse list: the current version, then the device's versions newest
// first (undated last, equal dates as listed), then the cloud-only ones;
// the cells show the entries' texts and the banner is absent.
TEST_F(VersionBrowserTest, BrowseListsCurrentThenTheDevicesThenCloudOnlyVersionsNewestFirst) {
    FileVersions::setSavingComputerOfCurrentVersion(deck, "Desk");
    const Date d = kNoon.byAddingTimeInterval(-86400 * 400);
    addVersion(Kind::Other, "v1", d.byAddingTimeInterval(100), "One");
    addVersion(Kind::Other, "v0", std::nullopt, "Undated");
    addVersion(Kind::Other, "v3a", d.byAddingTimeInterval(300), "ThreeA");
    addVersion(Kind::Conflict, "c", d.byAddingTimeInterval(200), "Conflict");
    addVersion(Kind::Other, "v3b", d.byAddingTimeInterval(300), "ThreeB");
    addVersion(Kind::NonLocal, std::nullopt, d.byAddingTimeInterval(50), "CloudOld");
    addVersion(Kind::NonLocal, std::nullopt, d.byAddingTimeInterval(500), "CloudNew");
    show(false);

    auto contains = [](const std::string& title, const std::string& part) {
        return title.find(part) != std::string::npos;
    };
    const Titles expected = {"Desk", "ThreeA", "ThreeB", "Conflict", "One", "Undated", "CloudNew", "CloudOld"};
    const Titles got = titles();
    ASSERT_EQ(expected.size(), got.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(contains(got[i], expected[i])) << got[i];
    EXPECT_TRUE(contains(got[0], "(current version) "));
    EXPECT_TRUE(contains(got[3], "(conflict) "));
    EXPECT_EQ("On Undated ", got[5]);
    EXPECT_EQ("Deck.flashcards (non-local) ", browser->presentationMode().versions()[6]->subtitle());
    auto cell = table()->cellForRowAtIndexPath(IndexPath{0, 1});
    ASSERT_NE(nullptr, cell);
    EXPECT_EQ(got[1], cell->textLabel()->text());
    EXPECT_EQ("Deck.flashcards ", cell->detailTextLabel()->text());
    EXPECT_EQ(nullptr, table()->headerViewForSection(0));
    EXPECT_EQ("Document Versions", browser->title().value_or(""));
    EXPECT_EQ("Restore", editTitle());
    EXPECT_TRUE(browser->editButtonItem()->isEnabled());
    EXPECT_EQ(table()->backgroundView(), browser->activityIndicatorView());
    EXPECT_FALSE(alertTitle());

    // A list that has arrived is not read again when the screen reappears.
    navigation->pushViewController(std::make_shared<ViewController>(), false);
    drainMainLoop();
    navigation->popViewControllerAnimated(false);
    drainMainLoop();
    EXPECT_FALSE(spinning());
}

// Cloud-only versions that cannot be listed: the other rows, then the alert.
TEST_F(VersionBrowserTest, AFailedCloudOnlyListingShowsTheOtherRowsThenItsAlert) {
    addVersion(Kind::Other, "older", kNoon.byAddingTimeInterval(-86400 * 400));
    FileVersions::setFailureHook([](FileVersions::Operation op, const URL&) -> std::optional<Error> {
        if (op == FileVersions::Operation::ListingNonlocalVersions) return Error("CloudDomain", 9);
        return std::nullopt;
    });
    show(false);
    EXPECT_EQ(2u, titles().size());
    EXPECT_EQ("Not all versions could be downloaded from iCloud", alertTitle().value_or(""));
    EXPECT_TRUE(loggedLineStarting("WARN", "reloadAllVersions()",
                                   "Error getting non-local versions for: " + deck.path() + ". Error: "));
    tapOK();
    EXPECT_EQ(2u, titles().size());
}

// A document that coordination cannot read: no rows, the button disabled,
// the alert; the forced download said why.
TEST_F(VersionBrowserTest, ADocumentThatCannotBeReadLeavesTheListEmptyWithItsAlert) {
    FileCoordinator::setFailureHook([this](const URL& url, bool) -> std::optional<Error> {
        if (url == deck) return Error(NSCocoaErrorDomain, NSFileReadUnknownError);
        return std::nullopt;
    });
    show(false);
    EXPECT_TRUE(titles().empty());
    EXPECT_FALSE(browser->editButtonItem()->isEnabled());
    EXPECT_EQ("Error downloading document from iCloud", alertTitle().value_or(""));
    EXPECT_TRUE(loggedLineStarting("WARN", "forceDocumentToDownload(at:completion:)",
                                   "Error forcing document to download: " + deck.path() + ". Error: "));
    EXPECT_TRUE(loggedLine("DEBUG", "VersionBrowserTableViewController", "forceDocumentToDownload(at:completion:)",
                           "Forcing download of document at: " + deck.path()));
}

// Browse editing: the button's titles, the one-row rule (the row selected
// last stays), "Cancel" starting nothing, and "Save Copy" making a deck of
// that version, after which the list is back and the copy is listed.
TEST_F(VersionBrowserTest, BrowseEditingKeepsOneRowAndSavesItAsACopy) {
    auto delegate = std::make_shared<CloudRecordingDelegate>();
    controller->setDelegate(delegate);
    controller->startListing();
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->deliveries.size() == 1; }));
    addVersion(Kind::Other, "newer", kNoon.byAddingTimeInterval(-86400 * 300));
    addVersion(Kind::Other, "older", kNoon.byAddingTimeInterval(-86400 * 400));
    show(false);
    ASSERT_EQ(3u, titles().size());

    tapEdit();
    EXPECT_EQ("Cancel", editTitle());
    tapEdit();  // Cancel
    EXPECT_FALSE(browser->isEditing());
    EXPECT_EQ("Restore", editTitle());
    EXPECT_FALSE(exists("Deck 2.flashcards"));
    EXPECT_EQ(nullptr, browser->presentedViewController());

    tapEdit();
    tapRow(2);
    EXPECT_EQ("Save Copy", editTitle());
    tapRow(1);  // above the first: the last selected stays, not the topmost or the lowest
    EXPECT_EQ(std::vector<IndexPath>{(IndexPath{0, 1})}, table()->indexPathsForSelectedRows());
    tapRow(2);
    EXPECT_EQ(std::vector<IndexPath>{(IndexPath{0, 2})}, table()->indexPathsForSelectedRows());
    EXPECT_EQ("Save Copy", editTitle());
    tapEdit();  // Save Copy
    EXPECT_EQ("Saving\u2026", editTitle());
    EXPECT_FALSE(browser->editButtonItem()->isEnabled());
    EXPECT_FALSE(table()->isUserInteractionEnabled());
    EXPECT_EQ(0, table()->numberOfRowsInSection(0));
    EXPECT_TRUE(spinning());
    ASSERT_TRUE(runCopiesUntil(virtualClock.clock(), [&] { return !spinning(); }));
    advance(0.5);
    EXPECT_EQ("older", docText("Deck 2.flashcards"));
    EXPECT_EQ("A copy has been saved.", alertTitle().value_or(""));
    EXPECT_EQ(3, table()->numberOfRowsInSection(0));
    EXPECT_TRUE(table()->isUserInteractionEnabled());
    EXPECT_EQ("Restore", editTitle());
    EXPECT_TRUE(loggedLine("INFO", "VersionBrowserTableViewController", "saveCopyOfVersion(_:)",
                           "Saving a version of document: " + deck.path() + ":"));
    tapOK();
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->deliveries.size() == 2; }));
    EXPECT_EQ((std::vector<std::string>{"Deck.flashcards", "Deck 2.flashcards"}), delegate->deliveries[1].fileNames);

    // A copy that fails: the error alert, and the full list again.
    addVersion(Kind::NonLocal, std::nullopt, kNoon.byAddingTimeInterval(-86400 * 500));
    browser->reloadAllVersions();
    waitForList();
    ASSERT_EQ(4u, titles().size());
    tapEdit();
    tapRow(3);
    tapEdit();
    ASSERT_TRUE(runCopiesUntil(virtualClock.clock(), [&] { return !spinning(); }));
    advance(0.5);
    auto alert = UIDriver::presentedAlert();
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ("Error", alert->title().value_or(""));
    EXPECT_EQ("A copy of the document version could not be saved.", alert->message().value_or(""));
    EXPECT_EQ(4, table()->numberOfRowsInSection(0));
    EXPECT_TRUE(loggedLine("WARN", "VersionBrowserTableViewController", "saveCopyOfVersion(_:)",
                           "Error saving copy of version for document: flashcards"));
    tapOK();
}

// Conflict mode: the banner, the current version first without a marker,
// the button's titles, and the kept versions handed over in row order: the
// topmost kept one becomes current; success goes back to the library.
TEST_F(VersionBrowserTest, ConflictsAreResolvedKeepingTheSelectedRowsInRowOrder) {
    FileVersions::setSavingComputerOfCurrentVersion(deck, "Desk");
    auto a = addVersion(Kind::Conflict, "A", kNoon.byAddingTimeInterval(-7200), "Phone");
    auto b = addVersion(Kind::Conflict, "B", std::nullopt, std::nullopt);
    show(true);
    EXPECT_EQ("Conflicting Versions", browser->title().value_or(""));
    EXPECT_EQ((Titles{"Modified on Desk", "Modified on Phone", "Modified on an unknown device"}), titles());
    EXPECT_TRUE(browser->presentationMode().versions()[0]->isCurrent());
    EXPECT_EQ("", browser->presentationMode().versions()[2]->subtitle());
    auto banner = std::dynamic_pointer_cast<TableViewHeaderFooterView>(table()->headerViewForSection(0));
    ASSERT_NE(nullptr, banner);
    ASSERT_EQ(1u, banner->contentView()->subviews().size());
    auto label = std::dynamic_pointer_cast<Label>(banner->contentView()->subviews()[0]);
    ASSERT_NE(nullptr, label);
    EXPECT_EQ("Modifications aren't in sync. Choose which versions to keep.", label->text());
    EXPECT_EQ(0, label->numberOfLines());
    EXPECT_FALSE(label->translatesAutoresizingMaskIntoConstraints());

    EXPECT_EQ("Choose", editTitle());
    // A row chosen and unchosen, then "Cancel": nothing starts.
    tapEdit();
    tapRow(1);
    tapRow(1);
    EXPECT_EQ("Cancel", editTitle());
    tapEdit();
    EXPECT_FALSE(browser->isEditing());
    EXPECT_EQ("Choose", editTitle());
    EXPECT_FALSE(spinning());
    EXPECT_EQ(3u, titles().size());
    EXPECT_EQ(2u, FileVersion::unresolvedConflictVersionsOfItemAtURL(deck).size());
    EXPECT_FALSE(exists("Deck 2.flashcards"));

    tapEdit();
    EXPECT_EQ("Cancel", editTitle());
    tapRow(2);
    EXPECT_EQ("Keep One", editTitle());
    tapRow(1);
    EXPECT_EQ("Keep Selected", editTitle());
    EXPECT_EQ((std::vector<IndexPath>{{0, 2}, {0, 1}}), table()->indexPathsForSelectedRows());
    tapEdit();  // Keep Selected
    EXPECT_EQ("Resolving\u2026", editTitle());
    EXPECT_FALSE(table()->isUserInteractionEnabled());
    ASSERT_TRUE(runCopiesUntil(virtualClock.clock(), [&] { return navigation->viewControllers().size() == 1; }));
    EXPECT_EQ("A", docText("Deck.flashcards"));
    EXPECT_EQ("B", docText("Deck 2.flashcards"));
    EXPECT_TRUE(FileVersion::unresolvedConflictVersionsOfItemAtURL(deck).empty());
    EXPECT_TRUE(loggedLine("DEBUG", "VersionBrowserTableViewController", "resolveConflictsKeeping(versions:)",
                           "Resolving conflicts, keeping versions: [" + a->url().absoluteString() + ", " +
                               b->url().absoluteString() + "]"));
    EXPECT_TRUE(loggedLine("DEBUG", "VersionBrowserTableViewController", "resolveConflictsKeeping(versions:)",
                           "Done resolving conflicts: SUCCESS"));
}

// A failed resolution: the error alert, whose "OK" reads the conflicts again.
TEST_F(VersionBrowserTest, AFailedResolutionShowsItsAlertAndOKReloadsTheConflicts) {
    addVersion(Kind::Conflict, "A", kNoon, "Phone");
    FileVersions::setFailureHook([](FileVersions::Operation op, const URL&) -> std::optional<Error> {
        if (op == FileVersions::Operation::RemovingOtherVersions) return Error("Versions", 3);
        return std::nullopt;
    });
    show(true);
    tapEdit();
    tapRow(0);
    tapEdit();  // Keep One: the current version
    EXPECT_TRUE(titles().empty());
    ASSERT_TRUE(runMainLoopUntil([&] { return !spinning(); }));
    advance(0.5);
    auto alert = UIDriver::presentedAlert();
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ("Not all conflicts could be resolved due to an error.", alert->message().value_or(""));
    EXPECT_EQ(2u, navigation->viewControllers().size());
    EXPECT_TRUE(titles().empty());
    EXPECT_EQ("Choose", editTitle());
    EXPECT_TRUE(loggedLine("WARN", "VersionBrowserTableViewController", "resolveConflictsKeeping(versions:)",
                           "Errors while resolving conflicts for document: flashcards"));
    tapOK();
    waitForList();
    EXPECT_EQ((Titles{"Modified on an unknown device", "Modified on Phone"}), titles());
}

// A tap opens the version read-only in the deck's split view, with this
// screen as the card list's delegates; closing the deck there dismisses it,
// and the document closes when the browser is back.
TEST_F(VersionBrowserTest, ATappedVersionOpensReadOnlyInTheDecksSplitView) {
    addVersion(Kind::Conflict, std::nullopt, kNoon, "Phone")->url();
    FileVersions::NewVersion v;
    v.kind = Kind::Conflict;
    v.contentsFromPath = savedDeck("Deck.flashcards", 3);
    v.savingComputerName = "Pad";
    FileVersions::addVersion(deck, v);
    show(true);
    ASSERT_EQ(3u, titles().size());
    tapRow(2);  // outside editing, in conflict mode too
    ASSERT_TRUE(runMainLoopUntil([&] { return browser->presentedDeckSplitViewController() != nullptr; }));
    advance(0.5);
    auto split = browser->presentedDeckSplitViewController();
    EXPECT_EQ(split, browser->presentedViewController());
    EXPECT_EQ(SplitViewControllerDisplayMode::OneBesideSecondary, split->preferredDisplayMode());
    EXPECT_EQ(std::static_pointer_cast<SplitViewControllerDelegate>(splitDelegate), split->delegate().lock());
    auto master = std::dynamic_pointer_cast<NavigationController>(split->viewControllers().front());
    ASSERT_NE(nullptr, master);
    auto cardList = std::dynamic_pointer_cast<CardListTableViewController>(master->viewControllers().front());
    ASSERT_NE(nullptr, cardList);
    auto document = cardList->document();
    ASSERT_NE(nullptr, document);
    EXPECT_EQ(document, PreviewedVersionDocument::previewedVersionDocument());
    EXPECT_NE(nullptr, std::dynamic_pointer_cast<FIFlashcardsDocument>(document));
    EXPECT_TRUE(cardList->isReadOnlyVersionPreview());
    EXPECT_EQ(std::static_pointer_cast<DeckChangeDelegate>(browser), cardList->deckChangeDelegate());
    EXPECT_EQ(std::static_pointer_cast<CardListTableViewControllerDelegate>(browser), cardList->cardListDelegate());
    ASSERT_NE(nullptr, cardList->documentDeails());
    EXPECT_EQ(std::optional<std::int64_t>(3), cardList->documentDeails()->numberOfStudyCards());
    EXPECT_EQ(std::optional<double>(document->deck()->studyProgress()),
              cardList->documentDeails()->deckProgressInPercent());
    EXPECT_NE(nullptr, cardList->documentDeails()->coverImage());
    EXPECT_FALSE(cardList->documentDeails()->alternativeLegacyDocumentDisplayName());
    EXPECT_TRUE(
        loggedLine("INFO", "VersionBrowserTableViewController", "openVersion(at:)",
                   "Opening version at: " + browser->presentationMode().versions()[2]->version()->url().path()));

    // The card list's reports change nothing; no file name is free.
    EXPECT_FALSE(
        browser->isFileNameAvailableForNewDocument("Deck 2.flashcards", URL::fileURLWithPath(dir.str(), true)));
    browser->deleteDeckAtURL(deck);
    browser->didChangeDocumentTitle(deck, URL::fileURLWithPath(dir.file("Other.flashcards")));
    EXPECT_EQ("current", docText("Deck.flashcards"));
    EXPECT_FALSE(exists("Other.flashcards"));

    cardList->closeDeck();
    advance(0.5);
    EXPECT_EQ(nullptr, browser->presentedDeckSplitViewController());
    EXPECT_EQ(nullptr, browser->presentedViewController());
    EXPECT_EQ(nullptr, PreviewedVersionDocument::previewedVersionDocument());
    ASSERT_TRUE(runMainLoopUntil([&] { return document->documentState() & DocumentStateClosed; }));
    EXPECT_FALSE(spinning());  // the list is not read again
    EXPECT_EQ(3u, titles().size());

    // Without a preview, the close request does nothing.
    browser->closeDeck(*cardList);
    EXPECT_EQ(nullptr, browser->presentedViewController());
}

// The mended cases of the preview: a version that cannot be opened shows the
// open-error alert and closes its document; a legacy deck's versions open as
// legacy documents; a new preview closes the one before it.
TEST_F(VersionBrowserTest, PreviewsOfBrokenAndLegacyVersionsAndReplacedPreviews) {
    addVersion(Kind::Other, "not a deck", kNoon, "Phone");
    show(false);
    tapRow(1);
    ASSERT_TRUE(runMainLoopUntil([&] { return alertTitle().has_value(); }));
    EXPECT_EQ("Error Opening the Document", alertTitle().value_or(""));
    EXPECT_NE(std::string::npos, UIDriver::presentedAlert()->message().value_or("").find("Can't open"));
    EXPECT_EQ(nullptr, browser->presentedDeckSplitViewController());
    EXPECT_EQ(nullptr, PreviewedVersionDocument::previewedVersionDocument());
    auto alert = UIDriver::presentedAlert();
    ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "OK"));
    advance(0.5);

    // A ".studydeck" deck: its version opens as a legacy document.
    const URL legacy = URL::fileURLWithPath(dir.file("Biology.studydeck"));
    FileVersions::NewVersion v;
    v.contentsFromPath = std::string(MEMORANT_TEST_FIXTURES) + "/studydeck/Biology.studydeck";
    auto version = FileVersions::addVersion(legacy, v);
    ASSERT_NE(nullptr, version);
    browser->configureForDocumentVersions(legacy, controller, splitDelegate);
    browser->openVersion(version->url());
    ASSERT_TRUE(runMainLoopUntil([&] { return browser->presentedDeckSplitViewController() != nullptr; }));
    auto first = PreviewedVersionDocument::previewedVersionDocument();
    EXPECT_NE(nullptr, std::dynamic_pointer_cast<FILegacyDeckDocument>(first));

    // Another preview while one is held: the first one is closed.
    auto second = std::make_shared<FILegacyDeckDocument>(version->url());
    std::optional<bool> opened;
    second->openWithCompletionHandler([&](bool ok) { opened = ok; });
    ASSERT_TRUE(runMainLoopUntil([&] { return opened.has_value(); }));
    PreviewedVersionDocument::setPreviewedVersionDocument(second);
    ASSERT_TRUE(runMainLoopUntil([&] { return first->documentState() & DocumentStateClosed; }));
    EXPECT_FALSE(second->documentState() & DocumentStateClosed);
    PreviewedVersionDocument::setPreviewedVersionDocument(second);  // the same one stays open
    drainMainLoop();
    EXPECT_FALSE(second->documentState() & DocumentStateClosed);
}
