#pragma once

// Array helpers shared by the model, the persistence layer and the screens:
// bounds-safe and random access, neighbours with optional wrap-around, random
// subsets and an in-place shuffle. Elements are compared with ==. Where an
// element type can be null (pointers, shared pointers), a null element counts as
// "nil" as the platform's arrays would have it.

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/foundation/Random.h"

namespace tw_detail {

template <typename T>
concept NullComparable = requires(const T& t) {
    { t == nullptr } -> std::convertible_to<bool>;
};

// True for a null pointer-like element; other element kinds are never nil.
template <typename T>
bool isNil(const T& value) {
    if constexpr (NullComparable<T>) {
        return value == nullptr;
    } else {
        (void)value;
        return false;
    }
}

template <typename T>
struct IsOptional : std::false_type {};
template <typename U>
struct IsOptional<std::optional<U>> : std::true_type {};

}  // namespace tw_detail

// ---- Reading -------------------------------------------------------------------

// The element at the index, or nullopt for a negative index or one at or past the end.
template <typename T>
std::optional<T> twBoundsSafeObjectAtIndex(const std::vector<T>& array, std::int64_t index) {
    if (index < 0 || static_cast<std::uint64_t>(index) >= array.size()) return std::nullopt;
    return array[static_cast<std::size_t>(index)];
}

template <typename T>
std::optional<T> twFirstObject(const std::vector<T>& array) {
    if (array.empty()) return std::nullopt;
    return array.front();
}

// The elements from the index to the end; empty for a negative index or one at or past the end.
template <typename T>
std::vector<T> twSubarrayStartingAtIndex(const std::vector<T>& array, std::int64_t index) {
    if (index < 0 || static_cast<std::uint64_t>(index) >= array.size()) return {};
    return std::vector<T>(array.begin() + static_cast<std::ptrdiff_t>(index), array.end());
}

// The element after the first one equal to the object. After the last element:
// element 0 when rotating, else nullopt. Nullopt for a nil or absent object.
template <typename T>
std::optional<T> twObjectAfter(const std::vector<T>& array, const T& object, bool rotate) {
    if (tw_detail::isNil(object)) return std::nullopt;
    auto it = std::find(array.begin(), array.end(), object);
    if (it == array.end()) return std::nullopt;
    if (++it != array.end()) return *it;
    if (rotate) return array.front();
    return std::nullopt;
}

// The element before the first one equal to the object. Before element 0: the
// last element when rotating, else nullopt. Nullopt for a nil or absent object.
template <typename T>
std::optional<T> twObjectBefore(const std::vector<T>& array, const T& object, bool rotate) {
    if (tw_detail::isNil(object)) return std::nullopt;
    auto it = std::find(array.begin(), array.end(), object);
    if (it == array.end()) return std::nullopt;
    if (it != array.begin()) return *(it - 1);
    if (rotate) return array.back();
    return std::nullopt;
}

// Every string trimmed of white space and line breaks at both ends; strings that
// become empty are dropped; order kept.
std::vector<std::string> twArrayByTrimmingStringsAndRemovingEmptyOnes(const std::vector<std::string>& array);

// The block's results in order, nil results dropped. The block returns either
// std::optional<U> (nullopt is nil) or a pointer-like value (null is nil).
template <typename T, typename F>
auto twMap(const std::vector<T>& array, F&& block) {
    using R = std::decay_t<std::invoke_result_t<F&, const T&>>;
    if constexpr (tw_detail::IsOptional<R>::value) {
        std::vector<typename R::value_type> out;
        out.reserve(array.size());
        for (const auto& element : array) {
            auto result = block(element);
            if (result) out.push_back(std::move(*result));
        }
        return out;
    } else {
        std::vector<R> out;
        out.reserve(array.size());
        for (const auto& element : array) {
            auto result = block(element);
            if (!tw_detail::isNil(result)) out.push_back(std::move(result));
        }
        return out;
    }
}

// A uniformly chosen element, nullopt when empty.
template <typename T>
std::optional<T> twRandomObject(const std::vector<T>& array) {
    if (array.empty()) return std::nullopt;
    return array[Random::uniform(static_cast<std::uint32_t>(array.size()))];
}

// Up to `count` distinct elements in random order: indexes are drawn uniformly;
// an element that is nil, already chosen (by equality) or matched by the block
// (given the element and the elements chosen so far) rejects its index; the
// draw ends when `count` elements are chosen or every index has been rejected.
// The count is compared unsigned, so a negative count asks for as many as can be found.
template <typename T>
std::vector<T> twSubarrayWithRandomObjectsExcludingObjectsMatching(
    const std::vector<T>& array, std::int64_t count,
    const std::function<bool(const T& element, const std::vector<T>& chosen)>& block) {
    const auto wanted = static_cast<std::uint64_t>(count);
    const std::size_t n = array.size();
    std::vector<T> result;
    std::set<std::size_t> rejected;
    while (result.size() < wanted && rejected.size() < n) {
        const std::size_t index = Random::uniform(static_cast<std::uint32_t>(n));
        const T& element = array[index];
        if (tw_detail::isNil(element) || std::find(result.begin(), result.end(), element) != result.end() ||
            (block && block(element, result))) {
            rejected.insert(index);
        } else {
            result.push_back(element);
        }
    }
    return result;
}

// As above, excluding every element that the collection contains.
template <typename T, typename Collection>
std::vector<T> twSubarrayWithRandomObjectsExcept(const std::vector<T>& array, std::int64_t count,
                                                 const Collection& except) {
    return twSubarrayWithRandomObjectsExcludingObjectsMatching<T>(
        array, count, [&except](const T& element, const std::vector<T>&) {
            return std::find(std::begin(except), std::end(except), element) != std::end(except);
        });
}

// ---- Changing ------------------------------------------------------------------

// Appends the object unless it is nil.
template <typename T>
void twAddObjectIfNotNil(std::vector<T>& array, const std::type_identity_t<std::optional<T>>& object) {
    if (object && !tw_detail::isNil(*object)) array.push_back(*object);
}

template <typename T>
void twAddObjectIfNotNil(std::vector<T>& array, const T& object) {
    if (!tw_detail::isNil(object)) array.push_back(object);
}

// Forward Fisher-Yates: element i is exchanged with element i + (a 32-bit random
// number modulo the elements remaining); j may equal i.
template <typename T>
void twShuffle(std::vector<T>& array) {
    const std::size_t n = array.size();
    // The numbers are drawn a block at a time: the same ones as one by one.
    std::array<std::uint32_t, 256> draws;
    for (std::size_t i = 0; i < n; ++i) {
        if (i % draws.size() == 0) Random::next32(draws.data(), std::min(draws.size(), n - i));
        const std::size_t remaining = n - i;
        const std::size_t j = i + draws[i % draws.size()] % remaining;
        using std::swap;
        swap(array[i], array[j]);
    }
}

// Removes and returns the element at (a 32-bit random number modulo the count);
// nullopt when empty.
template <typename T>
std::optional<T> twRemoveRandomObject(std::vector<T>& array) {
    if (array.empty()) return std::nullopt;
    const std::size_t index = Random::next32() % array.size();
    T element = std::move(array[index]);
    array.erase(array.begin() + static_cast<std::ptrdiff_t>(index));
    return element;
}
