#include <gtest/gtest.h>

#include "app/views/FISystemInfo.h"
#include "platform/analytics/SystemInformation.h"
#include "platform/foundation/UserDefaults.h"

namespace {

class FISystemInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        SystemInformation::setHardwareMachineOverride("iPhone14,2");
        SystemInformation::setOperatingSystemVersionStringOverride("Version 17.2 (Build 21C62)");
    }
    void TearDown() override {
        SystemInformation::setHardwareMachineOverride(std::nullopt);
        SystemInformation::setOperatingSystemVersionStringOverride(std::nullopt);
        UserDefaults::standard().removeObjectForKey("AppleLanguages");
    }
};

TEST_F(FISystemInfoTest, OSVersionLosesOnlyALeadingVersionWord) {
    struct Case {
        const char* system;
        const char* expected;
    } cases[] = {
        {"Version 17.2 (Build 21C62)", "17.2 (Build 21C62)"},
        {"17.2 (Build 21C62)", "17.2 (Build 21C62)"},
        {"Version17.2", "Version17.2"},
        {"version 17.2", "version 17.2"},
        {"Version ", ""},
        {"OS Version 17", "OS Version 17"},
    };
    for (const auto& c : cases) {
        SystemInformation::setOperatingSystemVersionStringOverride(c.system);
        EXPECT_EQ(FISystemInfo::osversion(), c.expected) << c.system;
    }
}

TEST_F(FISystemInfoTest, SystemInfoText) {
    UserDefaults::standard().setObject(Value::array({Value("de-DE"), Value("en")}), "AppleLanguages");
    EXPECT_EQ(FISystemInfo::platform(), "iPhone14,2");
    EXPECT_EQ(FISystemInfo::language(), "de-DE");
    EXPECT_EQ(FISystemInfo::systemInfo(), "Device: iPhone14,2\niOS Version: 17.2 (Build 21C62)\nLanguage: de-DE");
}

TEST_F(FISystemInfoTest, NoPreferredLanguage) {
    UserDefaults::standard().setObject(Value::array(), "AppleLanguages");
    EXPECT_EQ(FISystemInfo::language(), std::nullopt);
    UserDefaults::standard().removeObjectForKey("AppleLanguages");
    EXPECT_EQ(FISystemInfo::language(), std::nullopt);
    EXPECT_EQ(FISystemInfo::systemInfo(), "Device: iPhone14,2\niOS Version: 17.2 (Build 21C62)\nLanguage: (null)");
}

}  // namespace
