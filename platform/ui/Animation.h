#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"

// Core-animation style animations. An animation describes how a layer's
// property (a key path such as "strokeEnd") moves over time; the layer keeps
// its own (model) value, and what is shown is the presentation value, which
// Layer::presentationValueForKey computes from the animations at "now" on the
// injectable clock.

// What an animated property holds.
using AnimationValue = std::variant<double, Point, Size, Rect, Color, AffineTransform>;

// Linear mix of two values of the same kind; a mismatch gives `to`.
AnimationValue interpolate(const AnimationValue& from, const AnimationValue& to, double fraction);
std::optional<double> animationDouble(const std::optional<AnimationValue>& value);
std::optional<Color> animationColor(const std::optional<AnimationValue>& value);

// The seconds of the injectable clock, as animations count them.
double currentMediaTime();

// A cubic timing curve from (0, 0) to (1, 1).
class MediaTimingFunction {
public:
    enum class Name { Linear, EaseIn, EaseOut, EaseInEaseOut, Default };
    static MediaTimingFunction named(Name name);
    MediaTimingFunction(double c1x, double c1y, double c2x, double c2y) : c1x_(c1x), c1y_(c1y), c2x_(c2x), c2y_(c2y) {}

    // The eased progress for a linear progress 0..1.
    double evaluate(double t) const;
    bool operator==(const MediaTimingFunction&) const = default;

private:
    double c1x_, c1y_, c2x_, c2y_;
};

enum class FillMode { Removed, Forwards, Backwards, Both };

class Animation;

class AnimationDelegate {
public:
    virtual ~AnimationDelegate() = default;
    virtual void animationDidStart(Animation& /*animation*/) {}
    virtual void animationDidStop(Animation& /*animation*/, bool /*finished*/) {}
};

class Animation {
public:
    virtual ~Animation() = default;
    // Layers keep a copy of what is added to them, as the platform does.
    virtual std::shared_ptr<Animation> copy() const = 0;

    // 0 stands for the default of 0.25 seconds.
    double duration() const { return duration_; }
    void setDuration(double seconds) { duration_ = seconds; }
    double effectiveDuration() const { return duration_ > 0 ? duration_ : 0.25; }
    // How many times the duration plays (fractions allowed); 0 plays it once.
    double repeatCount() const { return repeatCount_; }
    void setRepeatCount(double count) { repeatCount_ = count; }
    // The whole active time: the duration times the repeat count.
    double activeDuration() const { return effectiveDuration() * (repeatCount_ > 0 ? repeatCount_ : 1); }
    // Within a group: the start relative to the group. Added to a layer: 0
    // means "now", anything else is a media time (currentMediaTime).
    double beginTime() const { return beginTime_; }
    void setBeginTime(double t) { beginTime_ = t; }
    const std::optional<MediaTimingFunction>& timingFunction() const { return timingFunction_; }
    void setTimingFunction(std::optional<MediaTimingFunction> f) { timingFunction_ = f; }
    FillMode fillMode() const { return fillMode_; }
    void setFillMode(FillMode mode) { fillMode_ = mode; }
    bool isRemovedOnCompletion() const { return removedOnCompletion_; }
    void setRemovedOnCompletion(bool removed) { removedOnCompletion_ = removed; }
    // Held strongly, as the platform holds an animation's delegate.
    const std::shared_ptr<AnimationDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::shared_ptr<AnimationDelegate> d) { delegate_ = std::move(d); }

    // Applies the animation at `localTime` seconds after its start to `value`,
    // the value of `keyPath` so far (the model value, or what earlier
    // animations made of it). `model` is the layer's own value. Outside its
    // active time an animation changes nothing unless its fill mode holds it.
    void apply(const std::string& keyPath, double localTime, const std::optional<AnimationValue>& model,
               std::optional<AnimationValue>& value) const;
    // Whether the animation touches the key path at all.
    virtual bool animatesKeyPath(const std::string& keyPath) const = 0;

protected:
    Animation() = default;
    Animation(const Animation&) = default;
    // The value at `t` seconds into the active duration (0 <= t <= duration).
    virtual void applyActive(const std::string& keyPath, double t, const std::optional<AnimationValue>& model,
                             std::optional<AnimationValue>& value) const = 0;
    double easedFraction(double t) const;

private:
    double duration_ = 0;
    double repeatCount_ = 0;
    double beginTime_ = 0;
    std::optional<MediaTimingFunction> timingFunction_;
    FillMode fillMode_ = FillMode::Removed;
    bool removedOnCompletion_ = true;
    std::shared_ptr<AnimationDelegate> delegate_;
};

class PropertyAnimation : public Animation {
public:
    const std::string& keyPath() const { return keyPath_; }
    void setKeyPath(std::string keyPath) { keyPath_ = std::move(keyPath); }
    bool animatesKeyPath(const std::string& keyPath) const override { return keyPath == keyPath_; }

protected:
    explicit PropertyAnimation(std::string keyPath) : keyPath_(std::move(keyPath)) {}
    PropertyAnimation(const PropertyAnimation&) = default;

private:
    std::string keyPath_;
};

// From one value to another (an absent end is the layer's model value). The
// timing function is linear when none is set.
class BasicAnimation : public PropertyAnimation {
public:
    static std::shared_ptr<BasicAnimation> animationWithKeyPath(std::string keyPath);
    explicit BasicAnimation(std::string keyPath) : PropertyAnimation(std::move(keyPath)) {}
    std::shared_ptr<Animation> copy() const override { return std::make_shared<BasicAnimation>(*this); }

    const std::optional<AnimationValue>& fromValue() const { return fromValue_; }
    void setFromValue(std::optional<AnimationValue> v) { fromValue_ = std::move(v); }
    const std::optional<AnimationValue>& toValue() const { return toValue_; }
    void setToValue(std::optional<AnimationValue> v) { toValue_ = std::move(v); }

protected:
    void applyActive(const std::string& keyPath, double t, const std::optional<AnimationValue>& model,
                     std::optional<AnimationValue>& value) const override;
    // The progress 0..1 (or beyond, for springs) at `t` seconds.
    virtual double progressAt(double t) const;

private:
    std::optional<AnimationValue> fromValue_;
    std::optional<AnimationValue> toValue_;
};

// A property moved through a list of values: value i is reached at key time
// i (a fraction 0..1 of the duration; evenly spaced when no key times are
// given), and between two key times the value moves linearly. The timing
// function, if any, eases the whole time line.
class KeyframeAnimation : public PropertyAnimation {
public:
    static std::shared_ptr<KeyframeAnimation> animationWithKeyPath(std::string keyPath);
    explicit KeyframeAnimation(std::string keyPath) : PropertyAnimation(std::move(keyPath)) {}
    std::shared_ptr<Animation> copy() const override { return std::make_shared<KeyframeAnimation>(*this); }

    const std::vector<AnimationValue>& values() const { return values_; }
    void setValues(std::vector<AnimationValue> values) { values_ = std::move(values); }
    // As many as the values, rising from 0 to 1; otherwise ignored.
    const std::vector<double>& keyTimes() const { return keyTimes_; }
    void setKeyTimes(std::vector<double> keyTimes) { keyTimes_ = std::move(keyTimes); }

    // The value at a fraction 0..1 of the time line (after easing).
    std::optional<AnimationValue> valueAtFraction(double fraction) const;

protected:
    void applyActive(const std::string& keyPath, double t, const std::optional<AnimationValue>& model,
                     std::optional<AnimationValue>& value) const override;

private:
    std::vector<AnimationValue> values_;
    std::vector<double> keyTimes_;
};

// A damped spring from one value to the other. Its progress follows the
// motion of a mass on a spring released at the start value (overshooting
// when the damping is low); from its settling duration on it rests at the end
// value. The timing function plays no part.
class SpringAnimation : public BasicAnimation {
public:
    static std::shared_ptr<SpringAnimation> animationWithKeyPath(std::string keyPath);
    explicit SpringAnimation(std::string keyPath) : BasicAnimation(std::move(keyPath)) {}
    std::shared_ptr<Animation> copy() const override { return std::make_shared<SpringAnimation>(*this); }

    double mass() const { return mass_; }
    void setMass(double m) {
        mass_ = m;
        settling_.reset();
    }
    double stiffness() const { return stiffness_; }
    void setStiffness(double s) {
        stiffness_ = s;
        settling_.reset();
    }
    double damping() const { return damping_; }
    void setDamping(double d) {
        damping_ = d;
        settling_.reset();
    }
    // Towards the end value, in distances per second.
    double initialVelocity() const { return initialVelocity_; }
    void setInitialVelocity(double v) {
        initialVelocity_ = v;
        settling_.reset();
    }

    // The remaining distance, as a fraction of the whole, at `t` seconds.
    double displacementAt(double t) const;
    // The time from which the spring stays within 0.1 % of the distance of
    // its end value (sampled every millisecond, at most one minute).
    double settlingDuration() const;

protected:
    double progressAt(double t) const override;

private:
    double mass_ = 1;
    double stiffness_ = 100;
    double damping_ = 10;
    double initialVelocity_ = 0;
    mutable std::optional<double> settling_;
};

// Animations run together on one time line; each child's begin time counts
// from the group's start and a child only acts within the group's duration.
class AnimationGroup : public Animation {
public:
    static std::shared_ptr<AnimationGroup> animation() { return std::make_shared<AnimationGroup>(); }
    std::shared_ptr<Animation> copy() const override;

    const std::vector<std::shared_ptr<Animation>>& animations() const { return animations_; }
    void setAnimations(std::vector<std::shared_ptr<Animation>> animations) { animations_ = std::move(animations); }
    bool animatesKeyPath(const std::string& keyPath) const override;

protected:
    void applyActive(const std::string& keyPath, double t, const std::optional<AnimationValue>& model,
                     std::optional<AnimationValue>& value) const override;

private:
    std::vector<std::shared_ptr<Animation>> animations_;
};

// A transition of a layer's whole content (a flip, a fade), as view
// transitions record it; it changes no property.
class TransitionAnimation : public Animation {
public:
    // The platform's kinds: "fade", "flip", "curl"...; subtypes "fromLeft",
    // "fromRight", "fromTop", "fromBottom".
    TransitionAnimation(std::string type, std::string subtype) : type_(std::move(type)), subtype_(std::move(subtype)) {}
    std::shared_ptr<Animation> copy() const override { return std::make_shared<TransitionAnimation>(*this); }
    const std::string& type() const { return type_; }
    const std::string& subtype() const { return subtype_; }
    bool animatesKeyPath(const std::string&) const override { return false; }

protected:
    void applyActive(const std::string&, double, const std::optional<AnimationValue>&,
                     std::optional<AnimationValue>&) const override {}

private:
    std::string type_;
    std::string subtype_;
};
