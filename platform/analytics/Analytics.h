#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/foundation/Value.h"

// The typed properties of one event: string or 64-bit integer values by key,
// each kept with its kind, in the order first set (setting a key again
// replaces its value and kind in place).
class EventProperties {
public:
    struct Property {
        std::string key;
        std::variant<std::string, std::int64_t> value;

        bool isString() const { return std::holds_alternative<std::string>(value); }
        bool isInt64() const { return std::holds_alternative<std::int64_t>(value); }
        bool operator==(const Property&) const = default;
    };

    void setString(const std::string& value, const std::string& key);
    void setInt64(std::int64_t value, const std::string& key);

    const std::vector<Property>& properties() const { return properties_; }
    // The property of that key, or nullptr.
    const Property* propertyForKey(const std::string& key) const;

private:
    void set(const std::string& key, std::variant<std::string, std::int64_t> value);

    std::vector<Property> properties_;
};

// The outside analytics service, as the app reaches it. Nothing leaves the
// machine: every event is kept in order, for tests to read.
class Analytics {
public:
    struct Event {
        std::string name;
        // Plain properties: a dictionary of strings; empty when the event
        // has none or was sent with typed properties.
        Value properties = Value::dictionary();
        // Typed properties; none unless the event was sent with them.
        std::optional<EventProperties> typedProperties;
    };

    static Analytics& shared();

    // An event without properties, or with plain string properties.
    void trackEvent(const std::string& name, const Value& properties = Value::dictionary());
    // An event with typed properties.
    void trackEvent(const std::string& name, const EventProperties& typedProperties);
    std::vector<Event> events() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<Event> events_;
};

// The start of the outside service with the app's secret and the parts of it
// the app uses. Starting the crash part installs the crash reporter and hands
// it the reports left by an earlier run (CrashReporting.h).
enum class AnalyticsServiceKind { Analytics, Crashes };

class AnalyticsServices {
public:
    // Records the start; a second start is ignored, as the service ignores it.
    static void start(const std::string& appSecret, const std::vector<AnalyticsServiceKind>& services);
    static bool isStarted();
    static std::string appSecret();
    static std::vector<AnalyticsServiceKind> startedServices();
    // Forgets the start (tests).
    static void reset();
};
