#pragma once

#include <optional>
#include <string>
#include <vector>

// What the user's environment says about languages and the device.
namespace Languages {
// The user's preferred languages, most preferred first, as language tags
// ("fr-CA", "en"): the colon-separated list of LANGUAGE, then LANG (each
// without its ".encoding" and "@modifier", "_" written "-"); "C" and "POSIX"
// are skipped and repeats dropped; "en" when nothing is left.
std::vector<std::string> preferredLanguages();

// The text passed through an ICU transform ("Any-Latin; Latin-ASCII");
// nullopt when ICU does not know the transform or the text is not UTF-8.
std::optional<std::string> stringByApplyingTransform(const std::string& text, const std::string& transform);
bool isASCII(const std::string& text);
}  // namespace Languages

// The device as a User-Agent describes it: its model and the system's
// version ("6.1.0"). Tests replace either.
namespace DeviceInfo {
std::string model();
std::string systemVersion();
void setModelOverride(std::optional<std::string> model);
void setSystemVersionOverride(std::optional<std::string> version);
}  // namespace DeviceInfo
