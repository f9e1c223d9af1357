#include "platform/ui/DynamicAnimator.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "platform/foundation/RunLoop.h"
#include "platform/ui/View.h"

namespace {

constexpr double kPushPointsPerSecond = 100;
constexpr double kUnitArea = 100 * 100;
// A move smaller than this over a step counts as resting.
constexpr double kRestingDistance = 0.01;

double massOf(const View& item) {
    const Size size = item.bounds().size;
    const double area = std::abs(size.width * size.height);
    return area > 0 ? area / kUnitArea : 1;
}

}  // namespace

// --- DynamicBehavior ---

void DynamicBehavior::addChildBehavior(const std::shared_ptr<DynamicBehavior>& behavior) {
    if (!behavior || std::find(children_.begin(), children_.end(), behavior) != children_.end()) return;
    children_.push_back(behavior);
    behavior->setAnimator(animator_.lock());
    wakeAnimator();
}

void DynamicBehavior::removeChildBehavior(const DynamicBehavior* behavior) {
    auto found = std::find_if(children_.begin(), children_.end(), [&](const auto& c) { return c.get() == behavior; });
    if (found == children_.end()) return;
    auto child = *found;
    children_.erase(found);
    child->setAnimator(nullptr);
    wakeAnimator();
}

void DynamicBehavior::setAction(Action action) {
    action_ = std::move(action);
    wakeAnimator();
}

void DynamicBehavior::wakeAnimator() const {
    if (auto animator = animator_.lock()) animator->wake();
}

void DynamicBehavior::setAnimator(const std::shared_ptr<DynamicAnimator>& animator) {
    animator_ = animator;
    didMoveToAnimator(animator.get());
    for (auto& child : children_) child->setAnimator(animator);
}

// --- DynamicItemListBehavior ---

DynamicItemListBehavior::DynamicItemListBehavior(std::vector<std::shared_ptr<View>> items) {
    for (auto& item : items)
        if (item) items_.push_back(std::move(item));
}

void DynamicItemListBehavior::addItem(const std::shared_ptr<View>& item) {
    if (!item || std::find(items_.begin(), items_.end(), item) != items_.end()) return;
    items_.push_back(item);
    wakeAnimator();
}

void DynamicItemListBehavior::removeItem(const View* item) {
    std::erase_if(items_, [&](const auto& i) { return i.get() == item; });
}

// --- GravityBehavior ---

double GravityBehavior::magnitude() const {
    return std::hypot(direction_.dx, direction_.dy);
}

void GravityBehavior::setMagnitude(double magnitude) {
    const double length = this->magnitude();
    if (length == 0)
        direction_ = {0, magnitude};
    else
        direction_ = {direction_.dx / length * magnitude, direction_.dy / length * magnitude};
    wakeAnimator();
}

void GravityBehavior::applyForces(DynamicAnimator& animator, double dt) {
    const double scale = kPointsPerSecondSquaredPerMagnitude * dt;
    for (const auto& item : items()) {
        Vector v = animator.velocity(item.get());
        v.dx += direction_.dx * scale;
        v.dy += direction_.dy * scale;
        animator.setVelocity(item.get(), v);
    }
}

// --- CollisionBehavior ---

void CollisionBehavior::setTranslatesReferenceBoundsIntoBoundaryWithInsets(const EdgeInsets& insets) {
    translatesBounds_ = true;
    insets_ = insets;
    wakeAnimator();
}

void CollisionBehavior::resolve(DynamicAnimator& animator) {
    auto reference = animator.referenceView();
    if (!translatesBounds_ || !reference) return;
    const Rect boundary = insetRect(reference->bounds(), insets_);
    for (const auto& item : items()) {
        const Size size = item->bounds().size;
        Point c = item->center();
        Vector v = animator.velocity(item.get());
        const double e = animator.elasticity(item.get());
        const double halfW = size.width / 2, halfH = size.height / 2;
        bool moved = false;
        if (c.x - halfW < boundary.minX()) {
            c.x = boundary.minX() + halfW;
            if (v.dx < 0) v.dx = -v.dx * e;
            moved = true;
        } else if (c.x + halfW > boundary.maxX()) {
            c.x = boundary.maxX() - halfW;
            if (v.dx > 0) v.dx = -v.dx * e;
            moved = true;
        }
        if (c.y - halfH < boundary.minY()) {
            c.y = boundary.minY() + halfH;
            if (v.dy < 0) v.dy = -v.dy * e;
            moved = true;
        } else if (c.y + halfH > boundary.maxY()) {
            c.y = boundary.maxY() - halfH;
            if (v.dy > 0) v.dy = -v.dy * e;
            moved = true;
        }
        if (!moved) continue;
        View::performWithoutAnimation([&] { item->setCenter(c); });
        animator.setVelocity(item.get(), v);
    }
}

// --- PushBehavior ---

PushBehavior::PushBehavior(std::vector<std::shared_ptr<View>> items, PushBehaviorMode mode)
    : DynamicItemListBehavior(std::move(items)), mode_(mode) {}

Vector PushBehavior::pushDirection() const {
    return {std::cos(angle_) * magnitude_, std::sin(angle_) * magnitude_};
}

void PushBehavior::setActive(bool active) {
    active_ = active;
    if (active) wakeAnimator();
}

void PushBehavior::applyForces(DynamicAnimator& animator, double dt) {
    if (!active_) return;
    const Vector push = pushDirection();
    // An instantaneous push is an impulse; a continuous one a force.
    const double factor = kPushPointsPerSecond * (mode_ == PushBehaviorMode::Instantaneous ? 1 : dt);
    for (const auto& item : items()) {
        const double mass = massOf(*item);
        Vector v = animator.velocity(item.get());
        v.dx += push.dx * factor / mass;
        v.dy += push.dy * factor / mass;
        animator.setVelocity(item.get(), v);
    }
    if (mode_ == PushBehaviorMode::Instantaneous) active_ = false;
}

// --- DynamicItemBehavior ---

void DynamicItemBehavior::addLinearVelocity(Vector velocity, const View* item) {
    const auto& list = items();
    if (std::find_if(list.begin(), list.end(), [&](const auto& i) { return i.get() == item; }) == list.end()) return;
    if (auto animator = dynamicAnimator()) {
        Vector v = animator->velocity(item);
        animator->setVelocity(item, {v.dx + velocity.dx, v.dy + velocity.dy});
        animator->wake();
    } else {
        pending_.emplace_back(item, velocity);
    }
}

Vector DynamicItemBehavior::linearVelocityForItem(const View* item) const {
    auto animator = dynamicAnimator();
    return animator ? animator->velocity(item) : Vector{};
}

void DynamicItemBehavior::didMoveToAnimator(DynamicAnimator* animator) {
    if (!animator) return;
    auto pending = std::move(pending_);
    pending_.clear();
    for (const auto& [item, velocity] : pending) {
        Vector v = animator->velocity(item);
        animator->setVelocity(item, {v.dx + velocity.dx, v.dy + velocity.dy});
    }
}

void DynamicItemBehavior::applyForces(DynamicAnimator& animator, double dt) {
    if (resistance_ <= 0) return;
    const double keep = std::max(0.0, 1 - resistance_ * dt);
    for (const auto& item : items()) {
        Vector v = animator.velocity(item.get());
        animator.setVelocity(item.get(), {v.dx * keep, v.dy * keep});
    }
}

// --- DynamicAnimator ---

std::shared_ptr<DynamicAnimator> DynamicAnimator::make(const std::shared_ptr<View>& referenceView) {
    return std::make_shared<DynamicAnimator>(referenceView);
}

DynamicAnimator::DynamicAnimator(std::weak_ptr<View> referenceView) : referenceView_(std::move(referenceView)) {}

DynamicAnimator::~DynamicAnimator() {
    stopTimer();
}

void DynamicAnimator::addBehavior(const std::shared_ptr<DynamicBehavior>& behavior) {
    if (!behavior || std::find(behaviors_.begin(), behaviors_.end(), behavior) != behaviors_.end()) return;
    behaviors_.push_back(behavior);
    behavior->setAnimator(shared_from_this());
    wake();
}

void DynamicAnimator::removeBehavior(const DynamicBehavior* behavior) {
    auto found =
        std::find_if(behaviors_.begin(), behaviors_.end(), [&](const auto& b) { return b.get() == behavior; });
    if (found == behaviors_.end()) return;
    auto removed = *found;
    behaviors_.erase(found);
    removed->setAnimator(nullptr);
    if (behaviors_.empty())
        stopTimer();
    else
        wake();
}

void DynamicAnimator::removeAllBehaviors() {
    auto removed = std::move(behaviors_);
    behaviors_.clear();
    for (auto& behavior : removed) behavior->setAnimator(nullptr);
    velocities_.clear();
    stopTimer();
}

std::vector<std::shared_ptr<DynamicBehavior>> DynamicAnimator::allBehaviors() const {
    std::vector<std::shared_ptr<DynamicBehavior>> all;
    std::vector<std::shared_ptr<DynamicBehavior>> pending(behaviors_.rbegin(), behaviors_.rend());
    while (!pending.empty()) {
        auto behavior = pending.back();
        pending.pop_back();
        all.push_back(behavior);
        const auto& children = behavior->childBehaviors();
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return all;
}

Vector DynamicAnimator::velocity(const View* item) const {
    auto found = velocities_.find(item);
    return found == velocities_.end() ? Vector{} : found->second;
}

void DynamicAnimator::setVelocity(const View* item, Vector velocity) {
    velocities_[item] = velocity;
}

double DynamicAnimator::elasticity(const View* item) const {
    double e = 0;
    for (const auto& behavior : allBehaviors()) {
        auto properties = std::dynamic_pointer_cast<DynamicItemBehavior>(behavior);
        if (!properties) continue;
        const auto& items = properties->items();
        if (std::find_if(items.begin(), items.end(), [&](const auto& i) { return i.get() == item; }) != items.end())
            e = std::max(e, properties->elasticity());
    }
    return e;
}

void DynamicAnimator::wake() {
    restingSteps_ = 0;
    if (timer_ || behaviors_.empty()) return;
    std::weak_ptr<DynamicAnimator> weak = weak_from_this();
    timer_ = Timer::scheduledTimer(kStepInterval, true, [weak](Timer&) {
        if (auto self = weak.lock()) self->step();
    });
}

void DynamicAnimator::stopTimer() {
    if (!timer_) return;
    timer_->invalidate();
    timer_.reset();
}

void DynamicAnimator::step(double dt) {
    auto keep = shared_from_this();
    ++steps_;
    const auto behaviors = allBehaviors();

    // The items of this step, each once, and where they start.
    std::vector<std::shared_ptr<View>> items;
    std::set<const View*> seen;
    for (const auto& behavior : behaviors)
        for (auto& item : behavior->behaviorItems())
            if (seen.insert(item.get()).second) items.push_back(item);
    std::erase_if(velocities_, [&](const auto& entry) { return !seen.count(entry.first); });
    std::vector<Point> start;
    for (const auto& item : items) start.push_back(item->center());

    for (const auto& behavior : behaviors) behavior->applyForces(*this, dt);
    View::performWithoutAnimation([&] {
        for (const auto& item : items) {
            const Vector v = velocity(item.get());
            if (v.dx == 0 && v.dy == 0) continue;
            const Point c = item->center();
            item->setCenter({c.x + v.dx * dt, c.y + v.dy * dt});
        }
    });
    for (const auto& behavior : behaviors) behavior->resolve(*this);

    bool resting = true;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Point c = items[i]->center();
        if (std::hypot(c.x - start[i].x, c.y - start[i].y) > kRestingDistance) resting = false;
    }
    bool busy = false;
    for (const auto& behavior : behaviors) {
        if (behavior->isBusy()) busy = true;
        // A behaviour removed by an earlier action of this step no longer acts.
        if (behavior->action_ && behavior->dynamicAnimator().get() == this) {
            auto action = behavior->action_;
            action();
        }
    }
    restingSteps_ = resting && !busy ? restingSteps_ + 1 : 0;
    if (behaviors_.empty() || restingSteps_ >= kRestingStepsToPause) stopTimer();
}
