#include "platform/ui/Animation.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/Date.h"

namespace {

template <class T>
T lerpValue(const T& a, const T& b, double t);

template <>
double lerpValue(const double& a, const double& b, double t) {
    return a + (b - a) * t;
}
template <>
Point lerpValue(const Point& a, const Point& b, double t) {
    return {lerpValue(a.x, b.x, t), lerpValue(a.y, b.y, t)};
}
template <>
Size lerpValue(const Size& a, const Size& b, double t) {
    return {lerpValue(a.width, b.width, t), lerpValue(a.height, b.height, t)};
}
template <>
Rect lerpValue(const Rect& a, const Rect& b, double t) {
    return Rect(lerpValue(a.origin, b.origin, t), lerpValue(a.size, b.size, t));
}
template <>
Color lerpValue(const Color& a, const Color& b, double t) {
    return Color(lerpValue(a.red(), b.red(), t), lerpValue(a.green(), b.green(), t), lerpValue(a.blue(), b.blue(), t),
                 lerpValue(a.alpha(), b.alpha(), t));
}
template <>
AffineTransform lerpValue(const AffineTransform& a, const AffineTransform& b, double t) {
    return {lerpValue(a.a, b.a, t), lerpValue(a.b, b.b, t),   lerpValue(a.c, b.c, t),
            lerpValue(a.d, b.d, t), lerpValue(a.tx, b.tx, t), lerpValue(a.ty, b.ty, t)};
}

}  // namespace

AnimationValue interpolate(const AnimationValue& from, const AnimationValue& to, double fraction) {
    if (from.index() != to.index()) return to;
    return std::visit(
        [&](const auto& a) -> AnimationValue {
            using T = std::decay_t<decltype(a)>;
            return lerpValue<T>(a, std::get<T>(to), fraction);
        },
        from);
}

std::optional<double> animationDouble(const std::optional<AnimationValue>& value) {
    if (!value || !std::holds_alternative<double>(*value)) return std::nullopt;
    return std::get<double>(*value);
}

std::optional<Color> animationColor(const std::optional<AnimationValue>& value) {
    if (!value || !std::holds_alternative<Color>(*value)) return std::nullopt;
    return std::get<Color>(*value);
}

double currentMediaTime() {
    return Clock::current().now().timeIntervalSinceReferenceDate();
}

// --- MediaTimingFunction ---

MediaTimingFunction MediaTimingFunction::named(Name name) {
    switch (name) {
        case Name::Linear:
            return {0, 0, 1, 1};
        case Name::EaseIn:
            return {0.42, 0, 1, 1};
        case Name::EaseOut:
            return {0, 0, 0.58, 1};
        case Name::EaseInEaseOut:
            return {0.42, 0, 0.58, 1};
        case Name::Default:
            break;
    }
    return {0.25, 0.1, 0.25, 1};
}

double MediaTimingFunction::evaluate(double t) const {
    if (t <= 0) return 0;
    if (t >= 1) return 1;
    auto bezier = [](double p1, double p2, double s) {
        double u = 1 - s;
        return 3 * u * u * s * p1 + 3 * u * s * s * p2 + s * s * s;
    };
    // Find s with x(s) = t by bisection (x is monotonic for control x in 0..1).
    double lo = 0, hi = 1, s = t;
    for (int i = 0; i < 60; ++i) {
        s = (lo + hi) / 2;
        double x = bezier(c1x_, c2x_, s);
        if (std::abs(x - t) < 1e-12) break;
        (x < t ? lo : hi) = s;
    }
    return bezier(c1y_, c2y_, s);
}

// --- Animation ---

double Animation::easedFraction(double t) const {
    double d = effectiveDuration();
    double fraction = d > 0 ? std::clamp(t / d, 0.0, 1.0) : 1.0;
    return timingFunction_ ? timingFunction_->evaluate(fraction) : fraction;
}

void Animation::apply(const std::string& keyPath, double localTime, const std::optional<AnimationValue>& model,
                      std::optional<AnimationValue>& value) const {
    if (!animatesKeyPath(keyPath)) return;
    const double d = effectiveDuration();
    if (localTime < 0) {
        if (fillMode_ == FillMode::Backwards || fillMode_ == FillMode::Both) applyActive(keyPath, 0, model, value);
        return;
    }
    if (localTime >= activeDuration()) {
        if (fillMode_ == FillMode::Forwards || fillMode_ == FillMode::Both) applyActive(keyPath, d, model, value);
        return;
    }
    applyActive(keyPath, std::fmod(localTime, d), model, value);
}

// --- BasicAnimation ---

std::shared_ptr<BasicAnimation> BasicAnimation::animationWithKeyPath(std::string keyPath) {
    return std::make_shared<BasicAnimation>(std::move(keyPath));
}

double BasicAnimation::progressAt(double t) const {
    return easedFraction(t);
}

void BasicAnimation::applyActive(const std::string&, double t, const std::optional<AnimationValue>& model,
                                 std::optional<AnimationValue>& value) const {
    std::optional<AnimationValue> from = fromValue_ ? fromValue_ : value;
    std::optional<AnimationValue> to = toValue_ ? toValue_ : model;
    if (!from || !to) return;
    value = interpolate(*from, *to, progressAt(t));
}

// --- KeyframeAnimation ---

std::shared_ptr<KeyframeAnimation> KeyframeAnimation::animationWithKeyPath(std::string keyPath) {
    return std::make_shared<KeyframeAnimation>(std::move(keyPath));
}

std::optional<AnimationValue> KeyframeAnimation::valueAtFraction(double fraction) const {
    if (values_.empty()) return std::nullopt;
    if (values_.size() == 1) return values_.front();
    const std::size_t n = values_.size();
    auto timeOf = [&](std::size_t i) {
        return keyTimes_.size() == n ? keyTimes_[i] : static_cast<double>(i) / static_cast<double>(n - 1);
    };
    fraction = std::clamp(fraction, 0.0, 1.0);
    if (fraction <= timeOf(0)) return values_.front();
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const double start = timeOf(i), end = timeOf(i + 1);
        if (fraction > end) continue;
        if (end <= start) return values_[i + 1];
        return interpolate(values_[i], values_[i + 1], (fraction - start) / (end - start));
    }
    return values_.back();
}

void KeyframeAnimation::applyActive(const std::string&, double t, const std::optional<AnimationValue>&,
                                    std::optional<AnimationValue>& value) const {
    if (auto v = valueAtFraction(easedFraction(t))) value = *v;
}

// --- SpringAnimation ---

std::shared_ptr<SpringAnimation> SpringAnimation::animationWithKeyPath(std::string keyPath) {
    return std::make_shared<SpringAnimation>(std::move(keyPath));
}

double SpringAnimation::displacementAt(double t) const {
    const double w0 = std::sqrt(stiffness_ / mass_);
    const double zeta = damping_ / (2 * std::sqrt(stiffness_ * mass_));
    const double v0 = initialVelocity_;
    if (zeta < 1) {
        const double wd = w0 * std::sqrt(1 - zeta * zeta);
        return std::exp(-zeta * w0 * t) * (std::cos(wd * t) + (zeta * w0 - v0) / wd * std::sin(wd * t));
    }
    if (zeta == 1) return std::exp(-w0 * t) * (1 + (w0 - v0) * t);
    const double root = std::sqrt(zeta * zeta - 1);
    const double r1 = -w0 * (zeta - root), r2 = -w0 * (zeta + root);
    const double c2 = (-v0 - r1) / (r2 - r1);
    return (1 - c2) * std::exp(r1 * t) + c2 * std::exp(r2 * t);
}

double SpringAnimation::settlingDuration() const {
    if (settling_) return *settling_;
    constexpr double kStep = 0.001, kLimit = 60, kThreshold = 0.001;
    double last = 0;
    const int steps = static_cast<int>(kLimit / kStep);
    for (int i = 0; i <= steps; ++i) {
        double t = i * kStep;
        if (std::abs(displacementAt(t)) >= kThreshold) last = t;
    }
    settling_ = std::min(kLimit, last + kStep);
    return *settling_;
}

double SpringAnimation::progressAt(double t) const {
    if (t >= settlingDuration()) return 1;
    return 1 - displacementAt(t);
}

// --- AnimationGroup ---

std::shared_ptr<Animation> AnimationGroup::copy() const {
    auto group = std::make_shared<AnimationGroup>(*this);
    for (auto& child : group->animations_) child = child->copy();
    return group;
}

bool AnimationGroup::animatesKeyPath(const std::string& keyPath) const {
    for (const auto& child : animations_)
        if (child->animatesKeyPath(keyPath)) return true;
    return false;
}

void AnimationGroup::applyActive(const std::string& keyPath, double t, const std::optional<AnimationValue>& model,
                                 std::optional<AnimationValue>& value) const {
    for (const auto& child : animations_) child->apply(keyPath, t - child->beginTime(), model, value);
}
