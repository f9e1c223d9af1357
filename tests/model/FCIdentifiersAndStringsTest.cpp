#include <gtest/gtest.h>

#include "model/FCCMimeType.h"
#include "model/FCCUniqueId.h"
#include "model/FCDataAdditions.h"
#include "model/FCDigest.h"
#include "model/FCNumberAdditions.h"
#include "model/FCStringAdditions.h"
#include "platform/foundation/RegularExpression.h"

TEST(FCCUniqueId, IdsAreDistinctLowerCaseHex) {
    auto hex32 = RegularExpression::make("^[0-9a-f]{32}$");
    std::string a = FCCUniqueId::makeUniqueId(), b = FCCUniqueId::makeUniqueId();
    EXPECT_NE(a, b);
    EXPECT_TRUE(hex32->firstMatch(a)) << a;
    EXPECT_TRUE(hex32->firstMatch(b)) << b;
    EXPECT_TRUE(RegularExpression::make("^[0-9a-f]{16}$")->firstMatch(FCCUniqueId::_fallbackMakeUniqueId()));
}

TEST(FCDigest, MD5OfDataAndStrings) {
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", MD5(Data()));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", MD5(dataFromString("abc")));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", fcMD5HexDigest("abc"));
    // Strings are hashed as C strings: a zero byte ends them.
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", fcMD5HexDigest(std::string("abc\0def", 7)));
    EXPECT_EQ(MD5(dataFromString("D\u00e9ck")), fcMD5HexDigest("D\u00e9ck"));
}

TEST(FCStringAdditions, EscapesIllegalFileNameCharacters) {
    struct Case {
        const char* name;
        const char* escaped;
    } cases[] = {
        {"What? A/B deck", "What- A-B deck"},
        {"<>:|\"/\\?*", "---------"},
        {"Cr\u00e8me br\u00fbl\u00e9e (2).txt", "Cr\u00e8me br\u00fbl\u00e9e (2).txt"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.escaped, fcEscapeIllegalCharactersInFileName(c.name)) << c.name;
}

TEST(FCStringAdditions, FindsCharactersBeyondACode) {
    using V = std::vector<std::string>;
    struct Case {
        const char* text;
        std::int64_t code;
        V found;
    } cases[] = {
        {"plain ascii", 127, {}},
        {"a\u00e9b\u00e9", 127, {"\u00e9", "\u00e9"}},
        {"a\u00e9b", 255, {}},
        // A surrogate pair and a letter with a combining accent are each one
        // sequence longer than one unit, whatever the code.
        {"x\U0001F600e\u0301", 0x10FFFF, {"\U0001F600", "e\u0301"}},
        {"abc", 97, {"b", "c"}},
        {"", 0, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.found, fcFindCharactersBeyondAsciiCode(c.text, c.code)) << c.text;
}

TEST(FCNumberAdditions, PluralizesByCount) {
    struct Case {
        std::int64_t n;
        const char* text;
    } cases[] = {{0, "no cards"}, {1, "1 card"}, {2, "2 cards"}, {-3, "-3 cards"}, {-1, "-1 cards"}};
    for (const auto& c : cases) EXPECT_EQ(c.text, fcPluralizeZero(c.n, "no cards", "card", "cards"));
}

TEST(FCCMimeType, TypeFromFileName) {
    EXPECT_EQ("image/jpeg", FCCMimeType::mimeTypeForFileName("Photo.JPG"));
    EXPECT_EQ("image/png", FCCMimeType::mimeTypeForFileName("a.b.png"));
    EXPECT_EQ("audio/mpeg", FCCMimeType::mimeTypeForFileName("dir/sound.mp3"));
    EXPECT_EQ(std::nullopt, FCCMimeType::mimeTypeForFileName("noextension"));
    EXPECT_EQ(std::nullopt, FCCMimeType::mimeTypeForFileName("deck.flashcards"));
    EXPECT_EQ(std::nullopt, FCCMimeType::mimeTypeForFileName(std::nullopt));
}

TEST(FCDataAdditions, SearchesForward) {
    const Range none;
    struct Case {
        const char* data;
        const char* pattern;
        Range first, last;
    } cases[] = {
        {"a\nb\n", "\n", {1, 1}, {3, 1}}, {"abc", "\n", none, none},       {"", "\n", none, none},
        {"\n", "\n", {0, 1}, {0, 1}},     {"xabab", "ab", {1, 2}, {3, 2}}, {"aaa", "aa", {0, 2}, {1, 2}},
        {"ab", "abc", none, none},        {"abc", "", none, none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        EXPECT_EQ(c.first, rangeOfData(dataFromString(c.data), dataFromString(c.pattern)));
        EXPECT_EQ(c.last, rangeOfDataBackwardsSearch(dataFromString(c.data), dataFromString(c.pattern)));
    }
}

TEST(FCDataAdditions, DecodesAndPrepends) {
    EXPECT_EQ("D\u00e9ck", stringValueWithEncoding(dataFromString("D\u00e9ck"), StringEncoding::UTF8));
    EXPECT_EQ(std::nullopt, stringValueWithEncoding(Data{'a', 0xFF}, StringEncoding::UTF8));
    EXPECT_EQ("abc", stringValueWithEncoding(dataFromString("abc"), StringEncoding::ASCII));
    EXPECT_EQ(std::nullopt, stringValueWithEncoding(dataFromString("D\u00e9ck"), StringEncoding::ASCII));
    EXPECT_EQ("", stringValueWithEncoding(Data(), StringEncoding::UTF8));

    Data d = dataFromString("world");
    prepend(d, dataFromString("hello "));
    EXPECT_EQ("hello world", stringFromData(d));
    prepend(d, Data());
    EXPECT_EQ("hello world", stringFromData(d));
}
