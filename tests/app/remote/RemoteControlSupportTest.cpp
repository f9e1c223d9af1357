#include "app/remote/RemoteControlSupport.h"

#include <gtest/gtest.h>

#include "platform/analytics/SystemInformation.h"

TEST(RemoteControlSupportTest, OnlyTheFirstGenerationsCountAsOlderDevices) {
    const std::vector<std::pair<const char*, bool>> cases = {
        {"iPhone3,1", false}, {"iPad", false},      {"iPad3,3", false}, {"iPod4,1", false},
        {"iPhone4,1", true},  {"iPad3,4", true},    {"x86_64", true},   {"", true},
        {"iphone3,1", true},  {"iPhone3,1 ", true},
    };
    for (const auto& [machine, supported] : cases) {
        SystemInformation::setHardwareMachineOverride(std::string(machine));
        EXPECT_EQ(isRemoteControlSupported(), supported) << '"' << machine << '"';
    }
    SystemInformation::setHardwareMachineOverride(std::nullopt);
}
