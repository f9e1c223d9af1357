#pragma once

#include <optional>
#include <string>

#include "platform/foundation/Data.h"

// String encodings that bytes can be decoded from.
enum class StringEncoding { ASCII, UTF8 };

// The range of the first occurrence of the pattern; not found when it does not
// occur, when the data is empty or when the pattern is empty.
Range rangeOfData(const Data& data, const Data& pattern);
// The range of the last occurrence; not found when it does not occur or when
// the pattern is empty or longer than the data.
Range rangeOfDataBackwardsSearch(const Data& data, const Data& pattern);

// A string from the bytes in the encoding; nullopt when they are not valid in
// it (ASCII takes only bytes below 0x80).
std::optional<std::string> stringValueWithEncoding(const Data& data, StringEncoding encoding);

// The data's bytes become the prefix's bytes followed by its own.
void prepend(Data& data, const Data& prefix);
