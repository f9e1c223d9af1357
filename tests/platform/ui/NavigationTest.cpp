#include <gtest/gtest.h>

#include "platform/ui/Application.h"
#include "platform/ui/ControllerProbe.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using namespace memorant_test;

class NavigationTest : public UITest {
protected:
    void TearDown() override {
        for (auto& w : Application::shared().windows()) w->setHidden(true);
        UITest::TearDown();
    }

    // A navigation controller with A at the root, shown in a window.
    void show() {
        navigation = std::make_shared<NavigationController>(a);
        navigation->setDelegate(delegate);
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
        drainMainLoop();
    }

    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    std::shared_ptr<NavigationLog> delegate = std::make_shared<NavigationLog>(log);
    std::shared_ptr<Probe<>> a = std::make_shared<Probe<>>("A", log);
    std::shared_ptr<Probe<>> b = std::make_shared<Probe<>>("B", log);
    std::shared_ptr<NavigationController> navigation;
    std::shared_ptr<Window> window = std::make_shared<Window>();
};

TEST_F(NavigationTest, PushAndPopCallTheLifecycleInOrder) {
    show();
    EXPECT_EQ((Lines{"A.willMove", "A.didMove", "A.didLoad", "A.willAppear", "A.didAppear"}), log->take());

    // Animated push: the will-callbacks now, the rest after the transition.
    navigation->pushViewController(b, true);
    EXPECT_EQ((std::vector<std::shared_ptr<ViewController>>{a, b}), navigation->viewControllers());
    EXPECT_EQ((Lines{"B.willMove", "B.didLoad", "willShow B", "A.willDisappear", "B.willAppear"}), log->take());
    advance(0.29);
    EXPECT_TRUE(log->take().empty());
    advance(0.01);
    EXPECT_EQ((Lines{"A.didDisappear", "B.didAppear", "B.didMove", "didShow B"}), log->take());
    EXPECT_EQ(navigation, b->navigationController());
    EXPECT_EQ(navigation->view().get(), b->view()->superview());
    EXPECT_EQ(nullptr, a->view()->superview());
    EXPECT_EQ(b, UIDriver::visibleViewController(*window));

    // The back button is titled after A and pops, animated.
    auto back = navigation->navigationBar()->backButtonItem();
    ASSERT_NE(nullptr, back);
    EXPECT_EQ("A", back->title());
    ASSERT_TRUE(UIDriver::tapBackButton(*navigation));
    EXPECT_EQ((Lines{"B.willMove(nil)", "willShow A", "B.willDisappear", "A.willAppear"}), log->take());
    advance(0.3);
    EXPECT_EQ((Lines{"B.didDisappear", "A.didAppear", "B.didMove(nil)", "didShow A"}), log->take());
    EXPECT_EQ(nullptr, b->parentViewController());
    EXPECT_EQ(nullptr, navigation->navigationBar()->backButtonItem());

    // Not animated: the rest comes on the next pass of the main loop.
    navigation->pushViewController(b, false);
    log->take();
    drainMainLoop();
    EXPECT_EQ((Lines{"A.didDisappear", "B.didAppear", "B.didMove", "didShow B"}), log->take());
    // Popping at the root does nothing; popping to root returns what left.
    EXPECT_EQ((std::vector<std::shared_ptr<ViewController>>{b}), navigation->popToRootViewControllerAnimated(false));
    EXPECT_EQ(nullptr, navigation->popViewControllerAnimated(false));
    drainMainLoop();
    EXPECT_EQ((std::vector<std::shared_ptr<ViewController>>{a}), navigation->viewControllers());
}

TEST_F(NavigationTest, APushDuringATransitionFinishesItFirst) {
    show();
    auto c = std::make_shared<Probe<>>("C", log);
    navigation->pushViewController(b, true);
    log->take();
    navigation->pushViewController(c, true);
    EXPECT_EQ((Lines{"C.willMove", "A.didDisappear", "B.didAppear", "B.didMove", "didShow B", "C.didLoad", "willShow C",
                     "B.willDisappear", "C.willAppear"}),
              log->take());
    advance(0.3);
    EXPECT_EQ((Lines{"B.didDisappear", "C.didAppear", "C.didMove", "didShow C"}), log->take());
    // The earlier transition's timer does not finish the later one twice.
    advance(1);
    EXPECT_TRUE(log->take().empty());
}

TEST_F(NavigationTest, OffScreenTheStackChangesAndTheTopAppearsWithTheController) {
    navigation = std::make_shared<NavigationController>(a);
    EXPECT_EQ(navigation, a->navigationController());  // a child from the start
    EXPECT_EQ((Lines{"A.willMove", "A.didMove"}), log->take());
    navigation->pushViewController(b, false);
    EXPECT_EQ((Lines{"B.willMove", "B.didMove"}), log->take());
    window->setRootViewController(navigation);
    log->take();
    window->makeKeyAndVisible();
    EXPECT_EQ((Lines{"B.willAppear", "B.didAppear"}), log->take());
    EXPECT_FALSE(a->isViewLoaded());
}

TEST_F(NavigationTest, SwipeBackFollowsTheGesturesEnabledFlag) {
    show();
    navigation->pushViewController(b, false);
    drainMainLoop();
    navigation->interactivePopGestureRecognizer()->setEnabled(false);
    EXPECT_FALSE(UIDriver::swipeBack(*navigation));
    drainMainLoop();
    EXPECT_EQ(b, navigation->topViewController());
    navigation->interactivePopGestureRecognizer()->setEnabled(true);
    EXPECT_TRUE(UIDriver::swipeBack(*navigation));
    advance(0.3);
    EXPECT_EQ(a, navigation->topViewController());
    // At the root a swipe pops nothing.
    UIDriver::swipeBack(*navigation);
    advance(0.3);
    EXPECT_EQ(a, navigation->topViewController());
}

TEST_F(NavigationTest, BarShowsTheTopItemAndItsButtonsPerState) {
    Screen::main().setBounds(Rect(0, 0, 390, 844));
    window->setSafeAreaInsets({47, 0, 34, 0});
    show();
    const auto& bar = navigation->navigationBar();
    EXPECT_EQ(Rect(0, 47, 390, 44), bar->frame());
    EXPECT_EQ("A", bar->titleLabel()->text());

    // Items set without animation: shown at once, no fade.
    int added = 0;
    auto add = BarButtonItem::withSystemItem(BarButtonSystemItem::Add, [&](BarButtonItem&) { ++added; });
    a->navigationItem().setRightBarButtonItem(add);
    EXPECT_EQ(nullptr, bar->layer().animationForKey("transition"));
    ASSERT_NE(nullptr, add->view());
    EXPECT_EQ(bar.get(), add->view()->superview());
    EXPECT_GT(add->view()->frame().minX(), 390 / 2);
    EXPECT_TRUE(UIDriver::tap(*add));
    add->setEnabled(false);
    EXPECT_FALSE(UIDriver::tap(*add));
    EXPECT_EQ(1, added);

    // The edit button toggles editing and its own title; set animated, the
    // bar fades its content.
    a->navigationItem().setLeftBarButtonItems({a->editButtonItem()}, true);
    auto fade = bar->layer().animationForKey("transition");
    ASSERT_NE(nullptr, fade);
    EXPECT_DOUBLE_EQ(NavigationBar::kBarAnimationDuration, fade->duration());
    EXPECT_EQ("Edit", a->editButtonItem()->title());
    ASSERT_TRUE(UIDriver::tap(*a->editButtonItem()));
    EXPECT_TRUE(a->isEditing());
    EXPECT_EQ("Done", a->editButtonItem()->title());

    // A title view takes the title's place; items of a controller below the
    // top are not shown and cannot be tapped.
    auto titleView = std::make_shared<View>(Rect(0, 0, 120, 30));
    b->navigationItem().setTitleView(titleView);
    navigation->pushViewController(b, false);
    drainMainLoop();
    EXPECT_EQ(bar.get(), titleView->superview());
    EXPECT_TRUE(bar->titleLabel()->isHidden());
    EXPECT_EQ(nullptr, add->view());
    add->setEnabled(true);
    EXPECT_FALSE(UIDriver::tap(*add));
    // An item hiding the back button leaves the left side empty.
    b->navigationItem().setHidesBackButton(true);
    EXPECT_EQ(nullptr, bar->backButtonItem());
}

TEST_F(NavigationTest, ToolbarShowsTheTopControllersItemsAndSlidesInAnimated) {
    show();
    int played = 0;
    auto play = BarButtonItem::withSystemItem(BarButtonSystemItem::Play, [&](BarButtonItem&) { ++played; });
    a->setToolbarItems({BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace), play});
    EXPECT_TRUE(navigation->isToolbarHidden());
    EXPECT_FALSE(UIDriver::tap(*play));  // hidden

    navigation->setToolbarHidden(false, true);
    EXPECT_FALSE(navigation->toolbar()->isHidden());
    EXPECT_NE(nullptr, navigation->toolbar()->layer().animationForKey("position"));
    EXPECT_EQ(Rect(0, 844 - 44, 390, 44), navigation->toolbar()->frame());
    ASSERT_TRUE(UIDriver::tap(*play));
    EXPECT_EQ(1, played);
    // The play item sits at the right, past the flexible space.
    EXPECT_GT(play->view()->frame().minX(), 300);

    navigation->pushViewController(b, false);
    EXPECT_TRUE(navigation->toolbar()->items().empty());
    navigation->setToolbarHidden(true, false);
    EXPECT_TRUE(navigation->toolbar()->isHidden());
}

TEST_F(NavigationTest, TraitChangesAndMemoryWarningsReachEveryControllerOnScreen) {
    struct Traits : ViewController {
        std::vector<UserInterfaceStyle> previous;
        int warnings = 0;
        void traitCollectionDidChange(const std::optional<TraitCollection>& p) override {
            previous.push_back(p->userInterfaceStyle);
        }
        void didReceiveMemoryWarning() override { ++warnings; }
    };
    auto top = std::make_shared<Traits>();
    auto presented = std::make_shared<Traits>();
    navigation = std::make_shared<NavigationController>(top);
    window->setRootViewController(navigation);
    window->makeKeyAndVisible();
    navigation->presentViewController(presented, false);
    drainMainLoop();

    Screen::main().setUserInterfaceStyle(UserInterfaceStyle::Dark);
    Screen::main().setUserInterfaceStyle(UserInterfaceStyle::Dark);  // no change, no call
    Application::shared().didReceiveMemoryWarning();
    for (auto* c : {top.get(), presented.get()}) {
        EXPECT_EQ((std::vector<UserInterfaceStyle>{UserInterfaceStyle::Light}), c->previous);
        EXPECT_EQ(1, c->warnings);
    }
}
