#include <gtest/gtest.h>

#include <cstring>

#include "app/views/UIImageImageEffects.h"
#include "model/TWLogger.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"

namespace {

class ImageEffects : public ::testing::Test {
protected:
    void SetUp() override {
        savedScale_ = Screen::main().scale();
        Screen::main().setScale(1);
    }
    void TearDown() override { Screen::main().setScale(savedScale_); }

    // Black on the left half, white on the right, opaque.
    static std::shared_ptr<Image> halfAndHalf(Size size) {
        return Image::render(size, 1, [&](GraphicsContext& context) {
            context.setFillColor(Color::whiteColor());
            context.fillRect({{0, 0}, size});
            context.setFillColor(Color::blackColor());
            context.fillRect({{0, 0}, {size.width / 2, size.height}});
        });
    }
    static std::shared_ptr<Image> solid(Size size, const Color& color, double scale = 1) {
        return Image::render(size, scale, [&](GraphicsContext& context) {
            context.setFillColor(color);
            context.fillRect({{0, 0}, size});
        });
    }
    static bool samePixels(const Image& a, const Image& b) {
        if (a.pixelWidth() != b.pixelWidth() || a.pixelHeight() != b.pixelHeight()) return false;
        for (int y = 0; y < a.pixelHeight(); ++y)
            for (int x = 0; x < a.pixelWidth(); ++x)
                if (!(a.colorAtPixel(x, y) == b.colorAtPixel(x, y))) return false;
        return true;
    }

private:
    double savedScale_ = 2;
};

TEST_F(ImageEffects, BoxSizeIsOddAndFollowsTheGaussianApproximation) {
    struct Case {
        double pixelRadius;
        std::uint32_t box;
    } cases[] = {
        {20, 39},   // radius 10 at scale 2: 38 made odd
        {60, 113},  // the light effect at scale 2: 112.8 rounds to 113
        {40, 75},   // 75.7 rounds down to 75, already odd
        {0, 1},
        {1, 3},     // 2.38 rounds to 2, made odd
        {2, 5},     // 4.26 rounds to 4, made odd
    };
    for (const auto& c : cases) EXPECT_EQ(blurBoxSizeForPixelRadius(c.pixelRadius), c.box) << c.pixelRadius;
}

TEST_F(ImageEffects, SaturationMatrixEntriesAreRoundedTimes256) {
    std::int16_t m[16];
    saturationMatrixForFactor(1.8, m);
    const std::int16_t expected18[16] = {446, -15, -15, 0, -146, 314, -146, 0, -44, -44, 417, 0, 0, 0, 0, 256};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], expected18[i]) << "entry " << i;
    saturationMatrixForFactor(-1.0, m);
    const std::int16_t expectedMinus1[16] = {-219, 37, 37, 0, 366, 110, 366, 0, 109, 109, -147, 0, 0, 0, 0, 256};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], expectedMinus1[i]) << "entry " << i;
}

TEST_F(ImageEffects, BlurSoftensAnEdgeAndKeepsTheFarSides) {
    auto source = halfAndHalf({40, 8});
    auto blurred = applyBlurWithRadius(source, 2, std::nullopt, 1, nullptr);
    ASSERT_TRUE(blurred);
    EXPECT_EQ(blurred->pixelWidth(), 40);
    EXPECT_EQ(blurred->pixelHeight(), 8);
    // Box 5, three passes: the blur reaches 6 pixels either side of the edge.
    EXPECT_EQ(blurred->colorAtPixel(2, 4), Color::blackColor());
    EXPECT_EQ(blurred->colorAtPixel(37, 4), Color::whiteColor());
    double left = blurred->colorAtPixel(19, 4).red(), right = blurred->colorAtPixel(20, 4).red();
    EXPECT_GT(left, 0.2);
    EXPECT_LT(right, 0.8);
    EXPECT_NEAR(left + right, 1.0, 0.02);  // symmetric around the edge
    double previous = 0;
    for (int x = 13; x <= 26; ++x) {
        double value = blurred->colorAtPixel(x, 4).red();
        EXPECT_GE(value, previous) << x;
        previous = value;
    }
    EXPECT_EQ(blurred->colorAtPixel(19, 0), blurred->colorAtPixel(19, 7));  // rows alike
}

TEST_F(ImageEffects, ResultIsAtTheScreenScale) {
    Screen::main().setScale(2);
    auto blurred = applyBlurWithRadius(halfAndHalf({10, 6}), 1, std::nullopt, 1, nullptr);
    ASSERT_TRUE(blurred);
    EXPECT_DOUBLE_EQ(blurred->scale(), 2);
    EXPECT_EQ(blurred->pixelWidth(), 20);
    EXPECT_EQ(blurred->size().height, 6);
}

TEST_F(ImageEffects, NoEffectWantedGivesAnUnchangedCopy) {
    auto source = halfAndHalf({12, 4});
    auto copy = applyBlurWithRadius(source, 0, std::nullopt, 1, nullptr);
    ASSERT_TRUE(copy);
    EXPECT_NE(copy, source);
    EXPECT_TRUE(samePixels(*copy, *source));
}

TEST_F(ImageEffects, SaturationChangeWithoutBlurIsApplied) {
    auto gray = applyBlurWithRadius(solid({4, 4}, Color::redColor()), 0, std::nullopt, 0, nullptr);
    ASSERT_TRUE(gray);
    Color c = gray->colorAtPixel(1, 1);
    // Red's luminance: 255 * round(0.2126 * 256) / 256, truncated, in every channel.
    EXPECT_NEAR(c.red(), 53 / 255.0, 1e-9);
    EXPECT_NEAR(c.green(), 53 / 255.0, 1e-9);
    EXPECT_NEAR(c.blue(), 53 / 255.0, 1e-9);
}

TEST_F(ImageEffects, TintIsLaidOverTheResult) {
    auto tinted = applyBlurWithRadius(solid({4, 4}, Color::whiteColor()), 0, Color(1, 0, 0, 0.5), 1, nullptr);
    ASSERT_TRUE(tinted);
    Color c = tinted->colorAtPixel(2, 2);
    EXPECT_NEAR(c.red(), 1, 0.01);
    EXPECT_NEAR(c.green(), 0.5, 0.01);
    EXPECT_NEAR(c.alpha(), 1, 0.01);
}

TEST_F(ImageEffects, MaskLimitsTheEffect) {
    auto source = halfAndHalf({40, 8});
    auto clearMask = solid({40, 8}, Color::clearColor());
    auto masked = applyBlurWithRadius(source, 2, std::nullopt, 1, clearMask);
    ASSERT_TRUE(masked);
    EXPECT_TRUE(samePixels(*masked, *source));
    auto fullMask = solid({20, 4}, Color::blackColor());  // any size: stretched over the image
    auto full = applyBlurWithRadius(source, 2, std::nullopt, 1, fullMask);
    auto unmasked = applyBlurWithRadius(source, 2, std::nullopt, 1, nullptr);
    EXPECT_TRUE(samePixels(*full, *unmasked));
}

TEST_F(ImageEffects, NilAndTooSmallImagesGiveNothing) {
    EXPECT_FALSE(applyBlurWithRadius(nullptr, 10, std::nullopt, 1, nullptr));
    EXPECT_FALSE(applyLightEffect(nullptr));
    EXPECT_FALSE(twImageWithTintColor(nullptr, Color::redColor(), 1));

    auto narrow = Image::render({0.5, 10}, 2, {});
    EXPECT_FALSE(applyBlurWithRadius(narrow, 10, std::nullopt, 1, nullptr));
    auto backlog = TWLogger::sharedInstance().messageBacklog();
    ASSERT_FALSE(backlog.empty());
    EXPECT_NE(backlog.front().find("*** error: invalid size: (0.50 x 10.00). Both dimensions must be >= 1: "),
              std::string::npos)
        << backlog.front();
    EXPECT_FALSE(applyDarkEffect(Image::render({10, 0.5}, 2, {})));
}

TEST_F(ImageEffects, PresetsKeepTheSizeAndLayTheirTint) {
    auto source = halfAndHalf({16, 16});
    struct Case {
        const char* name;
        std::shared_ptr<Image> result;
        double white;  // the preset's tint, laid over an opaque image
        double alpha;
    } cases[] = {
        {"light", applyLightEffect(source), 1.0, 0.3},
        {"extra light", applyExtraLightEffect(source), 0.97, 0.82},
        {"dark", applyDarkEffect(source), 0.11, 0.73},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.result) << c.name;
        EXPECT_EQ(c.result->size(), source->size()) << c.name;
        // Whatever the blur made of the middle, the tint pulls it towards its white level.
        double red = c.result->colorAtPixel(8, 8).red();
        EXPECT_GE(red, c.white * c.alpha - 0.01) << c.name;
        EXPECT_LE(red, c.white * c.alpha + (1 - c.alpha) + 0.01) << c.name;
    }
    auto tinted = applyTintEffectWithColor(source, Color::blueColor());
    ASSERT_TRUE(tinted);
    EXPECT_GT(tinted->colorAtPixel(8, 8).blue(), tinted->colorAtPixel(8, 8).red());
}

TEST_F(ImageEffects, TintEffectColorKeepsComponentsAndSetsAlpha) {
    EXPECT_EQ(tintEffectColorForColor(Color::white(0.3, 0.9)), Color::white(0.3, 0.6));
    EXPECT_EQ(tintEffectColorForColor(Color(0.1, 0.2, 0.3, 1)), Color(0.1, 0.2, 0.3, 0.6));
}

TEST_F(ImageEffects, TintColorFillsTheShapeOnly) {
    // A dot in the left half of a clear image.
    auto shape = Image::render({10, 10}, 1, [](GraphicsContext& context) {
        context.setFillColor(Color::blackColor());
        context.fillRect({{0, 0}, {5, 10}});
    });
    auto tinted = twImageWithTintColor(shape, Color::redColor(), 1);
    ASSERT_TRUE(tinted);
    EXPECT_DOUBLE_EQ(tinted->scale(), 2);
    EXPECT_EQ(tinted->size(), shape->size());
    EXPECT_EQ(tinted->colorAtPixel(2, 2), Color::redColor());
    EXPECT_EQ(tinted->colorAtPixel(15, 2).alpha(), 0);

    auto none = twImageWithTintColor(shape, Color::redColor(), 0);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->size(), shape->size());
    for (int y = 0; y < none->pixelHeight(); ++y)
        for (int x = 0; x < none->pixelWidth(); ++x) ASSERT_EQ(none->colorAtPixel(x, y).alpha(), 0);
}

}  // namespace
