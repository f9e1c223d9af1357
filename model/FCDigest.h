#pragma once

#include <string>
#include <string_view>

#include "platform/foundation/Data.h"

// The MD5 digest of the bytes as 32 lower-case hex digits.
std::string MD5(const Data& data);

// The MD5 digest of the string's UTF-8 bytes up to its first zero byte, as 32
// lower-case hex digits. Version stamps of cards use it.
std::string fcMD5HexDigest(std::string_view s);
// The string's MD5: the same value as fcMD5HexDigest.
std::string MD5(std::string_view s);
