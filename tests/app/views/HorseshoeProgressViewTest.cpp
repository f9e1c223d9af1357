#include <gtest/gtest.h>

#include <cmath>

#include "app/views/ColorAdditions.h"
#include "app/views/HorseshoeProgressView.h"
#include "platform/ui/UITestFixture.h"

using memorant_test::colorNear;

class HorseshoeProgressViewTest : public memorant_test::UITest {
protected:
    std::shared_ptr<HorseshoeProgressView> gauge = instantiateFromNib<HorseshoeProgressView>(Rect(0, 0, 200, 150));

    double strokeEnd() const { return gauge->progressLayer()->presentationDouble("strokeEnd"); }
    Color strokeColor() const { return *gauge->progressLayer()->presentationColor("strokeColor"); }

    // What the test summary does when it appears.
    void reset() {
        gauge->progressLayer()->setStrokeEnd(0);
        gauge->countingLayer()->setProgressInPercent(0);
        gauge->countingLayer()->setString("0%");
        gauge->countingLayer()->setNeedsDisplay();
    }
};

TEST_F(HorseshoeProgressViewTest, LayersAreBuiltFromTheBounds) {
    const auto& layers = gauge->layer().sublayers();
    ASSERT_EQ(3u, layers.size());
    auto track = std::dynamic_pointer_cast<ShapeLayer>(layers[0]);
    ASSERT_NE(nullptr, track);
    EXPECT_EQ(gauge->progressLayer(), layers[1]);
    EXPECT_EQ(gauge->countingLayer(), layers[2]);
    EXPECT_DOUBLE_EQ(7.5, track->lineWidth());
    EXPECT_EQ(Color::systemGrayColor(), *track->strokeColor());

    const auto& arc = *gauge->progressLayer();
    EXPECT_EQ(Rect(0, 0, 200, 150), arc.frame());
    EXPECT_DOUBLE_EQ(8, arc.lineWidth());
    EXPECT_EQ(LineJoin::Round, arc.lineJoin());
    EXPECT_EQ(LineCap::Butt, arc.lineCap());
    EXPECT_FALSE(arc.fillColor());
    EXPECT_DOUBLE_EQ(0, arc.strokeEnd());
    EXPECT_TRUE(colorNear(*arc.strokeColor(), Color(1, 0, 0)));
    ASSERT_EQ(1u, arc.path()->elements().size());
    const auto& element = arc.path()->elements()[0];
    EXPECT_EQ(Path::Element::Type::Arc, element.type);
    EXPECT_EQ((Point{100, 75}), element.center);
    EXPECT_DOUBLE_EQ(75, element.radius);
    EXPECT_NEAR(125 * M_PI / 180, element.startAngle, 1e-12);
    EXPECT_NEAR(55 * M_PI / 180, element.endAngle, 1e-12);
    EXPECT_TRUE(element.clockwise);
    // 290 degrees of a circle of radius 75.
    EXPECT_NEAR(75 * 290 * M_PI / 180, arc.path()->length(), 0.5);

    const auto& text = *gauge->countingLayer();
    EXPECT_EQ(Rect(0, 45, 200, 45), text.frame());
    EXPECT_DOUBLE_EQ(45, text.fontSize());
    EXPECT_TRUE(text.font().isSystemFont());
    EXPECT_EQ(Color::blackColor(), text.foregroundColor());
    EXPECT_EQ(TextLayerAlignment::Center, text.alignmentMode());
    EXPECT_EQ(Screen::main().scale(), text.contentsScale());
    EXPECT_EQ("", text.string());
}

TEST_F(HorseshoeProgressViewTest, ColourScaleRunsFromRedThroughAmberToGreen) {
    struct Case {
        std::int64_t percent;
        const char* hex;
    } cases[] = {{0, "#ff0000"}, {25, "#ff6600"}, {50, "#ffcc00"}, {100, "#2db507"}};
    for (const auto& c : cases)
        EXPECT_EQ(c.hex, twRGBColorToHexString(HorseshoeProgressView::colorForPercent(c.percent)));
}

TEST_F(HorseshoeProgressViewTest, ScoreAnimatesInTwoPhasesAndSettles) {
    reset();
    EXPECT_DOUBLE_EQ(1.0, gauge->animateProgress(85));
    gauge->setProgressInPercent(85, 1.0);
    // The layer holds the end state; the animation shows the way there.
    EXPECT_DOUBLE_EQ(0.85, gauge->progressLayer()->strokeEnd());
    EXPECT_EQ("85%", gauge->countingLayer()->string());
    EXPECT_EQ(85, gauge->countingLayer()->progressInPercent());
    EXPECT_TRUE(gauge->countingLayer()->needsDisplayForKey("progressInPercent"));
    EXPECT_FALSE(gauge->countingLayer()->needsDisplayForKey("string"));

    auto group = std::dynamic_pointer_cast<const AnimationGroup>(gauge->progressLayer()->animationForKey("strokeEnd"));
    ASSERT_NE(nullptr, group);
    ASSERT_EQ(3u, group->animations().size());
    auto spring = std::dynamic_pointer_cast<SpringAnimation>(group->animations()[2]);
    ASSERT_NE(nullptr, spring);
    EXPECT_DOUBLE_EQ(300, spring->stiffness());
    EXPECT_DOUBLE_EQ(10, spring->damping());
    EXPECT_DOUBLE_EQ(1.0, spring->beginTime());
    EXPECT_DOUBLE_EQ(spring->settlingDuration(), spring->duration());
    EXPECT_DOUBLE_EQ(1.0 + spring->duration(), group->duration());

    EXPECT_DOUBLE_EQ(0, strokeEnd());
    EXPECT_TRUE(colorNear(strokeColor(), HorseshoeProgressView::colorForPercent(0)));
    advance(0.5);
    const double easedHalf = MediaTimingFunction::named(MediaTimingFunction::Name::EaseIn).evaluate(0.5);
    EXPECT_NEAR(0.8 * easedHalf, strokeEnd(), 1e-9);
    EXPECT_TRUE(colorNear(strokeColor(),
                          twColorByInterpolating(0.5, HorseshoeProgressView::colorForPercent(0),
                                                 HorseshoeProgressView::colorForPercent(85)),
                          1e-6));
    EXPECT_NEAR(42.5, gauge->countingLayer()->presentationDouble("progressInPercent"), 1e-9);
    advance(0.5);
    EXPECT_NEAR(0.8, strokeEnd(), 1e-9);
    // The spring overshoots a little on its way from 0.80 to 0.85.
    double highest = 0;
    for (int i = 0; i < 40; ++i) {
        advance(0.01);
        highest = std::max(highest, strokeEnd());
    }
    EXPECT_GT(highest, 0.85);
    EXPECT_NE(nullptr, gauge->progressLayer()->animationForKey("strokeEnd"));
    advance(spring->duration());
    // Removed on completion: the end state shows.
    EXPECT_EQ(nullptr, gauge->progressLayer()->animationForKey("strokeEnd"));
    EXPECT_TRUE(gauge->countingLayer()->animationKeys().empty());
    EXPECT_DOUBLE_EQ(0.85, strokeEnd());
    EXPECT_EQ(twRGBColorToHexString(HorseshoeProgressView::colorForPercent(85)), twRGBColorToHexString(strokeColor()));
}

TEST_F(HorseshoeProgressViewTest, EndStatesForSomeScores) {
    struct Case {
        std::int64_t percent;
        double basicEnd;
        const char* hex;
    } cases[] = {{3, 0, "#ff0c00"}, {50, 0.45, "#ffcc00"}, {100, 0.95, "#2db507"}};
    for (const auto& c : cases) {
        reset();
        gauge->animateProgress(c.percent);
        advance(1.0);
        // A score of 3 has no first phase: the spring alone brings the arc up.
        EXPECT_NEAR(c.basicEnd, strokeEnd(), 1e-9) << c.percent;
        advance(5);
        EXPECT_DOUBLE_EQ(c.percent / 100.0, strokeEnd()) << c.percent;
        EXPECT_EQ(c.hex, twRGBColorToHexString(strokeColor())) << c.percent;
    }
}

TEST_F(HorseshoeProgressViewTest, ZeroScoreTicksAndSpringsBack) {
    reset();
    gauge->progressLayer()->setStrokeColor(twColorFromHexString("FF0000"));
    gauge->animateIn();
    auto group = std::dynamic_pointer_cast<const AnimationGroup>(gauge->progressLayer()->animationForKey("strokeEnd"));
    ASSERT_NE(nullptr, group);
    auto spring = std::dynamic_pointer_cast<SpringAnimation>(group->animations()[1]);
    ASSERT_NE(nullptr, spring);
    EXPECT_DOUBLE_EQ(200, spring->stiffness());
    EXPECT_DOUBLE_EQ(5, spring->damping());

    advance(0.25);
    EXPECT_NEAR(0.1 * MediaTimingFunction::named(MediaTimingFunction::Name::EaseIn).evaluate(0.5), strokeEnd(), 1e-9);
    advance(0.25);
    EXPECT_NEAR(0.1, strokeEnd(), 1e-9);
    // Low damping: it swings below nothing before it comes to rest.
    double lowest = 1;
    for (int i = 0; i < 60; ++i) {
        advance(0.01);
        lowest = std::min(lowest, strokeEnd());
    }
    EXPECT_LT(lowest, -0.02);
    advance(spring->duration());
    // Kept with a forward fill: it rests at 0, the layer's own value never changed, and it stays red.
    EXPECT_NE(nullptr, gauge->progressLayer()->animationForKey("strokeEnd"));
    EXPECT_DOUBLE_EQ(0, strokeEnd());
    EXPECT_DOUBLE_EQ(0, gauge->progressLayer()->strokeEnd());
    EXPECT_EQ("#ff0000", twRGBColorToHexString(strokeColor()));
}

TEST_F(HorseshoeProgressViewTest, DrawsTrackArcAndText) {
    reset();
    gauge->animateProgress(50);
    gauge->setProgressInPercent(50, 1.0);
    advance(10);
    auto picture = renderPNG(*gauge, "gauge");
    ASSERT_NE(nullptr, picture);
    // Radius 75 around (100, 75): the arc starts at the lower left and runs clockwise.
    EXPECT_TRUE(colorNear(picture->colorAtPixel(25, 75), *twColorFromHexString("FFCC00"), 2.0 / 255));  // left
    EXPECT_TRUE(colorNear(picture->colorAtPixel(47, 22), *twColorFromHexString("FFCC00"), 2.0 / 255));  // upper left
    EXPECT_TRUE(colorNear(picture->colorAtPixel(174, 75), Color::systemGrayColor(), 2.0 / 255));  // right: track only
    EXPECT_EQ(0, picture->colorAtPixel(100, 148).alpha());                                        // the gap
    int textPixels = 0;
    for (int x = 60; x < 140; ++x)
        for (int y = 45; y < 90; ++y) textPixels += picture->colorAtPixel(x, y).alpha() > 0.5 ? 1 : 0;
    EXPECT_GT(textPixels, 100);
}
