#include <gtest/gtest.h>

#include "app/views/ColorAdditions.h"
#include "app/views/DocumentItemTableViewCell.h"
#include "app/views/TableViewCellWithProgress.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"

using memorant_test::colorNear;

namespace {

struct TapLog : DocumentItemTableViewCellDelegate {
    std::vector<DocumentItemTableViewCell*> cells;
    void handleCoverImageTap(DocumentItemTableViewCell& cell) override { cells.push_back(&cell); }
};

std::shared_ptr<Image> coverPicture() {
    return Image::render({64, 45}, 1, [](GraphicsContext& c) {
        c.setFillColor(Color::blueColor());
        c.fillRect(Rect(0, 0, 64, 45));
    });
}

std::string describe(const LayoutConstraint& c, const View* badge, const View* cover) {
    auto name = [&](const std::shared_ptr<View>& v) {
        return v.get() == badge ? "badge" : v.get() == cover ? "cover" : "?";
    };
    return std::string(name(c.firstItem())) + "." + layoutAttributeName(c.firstAttribute()) + " = " +
           name(c.secondItem()) + "." + layoutAttributeName(c.secondAttribute()) + " * " +
           std::to_string(c.multiplier()).substr(0, 4) + " + " + std::to_string(static_cast<int>(c.constant()));
}

}  // namespace

class DocumentItemTableViewCellTest : public memorant_test::UITest {
protected:
    std::shared_ptr<DocumentItemTableViewCell> cell =
        instantiateFromNib<DocumentItemTableViewCell>(Rect(0, 0, 320, 64));
    std::shared_ptr<ImageView> cover = cell->coverImageView();
};

TEST_F(DocumentItemTableViewCellTest, CoverBackgroundDependsOnTheImage) {
    ASSERT_NE(nullptr, cover);
    EXPECT_EQ(nullptr, cell->coverImage());
    auto picture = coverPicture();
    cell->setCoverImage(picture);
    EXPECT_EQ(picture, cover->image());
    EXPECT_EQ(Color::systemBackgroundColor(), *cover->backgroundColor());
    cell->setCoverImage(nullptr);
    EXPECT_EQ(nullptr, cover->image());
    EXPECT_TRUE(colorNear(*cover->backgroundColor(), *twColorFromHexString("eeeeee")));
}

TEST_F(DocumentItemTableViewCellTest, StatusBadgeIsMadeOnceAndRemovedWithItsText) {
    cell->setICloudStatusText("Uploading");
    auto badge = cell->iCloudStatusView();
    ASSERT_NE(nullptr, badge);
    EXPECT_EQ(cover.get(), badge->superview());
    EXPECT_EQ("Uploading", badge->text());
    EXPECT_EQ(Color::whiteColor(), badge->textColor());
    EXPECT_EQ("HelveticaNeue", badge->font().fontName());
    EXPECT_DOUBLE_EQ(12, badge->font().pointSize());
    EXPECT_FALSE(badge->translatesAutoresizingMaskIntoConstraints());
    std::vector<std::string> constraints;
    for (const auto& c : cover->constraints()) constraints.push_back(describe(*c, badge.get(), cover.get()));
    EXPECT_EQ(
        (std::vector<std::string>{"badge.right = cover.right * 1.00 + 0", "badge.top = cover.top * 1.00 + 0",
                                  "badge.width = cover.width * 0.25 + 0", "badge.height = cover.height * 0.50 + 0"}),
        constraints);

    cell->setICloudStatusText("Downloading");
    EXPECT_EQ(badge, cell->iCloudStatusView());
    EXPECT_EQ("Downloading", badge->text());
    EXPECT_EQ(1u, cover->subviews().size());

    cell->setICloudStatusText(std::nullopt);
    EXPECT_EQ(nullptr, cell->iCloudStatusView());
    EXPECT_EQ(nullptr, badge->superview());
    EXPECT_TRUE(cover->constraints().empty());

    // Without the font the system font of 13 points stands in.
    Font::unregisterFontName("HelveticaNeue");
    cell->setICloudStatusText("Waiting");
    Font::registerFontName("HelveticaNeue");
    EXPECT_TRUE(cell->iCloudStatusView()->font().isSystemFont());
    EXPECT_DOUBLE_EQ(13, cell->iCloudStatusView()->font().pointSize());
}

TEST_F(DocumentItemTableViewCellTest, OverlaysPinnedToTheCover) {
    cell->setWantsPendingOpenIndicator(true);
    auto spinner = cell->pendingOpenIndicatorView();
    ASSERT_NE(nullptr, spinner);
    EXPECT_TRUE(spinner->isAnimating());
    EXPECT_EQ(ActivityIndicatorViewStyle::White, spinner->activityIndicatorViewStyle());
    EXPECT_TRUE(colorNear(*spinner->layer().backgroundColor(), Color(0, 0, 0, 0.3)));
    EXPECT_EQ(4u, cover->constraints().size());
    cell->setWantsPendingOpenIndicator(true);
    EXPECT_EQ(spinner, cell->pendingOpenIndicatorView());

    cell->setWantsEditCoverIndictator(true);
    auto pencil = cell->editCoverIndicatorView();
    ASSERT_NE(nullptr, pencil);
    EXPECT_EQ(ContentMode::BottomRight, pencil->contentMode());
    EXPECT_DOUBLE_EQ(0.5, pencil->alpha());
    EXPECT_EQ(Color::whiteColor(), pencil->tintColor());
    EXPECT_EQ(8u, cover->constraints().size());
    EXPECT_EQ((std::vector<std::shared_ptr<View>>{spinner, pencil}), cover->subviews());

    cell->setWantsPendingOpenIndicator(false);
    cell->setWantsEditCoverIndictator(false);
    EXPECT_EQ(nullptr, cell->pendingOpenIndicatorView());
    EXPECT_EQ(nullptr, cell->editCoverIndicatorView());
    EXPECT_TRUE(cover->subviews().empty());
    EXPECT_TRUE(cover->constraints().empty());
}

TEST_F(DocumentItemTableViewCellTest, CoverTakesTapsOnlyWhileCoversCanChange) {
    auto log = std::make_shared<TapLog>();
    cell->setDelegate(log);
    EXPECT_FALSE(UIDriver::tap(*cover));
    EXPECT_TRUE(log->cells.empty());
    cell->setWantsEditCoverIndictator(true);
    EXPECT_TRUE(UIDriver::tap(*cover));
    EXPECT_TRUE(UIDriver::tap(*cover));
    EXPECT_EQ((std::vector<DocumentItemTableViewCell*>{cell.get(), cell.get()}), log->cells);
    cell->setWantsEditCoverIndictator(false);
    UIDriver::tap(*cover);
    EXPECT_EQ(2u, log->cells.size());
}

TEST_F(DocumentItemTableViewCellTest, ReuseClearsTextsCoverAndSpinner) {
    cell->titleLabel()->setText("Spanish");
    cell->subtitleLabel()->setText("120 cards");
    cell->deckProgressView()->setProgress(0.6f);
    cell->setCoverImage(coverPicture());
    cell->setWantsPendingOpenIndicator(true);
    cell->setICloudStatusText("Uploading");
    cell->setWantsEditCoverIndictator(true);
    cell->prepareForReuse();
    EXPECT_EQ("", cell->titleLabel()->text());
    EXPECT_EQ("", cell->subtitleLabel()->text());
    EXPECT_EQ(0, cell->deckProgressView()->progress());
    EXPECT_EQ(nullptr, cell->coverImage());
    EXPECT_TRUE(colorNear(*cover->backgroundColor(), *twColorFromHexString("eeeeee")));
    EXPECT_FALSE(cell->wantsPendingOpenIndicator());
    EXPECT_EQ(nullptr, cell->pendingOpenIndicatorView());
    // The library sets these again for every row.
    EXPECT_NE(nullptr, cell->iCloudStatusView());
    EXPECT_NE(nullptr, cell->editCoverIndicatorView());
}

TEST_F(DocumentItemTableViewCellTest, TriangleLabelDrawsItsCorner) {
    auto label = std::make_shared<FITriangleLabel>(Rect(0, 0, 40, 40));
    label->setBackgroundColor(Color::whiteColor());
    auto picture = renderPNG(*label, "triangle");
    ASSERT_NE(nullptr, picture);
    // Black at 40 % over white in the upper right half, white below the diagonal.
    EXPECT_TRUE(colorNear(picture->colorAtPixel(35, 5), Color::white(0.6), 2.0 / 255));
    EXPECT_TRUE(colorNear(picture->colorAtPixel(5, 35), Color::whiteColor()));
    EXPECT_TRUE(colorNear(picture->colorAtPixel(30, 10), Color::white(0.6), 2.0 / 255));
}

TEST_F(DocumentItemTableViewCellTest, ProgressRowFillsFromTheRight) {
    struct Case {
        double progress;
        int firstFilledX;
    } cases[] = {{0.25, 75}, {1, 0}, {0, 100}};
    for (const auto& c : cases) {
        auto row = std::make_shared<TableViewCellWithProgress>(TableViewCellStyle::Default, "Row");
        row->setFrame(Rect(0, 0, 100, 20));
        row->setProgress(c.progress);
        row->setProgressColor(Color::greenColor());
        auto picture = renderPNG(*row, "progress");
        for (int x : {0, 74, 75, 99}) {
            const bool filled = x >= c.firstFilledX;
            EXPECT_TRUE(colorNear(picture->colorAtPixel(x, 10), filled ? Color::greenColor() : Color::whiteColor()))
                << c.progress << " at " << x;
        }
    }
    auto uncoloured = std::make_shared<TableViewCellWithProgress>(TableViewCellStyle::Default, "Row");
    uncoloured->setFrame(Rect(0, 0, 100, 20));
    uncoloured->setProgress(1);
    EXPECT_TRUE(colorNear(renderPNG(*uncoloured, "none")->colorAtPixel(50, 10), Color::whiteColor()));
}
