#pragma once

#include <memory>
#include <mutex>

#include "platform/foundation/KeyValueObserving.h"

class NotificationObserver;
class Timer;

// Counts the connection operations in flight (their start and finish
// notifications, for operations whose request has a URL) and, when enabled,
// shows the application's network-activity indicator while the count is above
// 0: at once when it rises, and 0.17 s after it fell to 0 (on the main run
// loop's clock), so that back-to-back requests do not make it flicker. The
// count never goes below 0; observers of "isNetworkActivityIndicatorVisible"
// are told when "activityCount" changes. Counting is safe from any thread; the
// indicator is touched only on the main thread. Nothing in the app enables it.
class AFNetworkActivityIndicatorManager : public KVOObservable {
public:
    static AFNetworkActivityIndicatorManager& sharedManager();

    AFNetworkActivityIndicatorManager();
    ~AFNetworkActivityIndicatorManager() override;

    bool isEnabled() const;
    void setEnabled(bool enabled);
    long activityCount() const;
    void setActivityCount(long count);
    void incrementActivityCount();
    void decrementActivityCount();
    bool isNetworkActivityIndicatorVisible() const;

    std::vector<std::string> keyPathsForValuesAffectingValueForKey(const std::string& key) const override;
    std::optional<Value> valueForKey(const std::string& key) const override;

private:
    void scheduleIndicatorUpdate();
    void updateIndicator();

    // Reached by the blocks that outlive a call; cleared when the manager goes.
    struct Shared;
    std::shared_ptr<Shared> shared_;
    mutable std::mutex mutex_;
    bool enabled_ = false;
    long activityCount_ = 0;
    std::shared_ptr<Timer> activityIndicatorVisibilityTimer_;
    std::shared_ptr<NotificationObserver> startObserver_, finishObserver_;
};
