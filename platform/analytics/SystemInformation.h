#pragma once

#include <optional>
#include <string>

// What the system tells about itself for diagnostics and feedback.
namespace SystemInformation {
// The process's description of the system's version, phrased as the
// platform phrases it: "Version <release> (Build <build>)".
std::string operatingSystemVersionString();
// The hardware model identifier (the "hw.machine" system control).
std::string hardwareMachine();
// Tests replace either answer; nullopt goes back to the system's.
void setOperatingSystemVersionStringOverride(std::optional<std::string> text);
void setHardwareMachineOverride(std::optional<std::string> text);
}  // namespace SystemInformation
