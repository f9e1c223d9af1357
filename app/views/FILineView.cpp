#include "app/views/FILineView.h"

void FILineView::layoutSubviews() {
    View::layoutSubviews();
    if (!lineLayer_) {
        lineLayer_ = ShapeLayer::layer();
        lineLayer_->setStrokeColor(tintColor());
        lineLayer_->setFillColor(std::nullopt);
        lineLayer_->setLineDashPattern({10, 7});
        lineLayer_->setMasksToBounds(true);
        layer().addSublayer(lineLayer_);
    }
    const Rect b = bounds();
    lineLayer_->setFrame(b);
    lineLayer_->setLineWidth(b.size.width);
    Path path;
    path.moveTo({b.size.width / 2, 0});
    path.lineTo({b.size.width / 2, b.size.height});
    lineLayer_->setPath(path);
}
