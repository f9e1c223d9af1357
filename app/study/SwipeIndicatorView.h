#pragma once

#include <memory>

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Layer.h"
#include "platform/ui/View.h"

// The hint on a test's start page: an arc with an arrow head to the left and
// a hand (the image "PointingFinger" in the tint colour) that swipes along a
// low arch, repeatedly, after 4 s of waiting and a fade-in. Made from a nib.
class SwipeIndicatorView : public View {
public:
    using View::View;

    const std::shared_ptr<Layer>& handLayer() const { return handLayer_; }

    void awakeFromNib() override;
    void drawRect(const Rect& rect) override;

    // Waits 4 s, fades in over 0.8 s, then animates the hand.
    void startAnimating();
    // The group "moveHandLayer": the hand shows, travels along handPath() and
    // turns from 20 degrees to -20 degrees in 0.2 s, every 3.2 s.
    void animateHand();
    // Hides the hint at once and stops the hand.
    void stopAnimating();

    BezierPath arrowHeadPath(Point at) const;
    Path handPath() const;

private:
    std::shared_ptr<Layer> handLayer_;
};
