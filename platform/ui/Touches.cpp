#include "platform/ui/Touches.h"

#include <utility>

#include "platform/ui/View.h"

namespace UIDriver {

Touch::Touch(View& root, Point point) : root_(root), last_(point) {
    for (View* view = root.hitTest(point); view; view = view->superview()) {
        auto* handler = dynamic_cast<TouchHandling*>(view);
        if (!handler || !view->isUserInteractionEnabled()) continue;
        view_ = view->sharedView();
        handler_ = handler;
        break;
    }
    if (handler_) handler_->touchesBegan(local(point));
}

Touch::~Touch() {
    cancel();
}

Point Touch::local(Point point) const {
    return view_->convertPointFromView(point, &root_);
}

void Touch::moveTo(Point point) {
    last_ = point;
    if (handler_) handler_->touchesMoved(local(point));
}

void Touch::end() {
    auto* handler = std::exchange(handler_, nullptr);
    if (handler) handler->touchesEnded(local(last_));
}

void Touch::cancel() {
    auto* handler = std::exchange(handler_, nullptr);
    if (handler) handler->touchesCancelled();
}

bool touchUpInside(View& view) {
    View* root = &view;
    while (root->superview()) root = root->superview();
    Touch touch(*root, view.convertPointToView(view.bounds().center(), root));
    const bool tracking = touch.isTracking();
    touch.end();
    return tracking;
}

}  // namespace UIDriver
