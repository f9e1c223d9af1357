#include <gtest/gtest.h>

#include "platform/ui/Application.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/SearchBar.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TableViewController.h"
#include "platform/ui/TransitionCoordinator.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using namespace memorant_test;

namespace {

// A list of names that can be reordered; it records what it hears.
class Names : public TableViewController {
public:
    std::vector<std::string> names{"a", "b", "c", "d"};
    std::vector<std::string> events;
    bool keepInPlace = false;
    std::vector<std::string> traitEvents;

    void viewDidLoad() override { tableView()->registerClass<TableViewCell>("Cell"); }
    std::int64_t numberOfSectionsInTableView(TableView&) override { return 1; }
    std::int64_t numberOfRowsInSection(TableView&, std::int64_t) override { return std::ssize(names); }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table, const IndexPath& p) override {
        auto cell = table.dequeueReusableCell("Cell", p);
        cell->textLabel()->setText(names[static_cast<std::size_t>(p.row)]);
        return cell;
    }
    bool canMoveRowAtIndexPath(TableView&, const IndexPath& p) override { return p.row != 3; }
    void moveRowAtIndexPath(TableView&, const IndexPath& from, const IndexPath& to) override {
        events.push_back("move " + std::to_string(from.row) + " " + std::to_string(to.row));
        auto name = names[static_cast<std::size_t>(from.row)];
        names.erase(names.begin() + from.row);
        names.insert(names.begin() + to.row, name);
    }
    IndexPath targetIndexPathForMoveFromRowAtIndexPath(TableView&, const IndexPath& from,
                                                       const IndexPath& proposed) override {
        return keepInPlace ? from : proposed;
    }
    void willTransitionToTraitCollection(const TraitCollection& traits,
                                         const std::shared_ptr<ViewControllerTransitionCoordinator>& c) override {
        traitEvents.push_back(traits.userInterfaceStyle == UserInterfaceStyle::Dark ? "will dark" : "will light");
        c->animateAlongsideTransition([this] { traitEvents.push_back("alongside"); });
    }
    void traitCollectionDidChange(const std::optional<TraitCollection>&) override { traitEvents.push_back("did"); }
};

class TableEditingTest : public UITest {
protected:
    void SetUp() override {
        names = std::make_shared<Names>();
        navigation = std::make_shared<NavigationController>(names);
        window = std::make_shared<Window>(Rect(0, 0, 390, 844));
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
        drainMainLoop();
    }
    void TearDown() override {
        window->setHidden(true);
        UITest::TearDown();
    }
    std::shared_ptr<Names> names;
    std::shared_ptr<NavigationController> navigation;
    std::shared_ptr<Window> window;
};

}  // namespace

TEST_F(TableEditingTest, TheFirstRowsStartBelowTheNavigationBar) {
    auto table = names->tableView();
    const double barBottom = navigation->navigationBar()->frame().maxY();
    EXPECT_DOUBLE_EQ(barBottom, names->topLayoutGuideLength());
    EXPECT_DOUBLE_EQ(-barBottom, table->contentOffset().y);
    EXPECT_DOUBLE_EQ(barBottom, table->adjustedContentInset().top);
    // Tapping row 0 taps the row, not the bar over it.
    ASSERT_TRUE(UIDriver::tapRow(*table, IndexPath{0, 0}));
    EXPECT_EQ(IndexPath({0, 0}), table->indexPathForSelectedRow());
    // A drag cannot leave the content resting under the bar.
    UIDriver::pan(*window, Point{200, 300}, Point{0, 200});
    advance(1);
    EXPECT_DOUBLE_EQ(-barBottom, table->contentOffset().y);
    // Showing the toolbar insets the bottom.
    navigation->setToolbarHidden(false, false);
    EXPECT_DOUBLE_EQ(Toolbar::kHeight, table->barInsets().bottom);
    navigation->setNavigationBarHidden(true, false);
    EXPECT_DOUBLE_EQ(0, table->barInsets().top);
    EXPECT_DOUBLE_EQ(0, table->contentOffset().y);
}

TEST_F(TableEditingTest, RowsMoveWhereTheDelegateLetsThemWhileEditing) {
    auto table = names->tableView();
    EXPECT_EQ(std::nullopt, UIDriver::moveRow(*table, IndexPath{0, 0}, IndexPath{0, 2}));  // not editing
    names->setEditing(true, false);
    table->selectRowAtIndexPath(IndexPath{0, 1}, false, TableViewScrollPosition::None);
    EXPECT_EQ(IndexPath({0, 2}), UIDriver::moveRow(*table, IndexPath{0, 0}, IndexPath{0, 2}));
    EXPECT_EQ((std::vector<std::string>{"b", "c", "a", "d"}), names->names);
    EXPECT_EQ("a", table->cellForRowAtIndexPath(IndexPath{0, 2})->textLabel()->text());
    // The selected row moved up with the others.
    EXPECT_EQ(IndexPath({0, 0}), table->indexPathForSelectedRow());
    // A row that cannot move, a place outside the table, and a delegate that keeps the row.
    EXPECT_EQ(std::nullopt, UIDriver::moveRow(*table, IndexPath{0, 3}, IndexPath{0, 0}));
    EXPECT_EQ(std::nullopt, UIDriver::moveRow(*table, IndexPath{0, 0}, IndexPath{0, 4}));
    names->keepInPlace = true;
    EXPECT_EQ(IndexPath({0, 1}), UIDriver::moveRow(*table, IndexPath{0, 1}, IndexPath{0, 3}));
    EXPECT_EQ((std::vector<std::string>{"move 0 2"}), names->events);
}

TEST_F(TableEditingTest, RowChangesAreRecordedWithTheirAnimationAndBrackets) {
    auto table = names->tableView();
    table->reloadRowsAtIndexPaths({IndexPath{0, 1}}, TableViewRowAnimation::None);
    table->beginUpdates();
    table->beginUpdates();
    names->names.erase(names->names.begin());
    table->deleteRowsAtIndexPaths({IndexPath{0, 0}}, TableViewRowAnimation::Fade);
    table->endUpdates();
    EXPECT_TRUE(table->isInsideUpdates());
    names->names.push_back("e");
    table->insertRowsAtIndexPaths({IndexPath{0, 3}}, TableViewRowAnimation::Top);
    table->endUpdates();
    EXPECT_FALSE(table->isInsideUpdates());
    using Kind = TableViewRowUpdate::Kind;
    EXPECT_EQ((std::vector<TableViewRowUpdate>{
                  {Kind::Reload, {IndexPath{0, 1}}, TableViewRowAnimation::None, false},
                  {Kind::Delete, {IndexPath{0, 0}}, TableViewRowAnimation::Fade, true},
                  {Kind::Insert, {IndexPath{0, 3}}, TableViewRowAnimation::Top, true},
              }),
              table->recordedRowAnimations());
    table->clearRecordedRowAnimations();
    EXPECT_TRUE(table->recordedRowAnimations().empty());
}

TEST_F(TableEditingTest, ADoubleTapRecogniserTakesTheSecondTapOnly) {
    auto table = names->tableView();
    int singles = 0, doubles = 0;
    auto single = std::make_shared<TapGestureRecognizer>([&](GestureRecognizer&) { ++singles; });
    single->setCancelsTouchesInView(false);
    auto twice = std::make_shared<TapGestureRecognizer>([&](GestureRecognizer&) { ++doubles; });
    twice->setNumberOfTapsRequired(2);
    table->addGestureRecognizer(single);
    table->addGestureRecognizer(twice);
    auto cell = table->cellForRowAtIndexPath(IndexPath{0, 1});
    ASSERT_TRUE(UIDriver::tap(*cell));
    EXPECT_EQ(1, singles);
    EXPECT_EQ(0, doubles);
    EXPECT_EQ(IndexPath({0, 1}), table->indexPathForSelectedRow());
    ASSERT_TRUE(UIDriver::doubleTap(*cell));
    EXPECT_EQ(2, singles);
    EXPECT_EQ(1, doubles);
}

TEST_F(TableEditingTest, ADoubleTapRecogniserThatDelaysTouchesKeepsTheFirstTapFromTheRow) {
    auto table = names->tableView();
    int doubles = 0;
    auto twice = std::make_shared<TapGestureRecognizer>([&](GestureRecognizer&) { ++doubles; });
    twice->setNumberOfTapsRequired(2);
    twice->setDelaysTouchesBegan(true);
    auto cell = table->cellForRowAtIndexPath(IndexPath{0, 2});
    cell->addGestureRecognizer(twice);
    ASSERT_TRUE(UIDriver::doubleTap(*cell));
    EXPECT_EQ(1, doubles);
    EXPECT_FALSE(table->indexPathForSelectedRow()) << "the row was never selected";
    // A lone tap still reaches the row.
    ASSERT_TRUE(UIDriver::tap(*cell));
    EXPECT_EQ(IndexPath({0, 2}), table->indexPathForSelectedRow());
    EXPECT_EQ(1, doubles);
}

TEST_F(TableEditingTest, ATraitChangeRunsTheAlongsideBlocksAtOnceBeforeTellingOfIt) {
    Screen::main().setUserInterfaceStyle(UserInterfaceStyle::Dark);
    EXPECT_EQ((std::vector<std::string>{"will dark", "alongside", "did"}), names->traitEvents);
}

TEST(SegmentedControl, AUsersChoiceSendsValueChangedAndCodeSendsNothing) {
    SegmentedControl control({"None", "Boxes"});
    int changes = 0;
    control.addTarget([&](Control&) { ++changes; }, ControlEventValueChanged);
    EXPECT_EQ(SegmentedControl::kNoSegment, control.selectedSegmentIndex());
    control.setSelectedSegmentIndex(1);
    EXPECT_EQ(0, changes);
    EXPECT_TRUE(control.userSelectSegment(0));
    EXPECT_EQ(0, control.selectedSegmentIndex());
    EXPECT_EQ(1, changes);
    EXPECT_FALSE(control.userSelectSegment(2));
    control.setEnabled(false);
    EXPECT_FALSE(control.userSelectSegment(1));
    EXPECT_EQ(0, control.selectedSegmentIndex());
    EXPECT_EQ(1, changes);
    control.insertSegmentWithTitle("First", 0);
    EXPECT_EQ(1, control.selectedSegmentIndex());
    EXPECT_EQ("First", control.titleForSegmentAtIndex(0));
    EXPECT_EQ(std::nullopt, control.titleForSegmentAtIndex(3));
}

namespace {

struct SearchRecorder : SearchBarDelegate {
    std::vector<std::string> events;
    bool mayBegin = true;
    bool searchBarShouldBeginEditing(SearchBar&) override { return mayBegin; }
    void searchBarTextDidBeginEditing(SearchBar&) override { events.push_back("begin"); }
    void textDidChange(SearchBar&, const std::string& text) override { events.push_back("text " + text); }
    bool shouldChangeTextInRange(SearchBar&, Range, const std::string& text) override { return text != "!"; }
    void searchBarTextDidEndEditing(SearchBar& bar) override { events.push_back("end " + bar.text()); }
    void searchBarSearchButtonClicked(SearchBar&) override { events.push_back("search"); }
};

}  // namespace

TEST_F(TableEditingTest, ASearchBarTellsItsDelegateWhatTheUserDoes) {
    auto bar = SearchBar::make();
    names->view()->addSubview(bar);
    auto recorder = std::make_shared<SearchRecorder>();
    bar->setDelegate(recorder);
    recorder->mayBegin = false;
    EXPECT_FALSE(bar->becomeFirstResponder());
    recorder->mayBegin = true;
    ASSERT_TRUE(bar->becomeFirstResponder());
    EXPECT_TRUE(bar->isFirstResponder());
    auto& field = *bar->searchTextField();
    EXPECT_TRUE(UIDriver::typeText(field, "ab"));
    EXPECT_FALSE(UIDriver::typeText(field, "!"));
    bar->setText(std::string("code"));  // not the user's: no report
    EXPECT_TRUE(UIDriver::pressReturn(field));
    EXPECT_TRUE(names->view()->endEditing(true));
    EXPECT_FALSE(bar->isFirstResponder());
    EXPECT_EQ((std::vector<std::string>{"begin", "text ab", "search", "end code"}), recorder->events);
    bar->setText(std::nullopt);
    EXPECT_EQ("", bar->text());
}
