#pragma once

#include <string>
#include <string_view>

// The last key of a key path: the text after the last "." ("self.bottom" gives
// "bottom"), the whole string when it holds no ".". Used to name the keys of
// change notifications.
std::string TWKeyFromKeyPath(std::string_view keyPath);
