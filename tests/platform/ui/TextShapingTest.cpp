// Text is laid out by Pango: shaped for its script, as a reader of that
// script expects to see it.
#include <gtest/gtest.h>

#include "platform/ui/Font.h"

namespace {

TEST(TextShaping, ArabicLettersJoinAndCombiningMarksTakeNoRoomOfTheirOwn) {
    const Font font = Font::systemFont(17);
    // Lam and alef make one ligature, narrower than the two letters apart.
    const double ligature = font.sizeOfText("\u0644\u0627").width;
    const double apart = font.sizeOfText("\u0644").width + font.sizeOfText("\u0627").width;
    EXPECT_LT(ligature, apart - 2) << ligature << " vs " << apart;
    // An accent that combines sits on its letter.
    EXPECT_NEAR(font.sizeOfText("e").width, font.sizeOfText("e\u0301").width, 1);
    EXPECT_GT(font.lineHeight(), 17);
    EXPECT_LT(font.ascender(), font.lineHeight());
}

}  // namespace
