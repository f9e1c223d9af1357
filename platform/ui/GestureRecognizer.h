#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/Geometry.h"

class View;
class GestureRecognizer;

enum class GestureRecognizerState { Possible, Began, Changed, Ended, Cancelled, Failed };
inline constexpr GestureRecognizerState kGestureRecognizerStateRecognized = GestureRecognizerState::Ended;

class GestureRecognizerDelegate {
public:
    virtual ~GestureRecognizerDelegate() = default;
    virtual bool gestureRecognizerShouldBegin(GestureRecognizer& /*recognizer*/) { return true; }
    virtual bool shouldRecognizeSimultaneouslyWithGestureRecognizer(GestureRecognizer& /*recognizer*/,
                                                                    GestureRecognizer& /*other*/) {
        return false;
    }
};

// Turns touches on its view into actions. Touches come from UIDriver (tap,
// pan) and the display's input (long press), which move the recogniser through its states; every state but
// Possible and Failed sends the actions (a tap only sends Ended).
class GestureRecognizer : public std::enable_shared_from_this<GestureRecognizer> {
public:
    using Action = std::function<void(GestureRecognizer& recognizer)>;

    GestureRecognizer() = default;
    explicit GestureRecognizer(Action action);
    virtual ~GestureRecognizer() = default;
    GestureRecognizer(const GestureRecognizer&) = delete;
    GestureRecognizer& operator=(const GestureRecognizer&) = delete;

    std::uint64_t addTarget(Action action);
    void removeTarget(std::uint64_t identifier);

    // The view it is attached to.
    View* view() const { return view_; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    bool cancelsTouchesInView() const { return cancelsTouchesInView_; }
    void setCancelsTouchesInView(bool cancels) { cancelsTouchesInView_ = cancels; }
    // Whether the end of a touch reaches the view only once the recogniser
    // has failed (kept for the screens that set it; taps are delivered
    // whole here).
    bool delaysTouchesEnded() const { return delaysTouchesEnded_; }
    void setDelaysTouchesEnded(bool delays) { delaysTouchesEnded_ = delays; }
    // Whether a touch reaches the view only once this recogniser has failed
    // (NO by default). A double-tap recogniser that delays its touches keeps
    // the first tap of a double tap from the view (no row is selected, no
    // control tapped); a lone tap still reaches it once the recogniser gives
    // up on a second one.
    bool delaysTouchesBegan() const { return delaysTouchesBegan_; }
    void setDelaysTouchesBegan(bool delays) { delaysTouchesBegan_ = delays; }
    const std::weak_ptr<GestureRecognizerDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<GestureRecognizerDelegate> delegate) { delegate_ = std::move(delegate); }

    // Whether the touch so far lets it begin, by its own rules (asked
    // before its delegate; a pan asks once the finger has moved).
    virtual bool canBegin() const { return true; }

    GestureRecognizerState state() const { return state_; }
    // Moves to a state and sends the actions for it (what touch handling does).
    void setState(GestureRecognizerState state);

    // Where the touch is, in the given view's coordinates (the window's when null).
    Point locationInView(const View* view) const;
    // Sets the touch location, in this recogniser's view's coordinates.
    void setLocation(Point location) { location_ = location; }

private:
    friend class View;
    struct Target {
        std::uint64_t identifier;
        Action action;
    };
    View* view_ = nullptr;
    bool enabled_ = true;
    bool cancelsTouchesInView_ = true;
    bool delaysTouchesEnded_ = true;
    bool delaysTouchesBegan_ = false;
    std::weak_ptr<GestureRecognizerDelegate> delegate_;
    GestureRecognizerState state_ = GestureRecognizerState::Possible;
    Point location_;
    std::uint64_t nextTarget_ = 1;
    std::vector<Target> targets_;
};

class TapGestureRecognizer : public GestureRecognizer {
public:
    using GestureRecognizer::GestureRecognizer;
    std::int64_t numberOfTapsRequired() const { return taps_; }
    void setNumberOfTapsRequired(std::int64_t taps) { taps_ = taps; }
    std::int64_t numberOfTouchesRequired() const { return touches_; }
    void setNumberOfTouchesRequired(std::int64_t touches) { touches_ = touches; }

private:
    std::int64_t taps_ = 1;
    std::int64_t touches_ = 1;
};

class PanGestureRecognizer : public GestureRecognizer {
public:
    using GestureRecognizer::GestureRecognizer;
    // The finger's movement since the pan began (the same in every view that
    // is not scaled or rotated).
    Point translationInView(const View* view) const;
    void setTranslation(Point translation, const View* view);
    // Points per second.
    Point velocityInView(const View* view) const;
    void setVelocity(Point velocity) { velocity_ = velocity; }

private:
    Point translation_;
    Point velocity_;
};

// A finger held still: Began once it has stayed down for the minimum press
// duration without wandering further than the allowable movement, Changed as
// it then moves, Ended when it lifts. The touch does not reach the view as a
// tap then.
class LongPressGestureRecognizer : public GestureRecognizer {
public:
    using GestureRecognizer::GestureRecognizer;
    // Seconds.
    double minimumPressDuration() const { return minimumPressDuration_; }
    void setMinimumPressDuration(double seconds) { minimumPressDuration_ = seconds; }
    // Points.
    double allowableMovement() const { return allowableMovement_; }
    void setAllowableMovement(double points) { allowableMovement_ = points; }

private:
    double minimumPressDuration_ = 0.5;
    double allowableMovement_ = 10;
};
