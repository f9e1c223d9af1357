#include <gtest/gtest.h>

#include "app/cards/DoubleRatingsHistoryView.h"
#include "app/cards/EmtpyTableViewImpersonatorView.h"
#include "app/views/FITableViewCellWithDrawer.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/ViewRendering.h"

using namespace memorant_test;

namespace {

class AccessoryViewsTest : public UITest {
protected:
    // The rows of pixels (at scale 2) that show the separator colour, at x.
    std::vector<double> lineYs(EmtpyTableViewImpersonatorView& view, const std::string& name, double x) {
        const std::string path = pictures.file(name + ".png");
        EXPECT_TRUE(writeViewPNG(view, path, 2));
        auto image = Image::imageWithContentsOfFile(path);
        std::vector<double> ys;
        if (!image) return ys;
        for (int y = 0; y < image->pixelHeight(); ++y)
            if (colorNear(image->colorAtPixel(static_cast<int>(x * 2), y), Color::redColor(), 0.05))
                ys.push_back(y / 2.0);
        return ys;
    }
};

}  // namespace

TEST_F(AccessoryViewsTest, TheFooterDrawsSeparatorsOneRowApartFromTheLeftInset) {
    EmtpyTableViewImpersonatorView defaults;
    EXPECT_FALSE(defaults.skipFirstSeparator());
    EXPECT_DOUBLE_EQ(42, defaults.leftInset());
    EXPECT_DOUBLE_EQ(44, defaults.rowHeight());
    EXPECT_TRUE(colorNear(defaults.separatorColor(), Color::lightGrayColor()));

    auto footer = std::make_shared<EmtpyTableViewImpersonatorView>(Rect(0, 0, 200, 100));
    footer->setSeparatorColor(Color::redColor());
    footer->setLeftInset(16);
    EXPECT_EQ((std::vector<double>{0, 44, 88}), lineYs(*footer, "footer", 100));
    // Left of the inset nothing is drawn.
    EXPECT_TRUE(lineYs(*footer, "footer-left", 10).empty());
    footer->setSkipFirstSeparator(true);
    EXPECT_EQ((std::vector<double>{44, 88}), lineYs(*footer, "footer-editing", 100));
    // A footer lower than a row still gets its first line.
    auto low = std::make_shared<EmtpyTableViewImpersonatorView>(Rect(0, 0, 200, 10));
    low->setSeparatorColor(Color::redColor());
    EXPECT_EQ((std::vector<double>{0}), lineYs(*low, "footer-low", 100));
    // A row height of zero draws the first line once instead of never finishing.
    footer->setSkipFirstSeparator(false);
    footer->setRowHeight(0);
    EXPECT_EQ((std::vector<double>{0}), lineYs(*footer, "footer-zero-rows", 100));
}

TEST_F(AccessoryViewsTest, TheDrawerKeepsExactlyOneTopHeightConstraint) {
    auto drawer = DoubleRatingsHistoryView::make(Rect(0, 0, 80, 58));
    auto activeTopHeights = [&] {
        int n = 0;
        for (const auto& c : drawer->constraints())
            if (c->firstItem() == drawer->topRatingsHistoryView() && c->firstAttribute() == LayoutAttribute::Height)
                ++n;
        return n;
    };
    EXPECT_EQ(1, activeTopHeights());
    EXPECT_DOUBLE_EQ(1.0, drawer->topViewHeightConstraint()->multiplier());
    drawer->configureForDoubleViewLayout();
    auto doubleConstraint = drawer->topViewHeightConstraint();
    drawer->configureForSingleViewLayout();
    EXPECT_FALSE(doubleConstraint->isActive());
    EXPECT_EQ(1, activeTopHeights());
    drawer->configureForDoubleViewLayout();
    drawer->layoutSubviews();
    EXPECT_DOUBLE_EQ(29, drawer->topRatingsHistoryView()->frame().size.height);
    EXPECT_DOUBLE_EQ(29, drawer->bottomRatingsHistoryView()->frame().origin.y);
    EXPECT_EQ(Rect(76, 0, 4, 58), drawer->coverSelectionView()->frame());

    // From an interface file the drawer is built alike, in the single layout.
    auto archived = instantiateFromNib<DoubleRatingsHistoryView>(Rect(0, 0, 80, 58));
    ASSERT_NE(nullptr, archived->topRatingsHistoryView());
    EXPECT_EQ(3u, archived->subviews().size());
    EXPECT_TRUE(archived->coverSelectionView()->isHidden());
    EXPECT_DOUBLE_EQ(1.0, archived->topViewHeightConstraint()->multiplier());
}

TEST_F(AccessoryViewsTest, TheSelectionStripShowsOnlyForASelectedUnratedCardOutsideEditing) {
    auto drawer = DoubleRatingsHistoryView::make(Rect(0, 0, 80, 58));
    auto cell = FITableViewCellWithDrawer::make(TableViewCellStyle::Default, std::string("c"));
    const struct {
        bool selected, editing;
        const char* ratings;
        bool stripShown;
    } cases[] = {
        {true, false, nullptr, true},
        {false, false, nullptr, false},
        {true, true, nullptr, false},
        {true, false, "\xE2\x9C\x93", false},
    };
    for (const auto& c : cases) {
        cell->setSelected(c.selected);
        cell->setEditing(c.editing);
        drawer->topRatingsHistoryView()->ratingsHistoryLabel()->setText(
            c.ratings ? std::optional<std::string>(c.ratings) : std::nullopt);
        drawer->tableViewCellSelectionChanged(*cell);
        EXPECT_EQ(c.stripShown, !drawer->coverSelectionView()->isHidden())
            << c.selected << c.editing << (c.ratings != nullptr);
    }
}
