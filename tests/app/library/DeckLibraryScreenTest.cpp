#include <gtest/gtest.h>

#include "DeckLibraryTestSupport.h"
#include "app/shell/FIAppDelegate.h"
#include "app/shell/SettingsTableViewController.h"
#include "platform/cloud/UbiquityContainer.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/RefreshControl.h"
#include "platform/ui/UIDriver.h"

using namespace memorant_test;

namespace {

using Request = DeckLibraryTableViewController::OperationRequest;

std::vector<std::string> requests(const DeckLibraryTableViewController& library) {
    std::vector<std::string> out;
    for (const auto& r : library.operationRequests()) {
        std::string kind;
        switch (r.kind) {
            case Request::Kind::Open:
                kind = "open";
                break;
            case Request::Kind::DeleteConfirmation:
                kind = "delete";
                break;
            case Request::Kind::Versions:
                kind = "versions";
                break;
            case Request::Kind::CreateDeckSegue:
                kind = "create";
                break;
            case Request::Kind::Add:
                kind = "add";
                break;
            case Request::Kind::Refresh:
                kind = "refresh";
                break;
        }
        if (r.url) kind += " " + r.url->lastPathComponent();
        if (r.kind == Request::Kind::Open)
            kind += std::string(r.regenerateThumbnail ? " thumbnail" : "") + (r.openToChangeCover ? " cover" : "") +
                    (r.editFirstCardRightAway ? " edit" : "");
        out.push_back(kind);
    }
    return out;
}

std::vector<std::string> names(const std::vector<std::shared_ptr<DocumentItem>>& items) {
    std::vector<std::string> out;
    for (const auto& item : items) out.push_back(item->url().lastPathComponent());
    return out;
}

std::vector<std::string> itemNames(const std::vector<std::shared_ptr<BarButtonItem>>& items,
                                   DeckLibraryTableViewController& library) {
    std::vector<std::string> out;
    for (const auto& item : items) {
        if (item == library.editButtonItem())
            out.push_back("edit");
        else if (item == library.addDeckBarButtonItem())
            out.push_back("add");
        else if (item->customView())
            out.push_back("info");
        else
            out.push_back("?");
    }
    return out;
}

class DeckLibraryScreenTest : public DeckLibraryTest {
protected:
    void deliverThree(const std::vector<DocumentItemAnimation>& animations = {DocumentItemAnimation::reload()}) {
        items = {localItem("Alpha.flashcards"), localItem("Beta.flashcards"), localItem("Gamma.studydeck")};
        items[2]->setLegacyStudydeckDocument(true);
        documents->deliver(items, animations);
    }
    std::vector<std::shared_ptr<DocumentItem>> items;
};

TEST_F(DeckLibraryScreenTest, LoadingAndShowingTheScreen) {
    EXPECT_EQ(1u, documents->count("startListing"));
    EXPECT_EQ(1u, documents->count("enableUpdates"));
    EXPECT_TRUE(logged("DEBUG", "viewWillAppear(_:)", "Enabled metadata queries in viewWillAppear"));
    EXPECT_FALSE(FIAppDelegate::shared()->shouldDelayPromptingForStoragePreferences());
    ASSERT_NE(nullptr, table().refreshControl());
    EXPECT_EQ(TableViewRowAnimation::None, library->diffableDeckListDataSource()->defaultRowAnimation());
    EXPECT_EQ(std::static_pointer_cast<TableViewDataSource>(library->diffableDeckListDataSource()),
              table().dataSource().lock());

    // Pulling the list down asks for a refresh.
    EXPECT_TRUE(UIDriver::pullToRefresh(table()));
    EXPECT_EQ(std::vector<std::string>{"refresh"}, requests(*library));

    // Another screen pushed over the library: editing ends and updates pause.
    deliverThree();
    library->setEditing(true, false);
    navigation->pushViewController(std::make_shared<ViewController>(), false);
    drainMainLoop();
    EXPECT_FALSE(library->isEditing());
    EXPECT_FALSE(table().isEditing());
    EXPECT_EQ(1u, documents->count("disableUpdates"));
    EXPECT_TRUE(logged("DEBUG", "viewWillDisappear(_:)", "Disabled metadata queries in viewWillDisappear"));
    navigation->popViewControllerAnimated(false);
    drainMainLoop();
    EXPECT_EQ(2u, documents->count("enableUpdates"));
}

TEST_F(DeckLibraryScreenTest, TheThreeInitialisersEndInTheSameState) {
    std::vector<std::shared_ptr<DeckLibraryTableViewController>> made{
        std::make_shared<DeckLibraryTableViewController>(TableViewStyle::Plain),
        std::make_shared<DeckLibraryTableViewController>(std::nullopt, nullptr),
        std::make_shared<DeckLibraryTableViewController>(Coder{Rect(0, 0, 390, 844)})};
    for (const auto& screen : made) {
        EXPECT_EQ(nullptr, screen->addDeckBarButtonItem());
        EXPECT_EQ(nullptr, screen->currentlyOpenDocument());
        EXPECT_NE(nullptr, std::dynamic_pointer_cast<LocalDocumentsController>(screen->documentsController()));
        EXPECT_TRUE(screen->documentItems().empty());
        EXPECT_TRUE(screen->documentsPendingClose().empty());
        EXPECT_EQ(nullptr, screen->presentedDeckSplitViewController());
        EXPECT_EQ(std::nullopt, screen->documentURLpendingOpen());
        EXPECT_EQ(nullptr, screen->delayedDeleteTimer());
        EXPECT_EQ(nullptr, screen->pickCoverStyleController());
        ASSERT_NE(nullptr, screen->documentDetailsCache());
        const auto& placeholder = screen->documentDetailsCache()->placeholderDetails();
        ASSERT_NE(nullptr, placeholder);
        ASSERT_NE(nullptr, placeholder->coverImage());
        EXPECT_EQ((Size{64, 45}), placeholder->coverImage()->size());
        EXPECT_EQ(std::nullopt, placeholder->numberOfStudyCards());
        EXPECT_EQ(std::nullopt, placeholder->deckProgressInPercent());
        EXPECT_EQ(std::nullopt, placeholder->coverImageBackgroundColor());
        EXPECT_EQ(std::nullopt, placeholder->alternativeLegacyDocumentDisplayName());
        EXPECT_TRUE(screen->documentDetailsCache()->upToDateDocumentIdentifiers().empty());
    }
    // Woken, the screen is the documents controller's delegate and the
    // cache has its three blocks.
    made[2]->setDocumentsController(documents);
    made[2]->awakeFromNib();
    EXPECT_TRUE(made[2]->documentDetailsCache()->loadDetails());
    EXPECT_TRUE(made[2]->documentDetailsCache()->loadMetadataOnlyDetails());
    EXPECT_TRUE(made[2]->documentDetailsCache()->didLoadDetails());
}

TEST_F(DeckLibraryScreenTest, TheScreenGoesWhenItsOwnersLetGo) {
    auto screen = Storyboard::storyboardWithName(DeckLibraryTableViewController::kStoryboardName)
                      ->instantiate<DeckLibraryTableViewController>(DeckLibraryTableViewController::kSceneIdentifier);
    auto scripted = std::make_shared<ScriptedDocumentsController>();
    screen->setDocumentsController(scripted);
    loaders.install(*screen->documentDetailsCache());
    screen->loadViewIfNeeded();
    scripted->deliver({localItem("Alpha.flashcards")}, {DocumentItemAnimation::reload()});
    ASSERT_NE(nullptr, screen->tableView()->cellForRowAtIndexPath({0, 0}));
    ASSERT_TRUE(settleWorker(*screen->documentDetailsCache()->backgroundQueue()));
    std::weak_ptr<DeckLibraryTableViewController> weak = screen;
    screen.reset();
    EXPECT_TRUE(weak.expired()) << "the data source's cell provider must not keep the screen";
}

TEST_F(DeckLibraryScreenTest, TheListFollowsTheDeliveredOrder) {
    deliverThree();
    EXPECT_EQ(3, table().numberOfRowsInSection(0));
    EXPECT_EQ("Alpha", title(0));
    // A legacy deck's title is its legacy placeholder until its details say more.
    const std::string gamma = items[2]->displayName();
    EXPECT_EQ(gamma, title(2));

    auto delta = localItem("Delta.flashcards");
    documents->deliver({items[2], delta, items[0]},
                       {DocumentItemAnimation::deleteAt(1), DocumentItemAnimation::addAt(1),
                        DocumentItemAnimation::move(2, 0), DocumentItemAnimation::move(0, 2)});
    EXPECT_EQ((std::vector<std::string>{"Gamma.studydeck", "Delta.flashcards", "Alpha.flashcards"}),
              names(library->documentItems()));
    EXPECT_EQ((std::vector<std::string>{"Gamma.studydeck", "Delta.flashcards", "Alpha.flashcards"}),
              names(library->diffableDeckListDataSource()->snapshot().itemIdentifiers()));
    EXPECT_EQ(gamma, title(0));
    EXPECT_EQ("Delta", title(1));
    EXPECT_EQ("Alpha", title(2));
}

TEST_F(DeckLibraryScreenTest, AReloadMarksEveryRowStaleAndOtherListsInvalidate) {
    for (const char* name : {"Alpha.flashcards", "Beta.flashcards", "Gamma.studydeck"})
        loaders.set(name, makeDetails(3, 50));
    deliverThree();
    settle();
    auto& cache = *library->documentDetailsCache();
    EXPECT_EQ(3u, cache.upToDateDocumentIdentifiers().size());

    // An update of row 1 marks only that deck stale; its row reads again.
    loaders.clearReads();
    documents->deliver(items, {DocumentItemAnimation::updateAt(1)});
    EXPECT_EQ(2u, cache.upToDateDocumentIdentifiers().size());
    settle();
    EXPECT_EQ(std::vector<std::string>{"coordinated Beta.flashcards"}, loaders.reads());

    // A reload marks all stale: every row shows its cached details and reads again.
    loaders.clearReads();
    documents->deliver(items, {DocumentItemAnimation::reload()});
    EXPECT_TRUE(cache.upToDateDocumentIdentifiers().empty());
    EXPECT_EQ("Today, 09:00, 3 card(s)", subtitle(0));
    settle();
    EXPECT_EQ(3u, loaders.reads().size());
    EXPECT_EQ(3u, cache.upToDateDocumentIdentifiers().size());

    // A delete forgets the deck's details.
    documents->deliver({items[0], items[2]}, {DocumentItemAnimation::deleteAt(1)});
    EXPECT_EQ(2u, cache.upToDateDocumentIdentifiers().size());
}

TEST_F(DeckLibraryScreenTest, RowsShowANewSubtitleNameOrArrowAtOnce) {
    deliverThree();
    settle();
    // A save changed Beta's date: the update reaches the row, not only the cache.
    auto beta = localItem("Beta.flashcards");
    beta->setSubtitle("Today, 11:30");
    documents->deliver({items[0], beta, items[2]}, {DocumentItemAnimation::updateAt(1)});
    EXPECT_EQ("Today, 11:30", subtitle(1));

    // A reload with a new name and a cloud arrow: every visible row is
    // configured again.
    auto alpha = localItem("Alpha.flashcards");
    alpha->setDisplayName("Alpha (renamed)");
    auto gamma = cloudItemNamed("Gamma.flashcards", true, true, false, "↑");
    documents->deliver({alpha, beta, items[2]}, {DocumentItemAnimation::reload()});
    EXPECT_EQ("Alpha (renamed)", title(0));
    documents->deliver({alpha, beta, gamma}, {DocumentItemAnimation::reload()});
    EXPECT_EQ(std::optional<std::string>("↑"), cell(2)->iCloudStatusText());
}

TEST_F(DeckLibraryScreenTest, SelectionAndCoverTapsAskToOpen) {
    deliverThree();
    ASSERT_TRUE(UIDriver::tapRow(table(), {0, 1}));
    EXPECT_EQ(std::vector<std::string>{"open Beta.flashcards"}, requests(*library));
    EXPECT_TRUE(table().indexPathsForSelectedRows().empty());

    // While editing, only current-format decks take taps on their cover.
    library->setEditing(true, false);
    EXPECT_TRUE(cell(0)->wantsEditCoverIndictator());
    EXPECT_NE(nullptr, cell(0)->editCoverIndicatorView());
    EXPECT_FALSE(cell(2)->wantsEditCoverIndictator());
    EXPECT_FALSE(cell(2)->coverImageView()->isUserInteractionEnabled());
    EXPECT_NE(nullptr, library->navigationItem().titleView());
    ASSERT_TRUE(UIDriver::tap(*cell(0)->coverImageView()));
    EXPECT_EQ((std::vector<std::string>{"open Beta.flashcards", "open Alpha.flashcards cover"}), requests(*library));

    library->setEditing(false, false);
    EXPECT_FALSE(cell(0)->wantsEditCoverIndictator());
    EXPECT_EQ(nullptr, cell(0)->editCoverIndicatorView());
    EXPECT_FALSE(cell(0)->coverImageView()->isUserInteractionEnabled());
    EXPECT_EQ(nullptr, library->navigationItem().titleView());

    // A cell that is not in the table is ignored.
    auto stray = instantiateFromNib<DocumentItemTableViewCell>(Rect(0, 0, 390, 64));
    library->handleCoverImageTap(*stray);
    EXPECT_EQ(2u, library->operationRequests().size());
}

TEST_F(DeckLibraryScreenTest, SwipeActionsOfARow) {
    deliverThree();
    auto actions = UIDriver::swipeRow(table(), {0, 0});
    ASSERT_NE(nullptr, actions);
    ASSERT_EQ(2u, actions->actions().size());
    EXPECT_EQ(std::optional<std::string>("Versions"), actions->actions()[0]->title());
    EXPECT_EQ(ContextualAction::Style::Normal, actions->actions()[0]->style());
    EXPECT_EQ(std::optional<std::string>("Delete"), actions->actions()[1]->title());
    EXPECT_EQ(ContextualAction::Style::Destructive, actions->actions()[1]->style());
    EXPECT_FALSE(actions->performsFirstActionWithFullSwipe());
    EXPECT_TRUE(UIDriver::tapSwipeAction(table(), "Versions"));
    UIDriver::swipeRow(table(), {0, 1});
    EXPECT_TRUE(UIDriver::tapSwipeAction(table(), "Delete"));
    EXPECT_FALSE(UIDriver::fullSwipeRow(table(), {0, 0}));
    EXPECT_EQ((std::vector<std::string>{"versions Alpha.flashcards", "delete Beta.flashcards"}), requests(*library));

    // A legacy deck has no versions.
    actions = UIDriver::swipeRow(table(), {0, 2});
    ASSERT_EQ(1u, actions->actions().size());
    EXPECT_EQ(std::optional<std::string>("Delete"), actions->actions()[0]->title());

    // A row outside the list has none; a handler whose row went does nothing
    // but still reports completion.
    EXPECT_TRUE(library->trailingSwipeActionsConfigurationForRowAtIndexPath(table(), {0, 7})->actions().empty());
    auto late = library->trailingSwipeActionsConfigurationForRowAtIndexPath(table(), {0, 2});
    documents->deliver({items[0]}, {DocumentItemAnimation::deleteAt(1), DocumentItemAnimation::deleteAt(2)});
    bool completed = false;
    late->actions()[0]->handler()(*late->actions()[0], table(), [&](bool done) { completed = done; });
    EXPECT_TRUE(completed);
    EXPECT_EQ(2u, library->operationRequests().size());

    // The table's delete style asks for the delete confirmation too.
    library->commitEditingStyle(table(), TableViewCellEditingStyle::Insert, {0, 0});
    library->commitEditingStyle(table(), TableViewCellEditingStyle::Delete, {0, 0});
    EXPECT_EQ("delete Alpha.flashcards", requests(*library).back());
    EXPECT_EQ(3u, library->operationRequests().size());
}

TEST_F(DeckLibraryScreenTest, BarButtonsFollowEditing) {
    auto& item = library->navigationItem();
    EXPECT_EQ(std::vector<std::string>{"info"}, itemNames(item.leftBarButtonItems(), *library));
    EXPECT_EQ((std::vector<std::string>{"add", "edit"}), itemNames(item.rightBarButtonItems(), *library));
    auto info = std::dynamic_pointer_cast<Button>(item.leftBarButtonItems()[0]->customView());
    ASSERT_NE(nullptr, info);
    EXPECT_EQ(ButtonType::InfoLight, info->buttonType());

    ASSERT_TRUE(UIDriver::tap(*library->editButtonItem()));
    EXPECT_TRUE(item.leftBarButtonItems().empty());
    EXPECT_EQ(std::vector<std::string>{"edit"}, itemNames(item.rightBarButtonItems(), *library));
    EXPECT_EQ(std::optional<std::string>("Done"), library->editButtonItem()->title());
    ASSERT_TRUE(UIDriver::tap(*library->editButtonItem()));
    EXPECT_EQ((std::vector<std::string>{"add", "edit"}), itemNames(item.rightBarButtonItems(), *library));

    ASSERT_TRUE(UIDriver::tap(*library->addDeckBarButtonItem()));
    EXPECT_EQ(std::vector<std::string>{"add"}, requests(*library));
    auto remote = library->barButtonItem(DeckLibraryButtonType::remoteControl);
    EXPECT_EQ(std::optional<BarButtonSystemItem>(BarButtonSystemItem::Play), remote->systemItem());
}

TEST_F(DeckLibraryScreenTest, TheSettingsSegueHandsOverFourValues) {
    auto appDelegate = FIAppDelegate::shared();
    const struct {
        bool cloud;
        bool signedIn;
        bool busy;
    } cases[] = {{false, true, false}, {true, false, true}};
    const auto token = UbiquityContainer::ubiquityIdentityToken();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cloud ? "cloud" : "local");
        if (c.cloud) library->setDocumentsController(std::make_shared<RecordingCloudDocumentsController>());
        UbiquityContainer::setUbiquityIdentityToken(c.signedIn ? token : std::nullopt);
        appDelegate->setIsBusySwitchingStorageLocations(c.busy);
        auto info = std::dynamic_pointer_cast<Button>(library->navigationItem().leftBarButtonItems()[0]->customView());
        ASSERT_TRUE(UIDriver::tap(*info));
        drainMainLoop();
        auto settings = std::dynamic_pointer_cast<SettingsTableViewController>(navigation->topViewController());
        ASSERT_NE(nullptr, settings);
        EXPECT_EQ(c.cloud, settings->isUsingCloudStorage());
        EXPECT_EQ(c.signedIn, settings->isCloudAvailable());
        EXPECT_EQ(c.busy, settings->isBusy());
        // The application delegate, in its role of the settings delegate.
        EXPECT_EQ(std::dynamic_pointer_cast<SettingsViewControllerDelegate>(appDelegate), settings->delegate());
        navigation->popViewControllerAnimated(false);
        drainMainLoop();
    }
    UbiquityContainer::setUbiquityIdentityToken(token);
    appDelegate->setIsBusySwitchingStorageLocations(false);

    // The new-deck segue's preparation is recorded.
    StoryboardSegue create("CreateDeckSegue", library, std::make_shared<ViewController>());
    library->prepareForSegue(create, {});
    EXPECT_EQ(std::vector<std::string>{"create"}, requests(*library));
}

TEST_F(DeckLibraryScreenTest, TheRemoteControlIsPresentedOverTheLibrary) {
    Storyboard::registerStoryboard("RemoteControl", [](Storyboard& s) {
        s.addScene<ViewController>("Remote");
        s.setInitialScene("Remote");
    });
    library->view()->setTintColor(Color::greenColor());
    for (auto idiom : {UserInterfaceIdiom::Phone, UserInterfaceIdiom::Pad}) {
        Device::current().setUserInterfaceIdiom(idiom);
        library->showRemoteControl({});
        advance(ViewController::kTransitionDuration);
        auto remote = library->presentedViewController();
        ASSERT_NE(nullptr, remote);
        EXPECT_EQ(std::optional<std::string>("Remote"), remote->storyboardIdentifier());
        EXPECT_EQ(
            idiom == UserInterfaceIdiom::Pad ? ModalPresentationStyle::FormSheet : ModalPresentationStyle::FullScreen,
            remote->modalPresentationStyle());
        EXPECT_TRUE(remote->isModalInPresentation());
        EXPECT_EQ(std::optional<Color>(Color::greenColor()), remote->view()->ownTintColor());
        remote->dismissViewController(false);
        drainMainLoop();
    }
    Storyboard::unregisterStoryboard("RemoteControl");
}

TEST_F(DeckLibraryScreenTest, ACollapsingDeckSplitViewDropsAllButACardEditor) {
    auto split = std::make_shared<SplitViewController>();
    auto primary = std::make_shared<ViewController>(), plain = std::make_shared<ViewController>();
    EXPECT_TRUE(library->collapseSecondaryViewController(*split, *plain, *primary));
    auto emptyDetail = std::make_shared<NavigationController>();
    EXPECT_TRUE(library->collapseSecondaryViewController(*split, *emptyDetail, *primary));
}

TEST_F(DeckLibraryScreenTest, TheCardListsChangesReachTheDocumentsController) {
    DeckChangeDelegate& asDelegate = *library;
    asDelegate.didChangeDocumentTitle(URL::fileURLWithPath("/decks/A.flashcards"),
                                      URL::fileURLWithPath("/decks/B.flashcards"));
    documents->nameAvailable = false;
    EXPECT_FALSE(asDelegate.isFileNameAvailableForNewDocument("C.flashcards", URL::fileURLWithPath("/decks")));
    documents->nameAvailable = true;
    EXPECT_TRUE(asDelegate.isFileNameAvailableForNewDocument("C.flashcards", URL::fileURLWithPath("/decks")));
    asDelegate.deleteDeckAtURL(URL::fileURLWithPath("/decks/B.flashcards"));
    asDelegate.didChangeStudyStatisticsForCard(nullptr, true);
    asDelegate.didAddOrRemoveCardsWithUpdateChangeCount(true, true);
    EXPECT_EQ((std::vector<std::string>{
                  "startListing", "enableUpdates", "documentWasMoved /decks/A.flashcards /decks/B.flashcards",
                  "isDocumentNameAvailable C.flashcards /decks", "isDocumentNameAvailable C.flashcards /decks"}),
              documents->calls);
    EXPECT_EQ(std::vector<std::string>{"delete B.flashcards"}, requests(*library));
}

}  // namespace

// The requests are kept for the work that follows them and for tests, not
// for the whole run: only the newest stay.
TEST_F(DeckLibraryScreenTest, OnlyTheNewestRequestsAreKept) {
    deliverThree();
    const std::size_t limit = DeckLibraryTableViewController::kRecordedRequestsLimit;
    for (std::size_t pull = 0; pull < limit + 8; ++pull) {
        ASSERT_TRUE(UIDriver::pullToRefresh(table())) << pull;
        settle();
    }
    ASSERT_TRUE(UIDriver::swipeRow(table(), {0, 1}));
    ASSERT_TRUE(UIDriver::tapSwipeAction(table(), "Versions"));
    const auto recorded = requests(*library);
    ASSERT_EQ(limit, recorded.size());
    EXPECT_EQ("refresh", recorded.front());
    EXPECT_EQ("versions Beta.flashcards", recorded.back());
}
