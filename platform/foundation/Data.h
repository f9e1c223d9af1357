#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Bytes, as the platform's data objects hold them.
using Data = std::vector<std::uint8_t>;

inline Data dataFromString(std::string_view s) { return Data(s.begin(), s.end()); }
inline std::string stringFromData(const Data& d) { return std::string(d.begin(), d.end()); }

// A range of positions, as the platform's range type: location and length. The
// location is kNotFound when a search found nothing.
struct Range {
    static constexpr std::size_t kNotFound = static_cast<std::size_t>(INT64_MAX);
    std::size_t location = kNotFound;
    std::size_t length = 0;
    bool found() const { return location != kNotFound; }
    bool operator==(const Range&) const = default;
};
