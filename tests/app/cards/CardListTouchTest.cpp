// The card list reached by touch alone, as a user's finger reaches it: the
// deck title, the grouping control and a multiple-choice test's pages.

#include "app/cards/CardListTestSupport.h"
#include "app/study/MultipleChoicePageViewController.h"
#include "app/study/MultipleChoiceQuestionViewController.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/SegmentedControl.h"

using namespace memorant_test;

namespace {

using Tag = CardListTableViewController::PresentationMode::Tag;

// The card list in the app's own deck split view on a phone.
class CardListTouchTest : public CardListTest {
protected:
    void SetUp() override {
        CardListTest::SetUp();
        inAppDeckSplitView = true;
    }

    // Where a point of a view lies in the window.
    static Point inWindow(View& view, Point point) { return view.convertPointToView(point, nullptr); }
};

TEST_F(CardListTouchTest, ATapOnTheDeckTitleBeginsEditingItUnlessTheDeckRefuses) {
    show();
    auto& field = *list->titleTextField();
    ASSERT_TRUE(UIDriver::tap(field));
    EXPECT_TRUE(field.isEditing());
    EXPECT_TRUE(field.isFirstResponder());
    EXPECT_EQ(Tag::editingTitle, list->presentationMode()->tag());
    // What is typed goes into it.
    ASSERT_TRUE(UIDriver::typeText(field, " 2"));
    EXPECT_EQ("Spanish 2", field.text());

    // A version preview's title is not editable: the tap is taken, editing does not begin.
    show(document, /*versionPreview=*/true);
    auto& preview = *list->titleTextField();
    UIDriver::tap(preview);
    EXPECT_FALSE(preview.isEditing());
    EXPECT_NE(Tag::editingTitle, list->presentationMode()->tag());
}

// Every item of the list's bars, browsing and editing, is a place a finger
// reaches: it has a size, a tap at its middle lands on it, and it shows a
// title or a symbol (the items the app draws from its own template images
// among them, such as the one that closes the deck).
TEST_F(CardListTouchTest, EveryBarItemHasAPlaceATapReachesAndATitleOrSymbol) {
    show();
    for (const bool editing : {false, true}) {
        SCOPED_TRACE(editing ? "editing" : "browsing");
        list->setEditing(editing, false);
        drainMainLoop();
        window->layoutIfNeeded();
        std::vector<std::shared_ptr<BarButtonItem>> items = list->navigationItem().leftBarButtonItems();
        for (const auto& item : list->navigationItem().rightBarButtonItems()) items.push_back(item);
        for (const auto& item : navigation->toolbar()->items()) items.push_back(item);
        ASSERT_FALSE(items.empty());
        for (const auto& item : items) {
            if (item->systemItem() == BarButtonSystemItem::FlexibleSpace ||
                item->systemItem() == BarButtonSystemItem::FixedSpace)
                continue;
            SCOPED_TRACE("item tagged " + std::to_string(item->tag()));
            EXPECT_TRUE((item->title() && !item->title()->empty()) ||
                        (item->image() && item->image()->systemSymbolName()));
            auto view = item->view();
            ASSERT_TRUE(view);
            ASSERT_FALSE(view->bounds().isEmpty());
            View* hit = window->hitTest(inWindow(*view, view->bounds().center()));
            EXPECT_TRUE(hit && hit->isDescendantOfView(view.get()));
        }
    }
}

TEST_F(CardListTouchTest, ATapOnAGroupingSegmentRegroupsTheList) {
    show();
    // The grouping control sits above the first row, under the bar: the user
    // drags the list down to it first.
    auto table = list->tableView();
    ASSERT_TRUE(UIDriver::pan(*window, inWindow(*table, table->bounds().center()), {0, 300}));
    advance(1);
    auto& control = *list->groupingOptionsControl();
    const Rect b = control.bounds();
    const double segment = b.size.width / static_cast<double>(control.numberOfSegments());
    // The third segment, "Difficulty", then the first again.
    ASSERT_TRUE(UIDriver::tap(*window, inWindow(control, {segment * 2.5, b.midY()})));
    EXPECT_EQ(2, control.selectedSegmentIndex());
    EXPECT_EQ(Tag::groupForTopLevelCards, list->presentationMode()->tag());
    ASSERT_TRUE(UIDriver::tap(*window, inWindow(control, {segment * 0.2, b.midY()})));
    EXPECT_EQ(0, control.selectedSegmentIndex());
    EXPECT_EQ(Tag::topLevelCards, list->presentationMode()->tag());
}

// A row with a drawer scrolls only sideways: dragging it down scrolls the
// list, as a drag anywhere else does.
TEST_F(CardListTouchTest, ADragDownOnACardRowScrollsTheListToTheGroupingControl) {
    show();
    auto table = list->tableView();
    const double before = table->contentOffset().y;
    auto cell = table->cellForRowAtIndexPath(IndexPath{0, 0});
    ASSERT_TRUE(cell);
    ASSERT_TRUE(UIDriver::pan(*window, inWindow(*cell, cell->bounds().center()), {0, 300}));
    advance(1);
    EXPECT_LT(table->contentOffset().y, before);
    auto& control = *list->groupingOptionsControl();
    const Point middle = inWindow(control, control.bounds().center());
    View* hit = window->hitTest(middle);
    EXPECT_TRUE(hit && hit->isDescendantOfView(&control));
}

TEST_F(CardListTouchTest, DragsAcrossAMultipleChoiceTestTurnItsPages) {
    show();
    tapToolbarItem(CardListTableViewController::kMultipleChoiceItemTag);
    auto presented = std::dynamic_pointer_cast<NavigationController>(list->presentedViewController());
    ASSERT_TRUE(presented);
    auto test = std::dynamic_pointer_cast<MultipleChoicePageViewController>(presented->topViewController());
    ASSERT_TRUE(test);
    ASSERT_EQ(test->startPageViewController(), test->viewControllers().back());
    auto shownIndex = [&] { return test->pageIndex(*test->viewControllers().back()); };
    const Rect area = test->view()->bounds();
    const Point right = inWindow(*test->view(), {area.size.width - 20, area.midY()});
    const Point left = inWindow(*test->view(), {20, area.midY()});
    const double across = area.size.width - 40;

    struct Drag {
        const char* name;
        Point start, translation, velocity;
        std::int64_t expectedIndex;
    };
    const Drag drags[] = {
        {"to the left past the middle: the first question", right, {-across, 0}, {}, 1},
        // The question page is a web view whose content scrolls up and down only.
        {"on over the question", right, {-across, 0}, {-100, 0}, 2},
        {"a short slow drag: the page stays", right, {-40, 0}, {-50, 0}, 2},
        {"a short flick: the next page", right, {-40, 0}, {-900, 0}, 3},
        {"past the middle but flung back: the page stays", right, {-across, 0}, {900, 0}, 3},
        {"mostly up and down: no page turns", right, {-30, -200}, {}, 3},
        {"to the right: back", left, {across, 0}, {}, 2},
    };
    for (const auto& drag : drags) {
        SCOPED_TRACE(drag.name);
        UIDriver::pan(*window, drag.start, drag.translation, drag.velocity, 3);
        advance(0.5);
        EXPECT_EQ(drag.expectedIndex, shownIndex());
    }
    EXPECT_TRUE(std::dynamic_pointer_cast<MultipleChoiceQuestionViewController>(test->viewControllers().back()));
    EXPECT_EQ("Spanish", test->navigationItem().title());
}

}  // namespace
