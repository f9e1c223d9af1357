#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ControllerProbe.h"
#include "platform/ui/AttributedString.h"
#include "platform/ui/PageViewController.h"
#include "platform/ui/PathAnimation.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using namespace memorant_test;
using Direction = PageViewControllerNavigationDirection;

namespace {

// Pages 0..count-1 named by number, with a log of what the delegate hears.
struct Pages : PageViewControllerDataSource, PageViewControllerDelegate {
    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    std::vector<std::shared_ptr<Probe<>>> pages;
    explicit Pages(int count) {
        for (int i = 0; i < count; ++i) pages.push_back(std::make_shared<Probe<>>(std::to_string(i), log));
    }
    int indexOf(ViewController& page) const {
        for (std::size_t i = 0; i < pages.size(); ++i) {
            if (pages[i].get() == &page) return static_cast<int>(i);
        }
        return -1;
    }
    std::shared_ptr<ViewController> at(int i) const {
        return i >= 0 && i < static_cast<int>(pages.size()) ? pages[static_cast<std::size_t>(i)] : nullptr;
    }
    std::shared_ptr<ViewController> pageViewControllerViewControllerBefore(PageViewController&,
                                                                           ViewController& page) override {
        return at(indexOf(page) - 1);
    }
    std::shared_ptr<ViewController> pageViewControllerViewControllerAfter(PageViewController&,
                                                                          ViewController& page) override {
        return at(indexOf(page) + 1);
    }
    void pageViewControllerWillTransitionTo(PageViewController&,
                                            const std::vector<std::shared_ptr<ViewController>>& pending) override {
        log->add("will:" + *pending.front()->title());
    }
    void pageViewControllerDidFinishAnimating(PageViewController&, bool finished,
                                              const std::vector<std::shared_ptr<ViewController>>& previous,
                                              bool completed) override {
        log->add("did:" + *previous.front()->title() + (finished ? ",finished" : "") + (completed ? ",completed" : ""));
    }
};

class PageViewControllerTest : public UITest {};

}  // namespace

TEST_F(PageViewControllerTest, SwipesThroughTheDataSourceAndTellsTheDelegate) {
    auto pages = std::make_shared<Pages>(3);
    auto container = std::make_shared<PageViewController>();
    container->setDataSource(pages);
    container->setDelegate(pages);
    auto window = std::make_shared<Window>();
    window->setRootViewController(container);
    window->makeKeyAndVisible();
    container->setViewControllers({pages->pages[0]}, Direction::Forward, false);
    EXPECT_EQ(container->childViewControllers(), (std::vector<std::shared_ptr<ViewController>>{pages->pages[0]}));
    EXPECT_EQ(pages->pages[0]->view()->superview(), container->view().get());
    EXPECT_EQ(pages->pages[0]->view()->frame(), container->view()->bounds());
    pages->log->take();

    EXPECT_FALSE(container->swipe(Direction::Reverse));  // nothing before the first page
    EXPECT_TRUE(pages->log->take().empty());

    ASSERT_TRUE(container->swipe(Direction::Forward));
    EXPECT_EQ(container->viewControllers().back(), pages->pages[1]);
    EXPECT_EQ(container->childViewControllers().size(), 1u);
    EXPECT_EQ(pages->log->take(),
              (std::vector<std::string>{"will:1", "0.willMove(nil)", "0.willDisappear", "0.didDisappear",
                                        "0.didMove(nil)", "1.willMove", "1.didLoad", "1.willAppear", "1.didAppear",
                                        "1.didMove", "did:0,finished,completed"}));

    // Let go before the middle: the shown page stays.
    ASSERT_TRUE(container->swipe(Direction::Forward, false));
    EXPECT_EQ(container->viewControllers().back(), pages->pages[1]);
    EXPECT_EQ(pages->log->take(), (std::vector<std::string>{"will:2", "did:1,finished"}));

    ASSERT_TRUE(container->swipe(Direction::Reverse));
    EXPECT_EQ(container->viewControllers().back(), pages->pages[0]);
    EXPECT_EQ(container->lastDirection(), Direction::Reverse);
}

TEST_F(PageViewControllerTest, WithoutADataSourceNothingMoves) {
    auto container = std::make_shared<PageViewController>();
    auto page = std::make_shared<ViewController>();
    container->setViewControllers({page}, Direction::Forward, false);
    EXPECT_FALSE(container->swipe(Direction::Forward));
    {
        auto pages = std::make_shared<Pages>(2);
        container->setDataSource(pages);
    }
    EXPECT_FALSE(container->swipe(Direction::Forward));  // held weakly
    EXPECT_EQ(container->viewControllers().back(), page);
}

TEST_F(PageViewControllerTest, KeyframePathAnimationFollowsTheCurveAndRepeats) {
    Path path;
    path.moveTo({100, 50});
    KeyframePathAnimation::addQuadCurve(path, {100, 50}, {60, 20}, {20, 50});
    path.lineTo({20, 80});
    auto move = KeyframePathAnimation::animationWithKeyPath("position");
    move->setPath(path);
    // Two segments share the time; the quadratic curve's middle lies halfway to its control point.
    EXPECT_EQ(move->pointAtFraction(0), (Point{100, 50}));
    const Point middle = *move->pointAtFraction(0.25);
    EXPECT_NEAR(middle.x, 60, 1e-9);
    EXPECT_NEAR(middle.y, 35, 1e-9);
    EXPECT_EQ(move->pointAtFraction(0.5), (Point{20, 50}));
    EXPECT_EQ(move->pointAtFraction(0.75), (Point{20, 65}));
    EXPECT_EQ(KeyframePathAnimation::animationWithKeyPath("position")->pointAtFraction(0.5), std::nullopt);

    // On a layer, repeated, holding the end.
    auto layer = Layer::layer();
    layer->setPosition({0, 0});
    move->setDuration(1);
    move->setRepeatCount(3);
    move->setFillMode(FillMode::Forwards);
    move->setRemovedOnCompletion(false);
    layer->addAnimation(move, std::string("move"));
    advance(1.25);
    auto shown = layer->presentationValueForKey("position");
    ASSERT_TRUE(shown);
    EXPECT_NEAR(std::get<Point>(*shown).x, 60, 1e-9);
    advance(2.0);
    EXPECT_EQ(layer->presentationValueForKey("position"), AnimationValue(Point{20, 80}));
    EXPECT_EQ(layer->animationKeys(), std::vector<std::string>{"move"});
}

TEST(AttributedStringUnderline, RangesAndStyle) {
    AttributedString text("5 questions");
    const std::int64_t dotted = AttributedString::UnderlineStyleSingle | AttributedString::UnderlinePatternDot;
    text.addUnderlineStyle(dotted, Range{0, 2});
    text.addUnderlineStyle(dotted, Range{5, 100});  // cut at the end
    EXPECT_EQ(text.underlineStyleAtIndex(0), dotted);
    EXPECT_EQ(text.underlineStyleAtIndex(2), 0);
    EXPECT_EQ(text.underlineRuns().back().range, (Range{5, 6}));
    EXPECT_EQ(text, text);
    EXPECT_NE(text, AttributedString("5 questions"));
}
