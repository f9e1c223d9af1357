#include <gtest/gtest.h>

#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/ControllerProbe.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using namespace memorant_test;

namespace {

// Records what the split view asks and answers as told.
class SplitLog : public SplitViewControllerDelegate {
public:
    explicit SplitLog(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
    bool collapseSecondaryViewController(SplitViewController&, ViewController& secondary,
                                         ViewController& primary) override {
        log_->add("collapse " + secondary.title().value_or("?") + " onto " + primary.title().value_or("?"));
        return handlesCollapse;
    }
    std::shared_ptr<ViewController> separateSecondaryViewController(SplitViewController&,
                                                                    ViewController& primary) override {
        log_->add("separate from " + primary.title().value_or("?"));
        return separated;
    }
    bool handlesCollapse = false;
    std::shared_ptr<ViewController> separated;

private:
    std::shared_ptr<CallLog> log_;
};

// A primary that makes its own secondary on expanding.
class OwnSecondaryPrimary : public Probe<NavigationController>, public SplitViewPrimaryController {
public:
    using Probe<NavigationController>::Probe;
    std::shared_ptr<ViewController> separateSecondaryViewController(SplitViewController&) override {
        ++asked;
        return fresh;
    }
    int asked = 0;
    std::shared_ptr<ViewController> fresh;
};

}  // namespace

class SplitViewControllerTest : public UITest {
protected:
    void TearDown() override {
        for (auto& w : Application::shared().windows()) w->setHidden(true);
        UITest::TearDown();
    }

    // The split view of the primary navigation (list at its root) and the
    // detail navigation (editor at its root), shown in a window.
    void show(std::shared_ptr<NavigationController> primaryNavigation = nullptr) {
        primary = primaryNavigation ? primaryNavigation : std::make_shared<NavigationController>(list);
        primary->setTitle("Primary");
        split->setViewControllers({primary, detail});
        split->setDelegate(delegate);
        window->setRootViewController(split);
        window->makeKeyAndVisible();
        drainMainLoop();
    }

    static void useIdiom(UserInterfaceIdiom idiom) {
        Device::current().setUserInterfaceIdiom(idiom);
        drainMainLoop();
    }

    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    std::shared_ptr<SplitLog> delegate = std::make_shared<SplitLog>(log);
    std::shared_ptr<Probe<>> list = std::make_shared<Probe<>>("List", log);
    std::shared_ptr<Probe<>> editor = std::make_shared<Probe<>>("Editor", log);
    std::shared_ptr<Probe<NavigationController>> detail = [this] {
        auto d = std::make_shared<Probe<NavigationController>>("Detail", log);
        d->setViewControllers({editor}, false);
        return d;
    }();
    std::shared_ptr<NavigationController> primary;
    std::shared_ptr<SplitViewController> split = std::make_shared<SplitViewController>();
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect(0, 0, 1000, 700));
};

TEST_F(SplitViewControllerTest, ExpandedShowsBothColumnsAsTheDisplayModeSays) {
    Device::current().setUserInterfaceIdiom(UserInterfaceIdiom::Pad);
    show();
    EXPECT_FALSE(split->isCollapsed());
    ASSERT_EQ(2u, split->viewControllers().size());
    EXPECT_EQ(detail, split->viewControllers()[1]);
    EXPECT_TRUE(list->isVisible());
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(split, enclosingSplitViewController(*editor));
    EXPECT_EQ(split, enclosingSplitViewController(*list));
    EXPECT_EQ(nullptr, enclosingSplitViewController(*split));
    log->take();

    struct Case {
        SplitViewControllerDisplayMode mode;
        Rect primaryFrame;  // empty: off screen
        Rect secondaryFrame;
    };
    const Case cases[] = {
        {SplitViewControllerDisplayMode::OneBesideSecondary, Rect(0, 0, 320, 700), Rect(320, 0, 680, 700)},
        {SplitViewControllerDisplayMode::SecondaryOnly, Rect(), Rect(0, 0, 1000, 700)},
        {SplitViewControllerDisplayMode::OneOverSecondary, Rect(0, 0, 320, 700), Rect(0, 0, 1000, 700)},
        {SplitViewControllerDisplayMode::Automatic, Rect(0, 0, 320, 700), Rect(320, 0, 680, 700)},
    };
    // The values callers pass on as numbers.
    EXPECT_EQ(2, static_cast<int>(SplitViewControllerDisplayMode::OneBesideSecondary));
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        split->setPreferredDisplayMode(c.mode);
        drainMainLoop();
        EXPECT_EQ(c.mode, split->preferredDisplayMode());
        EXPECT_EQ(!c.primaryFrame.isEmpty(), list->isVisible());
        if (!c.primaryFrame.isEmpty()) {
            EXPECT_EQ(c.primaryFrame, primary->view()->frame());
        }
        EXPECT_EQ(c.secondaryFrame, detail->view()->frame());
        EXPECT_TRUE(editor->isVisible());
    }
    // Going off screen and back with the mode: the list comes back once.
    EXPECT_EQ((Lines{"List.willDisappear", "List.didDisappear", "List.willAppear", "List.didAppear"}), log->take());
}

TEST_F(SplitViewControllerTest, ByDefaultCollapsingPushesTheDetailAndExpandingPopsItBack) {
    Device::current().setUserInterfaceIdiom(UserInterfaceIdiom::Pad);
    show();
    log->take();

    useIdiom(UserInterfaceIdiom::Phone);
    EXPECT_TRUE(split->isCollapsed());
    ASSERT_FALSE(log->lines.empty());
    EXPECT_EQ("collapse Detail onto Primary", log->take().front());
    EXPECT_EQ(std::vector<std::shared_ptr<ViewController>>{primary}, split->viewControllers());
    ASSERT_EQ(2u, primary->viewControllers().size());
    EXPECT_EQ(detail, primary->topViewController());
    EXPECT_EQ(primary, detail->parentViewController());
    EXPECT_TRUE(editor->isVisible());
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(window->bounds(), primary->view()->frame());

    useIdiom(UserInterfaceIdiom::Pad);
    EXPECT_FALSE(split->isCollapsed());
    ASSERT_FALSE(log->lines.empty());
    EXPECT_EQ("separate from Primary", log->take().front());
    EXPECT_EQ((std::vector<std::shared_ptr<ViewController>>{primary, detail}), split->viewControllers());
    EXPECT_EQ(std::vector<std::shared_ptr<ViewController>>{list}, primary->viewControllers());
    // The pop's end does not take the detail from its new parent.
    drainMainLoop();
    EXPECT_EQ(split, detail->parentViewController());
    EXPECT_TRUE(list->isVisible());
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(Rect(320, 0, 680, 700), detail->view()->frame());
}

TEST_F(SplitViewControllerTest, ADelegateThatHandlesTheCollapseDropsTheDetailAndGivesANewOne) {
    Device::current().setUserInterfaceIdiom(UserInterfaceIdiom::Pad);
    show();
    delegate->handlesCollapse = true;
    useIdiom(UserInterfaceIdiom::Phone);
    EXPECT_TRUE(split->isCollapsed());
    EXPECT_EQ(std::vector<std::shared_ptr<ViewController>>{list}, primary->viewControllers());
    EXPECT_EQ(nullptr, detail->parentViewController());
    EXPECT_FALSE(editor->isVisible());
    EXPECT_TRUE(list->isVisible());

    auto fresh = std::make_shared<Probe<>>("Fresh", log);
    delegate->separated = fresh;
    useIdiom(UserInterfaceIdiom::Pad);
    EXPECT_EQ((std::vector<std::shared_ptr<ViewController>>{primary, fresh}), split->viewControllers());
    EXPECT_TRUE(fresh->isVisible());
}

TEST_F(SplitViewControllerTest, APrimaryThatSeparatesItselfIsAskedWhenTheDelegateGivesNothing) {
    Device::current().setUserInterfaceIdiom(UserInterfaceIdiom::Pad);
    auto own = std::make_shared<OwnSecondaryPrimary>("Own", log);
    own->setViewControllers({list}, false);
    show(own);
    delegate->handlesCollapse = true;
    useIdiom(UserInterfaceIdiom::Phone);

    own->fresh = std::make_shared<Probe<>>("Fresh", log);
    useIdiom(UserInterfaceIdiom::Pad);
    EXPECT_EQ(1, own->asked);
    EXPECT_EQ((std::vector<std::shared_ptr<ViewController>>{own, own->fresh}), split->viewControllers());

    // Nothing to separate: one column of the primary, not collapsed.
    useIdiom(UserInterfaceIdiom::Phone);
    own->fresh = nullptr;
    useIdiom(UserInterfaceIdiom::Pad);
    EXPECT_FALSE(split->isCollapsed());
    EXPECT_EQ(std::vector<std::shared_ptr<ViewController>>{own}, split->viewControllers());
    EXPECT_EQ(window->bounds(), own->view()->frame());
}

TEST_F(SplitViewControllerTest, ShownInACompactWidthItCollapsesBeforeItAppears) {
    log->take();
    show();
    EXPECT_TRUE(split->isCollapsed());
    const Lines lines = log->take();
    // Asked before anything appears.
    auto asked = std::find(lines.begin(), lines.end(), "collapse Detail onto Primary");
    ASSERT_NE(lines.end(), asked);
    EXPECT_LT(asked, std::find(lines.begin(), lines.end(), "Editor.willAppear"));
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "collapse Detail onto Primary"));
    EXPECT_EQ(detail, primary->topViewController());
    EXPECT_TRUE(editor->isVisible());
    // The editor appears once, on top of the stack.
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "Editor.didAppear"));

    // A secondary set while collapsed is collapsed at once.
    auto other = std::make_shared<Probe<NavigationController>>("Other", log);
    delegate->handlesCollapse = true;
    split->setViewControllers({primary, other});
    EXPECT_EQ(std::vector<std::shared_ptr<ViewController>>{primary}, split->viewControllers());
    EXPECT_EQ(nullptr, other->parentViewController());
}

// Collapsed, the detail's bar is the one on screen: a tap where its items
// are drawn reaches them (no bar of the primary lies over them), and its back
// button at its root goes back to the list. Expanded again, it has no back.
TEST_F(SplitViewControllerTest, CollapsedTheDetailsOwnBarTakesTapsAndGoesBackToTheList) {
    int added = 0;
    auto add = BarButtonItem::withSystemItem(BarButtonSystemItem::Add, [&](BarButtonItem&) { ++added; });
    list->setTitle("List");
    editor->navigationItem().setRightBarButtonItems({add}, false);
    show();
    ASSERT_TRUE(split->isCollapsed());
    ASSERT_EQ(detail, primary->topViewController());
    drainMainLoop();

    // The bar's items change while it is shown: the new one takes the tap.
    auto next = BarButtonItem::withTitle("Next", BarButtonItemStyle::Plain, [&](BarButtonItem&) { added += 10; });
    editor->navigationItem().setRightBarButtonItems({add, next}, false);
    for (const auto& item : {add, next}) {
        auto view = item->view();
        ASSERT_TRUE(view && view->window());
        UIDriver::tap(*window, view->convertPointToView(view->bounds().center(), nullptr));
    }
    EXPECT_EQ(11, added);

    auto back = detail->navigationBar()->backButtonItem();
    ASSERT_TRUE(back);
    auto view = back->view();
    UIDriver::tap(*window, view->convertPointToView(view->bounds().center(), nullptr));
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(std::vector<std::shared_ptr<ViewController>>{list}, primary->viewControllers());
    EXPECT_TRUE(list->isVisible());
    EXPECT_FALSE(primary->navigationBar()->isHidden());

    primary->pushViewController(detail, false);
    drainMainLoop();
    useIdiom(UserInterfaceIdiom::Pad);
    advance(ViewController::kTransitionDuration);
    ASSERT_FALSE(split->isCollapsed());
    EXPECT_EQ(nullptr, detail->navigationBar()->backButtonItem());
}
