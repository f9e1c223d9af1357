#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "platform/ui/RefreshControl.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TableViewDiffableDataSource.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"

using namespace memorant_test;

namespace {

using Source = TableViewDiffableDataSource<int, std::string>;
using Snapshot = Source::Snapshot;

Snapshot snapshotOf(const std::vector<std::string>& items, std::vector<int> sections = {0}) {
    Snapshot snapshot;
    snapshot.appendSections(sections);
    snapshot.appendItems(items);
    return snapshot;
}

std::vector<std::string> letters(const std::string& text) {
    std::vector<std::string> items;
    for (char c : text) items.push_back(std::string(1, c));
    return items;
}

// A table 5 rows of 44 points high over a data source whose cells show
// their item; it counts what the cell provider was asked for.
class DiffableDataSourceTest : public UITest {
protected:
    void SetUp() override {
        table = std::make_shared<TableView>(Rect(0, 0, 320, 5 * 44));
        table->registerClass<TableViewCell>("Cell");
        source = Source::make(table, [this](TableView& t, const IndexPath& p, const std::string& item) {
            asked.push_back(item);
            auto cell = t.dequeueReusableCell("Cell", p);
            cell->textLabel()->setText(item);
            return cell;
        });
    }

    // The texts of the cells in view, top to bottom.
    std::vector<std::string> shown() const {
        std::vector<std::string> texts;
        for (const auto& p : table->indexPathsForVisibleRows())
            texts.push_back(table->cellForRowAtIndexPath(p)->textLabel()->text().value_or("?"));
        return texts;
    }

    std::shared_ptr<TableView> table;
    std::shared_ptr<Source> source;
    std::vector<std::string> asked;
};

TEST_F(DiffableDataSourceTest, FirstSnapshotLoadsOnlyTheRowsInView) {
    source->applySnapshot(snapshotOf(letters("abcdefghijklmnopqrstuvwxyz")), true);
    EXPECT_EQ(26, table->numberOfRowsInSection(0));
    EXPECT_EQ(letters("abcde"), asked);
    EXPECT_EQ(letters("abcde"), shown());
    EXPECT_TRUE(table->recordedRowAnimations().empty());
    EXPECT_EQ(std::optional<std::string>("c"), source->itemIdentifierForIndexPath({0, 2}));
    EXPECT_EQ(std::optional<IndexPath>(IndexPath{0, 25}), source->indexPathForItemIdentifier("z"));
}

TEST_F(DiffableDataSourceTest, DifferencesKeepTheCellsOfRowsThatStay) {
    source->applySnapshot(snapshotOf(letters("abcdefgh")), true);
    auto cellOfB = table->cellForRowAtIndexPath({0, 1});
    table->selectRowAtIndexPath(IndexPath{0, 3}, false, TableViewScrollPosition::None);  // "d"
    asked.clear();
    table->clearRecordedRowAnimations();

    // "a" goes, "x" comes first, "e" moves to the end.
    source->setDefaultRowAnimation(TableViewRowAnimation::Fade);
    source->applySnapshot(snapshotOf(letters("xbcdfghe")), true);

    EXPECT_EQ(letters("xf"), asked) << "only the new row and the row new in view are configured";
    EXPECT_EQ(letters("xbcdf"), shown());
    EXPECT_EQ(cellOfB, table->cellForRowAtIndexPath({0, 1}));
    EXPECT_EQ(std::vector<IndexPath>{IndexPath({0, 3})}, table->indexPathsForSelectedRows());
    using Kind = TableViewRowUpdate::Kind;
    EXPECT_EQ((std::vector<TableViewRowUpdate>{
                  {Kind::Delete, {IndexPath{0, 0}}, TableViewRowAnimation::Fade, true},
                  {Kind::Insert, {IndexPath{0, 0}}, TableViewRowAnimation::Fade, true},
                  {Kind::Move, {IndexPath{0, 4}, IndexPath{0, 7}}, TableViewRowAnimation::Fade, true},
              }),
              table->recordedRowAnimations());
    EXPECT_FALSE(table->isInsideUpdates());

    // Without animation the changes carry none.
    table->clearRecordedRowAnimations();
    source->applySnapshot(snapshotOf(letters("bcdfghe")), false);
    ASSERT_EQ(1u, table->recordedRowAnimations().size());
    EXPECT_EQ(TableViewRowAnimation::None, table->recordedRowAnimations()[0].animation);
}

TEST_F(DiffableDataSourceTest, AnyReorderingEndsInTheNewOrder) {
    const struct {
        const char* before;
        const char* after;
        std::size_t moves;
    } cases[] = {
        {"abcdefgh", "hgfedcba", 7},  {"abcdefgh", "bcdefgha", 1}, {"abcdefgh", "habcdefg", 1},
        {"abcdefgh", "aXcYeZgh", 0},  {"abcdefgh", "", 0},         {"", "abc", 0},
        {"abcdefgh", "dcbaQhgfe", 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.before) + " -> " + c.after);
        source->applySnapshot(snapshotOf(letters(c.before)), false);
        table->clearRecordedRowAnimations();
        source->applySnapshot(snapshotOf(letters(c.after)), false);
        std::size_t moves = 0;
        for (const auto& update : table->recordedRowAnimations())
            if (update.kind == TableViewRowUpdate::Kind::Move) ++moves;
        EXPECT_EQ(c.moves, moves);
        const auto expected = letters(c.after);
        ASSERT_EQ(static_cast<std::int64_t>(expected.size()), table->numberOfRowsInSection(0));
        const std::vector<std::string> firstRows(expected.begin(),
                                                 expected.begin() + std::min<std::size_t>(5, expected.size()));
        EXPECT_EQ(firstRows, shown());
    }
}

TEST_F(DiffableDataSourceTest, ReloadedItemsAreConfiguredAgainWhenInView) {
    source->applySnapshot(snapshotOf(letters("abcdefgh")), true);
    asked.clear();
    auto snapshot = source->snapshot();
    snapshot.reloadItems(letters("bh"));
    source->applySnapshot(snapshot, false);
    EXPECT_EQ(letters("b"), asked) << "\"h\" is out of view";
    EXPECT_TRUE(source->snapshot().reloadedItemIdentifiers().empty());

    // Scrolling brings rows into view, and only those are asked for.
    asked.clear();
    table->setContentOffset({0, 3 * 44});
    EXPECT_EQ(letters("fgh"), asked);
}

TEST_F(DiffableDataSourceTest, OtherSectionsReloadTheTable) {
    source->applySnapshot(snapshotOf(letters("ab")), true);
    asked.clear();
    Snapshot two;
    two.appendSections({0, 1});
    two.appendItems(letters("a"), 0);
    two.appendItems(letters("bc"), 1);
    source->applySnapshot(two, true);
    EXPECT_EQ(2, table->numberOfSections());
    EXPECT_EQ(letters("abc"), asked);
    EXPECT_EQ(std::optional<IndexPath>(IndexPath{1, 1}), source->indexPathForItemIdentifier("c"));

    // Between sections an item moves.
    table->clearRecordedRowAnimations();
    Snapshot across;
    across.appendSections({0, 1});
    across.appendItems(letters("ac"), 0);
    across.appendItems(letters("b"), 1);
    source->applySnapshot(across, true);
    ASSERT_EQ(1u, table->recordedRowAnimations().size());
    EXPECT_EQ((std::vector<IndexPath>{{1, 1}, {0, 1}}), table->recordedRowAnimations()[0].indexPaths);
    EXPECT_EQ(letters("acb"), shown());
}

TEST(DiffableDataSourceSnapshot, KeepsItemsOnceAndRefusesMisuse) {
    Snapshot snapshot;
    EXPECT_THROW(snapshot.appendItems(letters("a")), NamedException);
    snapshot.appendSections({0, 1});
    EXPECT_THROW(snapshot.appendSections({1}), NamedException);
    snapshot.appendItems(letters("ab"), 0);
    snapshot.appendItems(letters("cd"));
    EXPECT_THROW(snapshot.appendItems(letters("a"), 1), NamedException);
    EXPECT_THROW(snapshot.reloadItems(letters("z")), NamedException);
    snapshot.reloadItems(letters("bc"));
    snapshot.deleteItems(letters("bz"));
    EXPECT_EQ(letters("acd"), snapshot.itemIdentifiers());
    EXPECT_EQ(letters("cd"), snapshot.itemIdentifiersInSection(1));
    EXPECT_EQ(std::optional<std::size_t>(1), snapshot.indexOfItem("c"));
    EXPECT_EQ(letters("c"), snapshot.reloadedItemIdentifiers());
    EXPECT_EQ(3u, snapshot.numberOfItems());
}

TEST_F(DiffableDataSourceTest, ABatchThatDoesNotAddUpIsRefused) {
    source->applySnapshot(snapshotOf(letters("abc")), true);
    // The data source answers three rows; a batch that deletes one disagrees.
    EXPECT_THROW(table->performBatchUpdates({IndexPath{0, 0}}, {}, {}, TableViewRowAnimation::None), NamedException);
    EXPECT_THROW(table->performBatchUpdates({IndexPath{0, 7}}, {IndexPath{0, 0}}, {}, TableViewRowAnimation::None),
                 NamedException);
}

class RefreshAndBackgroundTest : public UITest {};

TEST_F(RefreshAndBackgroundTest, APullRefreshesOnceUntilEnded) {
    auto table = std::make_shared<TableView>(Rect(0, 0, 320, 200));
    EXPECT_FALSE(UIDriver::pullToRefresh(*table));
    auto control = std::make_shared<RefreshControl>();
    int sent = 0;
    control->addTarget([&](Control&) { ++sent; }, ControlEventValueChanged);
    table->setRefreshControl(control);
    EXPECT_EQ(table.get(), control->superview());

    EXPECT_TRUE(UIDriver::pullToRefresh(*table));
    EXPECT_TRUE(control->isRefreshing());
    EXPECT_FALSE(UIDriver::pullToRefresh(*table));
    EXPECT_EQ(1, sent);
    control->endRefreshing();
    EXPECT_TRUE(UIDriver::pullToRefresh(*table));
    EXPECT_EQ(2, sent);

    control->endRefreshing();
    table->setScrollEnabled(false);
    EXPECT_FALSE(UIDriver::pullToRefresh(*table));
    table->setRefreshControl(nullptr);
    EXPECT_EQ(nullptr, control->superview());
}

TEST_F(RefreshAndBackgroundTest, BackgroundAndForegroundArePosted) {
    std::vector<std::string> heard;
    auto& center = NotificationCenter::defaultCenter();
    for (const char* name :
         {Application::kDidEnterBackgroundNotification, Application::kWillEnterForegroundNotification})
        center.addObserver(&heard, std::string(name), {}, [&](const Notification& n) { heard.push_back(n.name()); });
    Application::shared().didEnterBackground();
    EXPECT_TRUE(Application::shared().isInBackground());
    Application::shared().willEnterForeground();
    EXPECT_FALSE(Application::shared().isInBackground());
    center.removeObserver(&heard);
    EXPECT_EQ((std::vector<std::string>{"UIApplicationDidEnterBackgroundNotification",
                                        "UIApplicationWillEnterForegroundNotification"}),
              heard);
}

}  // namespace
