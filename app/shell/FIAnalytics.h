#pragma once

#include <string>

// The app's front to the outside analytics service.
class FIAnalytics {
public:
    // Made on first use; always there.
    static FIAnalytics& sharedInstance();

    // Sends one event of that name, without properties.
    void trackEventWithName(const std::string& name);

private:
    FIAnalytics() = default;
};
