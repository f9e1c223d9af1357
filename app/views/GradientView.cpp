#include "app/views/GradientView.h"

void GradientView::awakeFromNib() {
    View::awakeFromNib();
    gradientLayer_ = GradientLayer::layer();
    gradientLayer_->setColors(
        {Color(80 / 255.0, 80 / 255.0, 80 / 255.0, 1), Color(157 / 255.0, 142 / 255.0, 147 / 255.0, 1)});
    gradientLayer_->setStartPoint({1, 0});
    gradientLayer_->setEndPoint({0, 1});
    gradientLayer_->setFrame(layer().bounds());
    layer().insertSublayer(gradientLayer_, 0);
}

void GradientView::layoutSublayersOfLayer(Layer& layer) {
    View::layoutSublayersOfLayer(layer);
    if (&layer == &this->layer() && gradientLayer_) gradientLayer_->setFrame(layer.bounds());
}
