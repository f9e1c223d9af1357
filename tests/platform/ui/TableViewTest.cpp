#include <gtest/gtest.h>

#include "platform/foundation/Error.h"
#include "platform/ui/Button.h"
#include "platform/ui/TableView.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"

using namespace memorant_test;

namespace {

// Rows of names in sections; the delegate side records what it hears.
class Rows : public TableViewDataSource, public TableViewDelegate {
public:
    std::vector<std::vector<std::string>> sections{{"a", "b", "c", "d", "e"}};
    std::vector<std::string> events;
    std::set<IndexPath> unhighlightable;
    std::optional<double> height;        // heightForRowAtIndexPath when set
    std::vector<Rect> configuredFrames;  // of each cell as it was configured
    std::function<std::shared_ptr<SwipeActionsConfiguration>(const IndexPath&)> swipeActions;
    int cellsMade = 0;

    std::int64_t numberOfSectionsInTableView(TableView&) override { return std::ssize(sections); }
    std::int64_t numberOfRowsInSection(TableView&, std::int64_t s) override {
        return std::ssize(sections[static_cast<std::size_t>(s)]);
    }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table, const IndexPath& p) override {
        ++cellsMade;
        auto cell = table.dequeueReusableCell("Cell", p);
        configuredFrames.push_back(cell->frame());
        cell->textLabel()->setText(sections[static_cast<std::size_t>(p.section)][static_cast<std::size_t>(p.row)]);
        return cell;
    }
    std::optional<std::string> titleForHeaderInSection(TableView&, std::int64_t s) override {
        return "Section " + std::to_string(s);
    }
    void commitEditingStyle(TableView& table, TableViewCellEditingStyle style, const IndexPath& p) override {
        events.push_back("commit " + name(p));
        if (style != TableViewCellEditingStyle::Delete) return;
        auto& rows = sections[static_cast<std::size_t>(p.section)];
        rows.erase(rows.begin() + p.row);
        table.deleteRowsAtIndexPaths({p}, TableViewRowAnimation::Automatic);
    }

    void willDisplayCell(TableView&, TableViewCell&, const IndexPath& p) override {
        events.push_back("display " + name(p));
    }
    double heightForRowAtIndexPath(TableView& table, const IndexPath& p) override {
        return height ? *height : TableViewDelegate::heightForRowAtIndexPath(table, p);
    }
    bool shouldHighlightRowAtIndexPath(TableView&, const IndexPath& p) override { return !unhighlightable.count(p); }
    void didSelectRowAtIndexPath(TableView&, const IndexPath& p) override { events.push_back("select " + name(p)); }
    void didDeselectRowAtIndexPath(TableView&, const IndexPath& p) override { events.push_back("deselect " + name(p)); }
    std::shared_ptr<SwipeActionsConfiguration> trailingSwipeActionsConfigurationForRowAtIndexPath(
        TableView&, const IndexPath& p) override {
        return swipeActions ? swipeActions(p) : nullptr;
    }
    std::vector<std::string> take() { return std::exchange(events, {}); }

private:
    std::string name(const IndexPath& p) const {
        const auto& rows = sections[static_cast<std::size_t>(p.section)];
        return p.row < std::ssize(rows) ? rows[static_cast<std::size_t>(p.row)] : "?";
    }
};

using Events = std::vector<std::string>;

}  // namespace

class TableViewTest : public UITest {
protected:
    // A plain table 5 rows of 44 points tall (with a 28-point header).
    void make(double height = 28 + 5 * 44) {
        table = std::make_shared<TableView>(Rect(0, 0, 320, height));
        table->registerClass<TableViewCell>("Cell");
        table->setDataSource(rows);
        table->setDelegate(rows);
        table->reloadData();
    }
    std::vector<std::string> texts() {
        std::vector<std::string> result;
        for (const auto& p : table->indexPathsForVisibleRows())
            result.push_back(*table->cellForRowAtIndexPath(p)->textLabel()->text());
        return result;
    }

    std::shared_ptr<Rows> rows = std::make_shared<Rows>();
    std::shared_ptr<TableView> table;
};

TEST_F(TableViewTest, CellsExistOnlyForRowsInsideTheBounds) {
    make(28 + 3 * 44);
    EXPECT_EQ((Events{"a", "b", "c"}), texts());
    EXPECT_EQ((Events{"display a", "display b", "display c"}), rows->take());
    EXPECT_EQ(nullptr, table->cellForRowAtIndexPath({0, 3}));
    EXPECT_EQ((Size{320, 28 + 5 * 44}), table->contentSize());
    EXPECT_EQ(Rect(0, 28 + 3 * 44, 320, 44), table->rectForRowAtIndexPath({0, 3}));

    // Scrolled by two rows: a and b leave (their cells are reused), d and e come.
    auto a = table->cellForRowAtIndexPath({0, 0});
    table->setContentOffset({0, 28 + 2 * 44});
    EXPECT_EQ((Events{"c", "d", "e"}), texts());
    EXPECT_EQ(nullptr, table->cellForRowAtIndexPath({0, 0}));
    EXPECT_EQ(nullptr, table->headerViewForSection(0));
    EXPECT_EQ(5, rows->cellsMade);
    EXPECT_TRUE(table->cellForRowAtIndexPath({0, 3}) == a || table->cellForRowAtIndexPath({0, 4}) == a);

    // Scrolling a row into view makes its cell; the header comes back at the top.
    table->scrollToRowAtIndexPath({0, 0}, TableViewScrollPosition::Top, false);
    EXPECT_EQ(Point(0, 28), table->contentOffset());
    table->setContentOffset({0, 0});
    ASSERT_NE(nullptr, table->headerViewForSection(0));
    EXPECT_EQ(Rect(0, 0, 320, 28), table->headerViewForSection(0)->frame());
}

TEST_F(TableViewTest, AReloadReusesTheShownCellsInPlaceAndTakesTheRestOutOfTheTable) {
    rows->height = 50;
    make(28 + 5 * 50);
    auto cellsIn = [&] {
        std::size_t n = 0;
        for (const auto& view : table->subviews()) n += dynamic_cast<TableViewCell*>(view.get()) != nullptr;
        return n;
    };
    ASSERT_EQ(5u, cellsIn());
    // Each cell is at its row's size while its data source configures it.
    for (const Rect& frame : rows->configuredFrames) EXPECT_EQ((Size{320, 50}), frame.size);

    std::set<TableViewCell*> before;
    for (const auto& p : table->indexPathsForVisibleRows()) before.insert(table->cellForRowAtIndexPath(p).get());

    rows->sections = {{"x", "y"}};
    rows->configuredFrames.clear();
    table->reloadData();
    EXPECT_EQ((Events{"x", "y"}), texts());
    // The new rows' cells are cells the table had; the three left over are out.
    for (const auto& p : table->indexPathsForVisibleRows())
        EXPECT_TRUE(before.count(table->cellForRowAtIndexPath(p).get()));
    EXPECT_EQ(2u, cellsIn());
    EXPECT_EQ((std::vector<Rect>{Rect(0, 28, 320, 50), Rect(0, 78, 320, 50)}), rows->configuredFrames);
    EXPECT_EQ(Rect(0, 78, 320, 50), table->cellForRowAtIndexPath({0, 1})->frame());
}

TEST_F(TableViewTest, HeightsComeFromTheDelegateOrTheCellWithEstimatesForTheRest) {
    struct TallCell : TableViewCell {
        using TableViewCell::TableViewCell;
        Size sizeThatFits(Size size) const override { return {size.width, 100}; }
    };
    rows->height = kTableViewAutomaticDimension;
    table = std::make_shared<TableView>(Rect(0, 0, 320, 28 + 150));
    table->registerClass<TallCell>("Cell");
    table->setEstimatedRowHeight(60);
    table->setDataSource(rows);
    table->setDelegate(rows);
    table->reloadData();
    // a and b are measured at 100; c to e, without cells, count 60 each.
    EXPECT_EQ((Events{"a", "b"}), texts());
    EXPECT_EQ(Rect(0, 128, 320, 100), table->rectForRowAtIndexPath({0, 1}));
    EXPECT_EQ(28 + 200 + 3 * 60, table->contentSize().height);

    rows->height = 30;
    table->reloadData();
    EXPECT_EQ(5u, table->visibleCells().size());
    EXPECT_EQ(28 + 5 * 30, table->contentSize().height);
}

TEST_F(TableViewTest, ATapSelectsOneRowAndTellsTheDelegate) {
    make();
    rows->take();
    ASSERT_TRUE(UIDriver::tapRow(*table, {0, 1}));
    ASSERT_TRUE(UIDriver::tapRow(*table, {0, 3}));
    EXPECT_EQ((Events{"select b", "deselect b", "select d"}), rows->take());
    EXPECT_EQ((std::vector<IndexPath>{{0, 3}}), table->indexPathsForSelectedRows());
    EXPECT_TRUE(table->cellForRowAtIndexPath({0, 3})->isSelected());
    EXPECT_FALSE(table->cellForRowAtIndexPath({0, 1})->isSelected());

    // A row that may not highlight is not selected; code selects silently.
    rows->unhighlightable = {{0, 0}};
    EXPECT_FALSE(UIDriver::tapRow(*table, {0, 0}));
    table->selectRowAtIndexPath(IndexPath{0, 2}, true, TableViewScrollPosition::None);
    table->deselectRowAtIndexPath({0, 2}, true);
    EXPECT_TRUE(rows->take().empty());
    EXPECT_EQ(std::nullopt, table->indexPathForSelectedRow());

    // Selection survives scrolling the row out and back in.
    table->selectRowAtIndexPath(IndexPath{0, 4}, false, TableViewScrollPosition::None);
    table->setFrame(Rect(0, 0, 320, 28 + 44));
    EXPECT_EQ(nullptr, table->cellForRowAtIndexPath({0, 4}));
    table->scrollToRowAtIndexPath({0, 4}, TableViewScrollPosition::Bottom, false);
    ASSERT_NE(nullptr, table->cellForRowAtIndexPath({0, 4}));
    EXPECT_TRUE(table->cellForRowAtIndexPath({0, 4})->isSelected());
}

TEST_F(TableViewTest, MultipleSelectionWhileEditingKeepsTheOrderOfSelection) {
    make();
    table->setAllowsMultipleSelectionDuringEditing(true);
    EXPECT_TRUE(UIDriver::tapRow(*table, {0, 4}));  // not editing: single selection
    table->setEditing(true, true);
    EXPECT_TRUE(table->indexPathsForSelectedRows().empty());
    EXPECT_TRUE(table->cellForRowAtIndexPath({0, 0})->isEditing());
    rows->take();
    for (std::int64_t row : {3, 0, 2}) UIDriver::tapRow(*table, {0, row});
    EXPECT_EQ((std::vector<IndexPath>{{0, 3}, {0, 0}, {0, 2}}), table->indexPathsForSelectedRows());
    EXPECT_EQ(IndexPath(0, 0), table->indexPathForSelectedRow());
    UIDriver::tapRow(*table, {0, 0});  // a second tap deselects
    EXPECT_EQ((Events{"select d", "select a", "select c", "deselect a"}), rows->take());
    EXPECT_EQ((std::vector<IndexPath>{{0, 3}, {0, 2}}), table->indexPathsForSelectedRows());

    // Deleting a row above moves the selection with its rows.
    ASSERT_TRUE(UIDriver::deleteRow(*table, {0, 1}));
    EXPECT_EQ((Events{"commit b", "display a", "display c", "display d", "display e"}), rows->take());
    EXPECT_EQ((std::vector<IndexPath>{{0, 2}, {0, 1}}), table->indexPathsForSelectedRows());
    EXPECT_EQ((Events{"a", "c", "d", "e"}), texts());
    table->setEditing(false, true);
    EXPECT_TRUE(table->indexPathsForSelectedRows().empty());
    EXPECT_FALSE(UIDriver::deleteRow(*table, {0, 1}));  // only while editing
}

TEST_F(TableViewTest, SwipeActionsRunTheirHandlerAndCloseOnCompletion) {
    make();
    ContextualAction::Completion pending;
    std::vector<std::string> ran;
    rows->swipeActions = [&](const IndexPath& p) -> std::shared_ptr<SwipeActionsConfiguration> {
        if (p.row == 4) return SwipeActionsConfiguration::configurationWithActions({});
        auto rename = ContextualAction::contextualActionWithStyle(
            ContextualAction::Style::Normal, std::string("Rename"),
            [&](ContextualAction& action, View& source, ContextualAction::Completion done) {
                ran.push_back(*action.title() + (dynamic_cast<TableViewCell*>(&source) ? " on cell" : ""));
                pending = std::move(done);
            });
        auto remove = ContextualAction::contextualActionWithStyle(
            ContextualAction::Style::Destructive, std::string("Delete"),
            [&](ContextualAction& action, View&, ContextualAction::Completion done) {
                ran.push_back(*action.title());
                done(true);
            });
        auto configuration = SwipeActionsConfiguration::configurationWithActions({remove, rename});
        configuration->setPerformsFirstActionWithFullSwipe(p.row != 3);
        return configuration;
    };
    auto configuration = UIDriver::swipeRow(*table, {0, 1});
    ASSERT_NE(nullptr, configuration);
    EXPECT_EQ(2u, configuration->actions().size());
    EXPECT_EQ(IndexPath(0, 1), table->swipedRow());
    // The actions stay open until the handler calls its completion.
    ASSERT_TRUE(UIDriver::tapSwipeAction(*table, "Rename"));
    EXPECT_EQ((Events{"Rename on cell"}), ran);
    EXPECT_EQ(IndexPath(0, 1), table->swipedRow());
    pending(false);
    EXPECT_EQ(std::nullopt, table->swipedRow());
    EXPECT_FALSE(UIDriver::tapSwipeAction(*table, "Delete"));  // closed

    // A full swipe performs the first action, where allowed.
    EXPECT_TRUE(UIDriver::fullSwipeRow(*table, {0, 2}));
    EXPECT_FALSE(UIDriver::fullSwipeRow(*table, {0, 3}));
    EXPECT_EQ((Events{"Rename on cell", "Delete"}), ran);
    EXPECT_EQ(nullptr, UIDriver::swipeRow(*table, {0, 4}));  // no actions, nothing opens

    // Without a configuration of its own the row offers Delete, which commits.
    rows->swipeActions = nullptr;
    rows->take();
    ASSERT_NE(nullptr, UIDriver::swipeRow(*table, {0, 0}));
    ASSERT_TRUE(UIDriver::tapSwipeAction(*table, "Delete"));
    EXPECT_EQ("commit a", rows->take().front());
    EXPECT_EQ(4, table->numberOfRowsInSection(0));
}

// A finger reveals the actions: a drag to the left along a row shows them as
// buttons at its trailing edge (the first outermost), a tap on one runs it,
// and the buttons go when the actions close. Up and down still scrolls.
TEST_F(TableViewTest, AFingerSwipingARowLeftRevealsItsActionsAsButtonsATapRuns) {
    make();
    std::vector<std::string> ran;
    rows->swipeActions = [&](const IndexPath& p) -> std::shared_ptr<SwipeActionsConfiguration> {
        std::vector<std::shared_ptr<ContextualAction>> actions;
        for (const char* title : {"Versions", "Delete"})
            actions.push_back(ContextualAction::contextualActionWithStyle(
                ContextualAction::Style::Normal, std::string(title),
                [&ran, p](ContextualAction& action, View&, ContextualAction::Completion done) {
                    ran.push_back(*action.title() + " " + std::to_string(p.row));
                    done(true);
                }));
        return SwipeActionsConfiguration::configurationWithActions(actions);
    };
    auto buttonTitled = [&](const std::string& title) -> Button* {
        auto cell = table->cellForRowAtIndexPath({0, 2});
        std::function<Button*(View&)> find = [&](View& view) -> Button* {
            if (auto button = dynamic_cast<Button*>(&view); button && button->currentTitle() == title) return button;
            for (const auto& child : view.subviews())
                if (auto found = child ? find(*child) : nullptr) return found;
            return nullptr;
        };
        return cell ? find(*cell) : nullptr;
    };

    const Rect row = table->rectForRowAtIndexPath({0, 2});
    ASSERT_TRUE(UIDriver::pan(*table, {row.midX(), row.midY()}, {-120, 4}, {-600, 0}));
    EXPECT_EQ(IndexPath(0, 2), table->swipedRow());
    Button* versions = buttonTitled("Versions");
    Button* remove = buttonTitled("Delete");
    ASSERT_TRUE(versions && remove);
    EXPECT_GT(versions->convertRectToView(versions->bounds(), table.get()).minX(),
              remove->convertRectToView(remove->bounds(), table.get()).minX());
    const Rect shown = remove->convertRectToView(remove->bounds(), table.get());
    ASSERT_TRUE(UIDriver::tap(*table, {shown.midX(), shown.midY()}));
    EXPECT_EQ((Events{"Delete 2"}), ran);
    EXPECT_EQ(std::nullopt, table->swipedRow());
    EXPECT_EQ(nullptr, buttonTitled("Delete"));

    // A drag mostly up and down reveals nothing.
    UIDriver::pan(*table, {row.midX(), row.midY()}, {-20, 100});
    EXPECT_EQ(std::nullopt, table->swipedRow());
}

TEST_F(TableViewTest, ReloadingRowsAsksForThoseCellsAndUpdatesMustAddUp) {
    make();
    rows->sections[0][2] = "C";
    const int before = rows->cellsMade;
    table->reloadRowsAtIndexPaths({{0, 2}}, TableViewRowAnimation::None);
    EXPECT_EQ(before + 1, rows->cellsMade);
    EXPECT_EQ((Events{"a", "b", "C", "d", "e"}), texts());

    // The data source gained a row but the table is told of a deletion.
    rows->sections[0].push_back("f");
    EXPECT_THROW(table->deleteRowsAtIndexPaths({{0, 0}}, TableViewRowAnimation::Fade), NamedException);
    table->insertRowsAtIndexPaths({{0, 5}}, TableViewRowAnimation::Fade);
    EXPECT_EQ(6, table->numberOfRowsInSection(0));
}

TEST_F(TableViewTest, TheDelegateIsToldEachTimeAFooterOrHeaderComesIntoView) {
    struct Footers : Rows {
        std::vector<std::string> shown;
        std::optional<std::string> titleForHeaderInSection(TableView&, std::int64_t section) override {
            return section == 0 ? std::optional<std::string>("Top") : std::nullopt;
        }
        std::optional<std::string> titleForFooterInSection(TableView&, std::int64_t section) override {
            return "Footer " + std::to_string(section);
        }
        void willDisplayHeaderView(TableView&, View&, std::int64_t section) override {
            shown.push_back("header " + std::to_string(section));
        }
        void willDisplayFooterView(TableView&, View& view, std::int64_t) override {
            auto* footer = dynamic_cast<TableViewHeaderFooterView*>(&view);
            shown.push_back(footer ? *footer->textLabel()->text() : "not a footer view");
        }
    };
    auto footers = std::make_shared<Footers>();
    footers->sections = {{"a"}, {"b"}, {"c"}, {"d"}};
    rows = footers;
    table = std::make_shared<TableView>(Rect(0, 0, 320, 100), TableViewStyle::Grouped);
    table->registerClass<TableViewCell>("Cell");
    table->setDataSource(rows);
    table->setDelegate(rows);
    table->reloadData();
    EXPECT_EQ((Events{"header 0", "Footer 0"}), footers->shown);
    footers->shown.clear();
    table->setContentOffset({0, table->contentSize().height - 100});
    table->layoutIfNeeded();
    EXPECT_EQ((Events{"Footer 2", "Footer 3"}), footers->shown);
    footers->shown.clear();
    table->setContentOffset({0, 0});
    table->layoutIfNeeded();
    EXPECT_EQ((Events{"header 0", "Footer 0"}), footers->shown) << "told again as it comes back";
}

TEST_F(TableViewTest, HeaderViewsAccessoriesAndBackgrounds) {
    struct Headers : Rows {
        std::shared_ptr<View> viewForHeaderInSection(TableView& table, std::int64_t section) override {
            if (section == 0) return nullptr;
            auto header = table.dequeueReusableHeaderFooterView("Header");
            header->textLabel()->setText("Custom");
            return header;
        }
        double heightForHeaderInSection(TableView&, std::int64_t section) override { return section ? 50 : 20; }
    };
    auto headers = std::make_shared<Headers>();
    headers->sections = {{"a"}, {"b"}};
    rows = headers;
    table = std::make_shared<TableView>(Rect(0, 0, 320, 400), TableViewStyle::Grouped);
    table->registerClass<TableViewCell>("Cell");
    table->registerHeaderFooterClass<TableViewHeaderFooterView>("Header");
    table->setDataSource(rows);
    table->setDelegate(rows);
    table->reloadData();
    auto custom = std::dynamic_pointer_cast<TableViewHeaderFooterView>(table->headerViewForSection(1));
    ASSERT_NE(nullptr, custom);
    EXPECT_EQ("Header", custom->reuseIdentifier());
    EXPECT_EQ(Rect(0, 20 + 44, 320, 50), custom->frame());
    EXPECT_EQ(Rect(0, 20 + 44 + 50, 320, 44), table->rectForRowAtIndexPath({1, 0}));

    auto cell = table->cellForRowAtIndexPath({0, 0});
    cell->setAccessoryType(TableViewCellAccessoryType::Checkmark);
    cell->layoutIfNeeded();
    EXPECT_LT(cell->contentView()->frame().size.width, 320);
    auto background = std::make_shared<View>();
    table->setBackgroundView(background);
    EXPECT_EQ(table->subviews().front(), background);
    auto selected = std::make_shared<View>();
    cell->setSelectedBackgroundView(selected);
    EXPECT_TRUE(selected->isHidden());
    UIDriver::tapRow(*table, {0, 0});
    EXPECT_FALSE(selected->isHidden());
}
