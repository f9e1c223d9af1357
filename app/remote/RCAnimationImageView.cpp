#include "app/remote/RCAnimationImageView.h"

#include <limits>

#include "platform/ui/Animation.h"

namespace {

// "Forever", as the platform spells it for repeating animations.
constexpr double kRepeatForever = std::numeric_limits<float>::max();

std::shared_ptr<Layer> ringLayer(const Rect& frame) {
    auto ring = Layer::layer();
    ring->setFrame(frame);
    ring->setBorderColor(Color::grayColor());
    ring->setBorderWidth(1);
    ring->setCornerRadius(frame.size.width / 2);
    ring->setOpacity(0);
    return ring;
}

std::shared_ptr<KeyframeAnimation> keyframes(const std::string& keyPath, std::vector<double> values,
                                             const std::vector<double>& segmentLengths) {
    auto animation = KeyframeAnimation::animationWithKeyPath(keyPath);
    animation->setValues(std::vector<AnimationValue>(values.begin(), values.end()));
    animation->setKeyTimes(
        Animation_RCAnimationImageView::keyTimes(segmentLengths, Animation_RCAnimationImageView::kPeriod));
    animation->setDuration(Animation_RCAnimationImageView::kPeriod);
    animation->setRepeatCount(kRepeatForever);
    return animation;
}

}  // namespace

std::vector<double> Animation_RCAnimationImageView::keyTimes(const std::vector<double>& segmentLengths,
                                                             double period) {
    std::vector<double> times{0};
    double sum = 0;
    for (double length : segmentLengths) {
        sum += length;
        times.push_back(sum / period);
    }
    return times;
}

void Animation_RCAnimationImageView::awakeFromNib() {
    View::awakeFromNib();
    if (!didSetup_) setupLayers();
}

void Animation_RCAnimationImageView::setupLayers() {
    didSetup_ = true;
    const Rect circle(163.5, 70, 6, 6);
    circleLayer_ = Layer::layer();
    circleLayer_->setFrame(circle);
    circleLayer_->setBackgroundColor(Color::grayColor());
    circleLayer_->setBorderColor(Color::blackColor());
    circleLayer_->setBorderWidth(0.5);
    circleLayer_->setCornerRadius(3);
    circleLayer_->setOpacity(1);
    rayLayer_ = ringLayer(circle.insetBy(-4, -4));
    outerRay_ = ringLayer(circle.insetBy(-8, -8));

    auto coverContainer = Layer::layer();
    coverContainer->setFrame(Rect(22, 6, 101, 60));
    coverContainer->setBorderWidth(0);
    coverContainer->setMasksToBounds(true);
    coverLayer_ = Layer::layer();
    coverLayer_->setFrame(Rect(30, 23, 41, 28));
    coverLayer_->setBackgroundColor(Color::lightGrayColor());
    coverLayer_->setBorderColor(Color::darkGrayColor());
    coverLayer_->setBorderWidth(1);
    // Turned about the z axis through its centre (the anchor point).
    coverLayer_->setAffineTransform(AffineTransform::rotation(-0.03490658503988659));
    coverContainer->addSublayer(coverLayer_);

    layer().addSublayer(coverContainer);
    layer().addSublayer(outerRay_);
    layer().addSublayer(rayLayer_);
    layer().addSublayer(circleLayer_);
}

std::shared_ptr<Animation> Animation_RCAnimationImageView::pulseGroup() {
    auto group = AnimationGroup::animation();
    group->setDuration(kPeriod);
    group->setRepeatCount(kRepeatForever);
    group->setAnimations({keyframes("transform.scale", {0, 1, 1, 0, 1}, {1.0, 1.0, 0.0, 1.0}),
                          keyframes("opacity", {1, 1, 0, 0, 1, 1, 0}, {0.5, 0.6, 0.9, 0.0, 0.5, 0.6})});
    return group;
}

void Animation_RCAnimationImageView::setupAnimations() {
    if (!didSetup_) return;
    outerRay_->addAnimation(pulseGroup(), std::string("scale"));
    rayLayer_->addAnimation(pulseGroup(), std::string("scale"));
    auto move = keyframes("position.y", {37, 37, 60, 60, 37}, {1.1, 0.5, 1.5, 0.5});
    move->setRemovedOnCompletion(false);
    move->setFillMode(FillMode::Forwards);
    coverLayer_->addAnimation(move, std::string("move"));
}

void RCAnimationImageView::awakeFromNib() {
    ImageView::awakeFromNib();
    if (didSetup_) return;
    animationView_ = std::make_shared<Animation_RCAnimationImageView>(bounds());
    addSubview(animationView_);
    animationView_->setupLayers();
    didSetup_ = true;
}

void RCAnimationImageView::layoutSubviews() {
    ImageView::layoutSubviews();
    // Follows this view's size; the layers inside keep their frames.
    if (animationView_) animationView_->setFrame(bounds());
}

void RCAnimationImageView::setupAnimations() {
    if (animationView_) animationView_->setupAnimations();
}
