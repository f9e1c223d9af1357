#pragma once

#include <string>
#include <string_view>

// The platform's localized standard comparison (the order of its file
// browser): the current locale's collation, case-insensitive, with digits
// compared by numeric value, so "a" comes before "B" and "Deck 9" before
// "Deck 10". Accents still count. Safe from any thread; each thread keeps a
// collator of the current locale and makes it again when the locale changes.

// Negative, zero or positive as a sorts before, with or after b.
int localizedStandardCompare(std::string_view a, std::string_view b);

// The collation sort key of the text: two keys compare bytewise (std::string's
// operator<) as their texts compare under localizedStandardCompare. Sorting
// many texts makes each key once instead of collating in every comparison.
std::string localizedStandardSortKey(std::string_view text);
