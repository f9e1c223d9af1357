#include <gtest/gtest.h>

#include "app/shell/FIAnalytics.h"
#include "platform/analytics/Analytics.h"

TEST(FIAnalytics, SharedInstanceSendsNamedEventsWithoutProperties) {
    Analytics::shared().clear();
    EXPECT_EQ(&FIAnalytics::sharedInstance(), &FIAnalytics::sharedInstance());
    FIAnalytics::sharedInstance().trackEventWithName("SKStoreReviewRequest");
    auto events = Analytics::shared().events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].name, "SKStoreReviewRequest");
    EXPECT_EQ(events[0].properties.count(), 0u);
    Analytics::shared().clear();
}
