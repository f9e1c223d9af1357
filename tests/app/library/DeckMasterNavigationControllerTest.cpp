#include <gtest/gtest.h>

#include "app/cards/DeckSplitScenes.h"
#include "app/cards/EditStudyCardViewController.h"
#include "app/library/DeckLibrarySplitViewCollapse.h"
#include "app/library/DeckMasterNavigationController.h"
#include "model/FCCard.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/TableViewController.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using namespace memorant_test;

namespace {

using Kind = EditStudyCardPresentationMode::Kind;

// Deck content on the master side, as the card list behaves towards the
// editor: rows of cards, optionally a last row that opens a group (another
// such list, pushed); a tapped card shows in the editor, which is the
// detail's while two columns show and a new detail pushed here while one
// does. It counts the editors it configures.
class DeckContentStandIn : public TableViewController, public DeckMasterContentViewController {
public:
    static constexpr const char* kScene = "DeckContentStandIn";

    std::vector<std::shared_ptr<FCStudyCard>> cards;
    std::vector<std::shared_ptr<FCStudyCard>> groupCards;  // non-empty: the last row opens them
    std::optional<std::int64_t> selectedCard;              // the row of the card last tapped
    int configured = 0;
    int detailsMade = 0;

    std::shared_ptr<NavigationController> instantiateDeckDetailEditor() override {
        ++detailsMade;
        auto detail = storyboard()->instantiate<NavigationController>(kDeckDetailViewControllerScene);
        configureEditor(static_cast<EditStudyCardViewController&>(*detail->topViewController()));
        return detail;
    }

    void configureEditor(EditStudyCardViewController& editor) override {
        ++configured;
        if (selectedCard)
            editor.setPresentationMode(
                EditStudyCardPresentationMode::cardEditor(cards[*selectedCard], *selectedCard, false, false));
        else
            editor.setPresentationMode(EditStudyCardPresentationMode::coverCard(nullptr));
    }

    std::int64_t numberOfSectionsInTableView(TableView&) override { return 1; }
    std::int64_t numberOfRowsInSection(TableView&, std::int64_t) override {
        return static_cast<std::int64_t>(cards.size() + (groupCards.empty() ? 0 : 1));
    }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView&, const IndexPath&) override {
        return std::make_shared<TableViewCell>(TableViewCellStyle::Default, std::nullopt);
    }
    void didSelectRowAtIndexPath(TableView&, const IndexPath& indexPath) override {
        auto master = std::static_pointer_cast<DeckMasterNavigationController>(navigationController());
        if (indexPath.row == static_cast<std::int64_t>(cards.size())) {
            auto group = storyboard()->instantiate<DeckContentStandIn>(kScene);
            group->cards = groupCards;
            master->pushViewController(group, true);
            return;
        }
        selectedCard = indexPath.row;
        if (auto detail = master->detailNavigationController(*enclosingSplitViewController(*this))) {
            configureEditor(static_cast<EditStudyCardViewController&>(*detail->topViewController()));
            return;
        }
        master->pushViewController(instantiateDeckDetailEditor(), true);
    }
};

// The library's part: presents the deck's split view and decides collapses.
class LibraryStandIn : public ViewController, public SplitViewControllerDelegate {
public:
    std::shared_ptr<SplitViewController> presented;
    std::vector<bool> answers;

    bool collapseSecondaryViewController(SplitViewController&, ViewController& secondary, ViewController&) override {
        answers.push_back(deckSplitViewDropsSecondary(secondary));
        return answers.back();
    }

    void presentDeck(std::vector<std::shared_ptr<FCStudyCard>> cards, std::vector<std::shared_ptr<FCStudyCard>> group) {
        presented = Storyboard::storyboardWithName("DeckScenesTest")
                        ->instantiate<SplitViewController>(kDeckSplitViewControllerScene);
        presented->setPreferredDisplayMode(SplitViewControllerDisplayMode::OneBesideSecondary);
        presented->setDelegate(std::dynamic_pointer_cast<SplitViewControllerDelegate>(shared_from_this()));
        auto list = std::static_pointer_cast<DeckContentStandIn>(master()->viewControllers().front());
        list->cards = std::move(cards);
        list->groupCards = std::move(group);
        presented->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
        presentViewController(presented, true);
    }
    std::shared_ptr<DeckMasterNavigationController> master() const {
        return std::dynamic_pointer_cast<DeckMasterNavigationController>(presented->viewControllers().front());
    }
};

void defineStoryboard(Storyboard& s) {
    s.addScene<DeckContentStandIn>(DeckContentStandIn::kScene);
    addDeckSplitScenes(s, DeckContentStandIn::kScene);
}

std::shared_ptr<FCStudyCard> card(const std::string& top) {
    static std::int64_t key = 0;
    return FCStudyCard::studyCardWithTop(top, "answer", ++key);
}

EditStudyCardViewController& editorOf(const std::shared_ptr<ViewController>& detail) {
    auto navigation = std::dynamic_pointer_cast<NavigationController>(detail);
    EXPECT_TRUE(navigation);
    auto editor = std::dynamic_pointer_cast<EditStudyCardViewController>(navigation->topViewController());
    EXPECT_TRUE(editor);
    return *editor;
}

}  // namespace

class DeckSplitViewTest : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        Storyboard::registerStoryboard("DeckScenesTest", defineStoryboard);
    }
    void TearDown() override {
        for (auto& w : Application::shared().windows()) w->setHidden(true);
        Storyboard::unregisterStoryboard("DeckScenesTest");
        UITest::TearDown();
    }

    void openDeck(UserInterfaceIdiom idiom) {
        Device::current().setUserInterfaceIdiom(idiom);
        window = std::make_shared<Window>();
        window->setRootViewController(library);
        window->makeKeyAndVisible();
        drainMainLoop();
        library->presentDeck(cards, group);
        advance(ViewController::kTransitionDuration);
        split = library->presented;
        master = library->master();
        list = std::static_pointer_cast<DeckContentStandIn>(master->viewControllers().front());
    }
    void turnTo(UserInterfaceIdiom idiom) {
        Device::current().setUserInterfaceIdiom(idiom);
        drainMainLoop();
    }

    std::vector<std::shared_ptr<FCStudyCard>> cards{card("uno"), card("dos"), card("tres")};
    std::vector<std::shared_ptr<FCStudyCard>> group{card("cuatro")};
    std::shared_ptr<LibraryStandIn> library = std::make_shared<LibraryStandIn>();
    std::shared_ptr<Window> window;
    std::shared_ptr<SplitViewController> split;
    std::shared_ptr<DeckMasterNavigationController> master;
    std::shared_ptr<DeckContentStandIn> list;
};

TEST_F(DeckSplitViewTest, TheSceneIsASplitOfTheMasterWithTheCardListAndADetailEditor) {
    openDeck(UserInterfaceIdiom::Pad);
    EXPECT_EQ(split, UIDriver::topViewController(*window));
    ASSERT_EQ(2u, split->viewControllers().size());
    EXPECT_EQ(SplitViewControllerDisplayMode::OneBesideSecondary, split->preferredDisplayMode());
    EXPECT_EQ(library, split->delegate().lock());
    ASSERT_TRUE(master);
    EXPECT_EQ(master, master->delegate().lock());
    EXPECT_EQ(std::dynamic_pointer_cast<DeckMasterContentViewController>(list), master->masterContentViewController());
    EXPECT_EQ(split->viewControllers()[1], master->detailNavigationController(*split));
    EXPECT_EQ(Kind::blank, editorOf(split->viewControllers()[1]).presentationMode().kind());
    EXPECT_TRUE(list->isVisible());
    EXPECT_TRUE(editorOf(split->viewControllers()[1]).isVisible());
    EXPECT_EQ(list->storyboard(), editorOf(split->viewControllers()[1]).storyboard());
}

TEST_F(DeckSplitViewTest, AnEditedCardSurvivesACollapseAndComesBackWithoutAnimation) {
    openDeck(UserInterfaceIdiom::Pad);
    auto detail = split->viewControllers()[1];
    ASSERT_TRUE(UIDriver::tapRow(*list->tableView(), IndexPath::forRow(1, 0)));
    const auto* editing = editorOf(detail).presentationMode().asCardEditor();
    ASSERT_TRUE(editing);
    EXPECT_EQ(cards[1], editing->card);
    EXPECT_EQ(1, editing->index);

    // The width turns compact: the library keeps the editor, which lies on
    // top of the master stack now.
    turnTo(UserInterfaceIdiom::Phone);
    EXPECT_EQ(std::vector<bool>{false}, library->answers);
    EXPECT_TRUE(split->isCollapsed());
    EXPECT_EQ(detail, master->topViewController());
    EXPECT_EQ(detail, master->detailNavigationController(*split));
    EXPECT_TRUE(editorOf(detail).isVisible());
    EXPECT_EQ(Kind::cardEditor, editorOf(detail).presentationMode().kind());

    // Regular again: the same detail goes back to the secondary side, popped
    // without animation (done before the clock moves).
    const int configuredBefore = list->configured;
    turnTo(UserInterfaceIdiom::Pad);
    EXPECT_FALSE(split->isCollapsed());
    EXPECT_EQ((std::vector<std::shared_ptr<ViewController>>{master, detail}), split->viewControllers());
    EXPECT_EQ(std::vector<std::shared_ptr<ViewController>>{list}, master->viewControllers());
    EXPECT_TRUE(list->isVisible());
    EXPECT_TRUE(editorOf(detail).isVisible());
    EXPECT_EQ(split, detail->parentViewController());
    EXPECT_EQ(0, list->detailsMade);
    EXPECT_EQ(cards[1], editorOf(detail).presentationMode().asCardEditor()->card);
    // Showing the list again on the master side refreshed the editor.
    EXPECT_EQ(configuredBefore + 1, list->configured);
}

TEST_F(DeckSplitViewTest, MovingBetweenListsRefreshesTheEditorOnlyWhileTwoColumnsShow) {
    openDeck(UserInterfaceIdiom::Pad);
    auto detail = split->viewControllers()[1];
    ASSERT_TRUE(UIDriver::tapRow(*list->tableView(), IndexPath::forRow(2, 0)));

    // Into the group: the group's list (nothing selected) shows the cover.
    ASSERT_TRUE(UIDriver::tapRow(*list->tableView(), IndexPath::forRow(3, 0)));
    advance(ViewController::kTransitionDuration);
    auto groupList = std::dynamic_pointer_cast<DeckContentStandIn>(master->topViewController());
    ASSERT_TRUE(groupList);
    EXPECT_EQ(1, groupList->configured);
    EXPECT_EQ(std::dynamic_pointer_cast<DeckMasterContentViewController>(groupList),
              master->masterContentViewController());
    EXPECT_EQ(Kind::coverCard, editorOf(detail).presentationMode().kind());

    // And back: the deck's list shows its selected card again.
    ASSERT_TRUE(UIDriver::tapBackButton(*master));
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(cards[2], editorOf(detail).presentationMode().asCardEditor()->card);

    // Collapsed while the group shows the cover: the detail is dropped.
    ASSERT_TRUE(UIDriver::tapRow(*list->tableView(), IndexPath::forRow(3, 0)));
    advance(ViewController::kTransitionDuration);
    groupList = std::dynamic_pointer_cast<DeckContentStandIn>(master->topViewController());
    turnTo(UserInterfaceIdiom::Phone);
    EXPECT_EQ(std::vector<bool>{true}, library->answers);
    EXPECT_EQ(nullptr, detail->parentViewController());
    EXPECT_EQ(groupList, master->topViewController());
    EXPECT_EQ(nullptr, master->detailNavigationController(*split));

    // Back to the deck's list in one column: no editor is touched.
    const int listConfigured = list->configured;
    const int groupConfigured = groupList->configured;
    ASSERT_TRUE(UIDriver::tapBackButton(*master));
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(listConfigured, list->configured);
    EXPECT_EQ(groupConfigured, groupList->configured);

    // Regular again: a fresh detail from the scene, for the selected card.
    turnTo(UserInterfaceIdiom::Pad);
    EXPECT_EQ(1, list->detailsMade);
    ASSERT_EQ(2u, split->viewControllers().size());
    auto fresh = split->viewControllers()[1];
    EXPECT_NE(detail, fresh);
    EXPECT_EQ(kDeckDetailViewControllerScene, fresh->storyboardIdentifier());
    EXPECT_EQ(cards[2], editorOf(fresh).presentationMode().asCardEditor()->card);
    EXPECT_TRUE(editorOf(fresh).isVisible());
}

TEST_F(DeckSplitViewTest, OpenedInACompactWidthTheBlankDetailIsDroppedAndATappedCardIsPushed) {
    openDeck(UserInterfaceIdiom::Phone);
    EXPECT_EQ(std::vector<bool>{true}, library->answers);
    EXPECT_TRUE(split->isCollapsed());
    EXPECT_EQ(std::vector<std::shared_ptr<ViewController>>{list}, master->viewControllers());
    EXPECT_EQ(nullptr, master->detailNavigationController(*split));

    ASSERT_TRUE(UIDriver::tapRow(*list->tableView(), IndexPath::forRow(1, 0)));
    advance(ViewController::kTransitionDuration);
    auto detail = master->topViewController();
    EXPECT_EQ(detail, master->detailNavigationController(*split));
    EXPECT_EQ(cards[1], editorOf(detail).presentationMode().asCardEditor()->card);
    EXPECT_TRUE(editorOf(detail).isVisible());

    turnTo(UserInterfaceIdiom::Pad);
    EXPECT_EQ((std::vector<std::shared_ptr<ViewController>>{master, detail}), split->viewControllers());
    EXPECT_EQ(1, list->detailsMade);
}

TEST(DeckSplitViewCollapse, OnlyAnEditorEditingACardIsKept) {
    auto editorIn = [](EditStudyCardPresentationMode mode) -> std::shared_ptr<ViewController> {
        auto editor = std::make_shared<EditStudyCardViewController>();
        editor->setPresentationMode(std::move(mode));
        return std::make_shared<NavigationController>(editor);
    };
    auto studyCard = FCStudyCard::studyCardWithTop("q", "a", 7);
    const struct {
        const char* what;
        std::shared_ptr<ViewController> secondary;
        bool drops;
    } cases[] = {
        {"no navigation controller", std::make_shared<EditStudyCardViewController>(), true},
        {"an empty navigation controller", std::make_shared<NavigationController>(), true},
        {"another screen on top", std::make_shared<NavigationController>(std::make_shared<ViewController>()), true},
        {"a card being edited", editorIn(EditStudyCardPresentationMode::cardEditor(studyCard, 3, false, false)), false},
        {"a read-only solo card", editorIn(EditStudyCardPresentationMode::cardEditor(studyCard, 0, true, true)), false},
        {"the cover", editorIn(EditStudyCardPresentationMode::coverCard(nullptr)), true},
        {"a single card sheet", editorIn(EditStudyCardPresentationMode::singleCardModalEditor(studyCard, [] {})), true},
        {"nothing", editorIn(EditStudyCardPresentationMode::blank()), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.drops, deckSplitViewDropsSecondary(*c.secondary));
    }
}

TEST(DeckMasterNavigation, TheDetailIsLookedUpInTheSplitViewOrOnTopOfTheStack) {
    auto content = std::make_shared<DeckContentStandIn>();
    auto detail = std::make_shared<NavigationController>(std::make_shared<EditStudyCardViewController>());
    const struct {
        const char* what;
        std::vector<std::shared_ptr<ViewController>> stack;
        std::shared_ptr<ViewController> secondary;  // null: collapsed
        std::shared_ptr<NavigationController> expected;
    } cases[] = {
        {"expanded", {content}, detail, detail},
        {"expanded, a secondary that is no navigation controller",
         {content},
         std::make_shared<EditStudyCardViewController>(),
         nullptr},
        {"collapsed, content on top", {content}, nullptr, nullptr},
        {"collapsed, the detail on top", {content, detail}, nullptr, detail},
        {"collapsed, another screen on top", {content, std::make_shared<ViewController>()}, nullptr, nullptr},
        {"collapsed, an empty stack", {}, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto master = std::make_shared<DeckMasterNavigationController>();
        master->setViewControllers(c.stack, false);
        auto split = std::make_shared<SplitViewController>();
        split->setViewControllers(c.secondary ? std::vector<std::shared_ptr<ViewController>>{master, c.secondary}
                                              : std::vector<std::shared_ptr<ViewController>>{master});
        EXPECT_EQ(c.expected, master->detailNavigationController(*split));
        split->setViewControllers({});
        master->setViewControllers({}, false);
    }
}

TEST(DeckMasterNavigation, TheMasterContentIsTheDeckContentNearestTheTop) {
    auto root = std::make_shared<DeckContentStandIn>();
    auto group = std::make_shared<DeckContentStandIn>();
    auto master = std::make_shared<DeckMasterNavigationController>(root);
    EXPECT_EQ(std::dynamic_pointer_cast<DeckMasterContentViewController>(root), master->masterContentViewController());
    master->setViewControllers({root, group, std::make_shared<ViewController>()}, false);
    EXPECT_EQ(std::dynamic_pointer_cast<DeckMasterContentViewController>(group), master->masterContentViewController());
}

TEST(DeckMasterNavigationDeathTest, NoDeckContentOnTheStackStopsTheApp) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto master = std::make_shared<DeckMasterNavigationController>(std::make_shared<ViewController>());
    EXPECT_DEATH(master->masterContentViewController(),
                 "Fatal error: No DeckMasterContentViewController on master navigation view controller's stack\\.: "
                 "file DeckMasterNavigationController");
}
