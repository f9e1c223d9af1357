#pragma once

#include <memory>

#include "platform/ui/Layer.h"
#include "platform/ui/View.h"

// A dashed vertical line down the middle, in the tint colour, as wide as the view.
class FILineView : public View {
public:
    using View::View;
    // Made on the first layout.
    const std::shared_ptr<ShapeLayer>& lineLayer() const { return lineLayer_; }
    void layoutSubviews() override;

private:
    std::shared_ptr<ShapeLayer> lineLayer_;
};
