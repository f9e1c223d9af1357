#pragma once

#include <string>

#include "platform/foundation/Bundle.h"

// A text of the app's "Localizable" table, as the shell's alerts look them up:
// with an empty default, so a missing key gives an empty text.
inline std::string shellLocalized(const std::string& key) {
    return Bundle::main().localizedString(key, "", "Localizable");
}
