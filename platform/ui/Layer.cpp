#include "platform/ui/Layer.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "platform/foundation/RunLoop.h"

Layer::Layer() = default;

Layer::~Layer() {
    for (auto& sublayer : sublayers_) sublayer->superlayer_ = nullptr;
    for (auto& running : animations_)
        if (running.timer) running.timer->invalidate();
}

// --- Geometry ---

void Layer::setBounds(const Rect& bounds) {
    if (bounds.size != bounds_.size) needsLayout_ = true;
    bounds_ = bounds;
}

Rect Layer::frame() const {
    const double w = bounds_.size.width, h = bounds_.size.height;
    if (transform_.isIdentity()) return Rect(position_.x - anchorPoint_.x * w, position_.y - anchorPoint_.y * h, w, h);
    Rect local(-anchorPoint_.x * w, -anchorPoint_.y * h, w, h);
    return transform_.apply(local).offsetBy(position_.x, position_.y);
}

void Layer::setFrame(const Rect& frame) {
    Rect b = bounds_;
    b.size = frame.size;
    setBounds(b);
    position_ = {frame.origin.x + anchorPoint_.x * frame.size.width,
                 frame.origin.y + anchorPoint_.y * frame.size.height};
}

Point Layer::convertToSuperlayer(Point p) const {
    Point local{p.x - (bounds_.origin.x + anchorPoint_.x * bounds_.size.width),
                p.y - (bounds_.origin.y + anchorPoint_.y * bounds_.size.height)};
    Point moved = transform_.apply(local);
    return {position_.x + moved.x, position_.y + moved.y};
}

Point Layer::convertFromSuperlayer(Point p) const {
    Point local = transform_.inverted().apply(Point{p.x - position_.x, p.y - position_.y});
    return {local.x + bounds_.origin.x + anchorPoint_.x * bounds_.size.width,
            local.y + bounds_.origin.y + anchorPoint_.y * bounds_.size.height};
}

// --- Tree ---

void Layer::addSublayer(const std::shared_ptr<Layer>& layer) {
    insertSublayer(layer, sublayers_.size() + 1);
}

void Layer::insertSublayer(const std::shared_ptr<Layer>& layer, std::size_t index) {
    if (!layer || layer.get() == this) return;
    auto keep = layer;
    layer->removeFromSuperlayer();
    index = std::min(index, sublayers_.size());
    sublayers_.insert(sublayers_.begin() + static_cast<std::ptrdiff_t>(index), keep);
    keep->superlayer_ = this;
}

void Layer::insertSublayerBelow(const std::shared_ptr<Layer>& layer, const Layer* sibling) {
    if (!layer) return;
    auto keep = layer;
    keep->removeFromSuperlayer();
    auto it = std::find_if(sublayers_.begin(), sublayers_.end(), [&](const auto& l) { return l.get() == sibling; });
    insertSublayer(keep, it == sublayers_.end() ? 0 : static_cast<std::size_t>(it - sublayers_.begin()));
}

void Layer::insertSublayerAbove(const std::shared_ptr<Layer>& layer, const Layer* sibling) {
    if (!layer) return;
    auto keep = layer;
    keep->removeFromSuperlayer();
    auto it = std::find_if(sublayers_.begin(), sublayers_.end(), [&](const auto& l) { return l.get() == sibling; });
    insertSublayer(keep,
                   it == sublayers_.end() ? sublayers_.size() : static_cast<std::size_t>(it - sublayers_.begin()) + 1);
}

void Layer::removeFromSuperlayer() {
    Layer* parent = superlayer_;
    if (!parent) return;
    auto keep = shared_from_this();
    auto& siblings = parent->sublayers_;
    siblings.erase(std::remove_if(siblings.begin(), siblings.end(), [&](const auto& l) { return l.get() == this; }),
                   siblings.end());
    superlayer_ = nullptr;
}

// --- Display and layout ---

void Layer::displayIfNeeded() {
    if (needsDisplay_) display();
}

void Layer::display() {
    needsDisplay_ = false;
    ++displayCount_;
}

bool Layer::needsDisplayForKey(const std::string&) const {
    return false;
}

void Layer::drawInContext(GraphicsContext& context) {
    if (delegate_) delegate_->drawLayer(*this, context);
}

void Layer::layoutIfNeeded() {
    auto keep = weak_from_this().lock();
    if (needsLayout_) {
        needsLayout_ = false;
        layoutSublayers();
    }
    auto sublayers = sublayers_;
    for (auto& sublayer : sublayers) sublayer->layoutIfNeeded();
}

void Layer::layoutSublayers() {
    if (delegate_) delegate_->layoutSublayersOfLayer(*this);
}

// --- Key-value access ---

namespace {

// The transform scaled uniformly to `scale`, its rotation and translation kept.
AffineTransform withUniformScale(const AffineTransform& transform, double scale) {
    AffineTransform scaled = AffineTransform::scale(scale, scale)
                                 .concatenating(AffineTransform::rotation(std::atan2(transform.b, transform.a)));
    scaled.tx = transform.tx;
    scaled.ty = transform.ty;
    return scaled;
}

}  // namespace

std::optional<AnimationValue> Layer::valueForKey(const std::string& key) const {
    if (key == "opacity") return opacity_;
    if (key == "position") return position_;
    if (key == "position.x") return position_.x;
    if (key == "position.y") return position_.y;
    if (key == "transform.scale") return std::hypot(transform_.a, transform_.b);
    if (key == "bounds") return bounds_;
    if (key == "transform") return transform_;
    if (key == "cornerRadius") return cornerRadius_;
    if (key == "borderWidth") return borderWidth_;
    if (key == "backgroundColor")
        return backgroundColor_ ? std::optional<AnimationValue>(*backgroundColor_) : std::nullopt;
    if (key == "borderColor") return borderColor_ ? std::optional<AnimationValue>(*borderColor_) : std::nullopt;
    return std::nullopt;
}

bool Layer::setValueForKey(const std::string& key, const AnimationValue& value) {
    auto number = animationDouble(value);
    auto color = animationColor(value);
    if (key == "opacity" && number)
        opacity_ = *number;
    else if (key == "position" && std::holds_alternative<Point>(value))
        position_ = std::get<Point>(value);
    else if (key == "position.x" && number)
        position_.x = *number;
    else if (key == "position.y" && number)
        position_.y = *number;
    else if (key == "transform.scale" && number)
        transform_ = withUniformScale(transform_, *number);
    else if (key == "bounds" && std::holds_alternative<Rect>(value))
        setBounds(std::get<Rect>(value));
    else if (key == "transform" && std::holds_alternative<AffineTransform>(value))
        transform_ = std::get<AffineTransform>(value);
    else if (key == "cornerRadius" && number)
        cornerRadius_ = *number;
    else if (key == "borderWidth" && number)
        borderWidth_ = *number;
    else if (key == "backgroundColor" && color)
        backgroundColor_ = color;
    else if (key == "borderColor" && color)
        borderColor_ = color;
    else
        return false;
    if (needsDisplayForKey(key)) setNeedsDisplay();
    return true;
}

std::optional<AnimationValue> Layer::presentationValueForKey(const std::string& key) const {
    const auto model = valueForKey(key);
    auto value = model;
    if (animations_.empty()) return value;
    const double now = currentMediaTime();
    const auto run = [&](const std::string& path, const std::optional<AnimationValue>& base,
                         std::optional<AnimationValue>& shown) {
        for (const auto& running : animations_) running.animation->apply(path, now - running.startTime, base, shown);
    };
    run(key, model, value);
    // What animates a part of a property shows in the whole of it.
    const auto part = [&](const std::string& path, double shownPart) {
        std::optional<AnimationValue> partValue = shownPart;
        run(path, valueForKey(path), partValue);
        return animationDouble(partValue).value_or(shownPart);
    };
    if (key == "position" && value && std::holds_alternative<Point>(*value)) {
        Point& point = std::get<Point>(*value);
        point = {part("position.x", point.x), part("position.y", point.y)};
    } else if (key == "transform" && value && std::holds_alternative<AffineTransform>(*value)) {
        AffineTransform& transform = std::get<AffineTransform>(*value);
        const double scale = std::hypot(transform.a, transform.b);
        const double shownScale = part("transform.scale", scale);
        if (shownScale != scale) transform = withUniformScale(transform, shownScale);
    }
    return value;
}

double Layer::presentationDouble(const std::string& key) const {
    return animationDouble(presentationValueForKey(key)).value_or(0);
}

std::optional<Color> Layer::presentationColor(const std::string& key) const {
    return animationColor(presentationValueForKey(key));
}

// --- Animations ---

void Layer::addAnimation(const std::shared_ptr<Animation>& animation, const std::optional<std::string>& key) {
    if (!animation) return;
    const std::string name = key.value_or("");
    if (!name.empty()) removeAnimationForKey(name);
    Running running;
    running.key = name;
    running.animation = animation->copy();
    running.startTime = running.animation->beginTime() > 0 ? running.animation->beginTime() : currentMediaTime();
    const Animation* identity = running.animation.get();
    std::weak_ptr<Layer> weak = weak_from_this();
    running.timer = std::make_shared<Timer>(Date(running.startTime + running.animation->activeDuration()), 0, false,
                                            [weak, identity](Timer&) {
                                                if (auto layer = weak.lock()) layer->animationTimerFired(identity);
                                            });
    RunLoop::main().addTimer(running.timer, RunLoop::kCommonModes);
    if (running.animation->activeDuration() <= kWatchedAnimationSeconds)
        animatingUntil_ = std::max(animatingUntil_, running.startTime + running.animation->activeDuration());
    auto started = running.animation;
    animations_.push_back(std::move(running));
    if (started->delegate()) started->delegate()->animationDidStart(*started);
}

void Layer::animationTimerFired(const Animation* animation) {
    auto it = std::find_if(animations_.begin(), animations_.end(),
                           [&](const Running& r) { return r.animation.get() == animation; });
    if (it == animations_.end()) return;
    auto finished = it->animation;
    it->timer.reset();
    if (finished->isRemovedOnCompletion()) animations_.erase(it);
    if (finished->delegate()) finished->delegate()->animationDidStop(*finished, true);
}

std::shared_ptr<const Animation> Layer::animationForKey(const std::string& key) const {
    for (const auto& running : animations_)
        if (!key.empty() && running.key == key) return running.animation;
    return nullptr;
}

void Layer::removeAnimationForKey(const std::string& key) {
    auto it = std::find_if(animations_.begin(), animations_.end(), [&](const Running& r) { return r.key == key; });
    if (it == animations_.end()) return;
    auto removed = it->animation;
    bool wasRunning = static_cast<bool>(it->timer);
    if (it->timer) it->timer->invalidate();
    animations_.erase(it);
    if (wasRunning && removed->delegate()) removed->delegate()->animationDidStop(*removed, false);
}

void Layer::removeAllAnimations() {
    auto all = std::move(animations_);
    animations_.clear();
    for (auto& running : all) {
        bool wasRunning = static_cast<bool>(running.timer);
        if (running.timer) running.timer->invalidate();
        if (wasRunning && running.animation->delegate())
            running.animation->delegate()->animationDidStop(*running.animation, false);
    }
}

std::vector<std::string> Layer::animationKeys() const {
    std::vector<std::string> keys;
    for (const auto& running : animations_)
        if (!running.key.empty()) keys.push_back(running.key);
    return keys;
}

std::optional<double> Layer::animationStartTime(const std::string& key) const {
    for (const auto& running : animations_)
        if (running.key == key) return running.startTime;
    return std::nullopt;
}

// --- Rendering ---

void Layer::renderInContext(GraphicsContext& context) {
    if (hidden_) return;
    const double opacity = presentationDouble("opacity");
    if (opacity <= 0) return;
    auto keep = weak_from_this().lock();
    const Point position = std::get<Point>(*presentationValueForKey("position"));
    const Rect bounds = std::get<Rect>(*presentationValueForKey("bounds"));
    const AffineTransform transform = std::get<AffineTransform>(*presentationValueForKey("transform"));

    context.saveGState();
    context.translate(position.x, position.y);
    context.concat(transform);
    context.translate(-(bounds.origin.x + anchorPoint_.x * bounds.size.width),
                      -(bounds.origin.y + anchorPoint_.y * bounds.size.height));
    const bool group = opacity < 1;
    if (group) cairo_push_group(context.cairo());

    const double radius = presentationDouble("cornerRadius");
    Path shape;
    shape.addRoundedRect(bounds, radius);
    if (masksToBounds_) context.clipToPath(shape);
    if (auto background = presentationColor("backgroundColor")) {
        context.setFillColor(*background);
        context.fillPath(shape);
    }
    displayIfNeeded();
    context.saveGState();
    drawInContext(context);
    context.restoreGState();
    auto sublayers = sublayers_;
    for (auto& sublayer : sublayers) sublayer->renderInContext(context);
    const double borderWidth = presentationDouble("borderWidth");
    auto borderColor = presentationColor("borderColor");
    if (borderWidth > 0 && borderColor) {
        Path border;
        border.addRoundedRect(bounds.insetBy(borderWidth / 2, borderWidth / 2),
                              std::max(0.0, radius - borderWidth / 2));
        context.setLineWidth(borderWidth);
        context.setStrokeColor(*borderColor);
        context.strokePath(border);
    }

    if (group) {
        cairo_pop_group_to_source(context.cairo());
        cairo_paint_with_alpha(context.cairo(), opacity);
    }
    context.restoreGState();
}

// --- ShapeLayer ---

std::optional<AnimationValue> ShapeLayer::valueForKey(const std::string& key) const {
    if (key == "strokeStart") return strokeStart_;
    if (key == "strokeEnd") return strokeEnd_;
    if (key == "lineWidth") return lineWidth_;
    if (key == "lineDashPhase") return lineDashPhase_;
    if (key == "strokeColor") return strokeColor_ ? std::optional<AnimationValue>(*strokeColor_) : std::nullopt;
    if (key == "fillColor") return fillColor_ ? std::optional<AnimationValue>(*fillColor_) : std::nullopt;
    return Layer::valueForKey(key);
}

bool ShapeLayer::setValueForKey(const std::string& key, const AnimationValue& value) {
    auto number = animationDouble(value);
    auto color = animationColor(value);
    if (key == "strokeStart" && number)
        strokeStart_ = *number;
    else if (key == "strokeEnd" && number)
        strokeEnd_ = *number;
    else if (key == "lineWidth" && number)
        lineWidth_ = *number;
    else if (key == "lineDashPhase" && number)
        lineDashPhase_ = *number;
    else if (key == "strokeColor" && color)
        strokeColor_ = color;
    else if (key == "fillColor" && color)
        fillColor_ = color;
    else
        return Layer::setValueForKey(key, value);
    return true;
}

void ShapeLayer::drawInContext(GraphicsContext& context) {
    if (!path_) return;
    if (auto fill = presentationColor("fillColor")) {
        context.setFillColor(*fill);
        context.fillPath(*path_);
    }
    auto stroke = presentationColor("strokeColor");
    const double width = presentationDouble("lineWidth");
    const double from = presentationDouble("strokeStart"), to = presentationDouble("strokeEnd");
    if (!stroke || width <= 0 || to <= from) return;
    context.setStrokeColor(*stroke);
    context.setLineWidth(width);
    context.setLineCap(lineCap_);
    context.setLineJoin(lineJoin_);
    context.setLineDash(presentationDouble("lineDashPhase"), lineDashPattern_);
    context.strokePath(*path_, from, to);
}

// --- TextLayer ---

std::optional<AnimationValue> TextLayer::valueForKey(const std::string& key) const {
    if (key == "fontSize") return fontSize_;
    if (key == "foregroundColor") return foregroundColor_;
    return Layer::valueForKey(key);
}

bool TextLayer::setValueForKey(const std::string& key, const AnimationValue& value) {
    if (key == "fontSize" && animationDouble(value))
        fontSize_ = *animationDouble(value);
    else if (key == "foregroundColor" && animationColor(value))
        foregroundColor_ = *animationColor(value);
    else
        return Layer::setValueForKey(key, value);
    return true;
}

void TextLayer::drawInContext(GraphicsContext& context) {
    if (string_.empty()) return;
    TextAlignment alignment = TextAlignment::Left;
    if (alignmentMode_ == TextLayerAlignment::Center) alignment = TextAlignment::Center;
    if (alignmentMode_ == TextLayerAlignment::Right) alignment = TextAlignment::Right;
    context.setFillColor(presentationColor("foregroundColor").value_or(foregroundColor_));
    context.drawText(string_, bounds(), font_.withSize(presentationDouble("fontSize")), alignment, wrapped_);
}

// --- GradientLayer ---

std::optional<AnimationValue> GradientLayer::valueForKey(const std::string& key) const {
    if (key == "startPoint") return startPoint_;
    if (key == "endPoint") return endPoint_;
    return Layer::valueForKey(key);
}

bool GradientLayer::setValueForKey(const std::string& key, const AnimationValue& value) {
    if (key == "startPoint" && std::holds_alternative<Point>(value))
        startPoint_ = std::get<Point>(value);
    else if (key == "endPoint" && std::holds_alternative<Point>(value))
        endPoint_ = std::get<Point>(value);
    else
        return Layer::setValueForKey(key, value);
    return true;
}

void GradientLayer::drawInContext(GraphicsContext& context) {
    if (colors_.empty()) return;
    const Rect b = bounds();
    auto at = [&](Point unit) {
        return Point{b.origin.x + unit.x * b.size.width, b.origin.y + unit.y * b.size.height};
    };
    context.clipToRect(b);
    context.drawLinearGradient(colors_, locations_.value_or(std::vector<double>{}),
                               at(std::get<Point>(*presentationValueForKey("startPoint"))),
                               at(std::get<Point>(*presentationValueForKey("endPoint"))));
}
