#pragma once

#include <memory>

#include "platform/ui/Layer.h"
#include "platform/ui/View.h"

// A background of a dark grey to mauve gradient from the top right to the
// bottom left (from an interface file).
class GradientView : public View {
public:
    using View::View;
    const std::shared_ptr<GradientLayer>& gradientLayer() const { return gradientLayer_; }
    void awakeFromNib() override;
    void layoutSublayersOfLayer(Layer& layer) override;

private:
    std::shared_ptr<GradientLayer> gradientLayer_;
};
