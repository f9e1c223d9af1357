#include <gtest/gtest.h>

#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/TextField.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using memorant_test::UITest;

namespace {

// Records its lifecycle calls.
class ProbeController : public ViewController {
public:
    std::vector<std::string> calls;
    void loadView() override {
        calls.push_back("loadView");
        ViewController::loadView();
    }
    void viewDidLoad() override { calls.push_back("viewDidLoad"); }
    void viewWillAppear(bool) override { calls.push_back("willAppear"); }
    void viewDidAppear(bool) override { calls.push_back("didAppear"); }
    void viewWillDisappear(bool) override { calls.push_back("willDisappear"); }
    void viewDidDisappear(bool) override { calls.push_back("didDisappear"); }
    bool recordsLayout = false;
    void viewWillLayoutSubviews() override {
        if (recordsLayout) calls.push_back("willLayout");
    }
    void viewDidLayoutSubviews() override {
        if (recordsLayout) calls.push_back("didLayout");
    }
    std::vector<std::string> take() { return std::exchange(calls, {}); }
};

using Calls = std::vector<std::string>;

}  // namespace

class WindowAndControllerTest : public UITest {
protected:
    void TearDown() override {
        for (auto& w : Application::shared().windows()) w->setHidden(true);
        UITest::TearDown();
    }
};

TEST_F(WindowAndControllerTest, RootControllerFollowsItsWindow) {
    auto root = std::make_shared<ProbeController>();
    root->recordsLayout = true;
    auto window = std::make_shared<Window>(Rect(0, 0, 320, 480));
    window->setRootViewController(root);
    EXPECT_EQ((Calls{"loadView", "viewDidLoad"}), root->take());
    EXPECT_EQ(Rect(0, 0, 320, 480), root->view()->frame());
    window->makeKeyAndVisible();
    EXPECT_EQ((Calls{"willAppear", "didAppear"}), root->take());
    EXPECT_TRUE(root->isVisible());
    memorant_test::drainMainLoop();
    EXPECT_EQ((Calls{"willLayout", "didLayout"}), root->take());
    window->setHidden(true);
    EXPECT_EQ((Calls{"willDisappear", "didDisappear"}), root->take());
    root->view();  // loaded once only
    EXPECT_TRUE(root->take().empty());
}

TEST_F(WindowAndControllerTest, KeyWindowAndLevels) {
    auto main = std::make_shared<Window>();
    auto overlay = std::make_shared<Window>();
    overlay->setWindowLevel(kWindowLevelAlert);
    main->makeKeyAndVisible();
    overlay->makeKeyAndVisible();
    main->makeKeyWindow();
    EXPECT_TRUE(main->isKeyWindow());
    EXPECT_FALSE(overlay->isKeyWindow());
    EXPECT_EQ((std::vector<std::shared_ptr<Window>>{main, overlay}), Application::shared().windows());
    // Hiding the key window hands key status to the topmost one left.
    main->setHidden(true);
    EXPECT_EQ(overlay, Application::shared().keyWindow());
    overlay.reset();
    EXPECT_EQ(nullptr, Application::shared().keyWindow());
    EXPECT_TRUE(Application::shared().windows().empty());
}

TEST_F(WindowAndControllerTest, PresentingAndDismissingTakeTheirTimeOnTheClock) {
    auto root = std::make_shared<ProbeController>();
    auto window = std::make_shared<Window>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    memorant_test::drainMainLoop();
    root->take();

    auto modal = std::make_shared<ProbeController>();
    modal->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
    int presented = 0;
    root->presentViewController(modal, true, [&] { ++presented; });
    EXPECT_EQ((Calls{"loadView", "viewDidLoad", "willAppear"}), modal->take());
    EXPECT_EQ((Calls{"willDisappear"}), root->take());
    EXPECT_EQ(modal, root->presentedViewController());
    EXPECT_EQ(root, modal->presentingViewController());
    EXPECT_EQ(window.get(), modal->view()->window());
    EXPECT_TRUE(modal->isBeingPresented());
    advance(0.2);
    EXPECT_EQ(0, presented);
    advance(0.1);
    EXPECT_EQ(1, presented);
    EXPECT_EQ((Calls{"didAppear"}), modal->take());
    EXPECT_EQ((Calls{"didDisappear"}), root->take());

    // Only one at a time; a controller off screen presents nothing.
    root->presentViewController(std::make_shared<ViewController>(), false);
    std::make_shared<ViewController>()->presentViewController(std::make_shared<ViewController>(), false);
    memorant_test::drainMainLoop();
    EXPECT_EQ(modal, root->presentedViewController());

    // A presented controller asks its presenter to dismiss it.
    auto top = std::make_shared<ProbeController>();
    modal->presentViewController(top, false);
    memorant_test::drainMainLoop();
    top->dismissViewController(false);
    memorant_test::drainMainLoop();
    EXPECT_EQ(nullptr, modal->presentedViewController());
    EXPECT_EQ(modal, root->presentedViewController());

    // Dismissing from the root takes everything above it.
    modal->presentViewController(top, false);
    memorant_test::drainMainLoop();
    modal->take();
    top->take();
    int dismissed = 0;
    root->dismissViewController(false, [&] {
        ++dismissed;
        EXPECT_EQ(nullptr, root->presentedViewController());
    });
    EXPECT_EQ((Calls{"willDisappear"}), top->take());
    EXPECT_EQ((Calls{"willDisappear"}), modal->take());
    memorant_test::drainMainLoop();
    EXPECT_EQ(1, dismissed);
    EXPECT_EQ((Calls{"didDisappear"}), top->take());
    EXPECT_EQ((Calls{"didDisappear"}), modal->take());
    EXPECT_EQ((Calls{"willAppear", "didAppear"}), root->take());
    EXPECT_EQ(nullptr, modal->view()->window());
    EXPECT_EQ(nullptr, modal->presentingViewController());
    EXPECT_EQ(nullptr, modal->presentedViewController());
}

TEST_F(WindowAndControllerTest, AlertActionRunsItsHandlerOnceTheAlertIsGone) {
    auto root = std::make_shared<ViewController>();
    auto window = std::make_shared<Window>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();

    auto alert = AlertController::alertControllerWithTitle("Title", "Message", AlertControllerStyle::Alert);
    std::vector<std::string> handled;
    auto disabled = AlertAction::actionWithTitle("Later", AlertActionStyle::Default,
                                                 [&](AlertAction&) { handled.push_back("Later"); });
    disabled->setEnabled(false);
    alert->addAction(disabled);
    alert->addAction(AlertAction::actionWithTitle("OK", AlertActionStyle::Default, [&](AlertAction& action) {
        handled.push_back(*action.title());
        EXPECT_EQ(nullptr, root->presentedViewController());
    }));
    alert->addAction(AlertAction::actionWithTitle("Cancel", AlertActionStyle::Cancel));
    root->presentViewController(alert, true);
    EXPECT_EQ(alert, UIDriver::presentedAlert());

    EXPECT_FALSE(UIDriver::tapAlertAction(*alert, "Later"));
    EXPECT_FALSE(UIDriver::tapAlertAction(*alert, "Missing"));
    ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "OK"));
    // A second tap while it goes away does nothing.
    UIDriver::tapAlertAction(*alert, "Cancel");
    EXPECT_TRUE(handled.empty());
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(std::vector<std::string>{"OK"}, handled);
    EXPECT_EQ(nullptr, UIDriver::presentedAlert());
}

TEST_F(WindowAndControllerTest, FirstResponderNeedsAWindowAndOneAtATime) {
    auto window = std::make_shared<Window>();
    auto first = std::make_shared<TextField>(Rect(0, 0, 100, 30));
    auto second = std::make_shared<TextField>(Rect(0, 40, 100, 30));
    EXPECT_FALSE(first->becomeFirstResponder());
    window->addSubview(first);
    window->addSubview(second);
    EXPECT_TRUE(first->becomeFirstResponder());
    EXPECT_TRUE(first->isFirstResponder());
    EXPECT_TRUE(second->becomeFirstResponder());
    EXPECT_FALSE(first->isEditing());
    EXPECT_EQ(second.get(), window->firstResponder());
    // Leaving the window ends editing.
    second->removeFromSuperview();
    EXPECT_FALSE(second->isEditing());
    EXPECT_EQ(nullptr, window->firstResponder());
}
