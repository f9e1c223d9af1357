#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Data.h"

// Base64 of RFC 4648 with the standard alphabet and "=" padding.
namespace Base64 {
std::string encode(const std::uint8_t* bytes, std::size_t length);
inline std::string encode(std::string_view text) {
    return encode(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}
inline std::string encode(const Data& data) {
    return encode(data.data(), data.size());
}
// nullopt for text that is not Base64 (a character outside the alphabet,
// a length that is not a multiple of four, misplaced padding).
std::optional<Data> decode(std::string_view text);
}  // namespace Base64
