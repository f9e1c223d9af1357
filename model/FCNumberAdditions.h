#pragma once

#include <cstdint>
#include <string>

// A count with its noun: the zero text alone for 0, "1 " and the singular for
// 1, the number and the plural for any other value (negative ones included).
std::string fcPluralizeZero(std::int64_t number, const std::string& zero, const std::string& one,
                            const std::string& twoOrMore);
