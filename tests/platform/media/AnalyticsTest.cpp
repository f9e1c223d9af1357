#include <gtest/gtest.h>

#include "platform/analytics/Analytics.h"
#include "platform/analytics/SystemInformation.h"

TEST(Analytics, KeepsEventsInOrder) {
    Analytics::shared().clear();
    Analytics::shared().trackEvent("first");
    Analytics::shared().trackEvent("second", Value::dictionary({{"k", Value("v")}}));
    auto events = Analytics::shared().events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].name, "first");
    EXPECT_EQ(events[0].properties.count(), 0u);
    EXPECT_EQ(events[1].properties["k"].stringValue(), "v");
    Analytics::shared().clear();
    EXPECT_TRUE(Analytics::shared().events().empty());
}

TEST(SystemInformation, DescribesTheSystemUnlessOverridden) {
    EXPECT_EQ(SystemInformation::operatingSystemVersionString().rfind("Version ", 0), 0u);
    EXPECT_FALSE(SystemInformation::hardwareMachine().empty());
    SystemInformation::setHardwareMachineOverride("iPhone14,2");
    EXPECT_EQ(SystemInformation::hardwareMachine(), "iPhone14,2");
    SystemInformation::setHardwareMachineOverride(std::nullopt);
    EXPECT_NE(SystemInformation::hardwareMachine(), "iPhone14,2");
}
