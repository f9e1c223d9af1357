#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/foundation/Data.h"

// Message digests, as the platform's crypto library gives them.

using MD5DigestBytes = std::array<std::uint8_t, 16>;

// The MD5 digest (RFC 1321) of the bytes.
MD5DigestBytes md5Digest(const void* bytes, std::size_t length);
inline MD5DigestBytes md5Digest(const Data& data) {
    return md5Digest(data.data(), data.size());
}
inline MD5DigestBytes md5Digest(std::string_view bytes) {
    return md5Digest(bytes.data(), bytes.size());
}

// The bytes as lower-case hexadecimal, two digits a byte.
std::string hexString(const void* bytes, std::size_t length);
template <std::size_t N>
std::string hexString(const std::array<std::uint8_t, N>& bytes) {
    return hexString(bytes.data(), bytes.size());
}
