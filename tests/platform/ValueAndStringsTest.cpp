#include <gtest/gtest.h>

#include "platform/foundation/Error.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/Value.h"

TEST(Value, NumbersCompareAndConvertAcrossKinds) {
    EXPECT_EQ(Value(1), Value(1.0));
    EXPECT_EQ(Value(true), Value(1));
    EXPECT_EQ(Value(5u), Value(5));
    EXPECT_NE(Value(-1), Value(static_cast<unsigned long long>(UINT64_MAX)));
    EXPECT_NE(Value("1"), Value(1));
    EXPECT_EQ(42, Value("  42abc").integerValue());
    EXPECT_DOUBLE_EQ(2.5, Value("2.5").doubleValue());
    EXPECT_EQ(3, Value(3.9).integerValue());
    EXPECT_TRUE(Value("YES").boolValue());
    EXPECT_FALSE(Value("NO").boolValue());
    EXPECT_EQ(7, Value().integerValue(7));
}

TEST(Value, DictionaryAndArrayAccess) {
    Value v = Value::dictionary({{"a", Value::array({1, "two"})}});
    EXPECT_EQ("two", v["a"][1].stringValue());
    EXPECT_TRUE(v["missing"][0].isNull());
    v.at("b").append(3);
    EXPECT_EQ(1u, v["b"].count());
    v.remove("a");
    EXPECT_EQ(nullptr, v.find("a"));
}

TEST(Value, PropertyListRoundTrip) {
    Value v = Value::dictionary({{"int", -5},
                                 {"big", 1LL << 40},
                                 {"real", 0.25},
                                 {"bool", true},
                                 {"text", "h\u00e9llo"},
                                 {"data", Data{0, 1, 255}},
                                 {"date", Date(123456)},
                                 {"list", Value::array({1, Value::dictionary({{"x", "y"}})})}});
    for (auto format : {PropertyList::Format::XML, PropertyList::Format::Binary}) {
        auto data = PropertyList::dataFromValue(v, format);
        ASSERT_TRUE(data);
        auto back = PropertyList::valueFromData(*data);
        ASSERT_TRUE(back);
        EXPECT_EQ(v, *back) << back->description();
    }
    Error error;
    EXPECT_FALSE(PropertyList::valueFromData(dataFromString("not a plist"), &error));
    EXPECT_EQ(3840, error.code());
}

TEST(StringUtils, NumberParsingFollowsThePlatform) {
    struct Case {
        const char* text;
        std::int64_t integer;
        double real;
    } cases[] = {
        {"42", 42, 42}, {"  -17x", -17, -17}, {"+8", 8, 8}, {"abc", 0, 0}, {"", 0, 0},
        {"3.75", 3, 3.75}, {"1e3", 1, 1000}, {"99999999999999999999", INT64_MAX, 1e20},
        {"-99999999999999999999", INT64_MIN, -1e20},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.integer, stringIntegerValue(c.text)) << c.text;
        EXPECT_DOUBLE_EQ(c.real, stringDoubleValue(c.text)) << c.text;
    }
}

TEST(StringUtils, TrimmingUsesUnicodeWhiteSpace) {
    EXPECT_EQ("a b", stringByTrimmingWhitespaceAndNewlines(" \t\n a b \r\n\u00a0\u2003"));
    EXPECT_EQ("", stringByTrimmingWhitespaceAndNewlines("  \n "));
    EXPECT_EQ("\na\n", stringByTrimmingWhitespace(" \na\n\t"));
}

TEST(StringUtils, PathOperations) {
    struct Case {
        const char* path;
        const char* last;
        const char* ext;
        const char* deletingLast;
        const char* deletingExt;
    } cases[] = {
        {"/a/b/Deck.flashcards", "Deck.flashcards", "flashcards", "/a/b", "/a/b/Deck"},
        {"/a/b/", "b", "", "/a", "/a/b"},
        {"/", "/", "", "/", "/"},
        {"name", "name", "", "", "name"},
        {"x/.hidden", ".hidden", "", "x", "x/.hidden"},
        {"a//b.tar.gz", "b.tar.gz", "gz", "a", "a/b.tar"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.last, lastPathComponent(c.path)) << c.path;
        EXPECT_EQ(c.ext, pathExtension(c.path)) << c.path;
        EXPECT_EQ(c.deletingLast, stringByDeletingLastPathComponent(c.path)) << c.path;
        EXPECT_EQ(c.deletingExt, stringByDeletingPathExtension(c.path)) << c.path;
    }
    EXPECT_EQ("/a/b", stringByAppendingPathComponent("/a/", "b"));
    EXPECT_EQ("b", stringByAppendingPathComponent("", "b"));
    EXPECT_EQ("Deck.flashcards", stringByAppendingPathExtension("Deck", "flashcards"));
}

TEST(StringUtils, UTF16AndComposedCharacters) {
    std::string s = "a\u00e9\U0001F600e\u0301";
    EXPECT_EQ(6u, utf16Length(s));
    EXPECT_EQ(s, fromUTF16(toUTF16(s)));
    auto parts = composedCharacterSequences(s);
    ASSERT_EQ(4u, parts.size());
    EXPECT_EQ("e\u0301", parts[3]);
    EXPECT_EQ("a\xEF\xBF\xBD" "b", sanitizeUTF8("a\xFF" "b"));
    EXPECT_FALSE(isValidUTF8("\xC3"));
    // Faults found past the runs of plain ASCII checked eight bytes at a time.
    for (const char* bad : {"plain ascii text\xC3", "0123456\xFF" "89abcdef", "01234567\xED\xA0\x80 surrogate"})
        EXPECT_FALSE(isValidUTF8(bad)) << bad;
    EXPECT_TRUE(isValidUTF8("01234567 \u00e9t\u00e9 and \U0001F600 in longer text"));
}

TEST(StringUtils, SearchFoldingMatchesInAnyScript) {
    EXPECT_EQ(foldedForSearch("\u00dcbung"), foldedForSearch("\u00fcbung"));
    EXPECT_EQ(foldedForSearch("\u03a3\u039f\u03a6\u0399\u0391"), foldedForSearch("\u03c3\u03bf\u03c6\u03af\u03b1"));
    EXPECT_EQ(foldedForSearch("stra\u00dfe"), foldedForSearch("STRASSE"));
    EXPECT_EQ("plain ascii", foldedForSearch("Plain ASCII"));
    EXPECT_NE(std::string::npos, foldedForSearch("Eine \u00dcbung").find(foldedForSearch("\u00fcbung")));
}

TEST(StringUtils, EscapedExcerptIsOneShortPrintableLine) {
    struct Case {
        std::string in;
        std::size_t max;
        std::string out;
    } cases[] = {
        {"plain", 200, "plain"},
        {"a\nb\r\tc\\", 200, "a\\nb\\r\\tc\\\\"},
        {"\x1b[31mred\x07", 200, "\\x1b[31mred\\x07"},
        {"bad \xFF byte", 200, "bad \\xff byte"},
        {"\u00e9t\u00e9", 200, "\u00e9t\u00e9"},
        {"\xC2\x9b C1", 200, "\\x9b C1"},
        {"abcdef", 3, "abc\u2026 (6 bytes)"},
        // A cut never splits a character.
        {"a\u00e9b", 2, "a\u2026 (4 bytes)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.out, escapedExcerpt(c.in, c.max)) << c.in;
        EXPECT_EQ(std::string::npos, escapedExcerpt(c.in, c.max).find('\n'));
    }
}

TEST(Error, TextsAndDescription) {
    Error none;
    EXPECT_FALSE(none);
    Error e("FCPersistenceErrorDomain", 112233,
            Value::dictionary({{NSLocalizedDescriptionKey, "Too new"}, {NSLocalizedRecoverySuggestionErrorKey, "Update"}}));
    EXPECT_TRUE(e);
    EXPECT_EQ("Too new", e.localizedDescription());
    EXPECT_EQ("Update", e.localizedRecoverySuggestion());
    EXPECT_FALSE(e.localizedFailureReason());
    EXPECT_EQ(0u, e.description().find("Error Domain=FCPersistenceErrorDomain Code=112233 \"Too new\""));
    EXPECT_EQ("The operation couldn\u2019t be completed. (D error 5.)", Error("D", 5).localizedDescription());
    Error out = e;
    Error::clear(&out);
    EXPECT_FALSE(out);
}
