#include "platform/ui/View.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "platform/foundation/RunLoop.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/MainLoopDelay.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace {

// What a keyframe animation block collects: per layer and key, the value
// before the block and the changes of each keyframe.
struct KeyframeTrack {
    std::weak_ptr<Layer> layer;
    std::string key;
    AnimationValue start;
    struct Change {
        double start, duration;
        AnimationValue to;
    };
    std::vector<Change> changes;
};

// The animation block being run (View::animate), innermost last.
struct AnimationScope {
    double duration = 0;
    double delay = 0;
    unsigned options = 0;
    std::vector<KeyframeTrack>* keyframes = nullptr;  // inside animateKeyframes
    double relativeStart = 0;
    double relativeDuration = 1;
    std::optional<double> springDampingRatio = std::nullopt;  // inside a spring animation
    double springVelocity = 0;
};
thread_local std::vector<AnimationScope> animationScopes;
thread_local bool animationsEnabled = true;

std::optional<MediaTimingFunction> curveFor(unsigned options) {
    switch (options & (3u << 16)) {
        case ViewAnimationOptionCurveEaseIn:
            return MediaTimingFunction::named(MediaTimingFunction::Name::EaseIn);
        case ViewAnimationOptionCurveEaseOut:
            return MediaTimingFunction::named(MediaTimingFunction::Name::EaseOut);
        case ViewAnimationOptionCurveLinear:
            return MediaTimingFunction::named(MediaTimingFunction::Name::Linear);
        default:
            return MediaTimingFunction::named(MediaTimingFunction::Name::EaseInEaseOut);
    }
}

// Calls the completion once the clock has moved on by `seconds` (from the
// main run loop in any case).
void scheduleCompletion(double seconds, std::function<void(bool)> completion) {
    if (!completion) return;
    performOnMainLoopAfter(seconds, [completion = std::move(completion)] { completion(true); });
}

void tuneSpring(SpringAnimation& spring, double naturalFrequency, double dampingRatio) {
    spring.setMass(1);
    spring.setStiffness(naturalFrequency * naturalFrequency);
    spring.setDamping(2 * dampingRatio * naturalFrequency);
}

// A spring of unit mass with the damping ratio whose swing has died down to
// a thousandth of the distance after `duration` seconds: the natural
// frequency starts from the decay of the envelope and is corrected by the
// settling time found (the factors do not depend on the frequency alone, so
// a few rounds); the results are kept per ratio, velocity and duration.
std::shared_ptr<SpringAnimation> springAnimation(const std::string& key, double duration, double dampingRatio,
                                                 double initialVelocity) {
    static std::map<std::tuple<double, double, double>, double> frequencies;
    duration = std::max(duration, 0.01);
    auto spring = SpringAnimation::animationWithKeyPath(key);
    spring->setInitialVelocity(initialVelocity);
    const auto parameters = std::make_tuple(duration, dampingRatio, initialVelocity);
    auto known = frequencies.find(parameters);
    if (known == frequencies.end()) {
        double frequency = std::log(1000.0) / (dampingRatio * duration);
        for (int round = 0; round < 4; ++round) {
            tuneSpring(*spring, frequency, dampingRatio);
            frequency *= spring->settlingDuration() / duration;
        }
        known = frequencies.emplace(parameters, frequency).first;
    }
    tuneSpring(*spring, known->second, dampingRatio);
    return spring;
}

// Runs a block of changes inside an animation scope.
void runInScope(const AnimationScope& scope, const std::function<void()>& block) {
    animationScopes.push_back(scope);
    struct Pop {
        ~Pop() { animationScopes.pop_back(); }
    } pop;
    if (block) block();
}

void propagateWillMoveToWindow(View& view, Window* window) {
    if (ViewController* controller = view.viewController()) controller->rootViewWillMoveToWindow(window != nullptr);
    view.willMoveToWindow(window);
    auto children = view.subviews();
    for (auto& child : children) propagateWillMoveToWindow(*child, window);
}

void propagateDidMoveToWindow(View& view) {
    view.didMoveToWindow();
    if (ViewController* controller = view.viewController()) controller->rootViewDidMoveToWindow();
    auto children = view.subviews();
    for (auto& child : children) propagateDidMoveToWindow(*child);
}

}  // namespace

View::View() : View(Rect()) {}

View::View(const Rect& frame) : layer_(std::make_shared<Layer>()) {
    layer_->setDelegate(this);
    layer_->setFrame(frame);
}

View::View(const Coder& coder) : View(coder.frame) {}

View::~View() {
    layer_->setDelegate(nullptr);
    for (auto& child : subviews_) child->superview_ = nullptr;
    for (auto& recognizer : gestureRecognizers_) recognizer->view_ = nullptr;
    for (auto& constraint : constraints_) constraint->installedOn_ = nullptr;
}

// --- Geometry ---

void View::setFrame(const Rect& frame) {
    const Point oldPosition = layer_->position();
    const Rect oldBounds = layer_->bounds();
    layer_->setFrame(frame);
    if (oldPosition != layer_->position()) animateLayerKey("position", oldPosition, layer_->position());
    if (oldBounds != layer_->bounds()) animateLayerKey("bounds", oldBounds, layer_->bounds());
    if (oldBounds.size != layer_->bounds().size) setNeedsLayout();
}

void View::setBounds(const Rect& bounds) {
    const Rect old = layer_->bounds();
    if (old == bounds) return;
    layer_->setBounds(bounds);
    animateLayerKey("bounds", old, bounds);
    if (old.size != bounds.size) setNeedsLayout();
}

void View::setCenter(Point center) {
    const Point old = layer_->position();
    layer_->setPosition(center);
    if (old != center) animateLayerKey("position", old, center);
}

void View::setTransform(const AffineTransform& transform) {
    const AffineTransform old = layer_->affineTransform();
    layer_->setAffineTransform(transform);
    if (old != transform) animateLayerKey("transform", old, transform);
}

Point View::convertPointToView(Point point, const View* view) const {
    // Up to the root of this tree...
    const View* v = this;
    while (v->superview_) {
        point = v->layer_->convertToSuperlayer(point);
        v = v->superview_;
    }
    if (!view) return point;
    // ...and down to the other view.
    std::vector<const View*> chain;
    for (const View* u = view; u->superview_; u = u->superview_) chain.push_back(u);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) point = (*it)->layer_->convertFromSuperlayer(point);
    return point;
}

Point View::convertPointFromView(Point point, const View* view) const {
    if (view) return view->convertPointToView(point, this);
    std::vector<const View*> chain;
    for (const View* u = this; u->superview_; u = u->superview_) chain.push_back(u);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) point = (*it)->layer_->convertFromSuperlayer(point);
    return point;
}

Rect View::convertRectToView(const Rect& rect, const View* view) const {
    Point a = convertPointToView({rect.minX(), rect.minY()}, view);
    Point b = convertPointToView({rect.maxX(), rect.maxY()}, view);
    return Rect(std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x), std::abs(b.y - a.y));
}

// --- Appearance ---

void View::setHidden(bool hidden) {
    layer_->setHidden(hidden);
}

void View::setAlpha(double alpha) {
    const double old = layer_->opacity();
    layer_->setOpacity(alpha);
    if (old != alpha) animateLayerKey("opacity", old, alpha);
}

void View::setBackgroundColor(const std::optional<Color>& color) {
    auto old = layer_->backgroundColor();
    layer_->setBackgroundColor(color);
    if (old && color && !(*old == *color)) animateLayerKey("backgroundColor", *old, *color);
}

Color View::tintColor() const {
    for (const View* v = this; v; v = v->superview_)
        if (v->tintColor_) return *v->tintColor_;
    return Color::systemBlueColor();
}

View::TintAdjustmentMode View::tintAdjustmentMode() const {
    for (const View* v = this; v; v = v->superview_)
        if (v->tintAdjustmentMode_ != TintAdjustmentMode::Automatic) return v->tintAdjustmentMode_;
    return TintAdjustmentMode::Normal;
}

void View::setTintColor(std::optional<Color> color) {
    tintColor_ = std::move(color);
    notifyTintColorChange();
}

void View::notifyTintColorChange() {
    tintColorDidChange();
    auto children = subviews_;
    for (auto& child : children)
        if (!child->tintColor_) child->notifyTintColorChange();
}

void View::setContentMode(ContentMode mode) {
    contentMode_ = mode;
    setNeedsDisplay();
}

// --- Traits ---

TraitCollection View::traitCollection() const {
    TraitCollection traits = Screen::main().traitCollection();
    for (const View* v = this; v; v = v->superview_) {
        if (v->overrideUserInterfaceStyle_ != UserInterfaceStyle::Unspecified) {
            traits.userInterfaceStyle = v->overrideUserInterfaceStyle_;
            break;
        }
    }
    return traits;
}

// --- Hierarchy ---

void View::addSubview(const std::shared_ptr<View>& view) {
    insertSubviewAt(view, subviews_.size() + 1);
}

void View::insertSubview(const std::shared_ptr<View>& view, std::size_t index) {
    insertSubviewAt(view, index);
}

void View::insertSubviewBelow(const std::shared_ptr<View>& view, const View* sibling) {
    auto it = std::find_if(subviews_.begin(), subviews_.end(), [&](const auto& v) { return v.get() == sibling; });
    std::size_t index = it == subviews_.end() ? subviews_.size() + 1 : static_cast<std::size_t>(it - subviews_.begin());
    // Moving a view that sits below the sibling shifts the sibling down by one.
    if (view && view->superview_ == this) {
        auto own = std::find(subviews_.begin(), subviews_.end(), view);
        if (own < it) --index;
    }
    insertSubviewAt(view, index);
}

void View::insertSubviewAbove(const std::shared_ptr<View>& view, const View* sibling) {
    auto it = std::find_if(subviews_.begin(), subviews_.end(), [&](const auto& v) { return v.get() == sibling; });
    std::size_t index =
        it == subviews_.end() ? subviews_.size() + 1 : static_cast<std::size_t>(it - subviews_.begin()) + 1;
    if (view && view->superview_ == this) {
        auto own = std::find(subviews_.begin(), subviews_.end(), view);
        if (own < it) --index;
    }
    insertSubviewAt(view, index);
}

void View::insertSubviewAt(const std::shared_ptr<View>& view, std::size_t index) {
    if (!view || view.get() == this) return;
    auto keep = view;
    if (view->superview_ == this) {
        subviews_.erase(std::find(subviews_.begin(), subviews_.end(), view));
    } else {
        Window* newWindow = window();
        Window* oldWindow = view->window();
        view->willMoveToSuperview(this);
        if (oldWindow != newWindow) {
            if (oldWindow) oldWindow->forgetFirstResponderIn(view.get());
            propagateWillMoveToWindow(*view, newWindow);
        }
        if (View* old = view->superview_) {
            old->willRemoveSubview(view.get());
            old->subviews_.erase(std::find(old->subviews_.begin(), old->subviews_.end(), view));
        }
        index = std::min(index, subviews_.size());
        subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), view);
        view->superview_ = this;
        if (index + 1 < subviews_.size())
            layer_->insertSublayerBelow(view->layer_, subviews_[index + 1]->layer_.get());
        else
            layer_->addSublayer(view->layer_);
        if (oldWindow != newWindow) propagateDidMoveToWindow(*view);
        view->didMoveToSuperview();
        didAddSubview(view.get());
        view->notifyTintColorChange();
        view->setNeedsLayout();
        return;
    }
    index = std::min(index, subviews_.size());
    subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), view);
    if (index + 1 < subviews_.size())
        layer_->insertSublayerBelow(view->layer_, subviews_[index + 1]->layer_.get());
    else
        layer_->addSublayer(view->layer_);
}

void View::removeFromSuperview() {
    View* parent = superview_;
    if (!parent) return;
    auto keep = shared_from_this();
    Window* oldWindow = window();
    parent->willRemoveSubview(this);
    willMoveToSuperview(nullptr);
    if (oldWindow) {
        oldWindow->forgetFirstResponderIn(this);
        propagateWillMoveToWindow(*this, nullptr);
    }
    auto& siblings = parent->subviews_;
    siblings.erase(std::find_if(siblings.begin(), siblings.end(), [&](const auto& v) { return v.get() == this; }));
    layer_->removeFromSuperlayer();
    superview_ = nullptr;
    // Constraints of the former ancestors that tie this tree in go with it.
    auto involvesThisTree = [&](const std::shared_ptr<LayoutConstraint>& c) {
        auto first = c->firstItem(), second = c->secondItem();
        return (first && first->isDescendantOfView(this)) || (second && second->isDescendantOfView(this));
    };
    for (View* ancestor = parent; ancestor; ancestor = ancestor->superview_) {
        std::vector<std::shared_ptr<LayoutConstraint>> stale;
        for (const auto& c : ancestor->constraints_)
            if (involvesThisTree(c)) stale.push_back(c);
        ancestor->removeConstraints(stale);
    }
    if (oldWindow) propagateDidMoveToWindow(*this);
    didMoveToSuperview();
}

void View::bringSubviewToFront(const View* view) {
    auto it = std::find_if(subviews_.begin(), subviews_.end(), [&](const auto& v) { return v.get() == view; });
    if (it == subviews_.end()) return;
    auto keep = *it;
    subviews_.erase(it);
    subviews_.push_back(keep);
    layer_->addSublayer(keep->layer_);
}

void View::sendSubviewToBack(const View* view) {
    auto it = std::find_if(subviews_.begin(), subviews_.end(), [&](const auto& v) { return v.get() == view; });
    if (it == subviews_.end()) return;
    auto keep = *it;
    subviews_.erase(it);
    subviews_.insert(subviews_.begin(), keep);
    layer_->insertSublayer(keep->layer_, 0);
}

bool View::isDescendantOfView(const View* view) const {
    for (const View* v = this; v; v = v->superview_)
        if (v == view) return true;
    return false;
}

View* View::viewWithTag(std::int64_t tag) {
    if (tag_ == tag) return this;
    for (auto& child : subviews_)
        if (View* found = child->viewWithTag(tag)) return found;
    return nullptr;
}

Window* View::window() const {
    const View* v = this;
    while (v->superview_) v = v->superview_;
    return dynamic_cast<Window*>(const_cast<View*>(v));
}

// --- Layout ---

void View::setNeedsLayout() {
    layer_->setNeedsLayout();
    if (Window* w = window()) w->scheduleLayout();
}

void View::layoutIfNeeded() {
    layer_->layoutIfNeeded();
}

Size View::sizeThatFits(Size) const {
    return bounds().size;
}

void View::sizeToFit() {
    Rect f = frame();
    f.size = sizeThatFits(bounds().size);
    setFrame(f);
}

float View::contentHuggingPriorityForAxis(LayoutConstraintAxis axis) const {
    return huggingPriority_[axis == LayoutConstraintAxis::Horizontal ? 0 : 1];
}

void View::setContentHuggingPriority(float priority, LayoutConstraintAxis axis) {
    huggingPriority_[axis == LayoutConstraintAxis::Horizontal ? 0 : 1] = priority;
}

float View::contentCompressionResistancePriorityForAxis(LayoutConstraintAxis axis) const {
    return compressionPriority_[axis == LayoutConstraintAxis::Horizontal ? 0 : 1];
}

void View::setContentCompressionResistancePriority(float priority, LayoutConstraintAxis axis) {
    compressionPriority_[axis == LayoutConstraintAxis::Horizontal ? 0 : 1] = priority;
}

void View::addConstraint(const std::shared_ptr<LayoutConstraint>& constraint) {
    if (!constraint || constraint->installedOn_ == this) return;
    if (constraint->installedOn_) constraint->installedOn_->removeConstraint(constraint);
    constraints_.push_back(constraint);
    constraint->installedOn_ = this;
    setNeedsLayout();
}

void View::addConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
    for (const auto& c : constraints) addConstraint(c);
}

void View::removeConstraint(const std::shared_ptr<LayoutConstraint>& constraint) {
    auto it = std::find(constraints_.begin(), constraints_.end(), constraint);
    if (it == constraints_.end()) return;
    (*it)->installedOn_ = nullptr;
    constraints_.erase(it);
    setNeedsLayout();
}

void View::removeConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
    for (const auto& c : constraints) removeConstraint(c);
}

EdgeInsets View::safeAreaInsets() const {
    Window* w = window();
    if (!w) return {};
    EdgeInsets insets = w->windowSafeAreaInsets();
    Rect inWindow = convertRectToView(bounds(), nullptr);
    Rect windowBounds = w->bounds();
    return {std::max(0.0, insets.top - inWindow.minY()), std::max(0.0, insets.left - inWindow.minX()),
            std::max(0.0, inWindow.maxY() - (windowBounds.maxY() - insets.bottom)),
            std::max(0.0, inWindow.maxX() - (windowBounds.maxX() - insets.right))};
}

// --- Touches ---

View* View::hitTest(Point point) {
    if (isHidden() || !userInteractionEnabled_ || alpha() < 0.01) return nullptr;
    if (!pointInside(point)) return nullptr;
    for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
        if (View* hit = (*it)->hitTest((*it)->layer_->convertFromSuperlayer(point))) return hit;
    }
    return this;
}

bool View::pointInside(Point point) const {
    return bounds().contains(point);
}

void View::addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
    if (!recognizer) return;
    if (recognizer->view_ == this) return;
    if (recognizer->view_) recognizer->view_->removeGestureRecognizer(recognizer.get());
    gestureRecognizers_.push_back(recognizer);
    recognizer->view_ = this;
}

void View::removeGestureRecognizer(const GestureRecognizer* recognizer) {
    auto it = std::find_if(gestureRecognizers_.begin(), gestureRecognizers_.end(),
                           [&](const auto& r) { return r.get() == recognizer; });
    if (it == gestureRecognizers_.end()) return;
    (*it)->view_ = nullptr;
    gestureRecognizers_.erase(it);
}

// --- Responder ---

bool View::becomeFirstResponder() {
    if (!canBecomeFirstResponder()) return false;
    Window* w = window();
    return w && w->setFirstResponder(this);
}

bool View::resignFirstResponder() {
    if (Window* w = window()) w->clearFirstResponder(this);
    return true;
}

bool View::isFirstResponder() const {
    Window* w = window();
    return w && w->firstResponder() == static_cast<const Responder*>(this);
}

bool View::endEditing(bool force) {
    Window* w = window();
    if (!w) return true;
    auto* responder = dynamic_cast<View*>(w->firstResponder());
    if (!responder || !responder->isDescendantOfView(this)) return true;
    bool resigned = responder->resignFirstResponder();
    if (!resigned && force) w->forgetFirstResponderIn(responder);
    return resigned || force;
}

// --- Associated objects ---

void View::setAssociatedObject(const void* key, std::shared_ptr<void> object) {
    if (object)
        associatedObjects_[key] = std::move(object);
    else
        associatedObjects_.erase(key);
}

std::shared_ptr<void> View::associatedObject(const void* key) const {
    auto it = associatedObjects_.find(key);
    return it == associatedObjects_.end() ? nullptr : it->second;
}

// --- Layer delegate ---

void View::drawLayer(Layer& layer, GraphicsContext& context) {
    if (&layer != layer_.get()) return;
    GraphicsContext::Scope scope(context);
    traitCollection().performAsCurrent([&] { drawRect(bounds()); });
}

void View::layoutSublayersOfLayer(Layer& layer) {
    if (&layer != layer_.get()) return;
    auto keep = shared_from_this();
    traitCollection().performAsCurrent([&] {
        if (viewController_) viewController_->viewWillLayoutSubviews();
        layoutSubviews();
        if (viewController_) viewController_->viewDidLayoutSubviews();
    });
}

// --- Animations ---

void View::animateLayerKey(const std::string& key, const AnimationValue& from, const AnimationValue& to) {
    if (animationScopes.empty() || !animationsEnabled) return;
    const AnimationScope& scope = animationScopes.back();
    if (scope.duration <= 0) return;
    if (scope.keyframes) {
        auto& tracks = *scope.keyframes;
        auto track = std::find_if(tracks.begin(), tracks.end(),
                                  [&](const KeyframeTrack& t) { return t.layer.lock() == layer_ && t.key == key; });
        if (track == tracks.end()) {
            AnimationValue start = from;
            // What is shown now differs from the value before the change only
            // while an animation of the key is in flight (the model value has
            // already changed).
            if (scope.options & ViewAnimationOptionBeginFromCurrentState) {
                bool inFlight = false;
                for (const auto& name : layer_->animationKeys()) {
                    auto running = layer_->animationForKey(name);
                    if (running && running->animatesKeyPath(key)) inFlight = true;
                }
                if (inFlight)
                    if (auto shown = layer_->presentationValueForKey(key)) start = *shown;
            }
            tracks.push_back({layer_, key, start, {}});
            track = tracks.end() - 1;
        }
        track->changes.push_back({scope.relativeStart, scope.relativeDuration, to});
        return;
    }
    std::shared_ptr<BasicAnimation> animation;
    if (scope.springDampingRatio) {
        animation = springAnimation(key, scope.duration, *scope.springDampingRatio, scope.springVelocity);
    } else {
        animation = BasicAnimation::animationWithKeyPath(key);
        animation->setTimingFunction(curveFor(scope.options));
    }
    animation->setFromValue(from);
    animation->setToValue(to);
    animation->setDuration(scope.duration);
    if (scope.delay > 0) {
        animation->setBeginTime(currentMediaTime() + scope.delay);
        animation->setFillMode(FillMode::Backwards);
    }
    layer_->addAnimation(animation, key);
}

void View::animate(double duration, double delay, unsigned options, const std::function<void()>& animations,
                   std::function<void(bool)> completion) {
    runInScope({duration, delay, options}, animations);
    scheduleCompletion(animationsEnabled ? std::max(0.0, delay) + std::max(0.0, duration) : 0, std::move(completion));
}

void View::animate(double duration, double delay, double dampingRatio, double initialVelocity, unsigned options,
                   const std::function<void()>& animations, std::function<void(bool)> completion) {
    AnimationScope scope{duration, delay, options};
    scope.springDampingRatio = std::clamp(dampingRatio, 0.01, 1.0);
    scope.springVelocity = initialVelocity;
    runInScope(scope, animations);
    scheduleCompletion(animationsEnabled ? std::max(0.0, delay) + std::max(0.0, duration) : 0, std::move(completion));
}

void View::animate(double duration, const std::function<void()>& animations, std::function<void(bool)> completion) {
    animate(duration, 0, ViewAnimationOptionNone, animations, std::move(completion));
}

void View::transition(View& view, double duration, unsigned options, const std::function<void()>& animations,
                      std::function<void(bool)> completion) {
    static const std::pair<const char*, const char*> kinds[] = {
        {"", ""},
        {"flip", "fromLeft"},
        {"flip", "fromRight"},
        {"pageCurl", "fromBottom"},
        {"pageUnCurl", "fromTop"},
        {"fade", ""},
        {"flip", "fromTop"},
        {"flip", "fromBottom"},
    };
    const unsigned kind = (options >> 20) & 7u;
    if (kind != 0 && animationsEnabled && duration > 0) {
        auto animation = std::make_shared<TransitionAnimation>(kinds[kind].first, kinds[kind].second);
        animation->setDuration(duration);
        animation->setTimingFunction(curveFor(options));
        view.layer().addAnimation(animation, std::string("transition"));
    }
    performWithoutAnimation(animations);
    scheduleCompletion(animationsEnabled ? std::max(0.0, duration) : 0, std::move(completion));
}

void View::animateKeyframes(double duration, double delay, unsigned options, const std::function<void()>& animations,
                            std::function<void(bool)> completion) {
    std::vector<KeyframeTrack> tracks;
    {
        animationScopes.push_back({duration, delay, options, &tracks, 0, 1});
        struct Pop {
            ~Pop() { animationScopes.pop_back(); }
        } pop;
        if (animations) animations();
    }
    for (auto& track : tracks) {
        auto layer = track.layer.lock();
        if (!layer) continue;
        std::stable_sort(track.changes.begin(), track.changes.end(),
                         [](const auto& a, const auto& b) { return a.start < b.start; });
        std::vector<AnimationValue> values{track.start};
        std::vector<double> keyTimes{0};
        AnimationValue current = track.start;
        for (const auto& change : track.changes) {
            const double start = std::clamp(change.start, keyTimes.back(), 1.0);
            const double end = std::clamp(change.start + change.duration, start, 1.0);
            values.push_back(current);
            keyTimes.push_back(start);
            values.push_back(change.to);
            keyTimes.push_back(end);
            current = change.to;
        }
        values.push_back(current);
        keyTimes.push_back(1);
        auto animation = KeyframeAnimation::animationWithKeyPath(track.key);
        animation->setValues(std::move(values));
        animation->setKeyTimes(std::move(keyTimes));
        animation->setDuration(duration);
        if (delay > 0) {
            animation->setBeginTime(currentMediaTime() + delay);
            animation->setFillMode(FillMode::Backwards);
        }
        layer->addAnimation(animation, track.key);
    }
    scheduleCompletion(animationsEnabled ? std::max(0.0, delay) + std::max(0.0, duration) : 0, std::move(completion));
}

void View::addKeyframe(double relativeStartTime, double relativeDuration, const std::function<void()>& animations) {
    if (animationScopes.empty() || !animationScopes.back().keyframes) {
        if (animations) animations();
        return;
    }
    AnimationScope scope = animationScopes.back();
    scope.relativeStart = relativeStartTime;
    scope.relativeDuration = relativeDuration;
    runInScope(scope, animations);
}

void View::performWithoutAnimation(const std::function<void()>& actions) {
    runInScope({0, 0, 0}, actions);
}

bool View::areAnimationsEnabled() {
    return animationsEnabled;
}
void View::setAnimationsEnabled(bool enabled) {
    animationsEnabled = enabled;
}
