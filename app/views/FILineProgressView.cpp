#include "app/views/FILineProgressView.h"

FILineProgressView::FILineProgressView(const Rect& frame) : View(frame) {
    _initialize();
}

FILineProgressView::FILineProgressView(const Coder& coder) : View(coder) {
    _initialize();
}

void FILineProgressView::_initialize() {
    setBackgroundColor(Color(200 / 255.0, 199 / 255.0, 204 / 255.0, 1));
    progressIndicatorView_ = std::make_shared<View>();
    progressIndicatorView_->setBackgroundColor(Color::redColor());
    addSubview(progressIndicatorView_);
    layoutSubviews();
}

void FILineProgressView::setPercentComplete(double fraction) {
    percentComplete_ = fraction;
    layoutSubviews();
}

void FILineProgressView::layoutSubviews() {
    const Rect b = bounds();
    progressIndicatorView_->setFrame(Rect(0, 0, b.size.width * percentComplete_, b.size.height));
}
