#include "platform/ui/ScrollView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/RefreshControl.h"

namespace {

// The scroll view's drag, which declines a mostly sideways movement unless
// the content scrolls sideways, and a mostly up-and-down one when the content
// scrolls only sideways (a drag along a row with a drawer scrolls the list).
class ScrollPanGestureRecognizer : public PanGestureRecognizer {
public:
    explicit ScrollPanGestureRecognizer(const ScrollView* scrollView) : scrollView_(scrollView) {}
    // Cleared by the scroll view's destructor (another view may hold this).
    void forgetScrollView() { scrollView_ = nullptr; }
    bool canBegin() const override {
        const Point t = translationInView(nullptr);
        if (!scrollView_) return true;
        if (std::abs(t.x) > std::abs(t.y)) return scrollView_->scrollsHorizontally();
        if (std::abs(t.y) > std::abs(t.x))
            return scrollView_->scrollsVertically() || !scrollView_->scrollsHorizontally();
        return true;
    }

private:
    const ScrollView* scrollView_;
};

}  // namespace

ScrollView::ScrollView() : ScrollView(Rect()) {}

ScrollView::ScrollView(const Rect& frame) : View(frame) {
    setUp();
}

ScrollView::ScrollView(const Coder& coder) : View(coder.frame) {
    setUp();
}

ScrollView::~ScrollView() {
    pan_->removeTarget(panTarget_);
    static_cast<ScrollPanGestureRecognizer&>(*pan_).forgetScrollView();
}

bool ScrollView::scrollsHorizontally() const {
    return contentSize_.width + contentInset_.left + contentInset_.right > bounds().size.width;
}

bool ScrollView::scrollsVertically() const {
    return contentSize_.height + contentInset_.top + contentInset_.bottom > bounds().size.height;
}

void ScrollView::setUp() {
    setClipsToBounds(true);
    pan_ = std::make_shared<ScrollPanGestureRecognizer>(this);
    // The recogniser may outlive this view (when another view holds it); the
    // destructor removes this target.
    panTarget_ = pan_->addTarget([this](GestureRecognizer& recognizer) { handlePan(recognizer); });
    addGestureRecognizer(pan_);
}

void ScrollView::setContentOffset(Point offset) {
    if (endingDrag_) offsetSetWhileEndingDrag_ = true;
    Rect b = bounds();
    b.origin = offset;
    setBounds(b);
}

void ScrollView::setContentOffset(Point offset, bool animated) {
    if (!animated) {
        setContentOffset(offset);
        return;
    }
    std::weak_ptr<View> weak = weak_from_this();
    View::animate(
        kScrollAnimationDuration, [&] { setContentOffset(offset); },
        [weak](bool) {
            auto self = std::static_pointer_cast<ScrollView>(weak.lock());
            if (!self) return;
            if (auto delegate = self->delegate_.lock()) delegate->scrollViewDidEndScrollingAnimation(*self);
        });
}

void ScrollView::setBounds(const Rect& bounds) {
    const Point old = contentOffset();
    View::setBounds(bounds);
    if (old == bounds.origin) return;
    auto keep = weak_from_this().lock();
    if (auto delegate = delegate_.lock()) delegate->scrollViewDidScroll(*this);
}

Point ScrollView::projectedOffset(Point offset, Point velocity) const {
    // Speed falls by the rate each millisecond: the distance is v·r/(1−r).
    const double rate = std::clamp(decelerationRate_, 0.0, 0.9999);
    const double factor = rate / (1 - rate);
    return {offset.x + velocity.x * factor, offset.y + velocity.y * factor};
}

void ScrollView::decelerate(Point target) {
    decelerating_ = true;
    std::weak_ptr<View> weak = weak_from_this();
    View::animate(
        kDecelerationDuration, 0, ViewAnimationOptionCurveEaseOut, [&] { setContentOffset(target); },
        [weak](bool) {
            auto self = std::static_pointer_cast<ScrollView>(weak.lock());
            if (!self) return;
            self->decelerating_ = false;
            if (auto delegate = self->delegate_.lock()) delegate->scrollViewDidEndDecelerating(*self);
        });
}

EdgeInsets ScrollView::adjustedContentInset() const {
    EdgeInsets insets = contentInset_;
    if (insetAdjustment_ == ScrollViewContentInsetAdjustmentBehavior::Never) return insets;
    const EdgeInsets safe = safeAreaInsets();
    insets.top += std::max(safe.top, barInsets_.top);
    insets.left += std::max(safe.left, barInsets_.left);
    insets.bottom += std::max(safe.bottom, barInsets_.bottom);
    insets.right += std::max(safe.right, barInsets_.right);
    return insets;
}

void ScrollView::setBarInsets(const EdgeInsets& insets) {
    const double oldTop = -(contentInset_.top + barInsets_.top);
    const bool restingAtTop = contentOffset().y == oldTop;
    barInsets_ = insets;
    if (restingAtTop) setContentOffset({contentOffset().x, -(contentInset_.top + barInsets_.top)});
}

void ScrollView::setRefreshControl(std::shared_ptr<RefreshControl> control) {
    if (refreshControl_ == control) return;
    if (refreshControl_) refreshControl_->removeFromSuperview();
    refreshControl_ = std::move(control);
    if (refreshControl_) {
        refreshControl_->setFrame(Rect(0, -RefreshControl::kHeight, bounds().size.width, RefreshControl::kHeight));
        addSubview(refreshControl_);
    }
}

void ScrollView::setScrollEnabled(bool enabled) {
    scrollEnabled_ = enabled;
    pan_->setEnabled(enabled);
}

Point ScrollView::clampedOffset(Point offset) const {
    const Size size = bounds().size;
    double minX = -(contentInset_.left + barInsets_.left), minY = -(contentInset_.top + barInsets_.top);
    double maxX = std::max(minX, contentSize_.width - size.width + contentInset_.right + barInsets_.right);
    double maxY = std::max(minY, contentSize_.height - size.height + contentInset_.bottom + barInsets_.bottom);
    return {std::clamp(offset.x, minX, maxX), std::clamp(offset.y, minY, maxY)};
}

void ScrollView::handlePan(GestureRecognizer& recognizer) {
    auto& pan = static_cast<PanGestureRecognizer&>(recognizer);
    auto keep = weak_from_this().lock();
    auto delegate = delegate_.lock();
    switch (pan.state()) {
        case GestureRecognizerState::Began:
            if (!scrollEnabled_) return;
            dragging_ = true;
            dragStartOffset_ = contentOffset();
            if (delegate) delegate->scrollViewWillBeginDragging(*this);
            break;
        case GestureRecognizerState::Changed: {
            if (!dragging_) return;
            const Point t = pan.translationInView(this);
            Point offset = dragStartOffset_;
            if (scrollsHorizontally()) offset.x -= t.x;
            if (scrollsVertically()) offset.y -= t.y;
            if (!bounces_) offset = clampedOffset(offset);
            setContentOffset(offset);
            break;
        }
        case GestureRecognizerState::Ended:
        case GestureRecognizerState::Cancelled: {
            if (!dragging_) return;
            const Point v = pan.velocityInView(this);
            const Point velocity{-v.x / 1000, -v.y / 1000};
            Point fling = velocity;
            if (!scrollsHorizontally()) fling.x = 0;
            if (!scrollsVertically()) fling.y = 0;
            Point target = clampedOffset(projectedOffset(contentOffset(), fling));
            endingDrag_ = true;
            offsetSetWhileEndingDrag_ = false;
            if (delegate) delegate->scrollViewWillEndDragging(*this, velocity, &target);
            endingDrag_ = false;
            dragging_ = false;
            // The delegate may have let go of the view, or stopped the scroll.
            delegate = delegate_.lock();
            const bool moves = !offsetSetWhileEndingDrag_ && target != contentOffset();
            if (delegate) delegate->scrollViewDidEndDragging(*this, moves);
            // Without speed it settles by a plain animation, else it decelerates.
            if (moves && fling == Point{})
                setContentOffset(target, true);
            else if (moves)
                decelerate(target);
            break;
        }
        default:
            break;
    }
}
