#include "app/library/DeckOverviewViewController.h"

#include <gtest/gtest.h>

#include "app/library/DocumentItemDetails.h"
#include "app/library/DocumentItemDetailsHelper.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/UITestFixture.h"

using namespace memorant_test;

namespace {

std::shared_ptr<Image> solidImage(Size size, const Color& color) {
    return Image::render(size, 1, [&](GraphicsContext& c) {
        c.setFillColor(color);
        c.fillRect(Rect({0, 0}, size));
    });
}

class DeckOverviewViewControllerTest : public UITest {
protected:
    std::shared_ptr<DeckOverviewViewController> makeOverview() {
        auto overview = Storyboard::storyboardWithName(DeckOverviewViewController::kStoryboardName)
                            ->instantiate<DeckOverviewViewController>("DeckOverviewViewController");
        EXPECT_TRUE(overview);
        return overview;
    }

    std::shared_ptr<DocumentItemDetails> cover = std::make_shared<DocumentItemDetails>(
        solidImage({1092, 768}, Color::redColor()), 12, 50.0, Color::blueColor(), std::nullopt);
};

TEST_F(DeckOverviewViewControllerTest, ConfiguredBeforeItsViewLoadsItShowsTheValuesFromTheFirstDisplayOn) {
    auto overview = makeOverview();
    ASSERT_TRUE(overview);
    overview->configure("Biology", "12 cards", cover);
    EXPECT_FALSE(overview->isViewLoaded());
    EXPECT_EQ("Biology", overview->deckTitle());

    overview->loadViewIfNeeded();
    ASSERT_TRUE(overview->deckTitleLabel() && overview->deckSubtitleLabel() && overview->coverImageView());
    EXPECT_EQ("Biology", overview->deckTitleLabel()->text());
    EXPECT_EQ("12 cards", overview->deckSubtitleLabel()->text());
    EXPECT_EQ(cover->coverImage(), overview->coverImageView()->image());
    EXPECT_EQ(Color::blueColor(), overview->coverImageView()->backgroundColor());
    EXPECT_EQ(ContentMode::ScaleAspectFit, overview->coverImageView()->contentMode());
}

TEST_F(DeckOverviewViewControllerTest, ConfiguringAgainUpdatesTheScreenInPlace) {
    auto overview = makeOverview();
    ASSERT_TRUE(overview);
    overview->loadViewIfNeeded();
    // Loaded without details: the list's placeholder cover.
    EXPECT_EQ("", overview->deckTitleLabel()->text().value_or("?"));
    EXPECT_EQ(DocumentItemDetailsHelper::shared().placeholderImage(), overview->coverImageView()->image());

    overview->configure("Biology", "12 cards", cover);
    EXPECT_EQ("Biology", overview->deckTitleLabel()->text());
    EXPECT_EQ(cover->coverImage(), overview->coverImageView()->image());

    // A cover without background colour shows on the default background.
    auto plain = std::make_shared<DocumentItemDetails>(solidImage({64, 45}, Color::greenColor()), std::nullopt,
                                                       std::nullopt, std::nullopt, std::nullopt);
    overview->configure("Chemistry", "", plain);
    EXPECT_EQ("Chemistry", overview->deckTitleLabel()->text());
    EXPECT_EQ("", overview->deckSubtitleLabel()->text());
    EXPECT_EQ(plain->coverImage(), overview->coverImageView()->image());
    EXPECT_FALSE(overview->coverImageView()->backgroundColor());

    // What a person sees: the image fitted and centred in the cover's view.
    const Rect fitted = overview->coverImageView()->imageRect();
    const Rect bounds = overview->coverImageView()->bounds();
    EXPECT_NEAR(bounds.size.width / 2, fitted.origin.x + fitted.size.width / 2, 0.5);
    EXPECT_NEAR(fitted.size.width / fitted.size.height, 64.0 / 45.0, 0.01);
}

}  // namespace
