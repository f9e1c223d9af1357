#pragma once

#include <cstddef>

#include "platform/foundation/Data.h"

// Property-list bytes may come from anywhere. libplist reads nesting by
// recursion, so a deeply nested list (a few bytes per level) would exhaust
// the reading thread's stack. These checks walk the bytes without recursion
// first; the reader refuses what they reject.
namespace PropertyList {
inline constexpr std::size_t kMaxNestingDepth = 512;
// false when the arrays and dictionaries nest deeper than the limit (or, for
// the binary format, when the object table refers outside the bytes or
// loops). Bytes of neither format pass (the reader rejects them itself).
bool nestingWithinLimit(const Data& data);
}  // namespace PropertyList
