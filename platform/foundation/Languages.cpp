#include "platform/foundation/Languages.h"

#include <sys/utsname.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "platform/foundation/StringUtils.h"

namespace Languages {

std::vector<std::string> preferredLanguages() {
    std::vector<std::string> items;
    if (const char* language = std::getenv("LANGUAGE"))
        for (const auto& item : componentsSeparatedByString(language, ":")) items.push_back(item);
    if (const char* lang = std::getenv("LANG")) items.push_back(lang);
    std::vector<std::string> out;
    for (std::string item : items) {
        item = item.substr(0, item.find_first_of(".@"));
        std::replace(item.begin(), item.end(), '_', '-');
        if (item.empty() || item == "C" || item == "POSIX") continue;
        if (std::find(out.begin(), out.end(), item) == out.end()) out.push_back(item);
    }
    if (out.empty()) out.push_back("en");
    return out;
}

bool isASCII(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::optional<std::string> stringByApplyingTransform(const std::string& text, const std::string& transform) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> transliterator(
        icu::Transliterator::createInstance(icu::UnicodeString::fromUTF8(transform), UTRANS_FORWARD, status));
    if (U_FAILURE(status) || !transliterator) return std::nullopt;
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
    if (unicode.isBogus()) return std::nullopt;
    transliterator->transliterate(unicode);
    std::string out;
    unicode.toUTF8String(out);
    return out;
}

}  // namespace Languages

namespace {
struct DeviceOverrides {
    std::mutex mutex;
    std::optional<std::string> model;
    std::optional<std::string> version;
};
DeviceOverrides& deviceOverrides() {
    static DeviceOverrides* instance = new DeviceOverrides;
    return *instance;
}
}  // namespace

namespace DeviceInfo {

std::string model() {
    {
        std::lock_guard lock(deviceOverrides().mutex);
        if (deviceOverrides().model) return *deviceOverrides().model;
    }
    utsname names{};
    return uname(&names) == 0 ? names.sysname : "Linux";
}

std::string systemVersion() {
    {
        std::lock_guard lock(deviceOverrides().mutex);
        if (deviceOverrides().version) return *deviceOverrides().version;
    }
    utsname names{};
    if (uname(&names) != 0) return "0";
    std::string release = names.release;
    return release.substr(0, release.find_first_not_of("0123456789."));
}

void setModelOverride(std::optional<std::string> model) {
    std::lock_guard lock(deviceOverrides().mutex);
    deviceOverrides().model = std::move(model);
}

void setSystemVersionOverride(std::optional<std::string> version) {
    std::lock_guard lock(deviceOverrides().mutex);
    deviceOverrides().version = std::move(version);
}

}  // namespace DeviceInfo
