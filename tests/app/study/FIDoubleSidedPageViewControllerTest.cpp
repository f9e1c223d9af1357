#include <gtest/gtest.h>

#include <cmath>

#include "app/study/FIDoubleSidedPageViewController.h"
#include "model/TWLogger.h"
#include "platform/foundation/Error.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SnapshotView.h"
#include "platform/ui/TransitionCoordinator.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using namespace memorant_test;
using Pager = FIDoubleSidedPageViewController;

namespace {

struct PageProbe : ViewController, FIContentInsetChangeListener {
    std::int64_t page = -1;
    EdgeInsets insets{-1, -1, -1, -1};
    void scrollViewContentInsetDidChange(const EdgeInsets& i) override { insets = i; }
};

struct PagerSource : FIDoubleSidedPageViewControllerDataSource, FIDoubleSidedPageViewControllerDelegate {
    std::int64_t count = 5;
    std::int64_t refuse = -1;  // a page the source has no controller for
    int made = 0, prepared = 0, recycled = 0;
    std::vector<double> positions;
    std::vector<std::pair<double, double>> announced;
    std::int64_t numberOfPagesForDoubleSidedPageViewController(Pager&) override { return count; }
    std::shared_ptr<ViewController> doubleSidedPageViewControllerViewControllerForPageNumber(Pager&,
                                                                                             std::int64_t p) override {
        if (p == refuse) return nullptr;
        ++made;
        EXPECT_FALSE(View::areAnimationsEnabled());
        auto probe = std::make_shared<PageProbe>();
        probe->page = p;
        return probe;
    }
    void doubleSidedPageViewControllerPrepareRecycledViewController(Pager&, const std::shared_ptr<ViewController>& c,
                                                                    std::int64_t p) override {
        ++prepared;
        std::static_pointer_cast<PageProbe>(c)->page = p;
    }
    void doubleSidedPageViewControllerDidRecycleViewController(Pager&,
                                                               const std::shared_ptr<ViewController>& c) override {
        ++recycled;
        std::static_pointer_cast<PageProbe>(c)->page = -1;
    }
    void doubleSidedPageViewControllerDidChangeRelativePagePosition(Pager&, double position) override {
        positions.push_back(position);
    }
    void doubleSidedPageViewControllerWillAnimateRelativePagePosition(Pager&, double position, double d) override {
        announced.emplace_back(position, d);
    }
};

struct CountingPager : Pager {
    int lastPageCalls = 0;
    void willShowLastPage() override { ++lastPageCalls; }
};

bool backlogContains(const std::string& text) {
    for (const auto& line : TWLogger::sharedInstance().messageBacklog())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

constexpr double W = 390;  // the phone's width
constexpr double S = W + 10;

}  // namespace

TEST(FIDoubleSidedPageGeometryTest, SidesOffsetsPagesAndPositions) {
    // Side k: offset, and back from that offset to k and its page.
    struct Case {
        std::int64_t k;
        double x;
        std::int64_t page;
    };
    for (const Case& c : {Case{2, 810, 0}, Case{3, 1200, 0}, Case{4, 1610, 1}, Case{7, 2800, 2}, Case{11, 4400, 4}}) {
        EXPECT_DOUBLE_EQ(c.x, Pager::offsetForTargetIndex(c.k, W).x) << c.k;
        EXPECT_EQ(c.k, Pager::targetIndexForContentOffset(c.x, W, 5)) << c.k;
        EXPECT_EQ(c.page, Pager::pageNumberForTargetIndex(c.k));
        EXPECT_DOUBLE_EQ(c.x, Pager::originForPageTargetIndex(c.k - 2, W).x);
        EXPECT_EQ(Rect(c.x - (c.k % 2 ? W : 0), 0, 2 * W, 700), Pager::frameForPageNumber(c.page, W, 700));
    }
    // Clamped to 2 … 2n + 1; the quotient is taken in single precision, so an
    // offset a hair below a side's start in double still counts as that side.
    EXPECT_EQ(2, Pager::targetIndexForContentOffset(0, W, 5));
    EXPECT_EQ(11, Pager::targetIndexForContentOffset(1e6, W, 5));
    EXPECT_EQ(2, Pager::targetIndexForContentOffset(50, W, 0));
    EXPECT_EQ(4, Pager::targetIndexForContentOffset(1600 - 1e-9, W, 5));
    EXPECT_EQ(3, Pager::targetIndexForContentOffset(1600 - 1e-3, W, 5));

    // The position: p from question to answer of page p, then up to p + 1.
    struct Position {
        double x, position;
    };
    for (const Position& c : {Position{810, 0}, Position{1200, 0}, Position{1205, 0.0125}, Position{1410, 0.525},
                              Position{1610, 1}, Position{2000, 1}, Position{2610, 2}, Position{2900, 2.25}})
        EXPECT_NEAR(c.position, Pager::pageTurnProgressForContentOffset(c.x, W), 1e-9) << c.x;
}

TEST(FIDoubleSidedPageGeometryTest, SnappingOnPhoneAndPad) {
    struct Case {
        const char* what;
        double x, v;
        bool pad, forward;
        std::int64_t k;
        bool manual;
    };
    const Case cases[] = {
        {"phone, under half a side", 4 * S + 0.49 * S, 0, false, true, 4, false},
        {"phone, at half a side", 4 * S + 0.5 * S, 0, false, true, 5, false},
        {"pad forward, past a fifth", 4 * S + 0.21 * S, 0, true, true, 5, false},
        {"pad forward, at a fifth", 4 * S + 0.2 * S, 0, true, true, 4, false},
        {"pad backward, nearly whole", 4 * S + 0.9 * S, 0, true, false, 4, false},
        {"fast forward", 4 * S, 2.0, false, true, 5, false},
        {"just under fast forward", 4 * S, 1.99, false, true, 4, true},
        {"fast back", 4 * S, -2.0, false, false, 3, false},
        {"just under fast back", 4 * S, -1.99, false, false, 4, true},
        {"slow forward, over half", 4 * S + 0.6 * S, 0.5, false, true, 5, true},
        {"fast forward never past 2n", 10 * S, 3, false, true, 10, false},
        {"never 2n + 1", 11 * S + 0.6 * S, 0, false, true, 10, false},
        {"beyond the end, moving on", 11 * S, 2.5, false, true, 10, true},
        {"before the start, moving back", 1 * S + 0.1 * S, -3, false, false, 2, true},
        {"first side, fast back", 2 * S, -2.5, false, false, 2, false},
    };
    for (const Case& c : cases) {
        const auto snap = Pager::closestPageOffset(c.x, c.v, W, 5, c.pad, c.forward);
        EXPECT_EQ((Pager::Snap{c.k, c.manual}), snap) << c.what;
    }
}

class FIDoubleSidedPageViewControllerTest : public UITest {
protected:
    std::shared_ptr<Window> window = std::make_shared<Window>();
    std::shared_ptr<CountingPager> pager = std::make_shared<CountingPager>();
    std::shared_ptr<PagerSource> source = std::make_shared<PagerSource>();
    std::shared_ptr<View> toolbar = std::make_shared<View>(Rect(0, 784, W, 60));

    void SetUp() override {
        pager->setDataSource(source);
        pager->setDelegate(source);
        window->setRootViewController(pager);
        window->makeKeyAndVisible();
        pager->view()->addSubview(toolbar);
        pager->setBottomToolbar(toolbar);
        pager->reloadData();
    }
    void TearDown() override {
        window->setHidden(true);
        UITest::TearDown();
    }
    double offset() const { return pager->scrollView()->contentOffset().x; }
    std::int64_t side() const { return pager->currentTargetIndex(); }
    std::shared_ptr<PageProbe> probe(std::int64_t page) const {
        auto& visible = pager->visiblePageViewControllersByPageNumber();
        auto found = visible.find(page);
        return found == visible.end() ? nullptr : std::static_pointer_cast<PageProbe>(found->second);
    }
    std::vector<std::int64_t> visiblePages() const {
        std::vector<std::int64_t> pages;
        for (auto& [page, controller] : pager->visiblePageViewControllersByPageNumber()) {
            EXPECT_EQ(page, std::static_pointer_cast<PageProbe>(controller)->page);
            EXPECT_EQ(pager->scrollView().get(), controller->view()->superview());
            EXPECT_EQ(Pager::frameForPageNumber(page, W, 844), controller->view()->frame());
            pages.push_back(page);
        }
        return pages;
    }
    // A drag of the content by dx points released with a velocity (points per second on screen).
    void drag(double dx, double velocityPerSecond = 0) {
        ASSERT_TRUE(UIDriver::pan(*window, {200, 400}, {-dx, 0}, {-velocityPerSecond, 0}, 2));
    }
};

TEST_F(FIDoubleSidedPageViewControllerTest, ReloadShowsTheFirstQuestionWithItsNeighbours) {
    EXPECT_EQ(2, side());
    EXPECT_EQ(0, pager->currentPageNumber());
    EXPECT_EQ(Size(Pager::slotWidth(W) * 7, 844), pager->scrollView()->contentSize());
    // The sides in view, widened by one side on each end: pages 0 and 1.
    EXPECT_EQ((std::vector<std::int64_t>{0, 1}), visiblePages());
    EXPECT_EQ(probe(0), pager->currentPageViewController());
    EXPECT_EQ(pager.get(), probe(0)->parentViewController().get());
    EXPECT_EQ((EdgeInsets{0, 0, 60, 0}), probe(0)->insets);
    EXPECT_TRUE(pager->scrollView()->isScrollEnabled());
    EXPECT_DOUBLE_EQ(ScrollView::kDecelerationRateFast, pager->scrollView()->decelerationRate());

    // Moving on recycles what leaves and reuses it for what comes.
    pager->nextPageAnimated(false);
    pager->nextPageAnimated(false);
    EXPECT_EQ(6, side());
    EXPECT_EQ((std::vector<std::int64_t>{1, 2, 3}), visiblePages());
    EXPECT_EQ(1, source->recycled);
    EXPECT_EQ(1, source->prepared);
    EXPECT_EQ(3, source->made);
    pager->nextPageAnimated(false);
    EXPECT_EQ((std::vector<std::int64_t>{2, 3, 4}), visiblePages());
    EXPECT_EQ(2, source->prepared);
    EXPECT_EQ(3, source->made);

    // A reload starts over on side 2 with the new count.
    source->count = 2;
    pager->reloadData();
    EXPECT_EQ(2, side());
    EXPECT_EQ((std::vector<std::int64_t>{0, 1}), visiblePages());
    EXPECT_TRUE(pager->recycledPageViewControllers().empty());

    // A reload without a data source keeps everything.
    pager->setDataSource({});
    pager->reloadData();
    EXPECT_EQ((std::vector<std::int64_t>{0, 1}), visiblePages());
}

TEST_F(FIDoubleSidedPageViewControllerTest, DragsAndFlingsSnapToWholeSides) {
    // A drag released just past half a side without speed goes on to the answer.
    drag(0.5 * S + 1);
    advance(1);
    EXPECT_DOUBLE_EQ(Pager::offsetForTargetIndex(3, W).x, offset());
    drag(-(0.5 * S - 2));
    advance(1);
    EXPECT_EQ(3, side());

    // A slow fling stopping inside a side is finished by the pager's own animation.
    source->announced.clear();
    drag(0.45 * S, 500);  // would stop at 0.45 S + 49.5 points into side 3
    EXPECT_EQ(1u, source->announced.size());
    EXPECT_DOUBLE_EQ(Pager::kManualSnapDuration, source->announced[0].second);
    auto shown = std::get<Rect>(*pager->scrollView()->layer().presentationValueForKey("bounds")).origin.x;
    EXPECT_DOUBLE_EQ(Pager::offsetForTargetIndex(3, W).x + 0.45 * S, shown);
    const auto target = Pager::offsetForTargetIndex(4, W).x;
    EXPECT_DOUBLE_EQ(target, offset());
    EXPECT_NEAR(1.0, source->announced[0].first, 1e-9);
    advance(Pager::kManualSnapDuration);
    EXPECT_EQ(4, side());
    EXPECT_NEAR(1.0, source->positions.back(), 1e-9);

    // A fast fling goes one side beyond where it would stop: from side 4 it
    // would come to rest 267.5 points into side 4, past half, so on side 5;
    // it lands on side 6.
    drag(10, 2500);
    EXPECT_TRUE(pager->scrollView()->isDecelerating());
    advance(ScrollView::kDecelerationDuration);
    EXPECT_EQ(6, side());

    // Never beyond side 2n, and never onto side 2n + 1.
    pager->nextPageAnimated(false);
    pager->scrollToNextPage();
    advance(1);
    ASSERT_EQ(9, side());
    drag(10, 3000);
    advance(1);
    EXPECT_EQ(10, side());
    EXPECT_EQ(1, pager->lastPageCalls);
}

TEST_F(FIDoubleSidedPageViewControllerTest, TapsStepSideBySideAndTheLastPageEndsScrolling) {
    pager->scrollToPreviousPage();
    advance(1);
    EXPECT_EQ(2, side());
    pager->scrollToNextPage();
    advance(ScrollView::kScrollAnimationDuration);
    EXPECT_EQ(3, side());

    // From an answer the turn takes 0.4 s, from a question 0.8 s.
    int done = 0;
    pager->nextPageAnimated(true, [&] { ++done; });
    advance(0.39);
    EXPECT_EQ(0, done);
    advance(0.01);
    EXPECT_EQ(1, done);
    EXPECT_EQ(4, side());
    pager->nextPageAnimated(true, [&] { ++done; });
    advance(0.79);
    EXPECT_EQ(1, done);
    advance(0.01);
    EXPECT_EQ(2, done);

    // Reaching the last page by scrolling: scrolling stops once, the bar goes down.
    pager->nextPageAnimated(false);
    EXPECT_EQ(0, pager->lastPageCalls);
    pager->scrollToNextPage();
    advance(ScrollView::kScrollAnimationDuration);
    pager->scrollToNextPage();
    advance(ScrollView::kScrollAnimationDuration);
    EXPECT_EQ(4, pager->currentPageNumber());
    EXPECT_EQ(1, pager->lastPageCalls);
    EXPECT_FALSE(pager->scrollView()->isScrollEnabled());
    EXPECT_DOUBLE_EQ(784 + 30 + 60, toolbar->center().y);
    EXPECT_FALSE(UIDriver::pan(*window, {200, 400}, {S, 0}));

    pager->reloadData();
    EXPECT_TRUE(pager->scrollView()->isScrollEnabled());
}

TEST_F(FIDoubleSidedPageViewControllerTest, MoveIntoThePileKeepsTheNextPageInPlace) {
    pager->scrollToNextPage();
    advance(1);
    pager->nextPageAnimated(false);  // page 1, question
    auto current = probe(1);
    auto next = probe(2);
    ASSERT_NE(nullptr, next);
    current->view()->layer().setShadowRadius(4);
    current->view()->layer().setShadowOpacity(0.4);

    int done = 0;
    pager->moveCurrentPageToPageNumber(3, [&] { ++done; });
    EXPECT_TRUE(current->view()->isHidden());
    auto& subviews = pager->scrollView()->subviews();
    auto found = std::find(subviews.begin(), subviews.end(), current->view());
    ASSERT_NE(subviews.begin(), found);
    auto snapshot = std::dynamic_pointer_cast<SnapshotView>(*(found - 1));
    ASSERT_NE(nullptr, snapshot);
    EXPECT_DOUBLE_EQ(4, snapshot->layer().shadowRadius());
    EXPECT_DOUBLE_EQ(0.4, snapshot->layer().shadowOpacity());
    EXPECT_NE(nullptr, snapshot->layer().animationForKey("position"));

    advance(Pager::kMoveIntoPileDuration);
    EXPECT_EQ(0, done);
    const Point c{Pager::offsetForTargetIndex(4, W).x + W / 2, 422};
    EXPECT_EQ((Point{c.x + 2 * 2 * W, c.y}), snapshot->center());
    advance(Pager::kMoveOffScreenDuration);
    EXPECT_EQ(1, done);
    EXPECT_EQ(nullptr, snapshot->superview());
    EXPECT_FALSE(current->view()->isHidden());
    EXPECT_EQ(4, side());
    // The controller of the page that followed now shows page 1; the old one is recycled.
    EXPECT_EQ(next, probe(1));
    EXPECT_EQ(Pager::frameForPageNumber(1, W, 844), next->view()->frame());
    EXPECT_NE(1, current->page);
    EXPECT_GE(source->recycled, 1);
}

TEST_F(FIDoubleSidedPageViewControllerTest, MoveWithoutAControllerEndsAndItsMistakesAreNamed) {
    // A missing next controller is added, with a DEBUG line.
    TWLogger::sharedInstance().setMaxLogLevel(TWLogger::LevelDebug);
    source->refuse = 1;
    pager->reloadData();
    ASSERT_EQ(nullptr, probe(1));
    source->refuse = -1;
    bool done = false;
    pager->moveCurrentPageToPageNumber(2, [&] { done = true; });
    EXPECT_TRUE(backlogContains("Was missing next view controller for page: 1. Added one."));
    advance(1);
    EXPECT_TRUE(done);

    // With no controller for the current page the move logs and still ends.
    source->count = 0;
    pager->reloadData();
    done = false;
    pager->moveCurrentPageToPageNumber(0, [&] { done = true; });
    EXPECT_TRUE(backlogContains("No page view controller for current page: 0"));
    EXPECT_TRUE(done);

    // A next page that lost its controller during the move is a programming error.
    source->count = 5;
    source->refuse = 1;
    pager->reloadData();
    pager->moveCurrentPageToPageNumber(3);
    try {
        advance(1);
        ADD_FAILURE() << "no exception";
    } catch (const NamedException& e) {
        EXPECT_EQ("FIDoubleSidedPageViewControllerError", e.name());
        EXPECT_STREQ(
            "Next view controller is nil. toPageNumber: 3 currentPageNumber: 0 numberOfPages: 5 we had "
            "pageViewControllers for pages: 0, 2",
            e.reason());
    }
    TWLogger::sharedInstance().setMaxLogLevel(TWLogger::LevelInfo);
}

TEST_F(FIDoubleSidedPageViewControllerTest, RotationKeepsTheSameSideInView) {
    pager->nextPageAnimated(false);
    pager->nextPageAnimated(false);
    pager->nextPageAnimated(false);
    pager->scrollToNextPage();
    advance(1);
    ASSERT_EQ(9, side());  // page 3's answer
    transitionViewControllerToSize(*pager, {844, 390});
    EXPECT_EQ(7, pager->targetIndexBeforeRotating());
    advance(0.3);
    EXPECT_EQ(Size(Pager::slotWidth(844) * 7, 390), pager->scrollView()->contentSize());
    EXPECT_DOUBLE_EQ(Pager::offsetForTargetIndex(9, 844).x, offset());
    EXPECT_EQ(3, pager->currentPageNumber());
    EXPECT_EQ(Pager::frameForPageNumber(3, 844, 390), probe(3)->view()->frame());
}

TEST_F(FIDoubleSidedPageViewControllerTest, PagesLearnTheBarsAroundThemInANavigationController) {
    auto navigated = std::make_shared<Pager>();
    navigated->setDataSource(source);
    auto navigation = std::make_shared<NavigationController>(navigated);
    window->setRootViewController(navigation);
    navigated->reloadData();
    auto page = std::static_pointer_cast<PageProbe>(navigated->currentPageViewController());
    ASSERT_NE(nullptr, page);
    const Rect bar = navigation->navigationBar()->frame();
    EXPECT_EQ((EdgeInsets{bar.origin.y + bar.size.height, 0, 0, 0}), page->insets);
    navigated->setBottomToolbar(toolbar);
    navigated->viewWillAppear(false);
    EXPECT_EQ((EdgeInsets{bar.origin.y + bar.size.height, 0, 60, 0}), page->insets);
}
