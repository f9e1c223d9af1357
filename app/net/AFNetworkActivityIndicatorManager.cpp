#include "app/net/AFNetworkActivityIndicatorManager.h"

#include "app/net/AFURLConnectionOperation.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"

namespace {
constexpr double kInvisibilityDelay = 0.17;

bool requestHasURL(const Notification& notification) {
    auto operation = notification.object().as<AFURLConnectionOperation>();
    return operation && operation->request().url().has_value();
}
}  // namespace

struct AFNetworkActivityIndicatorManager::Shared {
    std::mutex mutex;
    AFNetworkActivityIndicatorManager* manager;
};

AFNetworkActivityIndicatorManager& AFNetworkActivityIndicatorManager::sharedManager() {
    static AFNetworkActivityIndicatorManager* manager = new AFNetworkActivityIndicatorManager();
    return *manager;
}

AFNetworkActivityIndicatorManager::AFNetworkActivityIndicatorManager() : shared_(std::make_shared<Shared>()) {
    shared_->manager = this;
    auto& center = NotificationCenter::defaultCenter();
    std::weak_ptr<Shared> weak = shared_;
    auto on = [weak](void (AFNetworkActivityIndicatorManager::*change)()) {
        return [weak, change](const Notification& notification) {
            if (!requestHasURL(notification)) return;
            auto shared = weak.lock();
            if (!shared) return;
            std::lock_guard lock(shared->mutex);
            if (shared->manager) (shared->manager->*change)();
        };
    };
    startObserver_ = center.addObserverForName(kCorvexOperationDidStartNotification, {}, nullptr,
                                               on(&AFNetworkActivityIndicatorManager::incrementActivityCount));
    finishObserver_ = center.addObserverForName(kCorvexOperationDidFinishNotification, {}, nullptr,
                                                on(&AFNetworkActivityIndicatorManager::decrementActivityCount));
}

AFNetworkActivityIndicatorManager::~AFNetworkActivityIndicatorManager() {
    startObserver_.reset();
    finishObserver_.reset();
    {
        std::lock_guard lock(shared_->mutex);
        shared_->manager = nullptr;
    }
    if (activityIndicatorVisibilityTimer_) activityIndicatorVisibilityTimer_->invalidate();
}

bool AFNetworkActivityIndicatorManager::isEnabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

void AFNetworkActivityIndicatorManager::setEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
}

long AFNetworkActivityIndicatorManager::activityCount() const {
    std::lock_guard lock(mutex_);
    return activityCount_;
}

bool AFNetworkActivityIndicatorManager::isNetworkActivityIndicatorVisible() const {
    return activityCount() > 0;
}

std::vector<std::string> AFNetworkActivityIndicatorManager::keyPathsForValuesAffectingValueForKey(
    const std::string& key) const {
    if (key == "isNetworkActivityIndicatorVisible") return {"activityCount"};
    return {};
}

std::optional<Value> AFNetworkActivityIndicatorManager::valueForKey(const std::string& key) const {
    if (key == "activityCount") return Value(activityCount());
    if (key == "isNetworkActivityIndicatorVisible") return Value(isNetworkActivityIndicatorVisible());
    return std::nullopt;
}

void AFNetworkActivityIndicatorManager::setActivityCount(long count) {
    willChangeValueForKey("activityCount");
    {
        std::lock_guard lock(mutex_);
        activityCount_ = count;
    }
    didChangeValueForKey("activityCount");
    scheduleIndicatorUpdate();
}

void AFNetworkActivityIndicatorManager::incrementActivityCount() {
    willChangeValueForKey("activityCount");
    {
        std::lock_guard lock(mutex_);
        ++activityCount_;
    }
    didChangeValueForKey("activityCount");
    scheduleIndicatorUpdate();
}

void AFNetworkActivityIndicatorManager::decrementActivityCount() {
    willChangeValueForKey("activityCount");
    {
        std::lock_guard lock(mutex_);
        activityCount_ = std::max(activityCount_ - 1, 0L);
    }
    didChangeValueForKey("activityCount");
    scheduleIndicatorUpdate();
}

void AFNetworkActivityIndicatorManager::scheduleIndicatorUpdate() {
    std::weak_ptr<Shared> weak = shared_;
    DispatchQueue::main().async([weak] {
        auto shared = weak.lock();
        if (!shared) return;
        std::lock_guard lock(shared->mutex);
        auto* self = shared->manager;
        if (!self || !self->isEnabled()) return;
        if (self->isNetworkActivityIndicatorVisible()) {
            RunLoop::main().perform({RunLoop::kCommonModes}, [weak] {
                auto shared = weak.lock();
                if (!shared) return;
                std::lock_guard lock(shared->mutex);
                if (shared->manager) shared->manager->updateIndicator();
            });
            return;
        }
        std::shared_ptr<Timer> timer;
        {
            std::lock_guard lock(self->mutex_);
            if (self->activityIndicatorVisibilityTimer_) self->activityIndicatorVisibilityTimer_->invalidate();
            self->activityIndicatorVisibilityTimer_ = timer = Timer::make(kInvisibilityDelay, false, [weak](Timer&) {
                auto shared = weak.lock();
                if (!shared) return;
                std::lock_guard lock(shared->mutex);
                if (shared->manager) shared->manager->updateIndicator();
            });
        }
        RunLoop::main().addTimer(timer, RunLoop::kCommonModes);
    });
}

void AFNetworkActivityIndicatorManager::updateIndicator() {
    Application::shared().setNetworkActivityIndicatorVisible(isNetworkActivityIndicatorVisible());
}
