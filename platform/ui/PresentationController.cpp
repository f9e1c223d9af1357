#include "platform/ui/PresentationController.h"

#include <algorithm>

namespace {

constexpr Size kFormSheetSize{540, 620};
constexpr Size kPopoverSize{320, 480};

Rect centred(const Rect& bounds, Size size) {
    size.width = std::min(size.width, bounds.size.width);
    size.height = std::min(size.height, bounds.size.height);
    return Rect(bounds.midX() - size.width / 2, bounds.midY() - size.height / 2, size.width, size.height);
}

Size orDefault(Size size, Size fallback) {
    return {size.width > 0 ? size.width : fallback.width, size.height > 0 ? size.height : fallback.height};
}

}  // namespace

ModalPresentationStyle PresentationController::adaptedPresentationStyle(const TraitCollection& traits) {
    ModalPresentationStyle style = presented_->modalPresentationStyle();
    if (style == ModalPresentationStyle::Automatic) style = ModalPresentationStyle::PageSheet;
    if (traits.horizontalSizeClass != UserInterfaceSizeClass::Compact) return style;
    if (style != ModalPresentationStyle::Popover && style != ModalPresentationStyle::FormSheet) return style;
    ModalPresentationStyle answer = ModalPresentationStyle::Automatic;
    if (auto delegate = delegate_.lock())
        answer = delegate->adaptivePresentationStyleForPresentationController(*this, traits);
    if (answer == ModalPresentationStyle::None) return style;
    if (answer != ModalPresentationStyle::Automatic) return answer;
    return style == ModalPresentationStyle::Popover ? ModalPresentationStyle::FormSheet : style;
}

Rect PresentationController::frameOfPresentedViewInContainerView(const Rect& windowBounds,
                                                                 const TraitCollection& traits) {
    if (adaptedPresentationStyle(traits) == ModalPresentationStyle::FormSheet &&
        traits.horizontalSizeClass != UserInterfaceSizeClass::Compact)
        return centred(windowBounds, orDefault(presented_->preferredContentSize(), kFormSheetSize));
    return windowBounds;
}

bool PresentationController::dismissByUser(bool isSwipe) {
    auto presenting = presentingViewController();
    if (!presenting || presented_->isBeingDismissed() || presented_->isBeingPresented()) return false;
    const auto style = adaptedPresentationStyle(presented_->traitCollection());
    const bool tapOutsideWorks = style == ModalPresentationStyle::Popover;
    const bool swipeWorks = style == ModalPresentationStyle::PageSheet || style == ModalPresentationStyle::FormSheet;
    if (isSwipe ? !swipeWorks : !tapOutsideWorks) return false;
    auto keep = presented_->shared_from_this();
    auto delegate = delegate_.lock();
    if (presented_->isModalInPresentation() || (delegate && !delegate->presentationControllerShouldDismiss(*this))) {
        if (delegate) delegate->presentationControllerDidAttemptToDismiss(*this);
        return false;
    }
    if (delegate) delegate->presentationControllerWillDismiss(*this);
    std::weak_ptr<AdaptivePresentationControllerDelegate> weakDelegate = delegate_;
    presented_->dismissViewController(true, [keep, weakDelegate] {
        if (auto d = weakDelegate.lock()) d->presentationControllerDidDismiss(*keep->presentationController());
    });
    return true;
}

Rect PopoverPresentationController::anchorRectInWindow() const {
    if (barButtonItem_) {
        auto view = barButtonItem_->view();
        if (view && view->window()) return view->convertRectToView(view->bounds(), nullptr);
        return Rect();
    }
    auto view = sourceView_.lock();
    if (!view) return Rect();
    const Rect rect = sourceRect_.size.width > 0 || sourceRect_.size.height > 0 ? sourceRect_ : view->bounds();
    return view->convertRectToView(rect, nullptr);
}

Rect PopoverPresentationController::frameOfPresentedViewInContainerView(const Rect& windowBounds,
                                                                        const TraitCollection& traits) {
    if (adaptedPresentationStyle(traits) != ModalPresentationStyle::Popover)
        return PresentationController::frameOfPresentedViewInContainerView(windowBounds, traits);
    const Size size = orDefault(presentedViewController().preferredContentSize(), kPopoverSize);
    const Rect anchor = anchorRectInWindow();
    double x = anchor.midX() - size.width / 2;
    double y = anchor.maxY();
    x = std::clamp(x, windowBounds.minX(), std::max(windowBounds.minX(), windowBounds.maxX() - size.width));
    y = std::clamp(y, windowBounds.minY(), std::max(windowBounds.minY(), windowBounds.maxY() - size.height));
    return Rect(x, y, std::min(size.width, windowBounds.size.width), std::min(size.height, windowBounds.size.height));
}
