#include "platform/analytics/Analytics.h"

Analytics& Analytics::shared() {
    static Analytics* instance = new Analytics;
    return *instance;
}

void Analytics::trackEvent(const std::string& name, const Value& properties) {
    std::lock_guard lock(mutex_);
    events_.push_back({name, properties});
}

std::vector<Analytics::Event> Analytics::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

void Analytics::clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
}
