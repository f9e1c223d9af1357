#include "app/study/FIDoubleSidedPageViewController.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "model/TWLogger.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/Color.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/SnapshotView.h"
#include "platform/ui/TransitionCoordinator.h"

namespace {

constexpr double kTurnIntoPile = 0.08726646259971647;   // 5°
constexpr double kTurnOffScreen = -0.3490658503988659;  // −20°
constexpr double kPileScale = 0.4;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

}  // namespace

// --- Geometry ---

Rect FIDoubleSidedPageViewController::frameForPageNumber(std::int64_t page, double w, double height) {
    return Rect(slotWidth(w) * static_cast<double>(page + 1) + 10, 0, 2 * w, height);
}

Point FIDoubleSidedPageViewController::offsetForTargetIndex(std::int64_t k, double w) {
    double x = slotWidth(w) * static_cast<double>(floorDiv(k, 2)) + 10;
    if (k % 2 != 0) x += w;
    return {x, 0};
}

std::int64_t FIDoubleSidedPageViewController::targetIndexForContentOffset(double x, double w, std::int64_t n) {
    const float quotient = static_cast<float>(x) / static_cast<float>(w + 10);
    auto k = static_cast<std::int64_t>(std::floor(quotient));
    k = std::min(k, 2 * n + 1);
    return std::max(k, kLeftSideIndexOfFirstRealContentPage);
}

std::int64_t FIDoubleSidedPageViewController::pageNumberForTargetIndex(std::int64_t k) {
    return floorDiv(k - 2, 2);
}

Point FIDoubleSidedPageViewController::originForPageTargetIndex(std::int64_t i, double w) {
    return {(i % 2 != 0 ? w : 0) + slotWidth(w) * static_cast<double>(floorDiv(i, 2) + 1) + 10, 0};
}

double FIDoubleSidedPageViewController::pageTurnProgressForContentOffset(double x, double scrollWidth) {
    const double s = scrollWidth + 10;
    const auto j = static_cast<std::int64_t>(std::floor(x / s));
    double position = static_cast<double>(j / 2 - 1);
    if (j % 2 != 0) position += std::fmod(x, s * static_cast<double>(j)) / s;
    return position;
}

FIDoubleSidedPageViewController::Snap FIDoubleSidedPageViewController::closestPageOffset(double x, double v, double w,
                                                                                         std::int64_t n, bool pad,
                                                                                         bool lastScrollForward) {
    const double s = w + 10;
    const auto i = static_cast<std::int64_t>(std::floor(static_cast<float>(x) / static_cast<float>(s)));
    const double r = std::fmod(x, s);
    std::int64_t k = i;
    if (pad) {
        if (r > 0.2 * s && lastScrollForward) k = i + 1;
    } else if (r >= 0.5 * s) {
        k = i + 1;
    }
    bool manual = false;
    if (v >= 2.0)
        k += 1;
    else if (v <= -2.0)
        k -= 1;
    else if (v != 0)
        manual = true;
    if ((v > 0 && i == 2 * n + 1) || (i == 1 && v < 0)) manual = true;
    k = std::max(std::min(k, 2 * n), kLeftSideIndexOfFirstRealContentPage);
    return {k, manual};
}

// --- Life cycle ---

FIDoubleSidedPageViewController::FIDoubleSidedPageViewController() = default;

FIDoubleSidedPageViewController::~FIDoubleSidedPageViewController() {
    if (scrollView_) scrollView_->setDelegate({});
}

double FIDoubleSidedPageViewController::width() const {
    return viewIfLoaded() ? viewIfLoaded()->bounds().size.width : 0;
}

void FIDoubleSidedPageViewController::attachAsScrollViewDelegate(bool attach) {
    if (!scrollView_) return;
    if (attach)
        scrollView_->setDelegate(std::shared_ptr<ScrollViewDelegate>(shared_from_this(), this));
    else
        scrollView_->setDelegate({});
}

void FIDoubleSidedPageViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    scrollView_ = std::make_shared<ScrollView>(view()->bounds());
    scrollView_->setDecelerationRate(ScrollView::kDecelerationRateFast);
    scrollView_->setShowsHorizontalScrollIndicator(false);
    scrollView_->setShowsVerticalScrollIndicator(false);
    scrollView_->setBackgroundColor(Color::lightGrayColor());
    scrollView_->setContentInsetAdjustmentBehavior(ScrollViewContentInsetAdjustmentBehavior::Never);
    view()->addSubview(scrollView_);
}

void FIDoubleSidedPageViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    updateContentInsetForPages();
}

void FIDoubleSidedPageViewController::viewWillLayoutSubviews() {
    ViewController::viewWillLayoutSubviews();
    if (!scrollView_ || scrollView_->frame() == view()->bounds()) return;
    // The scroll view takes the view's width and height. The pages were made
    // for the size the view had when they loaded (the storyboard's, before the
    // screen gave it its own): when the size changes, they, the content and
    // the offset follow it, keeping the page on show, as in a rotation.
    const double oldWidth = scrollView_->bounds().size.width;
    const std::int64_t target =
        oldWidth > 0 ? targetIndexForContentOffset(scrollView_->contentOffset().x, oldWidth, numberOfPages_)
                     : kLeftSideIndexOfFirstRealContentPage;
    scrollView_->setFrame(view()->bounds());
    const double w = width();
    const double height = view()->bounds().size.height;
    scrollView_->setContentSize({slotWidth(w) * static_cast<double>(numberOfPages_ + 2), height});
    View::performWithoutAnimation([&] {
        for (auto& [page, controller] : visible_)
            if (controller->viewIfLoaded()) controller->view()->setFrame(frameForPageNumber(page, w, height));
    });
    if (numberOfPages_ > 0) scrollView_->setContentOffset(offsetForTargetIndex(target, w));
    updateContentInsetForPages();
}

void FIDoubleSidedPageViewController::reloadData() {
    loadViewIfNeeded();
    auto dataSource = dataSource_.lock();
    if (!dataSource) {
        std::fprintf(stderr, "Warning: no dataSource set for %s\n", "FIDoubleSidedPageViewController");
        return;
    }
    auto keep = shared_from_this();
    scrollView_->setScrollEnabled(true);
    attachAsScrollViewDelegate(false);
    for (auto& [page, controller] : visible_) {
        controller->willMoveToParentViewController(nullptr);
        if (controller->viewIfLoaded()) controller->viewIfLoaded()->removeFromSuperview();
        controller->removeFromParentViewController();
    }
    numberOfPages_ = std::max<std::int64_t>(dataSource->numberOfPagesForDoubleSidedPageViewController(*this), 0);
    recycled_.clear();
    visible_.clear();
    const double w = width();
    scrollView_->setContentSize(
        {slotWidth(w) * static_cast<double>(numberOfPages_ + 2), scrollView_->bounds().size.height});
    scrollView_->setContentOffset({frameForPageNumber(0, w, 0).origin.x, 0});
    organizeVisiblePages();
    updateContentInsetForPages();
    attachAsScrollViewDelegate(true);
}

std::int64_t FIDoubleSidedPageViewController::currentTargetIndex() const {
    return targetIndexForContentOffset(scrollView_ ? scrollView_->contentOffset().x : 0, width(), numberOfPages_);
}

std::int64_t FIDoubleSidedPageViewController::currentPageNumber() const {
    return pageNumberForTargetIndex(currentTargetIndex());
}

std::shared_ptr<ViewController> FIDoubleSidedPageViewController::currentPageViewController() const {
    auto found = visible_.find(currentPageNumber());
    return found == visible_.end() ? nullptr : found->second;
}

void FIDoubleSidedPageViewController::scrollToTargetIndex(std::int64_t k) {
    scrollView_->setContentOffset(offsetForTargetIndex(k, width()), true);
}

void FIDoubleSidedPageViewController::scrollToPreviousPage() {
    scrollToTargetIndex(std::max(currentTargetIndex() - 1, kLeftSideIndexOfFirstRealContentPage));
}

void FIDoubleSidedPageViewController::scrollToNextPage() {
    scrollToTargetIndex(currentTargetIndex() + 1);
}

void FIDoubleSidedPageViewController::openPageNumber(std::int64_t page) {
    page = std::min(page, numberOfPages_ - 1);
    scrollView_->setContentOffset(offsetForTargetIndex(2 + 2 * page, width()));
}

void FIDoubleSidedPageViewController::nextPageAnimated(bool animated, std::function<void()> completion) {
    const std::int64_t next = currentPageNumber() + 1;
    if (!animated) {
        openPageNumber(next);
        scrollViewDidReallyEnd();
        if (completion) completion();
        return;
    }
    const double duration = currentTargetIndex() % 2 != 0 ? kNextPageFromAnswerDuration : kNextPageFromQuestionDuration;
    std::weak_ptr<ViewController> weak = weak_from_this();
    View::animate(
        duration, [&] { openPageNumber(next); },
        [weak, completion = std::move(completion)](bool) {
            auto self = std::static_pointer_cast<FIDoubleSidedPageViewController>(weak.lock());
            if (self) self->scrollViewDidReallyEnd();
            if (completion) completion();
        });
}

void FIDoubleSidedPageViewController::scrollViewDidReallyEnd() {
    auto keep = shared_from_this();
    if (auto delegate = delegate_.lock())
        delegate->doubleSidedPageViewControllerDidChangeRelativePagePosition(
            *this, pageTurnProgressForContentOffset(scrollView_->contentOffset().x, scrollView_->bounds().size.width));
    if (currentPageNumber() < numberOfPages_ - 1) return;
    scrollView_->setScrollEnabled(false);
    willShowLastPage();
    if (auto toolbar = bottomToolbar_.lock()) {
        View::animate(kToolbarHideDuration, [&] {
            Point center = toolbar->center();
            center.y += toolbar->bounds().size.height;
            toolbar->setCenter(center);
        });
    }
}

// --- Scroll view ---

void FIDoubleSidedPageViewController::scrollViewDidScroll(ScrollView& scrollView) {
    const double x = scrollView.contentOffset().x;
    didScrollToNextCardLastTime_ = x >= lastContentOffsetXWhileScrolling_;
    lastContentOffsetXWhileScrolling_ = x;
    organizeVisiblePages();
    if (auto delegate = delegate_.lock())
        delegate->doubleSidedPageViewControllerDidChangeRelativePagePosition(
            *this, pageTurnProgressForContentOffset(x, scrollView.bounds().size.width));
}

void FIDoubleSidedPageViewController::scrollViewWillEndDragging(ScrollView& scrollView, Point velocity,
                                                                Point* targetContentOffset) {
    if (!targetContentOffset) return;
    const double w = width();
    const bool pad = Device::current().userInterfaceIdiom() == UserInterfaceIdiom::Pad;
    const Snap snap =
        closestPageOffset(targetContentOffset->x, velocity.x, w, numberOfPages_, pad, didScrollToNextCardLastTime_);
    const Point target = offsetForTargetIndex(snap.targetIndex, w);
    *targetContentOffset = target;
    if (!snap.manualAnimation) return;

    auto keep = shared_from_this();
    scrollView.setContentOffset(scrollView.contentOffset());
    if (auto delegate = delegate_.lock())
        delegate->doubleSidedPageViewControllerWillAnimateRelativePagePosition(
            *this, pageTurnProgressForContentOffset(target.x, scrollView.bounds().size.width), kManualSnapDuration);
    attachAsScrollViewDelegate(false);
    std::weak_ptr<ViewController> weak = weak_from_this();
    View::animate(
        kManualSnapDuration, [&] { scrollView.setContentOffset(target); },
        [weak](bool) {
            auto self = std::static_pointer_cast<FIDoubleSidedPageViewController>(weak.lock());
            if (!self) return;
            self->attachAsScrollViewDelegate(true);
            self->scrollViewDidScroll(*self->scrollView_);
            self->scrollViewDidReallyEnd();
        });
}

void FIDoubleSidedPageViewController::scrollViewDidEndDragging(ScrollView&, bool willDecelerate) {
    if (!willDecelerate) scrollViewDidReallyEnd();
}

void FIDoubleSidedPageViewController::scrollViewDidEndDecelerating(ScrollView&) {
    scrollViewDidReallyEnd();
}

void FIDoubleSidedPageViewController::scrollViewDidEndScrollingAnimation(ScrollView&) {
    scrollViewDidReallyEnd();
}

// --- Pages ---

void FIDoubleSidedPageViewController::organizeVisiblePages() {
    if (!scrollView_) return;
    const Rect bounds = scrollView_->bounds();
    const double s = bounds.size.width + 10;
    const std::int64_t first =
        std::max(static_cast<std::int64_t>(std::floor(bounds.origin.x / s)) - 1, kLeftSideIndexOfFirstRealContentPage);
    const std::int64_t last = std::min(
        static_cast<std::int64_t>(std::floor((bounds.origin.x + bounds.size.width) / s)) + 1, 2 * numberOfPages_ + 1);
    std::vector<std::int64_t> leaving;
    for (const auto& [page, controller] : visible_) {
        const std::int64_t left = 2 + 2 * page, right = left + 1;
        if (right < first || left > last) leaving.push_back(page);
    }
    for (std::int64_t page : leaving) {
        auto controller = visible_[page];
        visible_.erase(page);
        recycle(controller);
    }
    for (std::int64_t k = first; k <= last; ++k) {
        const std::int64_t page = pageNumberForTargetIndex(k);
        if (!visible_.count(page)) addViewControllerForPageNumber(page);
    }
}

void FIDoubleSidedPageViewController::recycle(const std::shared_ptr<ViewController>& controller) {
    recycled_.push_back(controller);
    if (controller->viewIfLoaded()) controller->viewIfLoaded()->removeFromSuperview();
    controller->willMoveToParentViewController(nullptr);
    controller->removeFromParentViewController();
    if (auto dataSource = dataSource_.lock())
        dataSource->doubleSidedPageViewControllerDidRecycleViewController(*this, controller);
}

std::shared_ptr<ViewController> FIDoubleSidedPageViewController::dequeueRecycledPageViewController() {
    if (recycled_.empty()) return nullptr;
    auto controller = recycled_.back();
    recycled_.pop_back();
    return controller;
}

void FIDoubleSidedPageViewController::addViewControllerForPageNumber(std::int64_t page) {
    auto dataSource = dataSource_.lock();
    if (!dataSource) return;
    auto controller = dequeueRecycledPageViewController();
    if (controller) {
        dataSource->doubleSidedPageViewControllerPrepareRecycledViewController(*this, controller, page);
    } else {
        const bool enabled = View::areAnimationsEnabled();
        View::setAnimationsEnabled(false);
        controller = dataSource->doubleSidedPageViewControllerViewControllerForPageNumber(*this, page);
        View::setAnimationsEnabled(enabled);
    }
    if (!controller) return;
    addChildViewController(controller);
    View::performWithoutAnimation(
        [&] { controller->view()->setFrame(frameForPageNumber(page, width(), view()->bounds().size.height)); });
    controller->didMoveToParentViewController(this);
    setContentInsetForPageViewController(*controller);
    scrollView_->addSubview(controller->view());
    visible_[page] = controller;
}

EdgeInsets FIDoubleSidedPageViewController::pageInsets() const {
    EdgeInsets insets;
    if (auto navigation = navigationController()) {
        const Rect bar = navigation->navigationBar()->frame();
        insets.top = bar.origin.y + bar.size.height;
    }
    if (auto toolbar = bottomToolbar_.lock()) insets.bottom = toolbar->bounds().size.height;
    return insets;
}

void FIDoubleSidedPageViewController::setContentInsetForPageViewController(ViewController& controller) {
    if (auto* listener = dynamic_cast<FIContentInsetChangeListener*>(&controller))
        listener->scrollViewContentInsetDidChange(pageInsets());
}

void FIDoubleSidedPageViewController::updateContentInsetForPages() {
    auto controllers = visible_;
    for (auto& [page, controller] : controllers) setContentInsetForPageViewController(*controller);
}

// --- The move into the pile ---

void FIDoubleSidedPageViewController::moveCurrentPageToPageNumber(std::int64_t toPageNumber,
                                                                  std::function<void()> completion) {
    auto keep = shared_from_this();
    const std::int64_t p = currentPageNumber();
    if (!visible_.count(p + 1)) {
        addViewControllerForPageNumber(p + 1);
        TWLogDebug("Was missing next view controller for page: %ld. Added one.", static_cast<long>(p + 1));
    }
    auto found = visible_.find(p);
    if (found == visible_.end()) {
        TWLogWarning("No page view controller for current page: %ld", static_cast<long>(p));
        // The caller waits for the move to end (the study screen keeps its
        // rating buttons disabled until then): end it here too.
        if (completion) completion();
        return;
    }
    auto current = found->second;
    auto pageView = current->view();
    auto snapshot = SnapshotView::snapshotOfView(*pageView, false);
    snapshot->setFrame(pageView->frame());
    snapshot->layer().setShadowColor(pageView->layer().shadowColor());
    snapshot->layer().setShadowOffset(pageView->layer().shadowOffset());
    snapshot->layer().setShadowOpacity(pageView->layer().shadowOpacity());
    snapshot->layer().setShadowRadius(pageView->layer().shadowRadius());
    pageView->setHidden(true);
    scrollView_->insertSubviewBelow(snapshot, pageView.get());

    const Rect visibleRect = scrollView_->bounds();
    const Point c{visibleRect.origin.x + visibleRect.size.width / 2,
                  visibleRect.origin.y + visibleRect.size.height / 2};
    const AffineTransform shrunk = AffineTransform::scale(kPileScale, kPileScale);
    const AffineTransform turned = AffineTransform::rotation(kTurnIntoPile).concatenating(shrunk);
    std::weak_ptr<ViewController> weak = weak_from_this();

    auto finish = [weak, snapshot, pageView, p, toPageNumber, completion](bool) {
        auto self = std::static_pointer_cast<FIDoubleSidedPageViewController>(weak.lock());
        if (!self) return;
        View::performWithoutAnimation([&] {
            pageView->setHidden(false);
            snapshot->removeFromSuperview();
            self->attachAsScrollViewDelegate(false);
            self->openPageNumber(p);
            auto nextFound = self->visible_.find(p + 1);
            std::shared_ptr<ViewController> next = nextFound == self->visible_.end() ? nullptr : nextFound->second;
            if (next) next->view()->setFrame(frameForPageNumber(p, self->width(), self->view()->bounds().size.height));
            auto others = self->visible_;
            self->visible_.clear();
            for (auto& [page, controller] : others)
                if (controller != next) self->recycle(controller);
            if (!next) {
                std::vector<std::string> pages;
                for (auto& [page, controller] : others) pages.push_back(std::to_string(page));
                self->attachAsScrollViewDelegate(true);
                throw NamedException(
                    "FIDoubleSidedPageViewControllerError",
                    stringWithFormat("Next view controller is nil. toPageNumber: %ld "
                                     "currentPageNumber: %ld numberOfPages: %ld we had "
                                     "pageViewControllers for pages: %@",
                                     static_cast<long>(toPageNumber), static_cast<long>(p),
                                     static_cast<long>(self->numberOfPages_), componentsJoinedByString(pages, ", ")));
            }
            self->visible_[p] = next;
            self->organizeVisiblePages();
            self->attachAsScrollViewDelegate(true);
        });
        if (completion) completion();
    };

    View::animateKeyframes(
        kMoveIntoPileDuration, 0, 0,
        [&] {
            View::addKeyframe(0, 0.3, [&] {
                snapshot->setTransform(shrunk);
                snapshot->setCenter(c);
            });
            View::addKeyframe(0.3, 0.7, [&] {
                snapshot->setTransform(turned);
                snapshot->setCenter({c.x - 80, c.y});
            });
        },
        [weak, snapshot, pageView, p, c, turned, finish](bool) {
            auto self = std::static_pointer_cast<FIDoubleSidedPageViewController>(weak.lock());
            if (!self) return;
            View::animate(
                kMoveOffScreenDuration,
                [&] {
                    snapshot->setTransform(AffineTransform::rotation(kTurnOffScreen).concatenating(turned));
                    snapshot->setCenter({c.x + 2 * pageView->frame().size.width, c.y});
                    self->openPageNumber(p + 1);
                },
                finish);
        });
}

// --- Rotation ---

void FIDoubleSidedPageViewController::viewWillTransitionToSize(
    Size size, const std::shared_ptr<ViewControllerTransitionCoordinator>& coordinator) {
    ViewController::viewWillTransitionToSize(size, coordinator);
    targetIndexBeforeRotating_ = currentTargetIndex() - 2;
    std::weak_ptr<ViewController> weak = weak_from_this();
    coordinator->animateAlongsideTransition([weak] {
        auto self = std::static_pointer_cast<FIDoubleSidedPageViewController>(weak.lock());
        if (!self || !self->scrollView_) return;
        // The scroll view follows the view's size.
        self->scrollView_->setFrame(self->view()->bounds());
        const double w = self->width();
        const double height = self->view()->bounds().size.height;
        self->scrollView_->setContentSize(
            {slotWidth(w) * static_cast<double>(self->numberOfPages_ + 2), self->scrollView_->bounds().size.height});
        View::performWithoutAnimation([&] {
            for (auto& [page, controller] : self->visible_)
                controller->view()->setFrame(frameForPageNumber(page, w, height));
        });
        self->scrollView_->setContentOffset(originForPageTargetIndex(self->targetIndexBeforeRotating_, w));
    });
}
