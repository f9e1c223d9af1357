#include <gtest/gtest.h>

#include "platform/ui/ScrollView.h"
#include "platform/ui/SnapshotView.h"
#include "platform/ui/TransitionCoordinator.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/ViewController.h"

using namespace memorant_test;

namespace {
struct FlingLog : ScrollViewDelegate {
    std::vector<std::string> calls;
    Point velocity;
    Point proposed;
    bool stop = false;
    void scrollViewWillEndDragging(ScrollView& s, Point v, Point* t) override {
        velocity = v;
        proposed = *t;
        if (stop) s.setContentOffset(s.contentOffset());
        calls.push_back("willEnd");
    }
    void scrollViewDidEndDragging(ScrollView&, bool decelerate) override {
        calls.push_back(decelerate ? "didEnd moving" : "didEnd");
    }
    void scrollViewDidEndDecelerating(ScrollView&) override { calls.push_back("decelerated"); }
    void scrollViewDidEndScrollingAnimation(ScrollView&) override { calls.push_back("animated"); }
};
}  // namespace

class ScrollFlingAndTransitionTest : public UITest {};

TEST_F(ScrollFlingAndTransitionTest, AFlingDeceleratesToItsTargetOnTheClock) {
    auto root = std::make_shared<View>(Rect(0, 0, 100, 50));
    auto scroll = std::make_shared<ScrollView>(Rect(0, 0, 100, 50));
    root->addSubview(scroll);
    scroll->setContentSize({5000, 50});
    scroll->setDecelerationRate(ScrollView::kDecelerationRateFast);
    auto log = std::make_shared<FlingLog>();
    scroll->setDelegate(log);

    // 1000 points per second to the left: 1 point per millisecond along the
    // offset, coming to rest 99 points further at the fast rate.
    ASSERT_TRUE(UIDriver::pan(*root, {50, 25}, {-20, 0}, {-1000, 0}));
    EXPECT_EQ((Point{1, 0}), log->velocity);
    EXPECT_NEAR(119, log->proposed.x, 1e-9);
    EXPECT_TRUE(scroll->isDecelerating());
    EXPECT_EQ((std::vector<std::string>{"willEnd", "didEnd moving"}), log->calls);
    advance(ScrollView::kDecelerationDuration - 0.01);
    EXPECT_TRUE(scroll->isDecelerating());
    advance(0.01);
    EXPECT_EQ((std::vector<std::string>{"willEnd", "didEnd moving", "decelerated"}), log->calls);
    EXPECT_NEAR(119, scroll->contentOffset().x, 1e-9);

    // A fling at the normal rate towards the start stops at the edge.
    scroll->setDecelerationRate(ScrollView::kDecelerationRateNormal);
    UIDriver::pan(*root, {50, 25}, {0, 0}, {1000, 0});
    EXPECT_DOUBLE_EQ(0, log->proposed.x);
    advance(1);

    // Setting the offset while asked stops the scroll where it is.
    log->calls.clear();
    log->stop = true;
    UIDriver::pan(*root, {50, 25}, {-30, 0}, {-3000, 0});
    EXPECT_EQ((std::vector<std::string>{"willEnd", "didEnd"}), log->calls);
    EXPECT_FALSE(scroll->isDecelerating());
    EXPECT_DOUBLE_EQ(30, scroll->contentOffset().x);
}

namespace {
struct SizeProbe : ViewController {
    std::vector<std::string> calls;
    void viewWillTransitionToSize(Size size,
                                  const std::shared_ptr<ViewControllerTransitionCoordinator>& coordinator) override {
        ViewController::viewWillTransitionToSize(size, coordinator);
        calls.push_back("will " + std::to_string(static_cast<int>(size.width)) + " at " +
                        std::to_string(static_cast<int>(view()->bounds().size.width)));
        coordinator->animateAlongsideTransition(
            [this] {
                calls.push_back("alongside at " + std::to_string(static_cast<int>(view()->bounds().size.width)));
            },
            [this] { calls.push_back("completed"); });
    }
};
}  // namespace

TEST_F(ScrollFlingAndTransitionTest, SizeTransitionsReachChildrenAndCompleteOnTheClock) {
    auto parent = std::make_shared<SizeProbe>();
    auto child = std::make_shared<SizeProbe>();
    parent->view()->setFrame(Rect(0, 0, 390, 844));
    parent->addChildViewController(child);
    parent->view()->addSubview(child->view());
    child->didMoveToParentViewController(parent.get());

    transitionViewControllerToSize(*parent, {844, 390}, 0.3);
    EXPECT_EQ((std::vector<std::string>{"will 844 at 390", "alongside at 844"}), parent->calls);
    EXPECT_EQ(2u, child->calls.size());
    EXPECT_NE(nullptr, parent->view()->layer().animationForKey("bounds"));
    advance(0.3);
    EXPECT_EQ("completed", parent->calls.back());
    EXPECT_EQ("completed", child->calls.back());
}

TEST_F(ScrollFlingAndTransitionTest, ASnapshotKeepsWhatTheViewShowed) {
    auto view = std::make_shared<View>(Rect(10, 20, 40, 30));
    view->setBackgroundColor(Color::redColor());
    auto snapshot = SnapshotView::snapshotOfView(*view, true);
    view->setBackgroundColor(Color::blueColor());
    EXPECT_EQ(Rect(0, 0, 40, 30), snapshot->frame());
    EXPECT_EQ(view, snapshot->snapshottedView());
    EXPECT_FALSE(snapshot->isUserInteractionEnabled());
    auto image = renderPNG(*snapshot, "snapshot");
    EXPECT_TRUE(colorNear(image->colorAtPixel(20, 15), Color::redColor()));
}
