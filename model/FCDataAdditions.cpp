#include "model/FCDataAdditions.h"

#include <algorithm>

#include "platform/foundation/StringUtils.h"

Range rangeOfData(const Data& data, const Data& pattern) {
    if (data.empty() || pattern.empty()) return {};
    auto it = std::search(data.begin(), data.end(), pattern.begin(), pattern.end());
    if (it == data.end()) return {};
    return {static_cast<std::size_t>(it - data.begin()), pattern.size()};
}

Range rangeOfDataBackwardsSearch(const Data& data, const Data& pattern) {
    if (pattern.empty() || pattern.size() > data.size()) return {};
    auto it = std::find_end(data.begin(), data.end(), pattern.begin(), pattern.end());
    if (it == data.end()) return {};
    return {static_cast<std::size_t>(it - data.begin()), pattern.size()};
}

std::optional<std::string> stringValueWithEncoding(const Data& data, StringEncoding encoding) {
    std::string s = stringFromData(data);
    switch (encoding) {
        case StringEncoding::ASCII:
            if (std::any_of(data.begin(), data.end(), [](std::uint8_t b) { return b >= 0x80; })) return std::nullopt;
            return s;
        case StringEncoding::UTF8:
            if (!isValidUTF8(s)) return std::nullopt;
            return s;
    }
    return std::nullopt;
}

void prepend(Data& data, const Data& prefix) {
    data.insert(data.begin(), prefix.begin(), prefix.end());
}
