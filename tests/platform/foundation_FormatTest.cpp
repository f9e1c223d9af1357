#include <gtest/gtest.h>

#include "platform/foundation/Format.h"

TEST(Format, AppFormats) {
    struct Case {
        std::string expected, actual;
    } cases[] = {
        {"a b", stringWithFormat("%@ %@", "a", std::string("b"))},
        {"42 7", stringWithFormat("%ld %lu", 42L, 7UL)},
        {"0a ff", stringWithFormat("%02x %02x", 10, 255)},
        {"3.14 100%", stringWithFormat("%.2f %ld%%", 3.14159, 100L)},
        {"(null)", stringWithFormat("%@", nullptr)},
        {"b a", stringWithFormat("%2$@ %1$@", "a", "b")},
        {"1.5", stringWithFormat("%@", Value(1.5))},
        {"2001-01-01 00:00:00 +0000", stringWithFormat("%@", Date(0))},
        {"Deck 2.flashcards", stringWithFormat("%@ %ld.%@", "Deck", 2L, "flashcards")},
        // Conversions longer than the formatter's small buffer.
        {std::string(99, ' ') + "5", stringWithFormat("%100ld", 5L)},
        {"1." + std::string(80, '0'), stringWithFormat("%.80f", 1.0)},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, c.actual);
}
