#include "app/views/FISystemInfo.h"

#include <cstdio>

#include "platform/analytics/SystemInformation.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/UserDefaults.h"

std::string FISystemInfo::systemInfo() {
    return stringWithFormat("Device: %@\niOS Version: %@\nLanguage: %@", platform(), osversion(), language());
}

std::string FISystemInfo::osversion() {
    std::string version = SystemInformation::operatingSystemVersionString();
    if (version.rfind("Version ", 0) == 0) version.erase(0, 8);
    return version;
}

std::string FISystemInfo::platform() { return SystemInformation::hardwareMachine(); }

std::optional<std::string> FISystemInfo::language() {
    Value languages = UserDefaults::standard().objectForKey("AppleLanguages");
    if (languages.count() > 0 && languages[std::size_t{0}].isString()) return languages[std::size_t{0}].stringValue();
    // The system log, not the app's logger.
    std::fprintf(stderr, "Failed to obtain preferred language\n");
    return std::nullopt;
}
