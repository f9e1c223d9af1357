#pragma once

#include <memory>
#include <vector>

#include "platform/ui/ImageView.h"
#include "platform/ui/Layer.h"

// The animated part of the pairing illustration: a dot with two rings that
// pulse out of it (the phone calling out on the network) and a card that
// slides down into a slot and back up (the computer taking it). The layers
// have fixed frames in this view's points; they are built once, and
// setupAnimations (re)starts the animations: adding them again under the
// same keys replaces the running ones, so the illustration starts over.
class Animation_RCAnimationImageView : public View {
public:
    // One period of the illustration, in seconds.
    static constexpr double kPeriod = 7.0;

    using View::View;

    bool didSetup() const { return didSetup_; }
    const std::shared_ptr<Layer>& circleLayer() const { return circleLayer_; }
    const std::shared_ptr<Layer>& rayLayer() const { return rayLayer_; }
    const std::shared_ptr<Layer>& outerRay() const { return outerRay_; }
    const std::shared_ptr<Layer>& coverLayer() const { return coverLayer_; }

    // Builds the layers (when loaded from an interface file, once).
    void awakeFromNib() override;
    void setupLayers();
    // Adds the rings' pulse groups under "scale" and the cover's slide under
    // "move".
    void setupAnimations();

    // The key times of a keyframe animation from the lengths of its segments
    // in seconds: 0, then the running sums divided by the period.
    static std::vector<double> keyTimes(const std::vector<double>& segmentLengths, double period);

private:
    static std::shared_ptr<Animation> pulseGroup();

    bool didSetup_ = false;
    std::shared_ptr<Layer> circleLayer_;
    std::shared_ptr<Layer> rayLayer_;
    std::shared_ptr<Layer> outerRay_;
    std::shared_ptr<Layer> coverLayer_;
};

// The pairing illustration of the setup screen: an image with the animation
// view laid over it (made when the image view is loaded from the storyboard).
class RCAnimationImageView : public ImageView {
public:
    using ImageView::ImageView;

    bool didSetup() const { return didSetup_; }
    const std::shared_ptr<Animation_RCAnimationImageView>& animationView() const { return animationView_; }

    void awakeFromNib() override;
    void layoutSubviews() override;
    // Starts the animation view's animations; nothing without one.
    void setupAnimations();

private:
    bool didSetup_ = false;
    std::shared_ptr<Animation_RCAnimationImageView> animationView_;
};
