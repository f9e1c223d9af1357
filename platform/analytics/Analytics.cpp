#include "platform/analytics/Analytics.h"

#include <algorithm>

#include "platform/analytics/CrashReporting.h"

void EventProperties::setString(const std::string& value, const std::string& key) {
    set(key, value);
}

void EventProperties::setInt64(std::int64_t value, const std::string& key) {
    set(key, value);
}

void EventProperties::set(const std::string& key, std::variant<std::string, std::int64_t> value) {
    for (auto& property : properties_) {
        if (property.key == key) {
            property.value = std::move(value);
            return;
        }
    }
    properties_.push_back({key, std::move(value)});
}

const EventProperties::Property* EventProperties::propertyForKey(const std::string& key) const {
    auto it = std::find_if(properties_.begin(), properties_.end(), [&](const Property& p) { return p.key == key; });
    return it == properties_.end() ? nullptr : &*it;
}

Analytics& Analytics::shared() {
    static Analytics* instance = new Analytics;
    return *instance;
}

void Analytics::trackEvent(const std::string& name, const Value& properties) {
    std::lock_guard lock(mutex_);
    events_.push_back({name, properties, std::nullopt});
}

void Analytics::trackEvent(const std::string& name, const EventProperties& typedProperties) {
    std::lock_guard lock(mutex_);
    events_.push_back({name, Value::dictionary(), typedProperties});
}

std::vector<Analytics::Event> Analytics::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

void Analytics::clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
}

namespace {

struct StartState {
    std::mutex mutex;
    bool started = false;
    std::string secret;
    std::vector<AnalyticsServiceKind> services;
};

StartState& startState() {
    static StartState* state = new StartState;
    return *state;
}

}  // namespace

void AnalyticsServices::start(const std::string& appSecret, const std::vector<AnalyticsServiceKind>& services) {
    {
        std::lock_guard lock(startState().mutex);
        if (startState().started) return;
        startState().started = true;
        startState().secret = appSecret;
        startState().services = services;
    }
    if (std::find(services.begin(), services.end(), AnalyticsServiceKind::Crashes) != services.end()) {
        CrashReporting::shared().start();
    }
}

bool AnalyticsServices::isStarted() {
    std::lock_guard lock(startState().mutex);
    return startState().started;
}

std::string AnalyticsServices::appSecret() {
    std::lock_guard lock(startState().mutex);
    return startState().secret;
}

std::vector<AnalyticsServiceKind> AnalyticsServices::startedServices() {
    std::lock_guard lock(startState().mutex);
    return startState().services;
}

void AnalyticsServices::reset() {
    std::lock_guard lock(startState().mutex);
    startState().started = false;
    startState().secret.clear();
    startState().services.clear();
}
