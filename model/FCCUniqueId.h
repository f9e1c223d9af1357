#pragma once

#include <string>

// Unique identifiers for decks and cards.
class FCCUniqueId {
public:
    // A new random UUID's 16 bytes in byte order as 32 lower-case hex digits,
    // without hyphens.
    static std::string makeUniqueId();
    // 16 hex digits, each the low four bits of a random number. Kept for
    // reference; nothing calls it.
    static std::string _fallbackMakeUniqueId();
};
