#include <gtest/gtest.h>

#include "app/views/ColorAdditions.h"
#include "app/views/FITableViewCellWithDrawer.h"
#include "platform/ui/TableView.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"

using memorant_test::colorNear;

namespace {

class Drawer : public View, public FITableViewCellSelectionObserver {
public:
    using View::View;
    int selectionChanges = 0;
    void tableViewCellSelectionChanged(FITableViewCellWithDrawer&) override { ++selectionChanges; }
};

}  // namespace

class FITableViewCellWithDrawerTest : public memorant_test::UITest {
protected:
    void SetUp() override {
        cell->setFrame(Rect(0, 0, 320, 60));
        content->setBackgroundColor(Color::systemBackgroundColor());
        cell->setCustomContentView(content);
        cell->setDrawerView(drawer);
        cell->layoutIfNeeded();
    }

    double offset() const { return cell->scrollView()->contentOffset().x; }
    // What the drawer shows on screen, in the cell's coordinates.
    Rect drawerOnScreen() const { return drawer->convertRectToView(drawer->bounds(), cell.get()); }

    std::shared_ptr<FITableViewCellWithDrawer> cell =
        FITableViewCellWithDrawer::make(TableViewCellStyle::Default, "Card");
    std::shared_ptr<View> content = std::make_shared<View>();
    std::shared_ptr<Drawer> drawer = std::make_shared<Drawer>();
};

TEST_F(FITableViewCellWithDrawerTest, SetUpAndLayout) {
    auto canary = cell->canaryView();
    EXPECT_EQ(Rect(0, 0, 1, 1), canary->frame());
    EXPECT_EQ(Color::blueColor(), *canary->backgroundColor());
    const auto& scroll = cell->scrollView();
    EXPECT_EQ(cell->contentView().get(), scroll->superview());
    EXPECT_FALSE(scroll->isUserInteractionEnabled());
    EXPECT_FALSE(scroll->showsHorizontalScrollIndicator());
    EXPECT_EQ(cell->contentView().get(), scroll->panGestureRecognizer()->view());
    // The drawer lies beneath the content, which takes no touches itself.
    EXPECT_EQ((std::vector<std::shared_ptr<View>>{drawer, content}), scroll->subviews());
    EXPECT_FALSE(content->isUserInteractionEnabled());
    EXPECT_EQ(Rect(0, 0, 320, 60), scroll->frame());
    EXPECT_EQ(Rect(0, 0, 320, 60), drawer->frame());
    EXPECT_EQ(Rect(0, 0, 320, 60), content->frame());
    EXPECT_EQ((Size{640, 60}), scroll->contentSize());

    cell->setDrawerViewPeekWidth(44);
    cell->layoutIfNeeded();
    EXPECT_EQ(Rect(0, 0, 276, 60), content->frame());
    // At rest the drawer's rightmost 44 points show beside the content.
    drawer->setBackgroundColor(Color::redColor());
    auto picture = renderPNG(*cell, "drawer");
    EXPECT_TRUE(colorNear(picture->colorAtPixel(270, 30), Color::whiteColor()));
    EXPECT_TRUE(colorNear(picture->colorAtPixel(280, 30), Color::redColor()));
    EXPECT_TRUE(drawerOnScreen().contains({300, 30}));

    // A new content view replaces the old one on top.
    auto other = std::make_shared<View>();
    cell->setCustomContentView(other);
    EXPECT_EQ(nullptr, content->superview());
    EXPECT_EQ(other, scroll->subviews().back());
}

TEST_F(FITableViewCellWithDrawerTest, DragUncoversTheDrawerWithinItsWidthAndSlidesBack) {
    // To the right nothing moves.
    ASSERT_TRUE(UIDriver::pan(*cell, {160, 30}, {80, 0}));
    EXPECT_DOUBLE_EQ(0, offset());

    // To the left the content slides over a drawer that stays put, up to the drawer's width.
    double offsets[2] = {-1, -1};
    Rect drawerDuring;
    struct Watch : ScrollViewDelegate {
        View* drawerView;
        FITableViewCellWithDrawer* cell;
        double* seen;
        Rect* drawer;
        int count = 0;
        void scrollViewDidScroll(ScrollView& s) override {
            cell->scrollViewDidScroll(s);
            if (count < 2) seen[count++] = s.contentOffset().x;
            *drawer = drawerView->convertRectToView(drawerView->bounds(), cell);
        }
        void scrollViewWillEndDragging(ScrollView& s, Point v, Point* t) override {
            cell->scrollViewWillEndDragging(s, v, t);
        }
    };
    auto watch = std::make_shared<Watch>();
    watch->drawerView = drawer.get();
    watch->cell = cell.get();
    watch->seen = offsets;
    watch->drawer = &drawerDuring;
    cell->scrollView()->setDelegate(watch);
    cell->setHighlighted(true);
    UIDriver::pan(*cell, {300, 30}, {-500, 0}, {-800, 0}, 2);
    EXPECT_DOUBLE_EQ(250, offsets[0]);
    EXPECT_DOUBLE_EQ(320, offsets[1]);
    EXPECT_EQ(Rect(0, 0, 320, 60), drawerDuring);

    // On release: unhighlighted, and back to 0 in 0.3 s with an ease-out curve.
    EXPECT_FALSE(cell->isHighlighted());
    EXPECT_DOUBLE_EQ(0, offset());
    auto back = std::dynamic_pointer_cast<const BasicAnimation>(cell->scrollView()->layer().animationForKey("bounds"));
    ASSERT_NE(nullptr, back);
    EXPECT_DOUBLE_EQ(FITableViewCellWithDrawer::kReturnDuration, back->duration());
    EXPECT_EQ(MediaTimingFunction::named(MediaTimingFunction::Name::EaseOut), back->timingFunction());
    auto shown = [&] {
        return std::get<Rect>(*cell->scrollView()->layer().presentationValueForKey("bounds")).origin.x;
    };
    EXPECT_DOUBLE_EQ(320, shown());
    advance(0.15);
    EXPECT_GT(shown(), 0);
    EXPECT_LT(shown(), 160);
    advance(0.15);
    EXPECT_DOUBLE_EQ(0, shown());
}

TEST_F(FITableViewCellWithDrawerTest, SelectionColoursFollowTheStyle) {
    struct Case {
        UserInterfaceStyle style;
        bool editing, selected;
        Color expected;
    } cases[] = {
        {UserInterfaceStyle::Light, false, true, *twColorFromHexString("D0D0D0")},
        {UserInterfaceStyle::Dark, false, true, *twColorFromHexString("3A3A3C")},
        {UserInterfaceStyle::Light, false, false, Color::whiteColor()},
        {UserInterfaceStyle::Dark, false, false, Color::blackColor()},
        {UserInterfaceStyle::Light, true, true, Color::clearColor()},
    };
    int changes = 0;
    for (const auto& c : cases) {
        cell->setOverrideUserInterfaceStyle(c.style);
        cell->setEditing(c.editing);
        cell->setSelected(c.selected, false);
        EXPECT_EQ(++changes, drawer->selectionChanges);
        TraitCollection traits = cell->traitCollection();
        EXPECT_TRUE(colorNear(content->backgroundColor()->resolvedColor(traits), c.expected))
            << static_cast<int>(c.style) << c.editing << c.selected;
    }
}

TEST_F(FITableViewCellWithDrawerTest, EditingAndHighlightHideTheDrawer) {
    cell->setEditing(true);
    EXPECT_TRUE(drawer->isHidden());
    EXPECT_EQ(TableViewCellSelectionStyle::Default, cell->selectionStyle());
    // The table's highlight clears the marker's colour: still hidden while editing.
    cell->setHighlighted(true);
    EXPECT_TRUE(colorNear(*cell->canaryView()->backgroundColor(), Color::clearColor()));
    EXPECT_TRUE(drawer->isHidden());
    cell->setHighlighted(false);
    EXPECT_TRUE(drawer->isHidden());

    cell->setEditing(false);
    EXPECT_FALSE(drawer->isHidden());
    EXPECT_EQ(TableViewCellSelectionStyle::None, cell->selectionStyle());
    EXPECT_EQ(Color::systemBackgroundColor(), *content->backgroundColor());
    // Without editing the marker alone decides.
    cell->canaryView()->setBackgroundColor(Color::clearColor());
    EXPECT_TRUE(drawer->isHidden());
    cell->canaryView()->setBackgroundColor(Color::blueColor());
    EXPECT_FALSE(drawer->isHidden());
    cell->canaryView()->setBackgroundColor(std::nullopt);
    EXPECT_TRUE(drawer->isHidden());
}

TEST_F(FITableViewCellWithDrawerTest, RegisteredClassIsSetUp) {
    auto table = std::make_shared<TableView>(Rect(0, 0, 320, 480));
    table->registerClass<FITableViewCellWithDrawer>("Card");
    auto made = std::dynamic_pointer_cast<FITableViewCellWithDrawer>(table->dequeueReusableCell("Card", {0, 0}));
    ASSERT_NE(nullptr, made);
    EXPECT_NE(nullptr, made->scrollView());
    auto fromNib = instantiateFromNib<FITableViewCellWithDrawer>(Rect(0, 0, 320, 60));
    EXPECT_NE(nullptr, fromNib->canaryView());
}
