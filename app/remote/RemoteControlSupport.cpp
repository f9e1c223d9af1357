#include "app/remote/RemoteControlSupport.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/analytics/SystemInformation.h"

bool isRemoteControlSupported() {
    static constexpr std::array<std::string_view, 20> kOlderModels = {
        "iPad",     "iPad1,1", "iPhone1,1", "iPhone1,2", "iPhone2,1", "iPhone3,1", "iPhone3,2",
        "iPhone3,3", "iPod1,1", "iPod2,1",   "iPod2,2",   "iPod3,1",   "iPod4,1",   "iPad2,1",
        "iPad2,2",  "iPad2,3", "iPad2,4",   "iPad3,1",   "iPad3,2",   "iPad3,3"};
    const std::string machine = SystemInformation::hardwareMachine();
    return std::find(kOlderModels.begin(), kOlderModels.end(), machine) == kOlderModels.end();
}
