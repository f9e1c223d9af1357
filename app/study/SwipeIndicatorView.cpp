#include "app/study/SwipeIndicatorView.h"

#include <cmath>

#include "platform/ui/Animation.h"
#include "platform/ui/Image.h"
#include "platform/ui/PathAnimation.h"

namespace {

// The hand itself: the picture's shape filled with the tint colour of the
// view that shows it, as the picture masks a layer of that colour.
class TintedImageLayer : public Layer {
public:
    TintedImageLayer(std::shared_ptr<Image> image, std::weak_ptr<View> owner)
        : image_(image ? image->imageWithRenderingMode(ImageRenderingMode::AlwaysTemplate) : nullptr),
          owner_(std::move(owner)) {}

    void drawInContext(GraphicsContext& context) override {
        Layer::drawInContext(context);
        auto owner = owner_.lock();
        if (image_ && owner) context.drawImage(*image_, bounds(), owner->tintColor());
    }

private:
    std::shared_ptr<Image> image_;
    std::weak_ptr<View> owner_;
};

}  // namespace

void SwipeIndicatorView::awakeFromNib() {
    View::awakeFromNib();
    auto image = Image::named("PointingFinger");
    const Size size = image ? image->size() : Size{24, 30};
    const Rect bounds = this->bounds();
    handLayer_ = Layer::layer();
    handLayer_->setFrame(Rect{{0, 0}, size});
    handLayer_->setPosition(Point{std::floor(bounds.size.width / 2), std::floor(bounds.size.height / 2)});

    auto backing = Layer::layer();
    backing->setFrame(Rect{{5, 0}, {10, 15}});
    backing->setBackgroundColor(backgroundColor().value_or(Color::whiteColor()));
    handLayer_->addSublayer(backing);
    auto tinted = std::make_shared<TintedImageLayer>(image, weak_from_this());
    tinted->setFrame(handLayer_->bounds());
    handLayer_->addSublayer(tinted);

    handLayer_->setOpacity(0);
    layer().addSublayer(handLayer_);
    setBackgroundColor(Color::clearColor());
    setAlpha(0);
}

void SwipeIndicatorView::drawRect(const Rect&) {
    const double width = bounds().size.width, height = bounds().size.height;
    setStrokeColor(tintColor());
    BezierPath arc;
    const Point from{std::round(0.01 * width), std::round(0.5 * height)};
    arc.moveTo(from);
    KeyframePathAnimation::addQuadCurve(arc.path(), from, Point{std::round(0.5 * width), 0},
                                        Point{std::round(0.99 * width), std::round(0.5 * height)});
    arc.setLineWidth(1);
    arc.setLineCapStyle(LineCap::Butt);
    arc.stroke();
    arrowHeadPath(Point{std::floor(0.01 * width + 1), std::floor(0.5 * height)}).stroke();
}

BezierPath SwipeIndicatorView::arrowHeadPath(Point at) const {
    BezierPath path;
    path.moveTo(Point{std::floor(at.x + 3), std::floor(at.y - 5)});
    path.lineTo(at);
    path.lineTo(Point{std::floor(at.x + 5), std::floor(at.y + 3)});
    path.setLineWidth(1);
    path.setLineCapStyle(LineCap::Round);
    path.setLineJoinStyle(LineJoin::Miter);
    return path;
}

Path SwipeIndicatorView::handPath() const {
    const double width = bounds().size.width, height = bounds().size.height;
    Path path;
    const Point from{std::floor(0.7 * width), std::floor(0.5 * height + 2)};
    path.moveTo(from);
    KeyframePathAnimation::addQuadCurve(path, from, Point{std::floor(0.5 * width), std::floor(0.34 * height + 2)},
                                        Point{std::floor(0.32 * width), std::floor(0.5 * height + 2)});
    return path;
}

void SwipeIndicatorView::startAnimating() {
    std::weak_ptr<View> weakSelf = weak_from_this();
    View::animateKeyframes(
        5.8, 0, ViewAnimationOptionBeginFromCurrentState,
        [this] {
            View::addKeyframe(0, 4.0 / 5.8, [] {});
            View::addKeyframe(4.0 / 5.8, 0.8 / 5.8, [this] { setAlpha(1); });
        },
        [weakSelf](bool) {
            if (auto self = std::static_pointer_cast<SwipeIndicatorView>(weakSelf.lock())) self->animateHand();
        });
}

void SwipeIndicatorView::animateHand() {
    if (!handLayer_) return;
    auto opacity = BasicAnimation::animationWithKeyPath("opacity");
    opacity->setFromValue(0.0);
    opacity->setToValue(1.0);
    opacity->setDuration(0.0001);
    auto move = KeyframePathAnimation::animationWithKeyPath("position");
    move->setPath(handPath());
    move->setDuration(0.2);
    auto rotation = BasicAnimation::animationWithKeyPath("transform.rotation");
    rotation->setFromValue(0.349066);
    rotation->setToValue(-0.349066);
    rotation->setDuration(0.2);
    auto group = AnimationGroup::animation();
    group->setAnimations({opacity, move, rotation});
    group->setDuration(3.2);
    group->setRepeatCount(10000);
    group->setTimingFunction(MediaTimingFunction::named(MediaTimingFunction::Name::EaseInEaseOut));
    for (const auto& animation : std::initializer_list<std::shared_ptr<Animation>>{opacity, move, rotation, group}) {
        animation->setFillMode(FillMode::Forwards);
        animation->setRemovedOnCompletion(false);
    }
    handLayer_->addAnimation(group, "moveHandLayer");
}

void SwipeIndicatorView::stopAnimating() {
    View::animate(0, 0, ViewAnimationOptionBeginFromCurrentState, [this] { setAlpha(0); });
    if (handLayer_) handLayer_->removeAllAnimations();
}
