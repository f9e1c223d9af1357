#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/ui/Geometry.h"

class DynamicAnimator;
class Timer;
class View;

// A velocity or a direction, in points (per second for velocities).
struct Vector {
    double dx = 0;
    double dy = 0;
    bool operator==(const Vector&) const = default;
};

// What an animator applies to views ("dynamic items": their centre moves;
// behaviours may change their bounds and alpha in actions). A behaviour may
// hold child behaviours, which the animator applies with it, and an action
// that runs after every step while the behaviour is in an animator.
class DynamicBehavior : public std::enable_shared_from_this<DynamicBehavior> {
public:
    using Action = std::function<void()>;

    DynamicBehavior() = default;
    virtual ~DynamicBehavior() = default;
    DynamicBehavior(const DynamicBehavior&) = delete;
    DynamicBehavior& operator=(const DynamicBehavior&) = delete;

    const std::vector<std::shared_ptr<DynamicBehavior>>& childBehaviors() const { return children_; }
    void addChildBehavior(const std::shared_ptr<DynamicBehavior>& behavior);
    void removeChildBehavior(const DynamicBehavior* behavior);

    const Action& action() const { return action_; }
    void setAction(Action action);

    // The animator this behaviour (or its parent) was added to, or null.
    std::shared_ptr<DynamicAnimator> dynamicAnimator() const { return animator_.lock(); }

protected:
    friend class DynamicAnimator;
    // Changes the velocities of the items before they move by dt seconds.
    virtual void applyForces(DynamicAnimator& /*animator*/, double /*dt*/) {}
    // Corrects positions and velocities after the move.
    virtual void resolve(DynamicAnimator& /*animator*/) {}
    // The items this behaviour acts on (none for a plain behaviour).
    virtual std::vector<std::shared_ptr<View>> behaviorItems() const { return {}; }
    // Whether the behaviour still has something to do although its items rest.
    virtual bool isBusy() const { return static_cast<bool>(action_); }
    virtual void didMoveToAnimator(DynamicAnimator* /*animator*/) {}
    void wakeAnimator() const;

private:
    void setAnimator(const std::shared_ptr<DynamicAnimator>& animator);
    std::vector<std::shared_ptr<DynamicBehavior>> children_;
    Action action_;
    std::weak_ptr<DynamicAnimator> animator_;
};

// A behaviour over a list of items that can change.
class DynamicItemListBehavior : public DynamicBehavior {
public:
    explicit DynamicItemListBehavior(std::vector<std::shared_ptr<View>> items = {});
    const std::vector<std::shared_ptr<View>>& items() const { return items_; }
    virtual void addItem(const std::shared_ptr<View>& item);
    virtual void removeItem(const View* item);

protected:
    std::vector<std::shared_ptr<View>> behaviorItems() const override { return items_; }

private:
    std::vector<std::shared_ptr<View>> items_;
};

// A constant acceleration: a magnitude of 1 is 1000 points per second².
class GravityBehavior : public DynamicItemListBehavior {
public:
    static constexpr double kPointsPerSecondSquaredPerMagnitude = 1000;

    using DynamicItemListBehavior::DynamicItemListBehavior;
    // The direction vector; its length is the magnitude. Default (0, 1), down.
    Vector gravityDirection() const { return direction_; }
    void setGravityDirection(Vector direction) { direction_ = direction; }
    double magnitude() const;
    // Keeps the direction's angle (down for a zero vector).
    void setMagnitude(double magnitude);

protected:
    void applyForces(DynamicAnimator& animator, double dt) override;

private:
    Vector direction_{0, 1};
};

// Keeps its items inside a boundary: the reference view's bounds, inset.
// An item meeting the boundary is put back against it and its velocity
// across the boundary is reversed, times its elasticity (DynamicItemBehavior;
// 0 by default). Items do not collide with each other here.
class CollisionBehavior : public DynamicItemListBehavior {
public:
    using DynamicItemListBehavior::DynamicItemListBehavior;
    bool translatesReferenceBoundsIntoBoundary() const { return translatesBounds_; }
    void setTranslatesReferenceBoundsIntoBoundary(bool translates) { translatesBounds_ = translates; }
    void setTranslatesReferenceBoundsIntoBoundaryWithInsets(const EdgeInsets& insets);
    const EdgeInsets& boundaryInsets() const { return insets_; }

protected:
    void resolve(DynamicAnimator& animator) override;

private:
    bool translatesBounds_ = false;
    EdgeInsets insets_;
};

enum class PushBehaviorMode { Continuous, Instantaneous };

// A push along an angle (radians, 0 to the right). An instantaneous push
// changes each item's velocity once, at the next step, by magnitude × 100
// points per second for an item of 100 × 100 points (less for larger items),
// then becomes inactive; a continuous one accelerates its items as long as it
// is active.
class PushBehavior : public DynamicItemListBehavior {
public:
    PushBehavior(std::vector<std::shared_ptr<View>> items, PushBehaviorMode mode);
    PushBehaviorMode mode() const { return mode_; }
    double magnitude() const { return magnitude_; }
    void setMagnitude(double magnitude) { magnitude_ = magnitude; }
    double angle() const { return angle_; }
    void setAngle(double angle) { angle_ = angle; }
    Vector pushDirection() const;
    bool active() const { return active_; }
    void setActive(bool active);

protected:
    void applyForces(DynamicAnimator& animator, double dt) override;
    bool isBusy() const override { return DynamicBehavior::isBusy() || active_; }

private:
    PushBehaviorMode mode_;
    double magnitude_ = 0;
    double angle_ = 0;
    bool active_ = true;
};

// Properties of its items: elasticity (0 to 1, of their collisions),
// resistance (linear damping per second) and velocities added to them.
class DynamicItemBehavior : public DynamicItemListBehavior {
public:
    using DynamicItemListBehavior::DynamicItemListBehavior;
    double elasticity() const { return elasticity_; }
    void setElasticity(double elasticity) { elasticity_ = elasticity; }
    double resistance() const { return resistance_; }
    void setResistance(double resistance) { resistance_ = resistance; }
    // Adds to the item's velocity (now when the behaviour is in an animator,
    // else when it is added to one). Nothing for an item the behaviour lacks.
    void addLinearVelocity(Vector velocity, const View* item);
    // The item's velocity in the animator (zero outside one).
    Vector linearVelocityForItem(const View* item) const;

protected:
    void applyForces(DynamicAnimator& animator, double dt) override;
    void didMoveToAnimator(DynamicAnimator* animator) override;

private:
    double elasticity_ = 0;
    double resistance_ = 0;
    std::vector<std::pair<const View*, Vector>> pending_;
};

// Moves the items of its behaviours within a reference view, step by step on
// the injectable clock (kStepInterval seconds per step, through a main-loop
// timer), with a simple integrator: forces change velocities, velocities
// move centres, collisions correct both, then every behaviour's action runs.
// The animator pauses once its items have rested for kRestingStepsToPause
// steps and no behaviour has an action or a pending push, and wakes when
// behaviours change. Main thread.
class DynamicAnimator : public std::enable_shared_from_this<DynamicAnimator> {
public:
    static constexpr double kStepInterval = 1.0 / 60;
    // Steps in a row without movement (and nothing else to do) before pausing.
    static constexpr int kRestingStepsToPause = 10;

    static std::shared_ptr<DynamicAnimator> make(const std::shared_ptr<View>& referenceView);
    explicit DynamicAnimator(std::weak_ptr<View> referenceView);
    ~DynamicAnimator();
    DynamicAnimator(const DynamicAnimator&) = delete;
    DynamicAnimator& operator=(const DynamicAnimator&) = delete;

    std::shared_ptr<View> referenceView() const { return referenceView_.lock(); }
    const std::vector<std::shared_ptr<DynamicBehavior>>& behaviors() const { return behaviors_; }
    void addBehavior(const std::shared_ptr<DynamicBehavior>& behavior);
    void removeBehavior(const DynamicBehavior* behavior);
    void removeAllBehaviors();
    bool isRunning() const { return static_cast<bool>(timer_); }
    // Steps taken since the animator was made.
    long stepCount() const { return steps_; }

    // One step of dt seconds (the timer's; tests may call it).
    void step(double dt = kStepInterval);

    // --- For behaviours ---
    Vector velocity(const View* item) const;
    void setVelocity(const View* item, Vector velocity);
    // The largest elasticity any item behaviour gives the item (0 by default).
    double elasticity(const View* item) const;
    void wake();

private:
    std::vector<std::shared_ptr<DynamicBehavior>> allBehaviors() const;
    void stopTimer();

    std::weak_ptr<View> referenceView_;
    std::vector<std::shared_ptr<DynamicBehavior>> behaviors_;
    std::map<const View*, Vector> velocities_;
    std::shared_ptr<Timer> timer_;
    long steps_ = 0;
    int restingSteps_ = 0;
};
