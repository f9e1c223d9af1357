#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

// The outside analytics service, as the app reaches it. Nothing leaves the
// machine: every event is kept in order, for tests to read.
class Analytics {
public:
    struct Event {
        std::string name;
        Value properties;  // a dictionary; empty when the event has none
    };

    static Analytics& shared();

    void trackEvent(const std::string& name, const Value& properties = Value::dictionary());
    std::vector<Event> events() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<Event> events_;
};
