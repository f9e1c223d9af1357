#include "model/FCNumberAdditions.h"

#include "platform/foundation/Format.h"

std::string fcPluralizeZero(std::int64_t number, const std::string& zero, const std::string& one,
                            const std::string& twoOrMore) {
    if (number == 0) return zero;
    return stringWithFormat("%ld %@", number, number == 1 ? one : twoOrMore);
}
