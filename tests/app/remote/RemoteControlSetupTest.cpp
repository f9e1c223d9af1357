#include "app/remote/RemoteControlSetupViewController.h"

#include <gtest/gtest.h>

#include <limits>

#include "app/views/FIHelpContentViewController.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/Window.h"
#include "platform/web/WebView.h"
#include "support/MainLoop.h"

using namespace memorant_test;

namespace {

// The setup screen alone, presented full screen over a plain screen.
class RemoteControlSetupTest : public VirtualClockTest {
protected:
    void SetUp() override {
        Device::current().setModel(std::string("iPad"));
        Storyboard::registerStoryboard("SetupTest", [](Storyboard& s) { RemoteControlSetupViewController::addScene(s); });
        Storyboard::registerStoryboard("Main_nextgen", [](Storyboard& s) {
            s.addScene<FIHelpContentViewController>("HelpContentViewController");
        });
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        drainMainLoop();
        setup = Storyboard::storyboardWithName("SetupTest")
                    ->instantiate<RemoteControlSetupViewController>(RemoteControlSetupViewController::kSceneIdentifier);
        ASSERT_NE(setup, nullptr);
        setup->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
    }
    void TearDown() override {
        if (root->presentedViewController()) root->dismissViewController(false);
        window->setHidden(true);
        drainMainLoop();
        Storyboard::unregisterStoryboard("SetupTest");
        Storyboard::unregisterStoryboard("Main_nextgen");
        Device::current().setModel(std::nullopt);
    }
    void show() {
        root->presentViewController(setup, true);
        advance(ViewController::kTransitionDuration);
        ASSERT_TRUE(setup->isVisible());
    }
    void leave() {
        root->dismissViewController(true);
        advance(ViewController::kTransitionDuration);
        ASSERT_FALSE(setup->isVisible());
    }
    Animation_RCAnimationImageView& illustration() { return *setup->rcImageView()->animationView(); }

    std::shared_ptr<Window> window = std::make_shared<Window>();
    std::shared_ptr<ViewController> root = std::make_shared<ViewController>();
    std::shared_ptr<RemoteControlSetupViewController> setup;
};

TEST_F(RemoteControlSetupTest, TheTroubleshootingButtonFadesInOnlyAfterTenSecondsOnScreen) {
    ASSERT_NO_FATAL_FAILURE(show());
    auto troubleshooting = setup->delayedTroubleshootingButton();
    EXPECT_EQ(troubleshooting->alpha(), 0);
    advance(9.9);
    ASSERT_NO_FATAL_FAILURE(leave());
    advance(5);
    EXPECT_EQ(troubleshooting->alpha(), 0) << "left within 10 s: never shown";

    ASSERT_NO_FATAL_FAILURE(show());
    advance(9.9);
    EXPECT_EQ(troubleshooting->alpha(), 0) << "the earlier appearance's request was cancelled";
    advance(0.1);
    EXPECT_EQ(troubleshooting->alpha(), 1);
    EXPECT_LT(troubleshooting->layer().presentationDouble("opacity"), 1) << "it fades in";
    advance(RemoteControlSetupViewController::kFadeInDuration);
    EXPECT_EQ(troubleshooting->layer().presentationDouble("opacity"), 1);
}

TEST_F(RemoteControlSetupTest, TextsNameTheDeviceAndTheInstructionsTakeTheTint) {
    setup->loadViewIfNeeded();
    const std::string subTitle = setup->subTitleLabel()->text().value_or("");
    EXPECT_NE(subTitle.find("your iPad"), std::string::npos) << subTitle;
    EXPECT_EQ(subTitle.find("DEVICE"), std::string::npos);

    const Color tint(0.2, 0.4, 0.6, 1);
    setup->updateTint(tint);
    const auto normal = setup->instructionsButton()->attributedTitleForState(ControlStateNormal);
    const auto highlighted = setup->instructionsButton()->attributedTitleForState(ControlStateHighlighted);
    ASSERT_TRUE(normal && highlighted);
    const std::string first = "Choose \u201cPair with Phone Remote\u201d in the desktop app to begin. ";
    EXPECT_EQ(normal->string(), first + "Detailed instructions here.");
    EXPECT_EQ(normal->attributesAtIndex(0).foregroundColor, Color::blackColor());
    EXPECT_EQ(normal->attributesAtIndex(first.size()).foregroundColor, tint);
    EXPECT_EQ(highlighted->attributesAtIndex(0).foregroundColor, Color::blackColor());
    EXPECT_EQ(highlighted->attributesAtIndex(first.size()).foregroundColor, tint.withAlphaComponent(0.3));
    EXPECT_EQ(setup->instructionsButton()->titleLabel()->numberOfLines(), 0);
}

TEST_F(RemoteControlSetupTest, BothButtonsOpenTheHelpPageAndDoneClosesIt) {
    ASSERT_NO_FATAL_FAILURE(show());
    advance(RemoteControlSetupViewController::kTroubleshootingDelay + 1);
    for (auto button : {setup->instructionsButton(), setup->delayedTroubleshootingButton()}) {
        ASSERT_TRUE(UIDriver::tap(*button));
        advance(ViewController::kTransitionDuration);
        auto navigation = std::dynamic_pointer_cast<NavigationController>(setup->presentedViewController());
        ASSERT_NE(navigation, nullptr);
        auto help = std::dynamic_pointer_cast<FIHelpContentViewController>(navigation->topViewController());
        ASSERT_NE(help, nullptr);
        EXPECT_EQ(help->title(), "Remote Control");
        EXPECT_EQ(help->helpContentFilename(), "rc-instructions.html");
        ASSERT_TRUE(help->webView() && help->webView()->url()) << "the page ships with the app";
        EXPECT_EQ(lastPathComponent(help->webView()->url()->path()), "rc-instructions.html");
        ASSERT_TRUE(UIDriver::tap(*help->navigationItem().rightBarButtonItem()));
        advance(ViewController::kTransitionDuration);
        EXPECT_EQ(setup->presentedViewController(), nullptr);
    }
}

TEST_F(RemoteControlSetupTest, TheIllustrationPulsesAndSlidesWithItsKeyTimes) {
    ASSERT_NO_FATAL_FAILURE(show());
    auto& view = illustration();
    EXPECT_TRUE(view.didSetup());
    EXPECT_EQ(view.layer().sublayers().size(), 4u);
    EXPECT_EQ(view.layer().sublayers()[1], view.outerRay());
    EXPECT_EQ(view.layer().sublayers()[3], view.circleLayer());
    EXPECT_EQ(view.rayLayer()->frame(), Rect(159.5, 66, 14, 14));
    EXPECT_EQ(view.outerRay()->cornerRadius(), 11);
    EXPECT_TRUE(view.coverLayer()->animationKeys().empty()) << "the animations start half a second later";
    advance(RemoteControlSetupViewController::kAnimationsDelay);

    for (const auto& ring : {view.outerRay(), view.rayLayer()}) {
        auto group = std::dynamic_pointer_cast<const AnimationGroup>(ring->animationForKey("scale"));
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->duration(), 7.0);
        EXPECT_EQ(group->repeatCount(), std::numeric_limits<float>::max());
        ASSERT_EQ(group->animations().size(), 2u);
        auto scale = std::dynamic_pointer_cast<const KeyframeAnimation>(group->animations()[0]);
        auto opacity = std::dynamic_pointer_cast<const KeyframeAnimation>(group->animations()[1]);
        ASSERT_TRUE(scale && opacity);
        EXPECT_EQ(scale->keyPath(), "transform.scale");
        EXPECT_EQ(scale->keyTimes(), (std::vector<double>{0, 1 / 7.0, 2 / 7.0, 2 / 7.0, 3 / 7.0}));
        EXPECT_EQ(opacity->keyTimes(),
                  (std::vector<double>{0, 0.5 / 7, 1.1 / 7, 2.0 / 7, 2.0 / 7, 2.5 / 7, 3.1 / 7}));
    }
    auto move = std::dynamic_pointer_cast<const KeyframeAnimation>(view.coverLayer()->animationForKey("move"));
    ASSERT_NE(move, nullptr);
    EXPECT_EQ(move->keyPath(), "position.y");
    EXPECT_EQ(move->keyTimes(), (std::vector<double>{0, 1.1 / 7, 1.6 / 7, 3.1 / 7, 3.6 / 7}));
    EXPECT_FALSE(move->isRemovedOnCompletion());
    EXPECT_EQ(move->fillMode(), FillMode::Forwards);

    // What shows over one period: the rings pulse, the cover slides down and back.
    struct Moment {
        double at;
        double ringScale, ringOpacity, coverY;
    };
    const Moment moments[] = {{0.5, 0.5, 1, 37}, {1.0, 1, 1 - 0.5 / 0.6, 37}, {2.5, 0.5, 1, 60}, {5.0, 1, 0, 37}};
    double elapsed = 0;
    for (const auto& moment : moments) {
        SCOPED_TRACE(moment.at);
        advance(moment.at - elapsed);
        elapsed = moment.at;
        EXPECT_NEAR(view.outerRay()->presentationDouble("transform.scale"), moment.ringScale, 1e-9);
        EXPECT_NEAR(view.rayLayer()->presentationDouble("opacity"), moment.ringOpacity, 1e-9);
        EXPECT_NEAR(view.coverLayer()->presentationDouble("position.y"), moment.coverY, 1e-9);
        EXPECT_EQ(view.circleLayer()->presentationDouble("opacity"), 1);
    }
    EXPECT_EQ(view.rayLayer()->opacity(), 0) << "outside the animation the rings are invisible";
}

TEST_F(RemoteControlSetupTest, AppearingAgainStartsTheIllustrationOverUnderTheSameKeys) {
    ASSERT_NO_FATAL_FAILURE(show());
    advance(RemoteControlSetupViewController::kAnimationsDelay);
    auto& view = illustration();
    const auto firstStart = view.coverLayer()->animationStartTime("move");
    ASSERT_TRUE(firstStart);
    ASSERT_NO_FATAL_FAILURE(leave());
    advance(3);
    ASSERT_NO_FATAL_FAILURE(show());
    advance(RemoteControlSetupViewController::kAnimationsDelay);
    for (const auto& [layer, key] : {std::pair{view.outerRay(), "scale"}, std::pair{view.rayLayer(), "scale"},
                                      std::pair{view.coverLayer(), "move"}}) {
        EXPECT_EQ(layer->animationKeys(), std::vector<std::string>{key});
        EXPECT_GT(*layer->animationStartTime(key), *firstStart);
    }
    EXPECT_NEAR(view.coverLayer()->presentationDouble("position.y"), 37, 1e-9) << "started over";
}

TEST(RCAnimationImageViewTest, KeyTimesAreTheRunningSumsOverThePeriod) {
    EXPECT_EQ(Animation_RCAnimationImageView::keyTimes({}, 7), std::vector<double>{0});
    EXPECT_EQ(Animation_RCAnimationImageView::keyTimes({1, 0, 2.5}, 5), (std::vector<double>{0, 0.2, 0.2, 0.7}));
    RCAnimationImageView plain;
    plain.setupAnimations();  // made in code: no animation view, nothing happens
    EXPECT_EQ(plain.animationView(), nullptr);
}

}  // namespace
