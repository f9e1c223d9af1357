#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Array access that never goes out of bounds.

// The element at the index, or nullopt when the index is negative or not below the count.
template <class T>
std::optional<T> boundsSafe(const std::vector<T>& array, std::int64_t index) {
    if (index < 0 || static_cast<std::uint64_t>(index) >= array.size()) return std::nullopt;
    return array[static_cast<std::size_t>(index)];
}

// The elements from the index to the end; empty when the index is negative or
// not below the count.
template <class T>
std::span<const T> boundsSafeSuffix(const std::vector<T>& array, std::int64_t from) {
    if (from < 0 || static_cast<std::uint64_t>(from) >= array.size()) return {};
    return std::span<const T>(array).subspan(static_cast<std::size_t>(from));
}

// Inserts at the index clamped to 0 ... count.
template <class T>
void boundsSafeInsert(std::vector<T>& array, T element, std::int64_t index) {
    std::int64_t count = static_cast<std::int64_t>(array.size());
    std::int64_t at = index < 0 ? 0 : (index > count ? count : index);
    array.insert(array.begin() + at, std::move(element));
}
