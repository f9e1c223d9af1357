#include "app/shell/FIAnalytics.h"

#include "platform/analytics/Analytics.h"

FIAnalytics& FIAnalytics::sharedInstance() {
    static FIAnalytics* instance = new FIAnalytics;
    return *instance;
}

void FIAnalytics::trackEventWithName(const std::string& name) { Analytics::shared().trackEvent(name); }
