#include <gtest/gtest.h>

#include "platform/ui/Animation.h"
#include "platform/ui/Layer.h"
#include "platform/ui/UITestFixture.h"

using memorant_test::UITest;

namespace {

struct RecordingDelegate : AnimationDelegate {
    std::vector<bool> stops;
    int starts = 0;
    void animationDidStart(Animation&) override { ++starts; }
    void animationDidStop(Animation&, bool finished) override { stops.push_back(finished); }
};

std::shared_ptr<BasicAnimation> strokeEnd(double from, double to, double duration) {
    auto a = BasicAnimation::animationWithKeyPath("strokeEnd");
    a->setFromValue(from);
    a->setToValue(to);
    a->setDuration(duration);
    return a;
}

}  // namespace

TEST(MediaTimingFunction, CurvesKeepTheirEndsAndBendTheMiddle) {
    using Name = MediaTimingFunction::Name;
    for (auto name : {Name::Linear, Name::EaseIn, Name::EaseOut, Name::EaseInEaseOut, Name::Default}) {
        auto f = MediaTimingFunction::named(name);
        EXPECT_DOUBLE_EQ(0, f.evaluate(0));
        EXPECT_DOUBLE_EQ(1, f.evaluate(1));
    }
    EXPECT_NEAR(0.5, MediaTimingFunction::named(Name::Linear).evaluate(0.5), 1e-9);
    EXPECT_LT(MediaTimingFunction::named(Name::EaseIn).evaluate(0.5), 0.35);
    EXPECT_GT(MediaTimingFunction::named(Name::EaseOut).evaluate(0.5), 0.65);
    EXPECT_NEAR(0.5, MediaTimingFunction::named(Name::EaseInEaseOut).evaluate(0.5), 1e-9);
}

TEST(SpringAnimation, MotionAndSettling) {
    SpringAnimation bouncy("strokeEnd");
    bouncy.setStiffness(200);
    bouncy.setDamping(5);
    EXPECT_DOUBLE_EQ(1, bouncy.displacementAt(0));
    // Lightly damped: it swings past the end value.
    double least = 1;
    for (double t = 0; t < 1; t += 0.01) least = std::min(least, bouncy.displacementAt(t));
    EXPECT_LT(least, -0.3);
    // Settled: from the settling time on it stays within 0.1 % and rests exactly at the end.
    const double settling = bouncy.settlingDuration();
    EXPECT_GT(settling, 2.0);
    EXPECT_LT(settling, 3.5);
    for (double t = settling; t < settling + 2; t += 0.001) ASSERT_LT(std::abs(bouncy.displacementAt(t)), 0.001);
    EXPECT_GE(std::abs(bouncy.displacementAt(settling - 0.05)) + std::abs(bouncy.displacementAt(settling - 0.1)),
              0.0005);

    // Stiffer and more damped settles sooner; critical damping never overshoots.
    SpringAnimation firm("strokeEnd");
    firm.setStiffness(300);
    EXPECT_LT(firm.settlingDuration(), settling);
    SpringAnimation critical("strokeEnd");
    critical.setStiffness(100);
    critical.setDamping(20);
    for (double t = 0; t < 3; t += 0.01) ASSERT_GE(critical.displacementAt(t), 0);
    SpringAnimation over("strokeEnd");
    over.setDamping(40);
    for (double t = 0; t < 3; t += 0.01) ASSERT_GE(over.displacementAt(t), 0);
    EXPECT_GT(over.settlingDuration(), critical.settlingDuration());
}

class LayerAnimationTest : public UITest {};

TEST_F(LayerAnimationTest, BasicAnimationShowsOnTheClockAndGoesAway) {
    auto layer = ShapeLayer::layer();
    layer->setStrokeEnd(0.25);
    auto delegate = std::make_shared<RecordingDelegate>();
    auto animation = strokeEnd(0, 1, 2);
    animation->setDelegate(delegate);
    layer->addAnimation(animation, std::string("grow"));
    EXPECT_EQ(1, delegate->starts);
    // The layer keeps a copy: changing the original does nothing.
    animation->setToValue(5.0);

    EXPECT_DOUBLE_EQ(0, layer->presentationDouble("strokeEnd"));
    advance(0.5);
    EXPECT_NEAR(0.25, layer->presentationDouble("strokeEnd"), 1e-9);
    advance(1.0);
    EXPECT_NEAR(0.75, layer->presentationDouble("strokeEnd"), 1e-9);
    EXPECT_TRUE(delegate->stops.empty());
    advance(0.5);
    // Removed on completion: the model value shows again, which never changed.
    EXPECT_TRUE(layer->animationKeys().empty());
    EXPECT_DOUBLE_EQ(0.25, layer->presentationDouble("strokeEnd"));
    EXPECT_EQ(std::vector<bool>{true}, delegate->stops);
}

TEST_F(LayerAnimationTest, FillModesAndReplacement) {
    auto layer = ShapeLayer::layer();
    auto held = strokeEnd(0, 0.5, 1);
    held->setFillMode(FillMode::Forwards);
    held->setRemovedOnCompletion(false);
    layer->addAnimation(held, std::string("k"));
    advance(5);
    EXPECT_EQ(std::vector<std::string>{"k"}, layer->animationKeys());
    EXPECT_DOUBLE_EQ(0.5, layer->presentationDouble("strokeEnd"));

    // A later start with a backwards fill shows its start value before it begins.
    auto delayed = strokeEnd(0.2, 0.4, 1);
    delayed->setBeginTime(currentMediaTime() + 1);
    delayed->setFillMode(FillMode::Backwards);
    auto delegate = std::make_shared<RecordingDelegate>();
    delayed->setDelegate(delegate);
    layer->addAnimation(delayed, std::string("k"));  // replaces the held one
    EXPECT_EQ(1u, layer->animationKeys().size());
    EXPECT_DOUBLE_EQ(0.2, layer->presentationDouble("strokeEnd"));
    advance(1.5);
    EXPECT_NEAR(0.3, layer->presentationDouble("strokeEnd"), 1e-9);
    layer->removeAnimationForKey("k");
    EXPECT_EQ(std::vector<bool>{false}, delegate->stops);
    EXPECT_DOUBLE_EQ(1, layer->presentationDouble("strokeEnd"));
}

TEST_F(LayerAnimationTest, GroupChildrenActOnlyWithinTheirTimes) {
    auto layer = ShapeLayer::layer();
    layer->setStrokeEnd(0.9);
    auto first = strokeEnd(0, 1, 1);
    auto second = strokeEnd(1, 0.5, 1);
    second->setBeginTime(1);
    auto color = BasicAnimation::animationWithKeyPath("strokeColor");
    color->setFromValue(Color::redColor());
    color->setToValue(Color::blueColor());
    color->setDuration(2);
    auto group = AnimationGroup::animation();
    group->setAnimations({color, first, second});
    group->setDuration(2);
    layer->addAnimation(group, std::string("g"));

    advance(0.5);
    EXPECT_NEAR(0.5, layer->presentationDouble("strokeEnd"), 1e-9);
    EXPECT_TRUE(memorant_test::colorNear(*layer->presentationColor("strokeColor"), Color(0.75, 0, 0.25)));
    advance(1.0);  // the first child is over and does not fill; the second runs
    EXPECT_NEAR(0.75, layer->presentationDouble("strokeEnd"), 1e-9);
    advance(1.0);
    EXPECT_DOUBLE_EQ(0.9, layer->presentationDouble("strokeEnd"));
    EXPECT_FALSE(layer->presentationColor("strokeColor").has_value());
    EXPECT_EQ(nullptr, layer->animationForKey("g"));
}

TEST_F(LayerAnimationTest, InterpolationOfValueKinds) {
    EXPECT_EQ(AnimationValue(Point{5, 10}), interpolate(Point{0, 0}, Point{10, 20}, 0.5));
    EXPECT_EQ(AnimationValue(Rect(1, 1, 5, 5)), interpolate(Rect(0, 0, 0, 0), Rect(2, 2, 10, 10), 0.5));
    // Values of different kinds do not mix: the end value wins.
    EXPECT_EQ(AnimationValue(Point{1, 1}), interpolate(1.0, Point{1, 1}, 0.1));
}

// A shake: the view moves right, left and back in three keyframes while it
// fades out over the second half; read at chosen times on the clock.
TEST_F(LayerAnimationTest, KeyframesMoveThroughTheirValuesAtTheirTimes) {
    auto view = std::make_shared<View>(Rect(0, 0, 100, 100));  // centre (50, 50)
    int completed = 0;
    View::animateKeyframes(
        1.0, 0, ViewAnimationOptionNone,
        [&] {
            View::addKeyframe(0, 0.25, [&] { view->setCenter({70, 50}); });
            View::addKeyframe(0.25, 0.5, [&] { view->setCenter({30, 50}); });
            View::addKeyframe(0.75, 0.25, [&] { view->setCenter({50, 50}); });
            View::addKeyframe(0.5, 0.5, [&] { view->setAlpha(0); });
        },
        [&](bool finished) { completed += finished; });
    // The model values are the final ones at once.
    EXPECT_EQ(Point(50, 50), view->center());
    EXPECT_DOUBLE_EQ(0, view->alpha());
    auto x = [&] { return std::get<Point>(*view->layer().presentationValueForKey("position")).x; };
    auto alpha = [&] { return *animationDouble(view->layer().presentationValueForKey("opacity")); };
    const std::vector<std::tuple<double, double, double>> samples{
        // time, x, alpha
        {0.0, 50, 1},      {0.125, 60, 1},  {0.25, 70, 1},     {0.5, 50, 1},
        {0.625, 40, 0.75}, {0.75, 30, 0.5}, {0.875, 40, 0.25},
    };
    double now = 0;
    for (const auto& [time, expectedX, expectedAlpha] : samples) {
        advance(time - now);
        now = time;
        SCOPED_TRACE(time);
        EXPECT_NEAR(expectedX, x(), 1e-9);
        EXPECT_NEAR(expectedAlpha, alpha(), 1e-9);
    }
    EXPECT_EQ(0, completed);
    advance(1.0 - now);
    EXPECT_EQ(1, completed);
    EXPECT_NEAR(0, alpha(), 1e-9);
}

TEST_F(LayerAnimationTest, KeyframesCanBeginFromWhatIsShown) {
    // Two views half way through fading out (shown at 0.5, model 0) fade in again.
    auto plain = std::make_shared<View>(Rect(0, 0, 100, 100));
    auto current = std::make_shared<View>(Rect(0, 0, 100, 100));
    View::animate(1.0, 0, ViewAnimationOptionCurveLinear, [&] {
        plain->setAlpha(0);
        current->setAlpha(0);
    });
    advance(0.5);
    for (auto [view, options] :
         {std::pair{plain, ViewAnimationOptionNone}, std::pair{current, ViewAnimationOptionBeginFromCurrentState}})
        View::animateKeyframes(1.0, 0, options, [&] { View::addKeyframe(0, 1, [&] { view->setAlpha(1); }); });
    auto shown = [](View& v) { return *animationDouble(v.layer().presentationValueForKey("opacity")); };
    EXPECT_NEAR(0.0, shown(*plain), 1e-9);
    EXPECT_NEAR(0.5, shown(*current), 1e-9);
    advance(0.5);
    EXPECT_NEAR(0.5, shown(*plain), 1e-9);
    EXPECT_NEAR(0.75, shown(*current), 1e-9);
}
