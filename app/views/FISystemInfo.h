#pragma once

#include <optional>
#include <string>

// A description of the device for feedback and diagnostics mails.
class FISystemInfo {
public:
    // "Device: <platform>\niOS Version: <osversion>\nLanguage: <language>".
    static std::string systemInfo();
    // The system's version text without a leading "Version ".
    static std::string osversion();
    // The hardware model identifier.
    static std::string platform();
    // The first preferred language ("AppleLanguages"), or nullopt after
    // logging when there is none.
    static std::optional<std::string> language();
};
