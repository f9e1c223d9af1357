#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The name with each of < > : | " / \ ? * replaced by "-", for use as a file name.
std::string fcEscapeIllegalCharactersInFileName(std::string_view name);

// The composed character sequences of the string, in order and with repeats,
// that are longer than one UTF-16 unit or whose one unit is above the code.
std::vector<std::string> fcFindCharactersBeyondAsciiCode(std::string_view s, std::int64_t code);
