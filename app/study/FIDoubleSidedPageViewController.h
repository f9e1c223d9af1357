#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ScrollView.h"
#include "platform/ui/ViewController.h"

class FIDoubleSidedPageViewController;

// Supplies the pages: their count and their controllers (new or recycled).
class FIDoubleSidedPageViewControllerDataSource {
public:
    virtual ~FIDoubleSidedPageViewControllerDataSource() = default;
    virtual std::int64_t numberOfPagesForDoubleSidedPageViewController(FIDoubleSidedPageViewController& pager) = 0;
    virtual std::shared_ptr<ViewController> doubleSidedPageViewControllerViewControllerForPageNumber(
        FIDoubleSidedPageViewController& pager, std::int64_t pageNumber) = 0;
    virtual void doubleSidedPageViewControllerPrepareRecycledViewController(
        FIDoubleSidedPageViewController& pager, const std::shared_ptr<ViewController>& controller,
        std::int64_t pageNumber) = 0;
    virtual void doubleSidedPageViewControllerDidRecycleViewController(
        FIDoubleSidedPageViewController& pager, const std::shared_ptr<ViewController>& controller) = 0;
};

// Hears where the pager is: a position counted in pages (see
// pageTurnProgressForContentOffset).
class FIDoubleSidedPageViewControllerDelegate {
public:
    virtual ~FIDoubleSidedPageViewControllerDelegate() = default;
    virtual void doubleSidedPageViewControllerDidChangeRelativePagePosition(FIDoubleSidedPageViewController& /*pager*/,
                                                                            double /*position*/) {}
    virtual void doubleSidedPageViewControllerWillAnimateRelativePagePosition(
        FIDoubleSidedPageViewController& /*pager*/, double /*position*/, double /*duration*/) {}
};

// Page controllers that adopt this are told the insets around the pages.
class FIContentInsetChangeListener {
public:
    virtual ~FIContentInsetChangeListener() = default;
    virtual void scrollViewContentInsetDidChange(const EdgeInsets& insets) = 0;
};

// A horizontal pager whose pages have two sides, each as wide as the view:
// the left side of a page is a card's question, the right side its answer.
// The content holds n + 2 slots of width 2w + 20 (slots 0 and n + 1 empty);
// page p sits in slot p + 1 with 10 points on either side. Sides are counted
// by a side index k: side k belongs to page (k − 2) / 2, even k the left
// side; the real sides run from 2 to 2n + 1. The pager snaps to whole sides,
// keeps controllers only for the pages near the visible range and recycles
// the others through the data source.
//
// Raises "FIDoubleSidedPageViewControllerError" (a NamedException) when a
// move into the pile finds no controller for the page that takes the
// current one's place (a programming error).
class FIDoubleSidedPageViewController : public ViewController, public ScrollViewDelegate {
public:
    static constexpr std::int64_t kLeftSideIndexOfFirstRealContentPage = 2;
    static constexpr double kManualSnapDuration = 0.25;
    static constexpr double kNextPageFromAnswerDuration = 0.4;
    static constexpr double kNextPageFromQuestionDuration = 0.8;
    static constexpr double kMoveIntoPileDuration = 0.4;
    static constexpr double kMoveOffScreenDuration = 0.5;
    static constexpr double kToolbarHideDuration = 0.25;

    // --- Geometry (w: the view's width, n: the number of pages) ---
    static double slotWidth(double w) { return 2 * w + 20; }
    static Rect frameForPageNumber(std::int64_t page, double w, double height);
    // The offset that shows side k.
    static Point offsetForTargetIndex(std::int64_t k, double w);
    // The side at an offset: ⌊x / (w + 10)⌋ in single precision, clamped to 2 … 2n + 1.
    static std::int64_t targetIndexForContentOffset(double x, double w, std::int64_t n);
    static std::int64_t pageNumberForTargetIndex(std::int64_t k);
    // The offset of side i + 2 (i counted from the first real side).
    static Point originForPageTargetIndex(std::int64_t i, double w);
    // Pages from 0: p from page p's question to its answer, growing to p + 1
    // on the way to page p + 1's question (scrollWidth: the scroll view's width).
    static double pageTurnProgressForContentOffset(double x, double scrollWidth);
    // Where a drag released with a proposed target x and a velocity v (points
    // per millisecond) comes to rest: the side to snap to, and whether the
    // pager finishes the move with its own animation.
    struct Snap {
        std::int64_t targetIndex;
        bool manualAnimation;
        bool operator==(const Snap&) const = default;
    };
    static Snap closestPageOffset(double x, double v, double w, std::int64_t n, bool pad, bool lastScrollForward);

    FIDoubleSidedPageViewController();
    ~FIDoubleSidedPageViewController() override;

    void setDataSource(std::weak_ptr<FIDoubleSidedPageViewControllerDataSource> dataSource) {
        dataSource_ = std::move(dataSource);
    }
    void setDelegate(std::weak_ptr<FIDoubleSidedPageViewControllerDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    std::shared_ptr<View> bottomToolbar() const { return bottomToolbar_.lock(); }
    void setBottomToolbar(const std::shared_ptr<View>& toolbar) { bottomToolbar_ = toolbar; }
    const std::shared_ptr<ScrollView>& scrollView() const { return scrollView_; }
    std::int64_t numberOfPages() const { return numberOfPages_; }
    const std::map<std::int64_t, std::shared_ptr<ViewController>>& visiblePageViewControllersByPageNumber() const {
        return visible_;
    }
    const std::vector<std::shared_ptr<ViewController>>& recycledPageViewControllers() const { return recycled_; }
    std::int64_t targetIndexBeforeRotating() const { return targetIndexBeforeRotating_; }

    void reloadData();
    // The side the content shows now (2 … 2n + 1).
    std::int64_t currentTargetIndex() const;
    std::int64_t currentPageNumber() const;
    std::shared_ptr<ViewController> currentPageViewController() const;
    void scrollToPreviousPage();
    void scrollToNextPage();
    void nextPageAnimated(bool animated, std::function<void()> completion = {});
    // The data source has moved the current page's item further back (to
    // page toPageNumber): the current page flies into the pile while the
    // next page takes its place.
    void moveCurrentPageToPageNumber(std::int64_t toPageNumber, std::function<void()> completion = {});
    // Called once the last page is reached; nothing here.
    virtual void willShowLastPage() {}

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillLayoutSubviews() override;
    void viewWillTransitionToSize(Size size,
                                  const std::shared_ptr<ViewControllerTransitionCoordinator>& coordinator) override;

    // ScrollViewDelegate
    void scrollViewDidScroll(ScrollView& scrollView) override;
    void scrollViewWillEndDragging(ScrollView& scrollView, Point velocity, Point* targetContentOffset) override;
    void scrollViewDidEndDragging(ScrollView& scrollView, bool willDecelerate) override;
    void scrollViewDidEndDecelerating(ScrollView& scrollView) override;
    void scrollViewDidEndScrollingAnimation(ScrollView& scrollView) override;

private:
    double width() const;
    void attachAsScrollViewDelegate(bool attach);
    void openPageNumber(std::int64_t page);
    void scrollViewDidReallyEnd();
    void organizeVisiblePages();
    void recycle(const std::shared_ptr<ViewController>& controller);
    void addViewControllerForPageNumber(std::int64_t page);
    std::shared_ptr<ViewController> dequeueRecycledPageViewController();
    void updateContentInsetForPages();
    void setContentInsetForPageViewController(ViewController& controller);
    EdgeInsets pageInsets() const;
    void scrollToTargetIndex(std::int64_t k);

    std::weak_ptr<FIDoubleSidedPageViewControllerDataSource> dataSource_;
    std::weak_ptr<FIDoubleSidedPageViewControllerDelegate> delegate_;
    std::weak_ptr<View> bottomToolbar_;
    std::shared_ptr<ScrollView> scrollView_;
    std::int64_t numberOfPages_ = 0;
    std::map<std::int64_t, std::shared_ptr<ViewController>> visible_;
    std::vector<std::shared_ptr<ViewController>> recycled_;
    std::int64_t targetIndexBeforeRotating_ = 0;
    bool didScrollToNextCardLastTime_ = false;
    double lastContentOffsetXWhileScrolling_ = 0;
};
