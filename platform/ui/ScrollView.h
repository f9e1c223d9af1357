#pragma once

#include <cstdint>
#include <memory>

#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/View.h"

class RefreshControl;
class ScrollView;

// How the safe area adds to the content inset (adjustedContentInset).
enum class ScrollViewContentInsetAdjustmentBehavior { Automatic, ScrollableAxes, Never, Always };
// How dragging the content treats the keyboard.
enum class ScrollViewKeyboardDismissMode { None, OnDrag, Interactive };

class ScrollViewDelegate {
public:
    virtual ~ScrollViewDelegate() = default;
    // After every change of the content offset.
    virtual void scrollViewDidScroll(ScrollView& /*scrollView*/) {}
    virtual void scrollViewWillBeginDragging(ScrollView& /*scrollView*/) {}
    // When the finger lifts; the delegate may change where the content comes
    // to rest. The velocity is in points per millisecond along the offset.
    virtual void scrollViewWillEndDragging(ScrollView& /*scrollView*/, Point /*velocity*/,
                                           Point* /*targetContentOffset*/) {}
    virtual void scrollViewDidEndDragging(ScrollView& /*scrollView*/, bool /*willDecelerate*/) {}
    // The content came to rest after a drag that ended moving.
    virtual void scrollViewDidEndDecelerating(ScrollView& /*scrollView*/) {}
    virtual void scrollViewDidEndScrollingAnimation(ScrollView& /*scrollView*/) {}
};

// A view that shows a part of larger content: the content offset is the
// origin of its bounds. The user drags it through its pan recogniser (driven
// with UIDriver::pan); the offset follows the finger along each axis in which
// the content is larger than the view (beyond the edges too while it
// bounces), and when the finger lifts the content comes to rest at the
// nearest valid offset unless the delegate picks another target.
//
// A drag that ends with a velocity flings: the proposed target is where the
// content would stop slowing down at the deceleration rate (the fraction of
// its speed it keeps per millisecond), within the content. The delegate may
// move the target, or stop the scroll by setting the content offset while it
// is asked; otherwise the content decelerates to the target on the clock and
// the delegate hears did-end-decelerating. Released without speed, it moves
// to the target by a plain animated scroll (did-end-scrolling-animation).
class ScrollView : public View {
public:
    static constexpr double kScrollAnimationDuration = 0.3;
    static constexpr double kDecelerationRateNormal = 0.998;
    static constexpr double kDecelerationRateFast = 0.99;
    // How long the content takes to come to rest after a fling.
    static constexpr double kDecelerationDuration = 0.5;

    ScrollView();
    explicit ScrollView(const Rect& frame);
    explicit ScrollView(const Coder& coder);
    ~ScrollView() override;

    Point contentOffset() const { return bounds().origin; }
    void setContentOffset(Point offset);
    void setContentOffset(Point offset, bool animated);
    Size contentSize() const { return contentSize_; }
    void setContentSize(Size size) { contentSize_ = size; }
    EdgeInsets contentInset() const { return contentInset_; }
    void setContentInset(const EdgeInsets& insets) { contentInset_ = insets; }
    ScrollViewKeyboardDismissMode keyboardDismissMode() const { return keyboardDismissMode_; }
    void setKeyboardDismissMode(ScrollViewKeyboardDismissMode mode) { keyboardDismissMode_ = mode; }
    ScrollViewContentInsetAdjustmentBehavior contentInsetAdjustmentBehavior() const { return insetAdjustment_; }
    void setContentInsetAdjustmentBehavior(ScrollViewContentInsetAdjustmentBehavior behavior) {
        insetAdjustment_ = behavior;
    }
    // The content inset plus, unless the behaviour is Never, per edge the
    // larger of the view's safe-area insets and its bar insets.
    EdgeInsets adjustedContentInset() const;
    // What the bars of the container that shows this view as its content
    // cover of it (a navigation controller's bar and toolbar); the container
    // sets them. The content may rest within them (as within the content
    // inset), and content resting at the top edge moves with that edge, so
    // that the first rows start below a navigation bar.
    EdgeInsets barInsets() const { return barInsets_; }
    void setBarInsets(const EdgeInsets& insets);

    const std::weak_ptr<ScrollViewDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<ScrollViewDelegate> delegate) { delegate_ = std::move(delegate); }

    bool showsHorizontalScrollIndicator() const { return showsHorizontalIndicator_; }
    void setShowsHorizontalScrollIndicator(bool shows) { showsHorizontalIndicator_ = shows; }
    bool showsVerticalScrollIndicator() const { return showsVerticalIndicator_; }
    void setShowsVerticalScrollIndicator(bool shows) { showsVerticalIndicator_ = shows; }
    bool isScrollEnabled() const { return scrollEnabled_; }
    void setScrollEnabled(bool enabled);
    bool bounces() const { return bounces_; }
    void setBounces(bool bounces) { bounces_ = bounces; }
    bool isDragging() const { return dragging_; }
    bool isDecelerating() const { return decelerating_; }
    double decelerationRate() const { return decelerationRate_; }
    void setDecelerationRate(double rate) { decelerationRate_ = rate; }
    // Where a fling from `offset` with `velocity` (points per millisecond,
    // along the offset) comes to rest at the deceleration rate, unclamped.
    Point projectedOffset(Point offset, Point velocity) const;

    // Whether the content (with its insets) is larger than the view along
    // an axis: the axes a drag moves it along.
    bool scrollsHorizontally() const;
    bool scrollsVertically() const;

    // Its own recogniser; it may be attached to another view, and still
    // scrolls this one. A drag that goes mostly sideways does not begin it
    // unless the content scrolls sideways: it goes to the views behind (a
    // pager around a page that scrolls up and down), as on the phone.
    const std::shared_ptr<PanGestureRecognizer>& panGestureRecognizer() const { return pan_; }

    // The pull-to-refresh control above the content (a subview), if any.
    const std::shared_ptr<RefreshControl>& refreshControl() const { return refreshControl_; }
    void setRefreshControl(std::shared_ptr<RefreshControl> control);

    void setBounds(const Rect& bounds) override;

private:
    void setUp();
    void handlePan(GestureRecognizer& recognizer);
    Point clampedOffset(Point offset) const;
    void decelerate(Point target);

    Size contentSize_;
    ScrollViewKeyboardDismissMode keyboardDismissMode_ = ScrollViewKeyboardDismissMode::None;
    EdgeInsets contentInset_;
    EdgeInsets barInsets_;
    ScrollViewContentInsetAdjustmentBehavior insetAdjustment_ = ScrollViewContentInsetAdjustmentBehavior::Automatic;
    std::weak_ptr<ScrollViewDelegate> delegate_;
    bool showsHorizontalIndicator_ = true;
    bool showsVerticalIndicator_ = true;
    bool scrollEnabled_ = true;
    bool bounces_ = true;
    bool dragging_ = false;
    bool decelerating_ = false;
    bool endingDrag_ = false;
    bool offsetSetWhileEndingDrag_ = false;
    double decelerationRate_ = kDecelerationRateNormal;
    Point dragStartOffset_;
    std::shared_ptr<PanGestureRecognizer> pan_;
    std::uint64_t panTarget_ = 0;
    std::shared_ptr<RefreshControl> refreshControl_;
};
