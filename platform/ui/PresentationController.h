#pragma once

#include <memory>

#include "platform/ui/BarButtonItem.h"
#include "platform/ui/ViewController.h"

class PresentationController;
class PopoverPresentationController;

// Hears of a presentation's adaptation and of the user's attempts to dismiss
// it (a tap outside a popover, a swipe down of a sheet).
class AdaptivePresentationControllerDelegate {
public:
    virtual ~AdaptivePresentationControllerDelegate() = default;
    // The style to show a popover or form sheet in where the width is
    // compact: None keeps the style as asked; Automatic (the default) lets
    // the platform adapt it (a popover becomes a form sheet).
    virtual ModalPresentationStyle adaptivePresentationStyleForPresentationController(
        PresentationController& /*controller*/, const TraitCollection& /*traits*/) {
        return ModalPresentationStyle::Automatic;
    }
    // The controller to show in the adapted style in place of the presented
    // one (a navigation controller around it, say), or nullptr for the
    // presented controller itself. This stand-in always shows the presented
    // controller; the answer is the delegate's to give.
    virtual std::shared_ptr<ViewController> viewControllerForAdaptivePresentationStyle(
        PresentationController& /*controller*/, ModalPresentationStyle /*style*/) {
        return nullptr;
    }
    virtual bool presentationControllerShouldDismiss(PresentationController& /*controller*/) { return true; }
    virtual void presentationControllerWillDismiss(PresentationController& /*controller*/) {}
    // After a dismissal by the user, once the presented controller is gone.
    virtual void presentationControllerDidDismiss(PresentationController& /*controller*/) {}
    // The user tried to dismiss a controller that is modal in presentation,
    // or the delegate refused.
    virtual void presentationControllerDidAttemptToDismiss(PresentationController& /*controller*/) {}
};

class PopoverPresentationControllerDelegate : public AdaptivePresentationControllerDelegate {
public:
    // Just before the popover is shown.
    virtual void prepareForPopoverPresentation(PopoverPresentationController& /*controller*/) {}
};

enum PopoverArrowDirection : unsigned {
    PopoverArrowDirectionUp = 1u << 0,
    PopoverArrowDirectionDown = 1u << 1,
    PopoverArrowDirectionLeft = 1u << 2,
    PopoverArrowDirectionRight = 1u << 3,
    PopoverArrowDirectionAny = 0xFu,
};

// How a presented controller is shown: its style after adaptation and the
// frame of its view in the window. User dismissal goes through
// dismissByUser (UIDriver::tapOutsidePresentation and swipeDownPresentation).
class PresentationController {
public:
    explicit PresentationController(ViewController& presented) : presented_(&presented) {}
    virtual ~PresentationController() = default;
    PresentationController(const PresentationController&) = delete;
    PresentationController& operator=(const PresentationController&) = delete;

    ViewController& presentedViewController() const { return *presented_; }
    std::shared_ptr<ViewController> presentingViewController() const { return presented_->presentingViewController(); }
    const std::weak_ptr<AdaptivePresentationControllerDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<AdaptivePresentationControllerDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

    // The style in effect for the given window traits: the presented
    // controller's, with Automatic taken as PageSheet, and adapted where the
    // width is compact as the delegate answers.
    ModalPresentationStyle adaptedPresentationStyle(const TraitCollection& traits);
    // The frame of the presented view within a window of the given bounds.
    virtual Rect frameOfPresentedViewInContainerView(const Rect& windowBounds, const TraitCollection& traits);

    // The user taps outside the popover or swipes the sheet down. A full
    // screen presentation cannot be dismissed so; a controller modal in
    // presentation, or a delegate that refuses, keeps it (the delegate's
    // presentationControllerDidAttemptToDismiss). Otherwise the delegate's
    // will-dismiss, an animated dismissal and, once it is over, did-dismiss.
    // Returns whether the dismissal started.
    bool dismissByUser(bool isSwipe);

private:
    ViewController* presented_;  // the presented controller owns this object
    std::weak_ptr<AdaptivePresentationControllerDelegate> delegate_;
};

// The presentation controller of a controller whose style is Popover: where
// the popover points (a bar button item, or a rectangle of a view) and the
// arrow directions allowed. Presenting a popover with no anchor raises
// "NSGenericException", as the platform does.
class PopoverPresentationController : public PresentationController {
public:
    using PresentationController::PresentationController;

    const std::shared_ptr<BarButtonItem>& barButtonItem() const { return barButtonItem_; }
    void setBarButtonItem(std::shared_ptr<BarButtonItem> item) { barButtonItem_ = std::move(item); }
    std::shared_ptr<View> sourceView() const { return sourceView_.lock(); }
    void setSourceView(const std::shared_ptr<View>& view) { sourceView_ = view; }
    // In the source view's coordinates; empty: its bounds.
    Rect sourceRect() const { return sourceRect_; }
    void setSourceRect(const Rect& rect) { sourceRect_ = rect; }
    unsigned permittedArrowDirections() const { return arrowDirections_; }
    void setPermittedArrowDirections(unsigned directions) { arrowDirections_ = directions; }

    // The anchor in window coordinates (of the bar button item's view, or
    // the source rectangle); empty when there is none.
    Rect anchorRectInWindow() const;
    // A popover is preferredContentSize (320 x 480 by default) below the
    // anchor, moved to fit the window; adapted, the form sheet's frame.
    Rect frameOfPresentedViewInContainerView(const Rect& windowBounds, const TraitCollection& traits) override;

private:
    std::shared_ptr<BarButtonItem> barButtonItem_;
    std::weak_ptr<View> sourceView_;
    Rect sourceRect_;
    unsigned arrowDirections_ = PopoverArrowDirectionAny;
};
