#include "platform/analytics/SystemInformation.h"

#include <sys/utsname.h>

#include <mutex>

namespace {

struct Overrides {
    std::mutex mutex;
    std::optional<std::string> version;
    std::optional<std::string> machine;
};

Overrides& overrides() {
    static Overrides* instance = new Overrides;
    return *instance;
}

}  // namespace

namespace SystemInformation {

std::string operatingSystemVersionString() {
    {
        std::lock_guard lock(overrides().mutex);
        if (overrides().version) return *overrides().version;
    }
    utsname names{};
    if (uname(&names) != 0) return "Version unknown";
    return std::string("Version ") + names.release + " (Build " + names.version + ")";
}

std::string hardwareMachine() {
    {
        std::lock_guard lock(overrides().mutex);
        if (overrides().machine) return *overrides().machine;
    }
    utsname names{};
    if (uname(&names) != 0) return {};
    return names.machine;
}

void setOperatingSystemVersionStringOverride(std::optional<std::string> text) {
    std::lock_guard lock(overrides().mutex);
    overrides().version = std::move(text);
}

void setHardwareMachineOverride(std::optional<std::string> text) {
    std::lock_guard lock(overrides().mutex);
    overrides().machine = std::move(text);
}

}  // namespace SystemInformation
