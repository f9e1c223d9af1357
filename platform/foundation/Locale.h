#pragma once

#include <cstdint>
#include <string>

// The user's current locale, as the locale-aware text work (collation,
// relative date formatting) reads it. By default the process's locale (from
// the environment); the C and POSIX locales stand for "en_US", as on a system
// with no language set. Tests pin it.
class Locale {
public:
    // The current locale's identifier in ICU form (for example "en_US", "de_DE").
    static std::string currentIdentifier();
    // Pins the locale for the whole process; "" goes back to the environment's.
    static void setCurrent(const std::string& identifier);
    // Changes with every setCurrent: objects that cache locale data compare it.
    static std::uint64_t generation();
};
