#include "platform/foundation/Locale.h"

#include <unicode/locid.h>

#include <atomic>
#include <mutex>

namespace {

std::mutex gLocaleMutex;
std::string gLocaleOverride;
std::atomic<std::uint64_t> gLocaleGeneration{1};

std::string environmentLocale() {
    static const std::string identifier = [] {
        const icu::Locale& defaultLocale = icu::Locale::getDefault();
        std::string name = defaultLocale.getBaseName();
        // ICU maps an unset language (LANG=C) to "en_US_POSIX", whose
        // collation is byte order; the platform shows such a user "en_US".
        if (name.empty() || name == "c" || name == "en_US_POSIX" || name == "posix") return std::string("en_US");
        return name;
    }();
    return identifier;
}

}  // namespace

std::string Locale::currentIdentifier() {
    {
        std::lock_guard lock(gLocaleMutex);
        if (!gLocaleOverride.empty()) return gLocaleOverride;
    }
    return environmentLocale();
}

void Locale::setCurrent(const std::string& identifier) {
    std::lock_guard lock(gLocaleMutex);
    gLocaleOverride = identifier;
    gLocaleGeneration.fetch_add(1);
}

std::uint64_t Locale::generation() {
    return gLocaleGeneration.load();
}
