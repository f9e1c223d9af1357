#include <gtest/gtest.h>

#include <cmath>

#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Screen.h"
#include "platform/ui/UITestFixture.h"

using memorant_test::UITest;

namespace {

class SpringViewAnimationTest : public UITest {};

double shownX(const View& view) {
    return std::get<Point>(*view.layer().presentationValueForKey("position")).x;
}

TEST_F(SpringViewAnimationTest, ChangesFollowADampedSpringAndTheCompletionComesAfterTheDuration) {
    struct Case {
        double damping, velocity;
        bool overshoots;
    };
    for (const Case& c : {Case{0.55, 0.2, true}, Case{1.0, 0.0, false}}) {
        SCOPED_TRACE(c.damping);
        auto view = std::make_shared<View>(Rect(0, 0, 20, 20));  // centre x 10
        std::vector<bool> completions;
        View::animate(
            0.8, 0, c.damping, c.velocity, ViewAnimationOptionNone, [&] { view->setCenter({110, 10}); },
            [&](bool finished) { completions.push_back(finished); });
        EXPECT_EQ(view->center().x, 110) << "the model value changes at once";
        auto spring = std::dynamic_pointer_cast<const SpringAnimation>(view->layer().animationForKey("position"));
        ASSERT_NE(spring, nullptr);
        EXPECT_EQ(spring->initialVelocity(), c.velocity);
        EXPECT_NEAR(spring->damping() / (2 * std::sqrt(spring->stiffness() * spring->mass())), c.damping, 1e-9);
        EXPECT_DOUBLE_EQ(shownX(*view), 10);

        double furthest = 10;
        for (int step = 0; step < 7; ++step) {
            advance(0.1);
            furthest = std::max(furthest, shownX(*view));
        }
        EXPECT_EQ(furthest > 110.5, c.overshoots) << furthest;
        EXPECT_NEAR(shownX(*view), 110, 1.0) << "nearly settled by the end";
        EXPECT_TRUE(completions.empty());
        advance(0.1);
        EXPECT_EQ(completions, std::vector<bool>{true});
        EXPECT_DOUBLE_EQ(shownX(*view), 110);
    }
}

TEST_F(SpringViewAnimationTest, CompletionsRunOnceAlsoForViewsGoneOrAnimationsReplaced) {
    auto sprung = std::make_shared<View>(Rect(0, 0, 20, 20));
    auto keyed = std::make_shared<View>(Rect(0, 0, 20, 20));
    std::vector<std::string> completed;
    View::animate(
        0.8, 0, 0.55, 0.2, ViewAnimationOptionNone, [&] { sprung->setCenter({100, 10}); },
        [&](bool) { completed.push_back("spring"); });
    View::animateKeyframes(
        0.5, 0, ViewAnimationOptionNone,
        [&] { View::addKeyframe(0, 1, [&] { keyed->setAlpha(0); }); },
        [&](bool) { completed.push_back("keyframes"); });
    sprung.reset();  // the view goes before its spring settles
    View::animate(0.1, [&] { keyed->setAlpha(1); });  // replaces the keyframes' opacity
    advance(0.5);
    EXPECT_EQ(completed, std::vector<std::string>{"keyframes"});
    advance(0.3);
    EXPECT_EQ(completed, (std::vector<std::string>{"keyframes", "spring"}));
    advance(5);
    EXPECT_EQ(completed.size(), 2u);
}

TEST_F(SpringViewAnimationTest, LayerKeysReachPartsOfPositionAndTransform) {
    auto layer = Layer::layer();
    layer->setPosition({5, 37});
    layer->setAffineTransform(AffineTransform::rotation(0.5));
    EXPECT_EQ(animationDouble(layer->valueForKey("position.y")), 37);
    EXPECT_NEAR(*animationDouble(layer->valueForKey("transform.scale")), 1, 1e-12);
    ASSERT_TRUE(layer->setValueForKey("position.x", 9.0));
    ASSERT_TRUE(layer->setValueForKey("transform.scale", 2.0));
    EXPECT_EQ(layer->position(), (Point{9, 37}));
    EXPECT_NEAR(*animationDouble(layer->valueForKey("transform.scale")), 2, 1e-12);
    EXPECT_NEAR(std::atan2(layer->affineTransform().b, layer->affineTransform().a), 0.5, 1e-12) << "rotation kept";

    // An animation of a part shows in the whole property (as drawn).
    auto slide = KeyframeAnimation::animationWithKeyPath("position.y");
    slide->setValues({37.0, 60.0});
    slide->setDuration(1);
    layer->addAnimation(slide, std::string("move"));
    auto pulse = BasicAnimation::animationWithKeyPath("transform.scale");
    pulse->setFromValue(0.0);
    pulse->setToValue(1.0);
    pulse->setDuration(1);
    layer->addAnimation(pulse, std::string("scale"));
    advance(0.5);
    EXPECT_EQ(std::get<Point>(*layer->presentationValueForKey("position")), (Point{9, 48.5}));
    const auto shown = std::get<AffineTransform>(*layer->presentationValueForKey("transform"));
    EXPECT_NEAR(std::hypot(shown.a, shown.b), 0.5, 1e-12);
    EXPECT_NEAR(std::atan2(shown.b, shown.a), 0.5, 1e-12);
}

TEST(DeviceTest, ModelFollowsTheIdiomAndNamesCanBeSet) {
    Device& device = Device::current();
    EXPECT_EQ(device.model(), "iPhone");
    device.setUserInterfaceIdiom(UserInterfaceIdiom::Pad);
    EXPECT_EQ(device.model(), "iPad");
    device.setUserInterfaceIdiom(UserInterfaceIdiom::Phone);
    device.setModel(std::string("iPod touch"));
    EXPECT_EQ(device.model(), "iPod touch");
    device.setModel(std::nullopt);

    EXPECT_FALSE(device.name().empty());
    device.setName(std::string("Ada's Phone"));
    EXPECT_EQ(device.name(), "Ada's Phone");
    device.setName(std::nullopt);
    EXPECT_NE(device.name(), "Ada's Phone");
}

TEST(ApplicationTest, TheIdleTimerFlagIsKept) {
    EXPECT_FALSE(Application::shared().isIdleTimerDisabled());
    Application::shared().setIdleTimerDisabled(true);
    EXPECT_TRUE(Application::shared().isIdleTimerDisabled());
    Application::shared().setIdleTimerDisabled(false);
}

TEST(ButtonAttributedTitleTest, AnAttributedTitleShowsInPlaceOfThePlainOne) {
    Button button;
    button.setTitle(std::string("plain"), ControlStateNormal);
    AttributedString::Attributes red;
    red.foregroundColor = Color(1, 0, 0, 1);
    button.setAttributedTitle(AttributedString("rich", red), ControlStateNormal);
    EXPECT_EQ(button.titleLabel()->text(), "rich");
    ASSERT_TRUE(button.titleLabel()->attributedText());
    EXPECT_EQ(button.attributedTitleForState(ControlStateHighlighted)->string(), "rich") << "normal stands for all";
    button.setAttributedTitle(AttributedString("pressed"), ControlStateHighlighted);
    button.setHighlighted(true);
    EXPECT_EQ(button.titleLabel()->text(), "pressed");
    button.setHighlighted(false);
    button.setAttributedTitle(std::nullopt, ControlStateNormal);
    EXPECT_EQ(button.titleLabel()->text(), "plain");
    EXPECT_FALSE(button.titleLabel()->attributedText());
}

}  // namespace
