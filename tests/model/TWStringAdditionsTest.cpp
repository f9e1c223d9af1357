#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/TWHTMLEntities.h"
#include "model/TWStringAdditions.h"
#include "platform/foundation/StringUtils.h"

namespace {

TEST(TWStringAdditions, EscapesHTML) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"plain", "plain"},
        {"a & b", "a &amp; b"},
        {"<b class=\"x\">it's</b>", "&lt;b class=&quot;x&quot;&gt;it&#x27;s&lt;/b&gt;"},
        {"&lt;", "&amp;lt;"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.out, twStringByEscapingHTML(c.in)) << c.in;
}

TEST(TWStringAdditions, UnescapesHTML) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"no references", "no references"},
        {"&amp;lt;", "&lt;"},  // one pass only
        {"&#65;&#x41;&#X41;", "AAA"},
        {"x&lt;y&gt;z", "x<y>z"},
        {"&eacute;t&eacute; &euro;5", "\u00e9t\u00e9 \u20ac5"},
        {"&apos;&quot;", "'\""},
        {"&thetasym;", "\u03d1"},    // the longest name, 10 characters with "&" and ";"
        {"&#0;", "&#0;"},            // below the range
        {"&#65535;", "&#65535;"},    // above the range
        {"&#65534;", "\uFFFE"},      // the top of the range
        {"&#xD800;", "&#xD800;"},    // a surrogate is not a character on its own
        {"&#57343;", "&#57343;"},    // the last surrogate, in decimal
        {"&#xD7FF;&#xE000;", "\uD7FF\uE000"},
        {"&#x10000;", "&#x10000;"},  // beyond one UTF-16 unit
        {"&#x;&#;&#1a;&#x4G;&#-65;", "&#x;&#;&#1a;&#x4G;&#-65;"},
        {"&bogus; &AMP; &Eacute;", "&bogus; &AMP; \u00c9"},
        {"fish & chips", "fish & chips"},
        {"fish & chips;", "fish & chips;"},     // not a name
        {"fish & chips and peas;", "fish & chips and peas;"},  // longer than 10 characters
        {"a &amp b &lt; c", "a &amp b < c"},    // no ";" before the next reference
        {"&amp;&amp;", "&&"},
        {"&&lt;", "&<"},
        {"&;", "&;"},
        {"&#0000065;", "A"},                    // 10 characters
        {"&#00000065;", "&#00000065;"},         // 11 characters
        {"\u00e9&amp;\u00fc", "\u00e9&\u00fc"}, // multi-byte text around a reference
    };
    for (const auto& c : cases) {
        const std::string out = twStringByUnescapingHTML(c.in);
        EXPECT_EQ(c.out, out) << c.in;
        EXPECT_TRUE(isValidUTF8(out)) << c.in;
    }
}

TEST(TWStringAdditions, EveryNamedReferenceUnescapes) {
    const TWHTMLEntity* entities = twHTMLEntities();
    for (std::size_t i = 0; i < kTWHTMLEntityCount; ++i) {
        const auto& e = entities[i];
        EXPECT_EQ("x" + fromUTF16(std::u16string(1, e.character)), twStringByUnescapingHTML("x" + std::string(e.name)))
            << e.name;
    }
    // Spot checks across the three sets of names.
    struct Case {
        const char* name;
        char16_t character;
    } cases[] = {
        {"&nbsp;", 0xA0},    {"&yuml;", 0xFF},     {"&fnof;", 0x192},    {"&Omega;", 0x3A9},  {"&sigmaf;", 0x3C2},
        {"&image;", 0x2111}, {"&alefsym;", 0x2135}, {"&crarr;", 0x21B5},  {"&lang;", 0x2329},  {"&diams;", 0x2666},
        {"&OElig;", 0x152},  {"&circ;", 0x2C6},    {"&zwj;", 0x200D},    {"&permil;", 0x2030}, {"&apos;", 0x27},
    };
    for (const auto& c : cases) EXPECT_EQ(c.character, twCharacterForHTMLEntity(c.name)) << c.name;
    EXPECT_EQ(std::nullopt, twCharacterForHTMLEntity("&Apos;"));
}

TEST(TWStringAdditions, EncodesURLParameterValues) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"AZaz09-._~", "AZaz09-._~"},
        {"a b", "a%20b"},
        {"!*'();:@&=+$,/?%#[]", "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D"},
        {"\u00e9\u20ac", "%C3%A9%E2%82%AC"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.out, twStringByEncodingAsUrlParameterValue(c.in)) << c.in;
}

TEST(TWStringAdditions, SplitsURLs) {
    using V = std::vector<std::string>;
    struct Case {
        std::string in;
        V out;
    } cases[] = {
        {"a://b/c", {"a", "b", "c"}},
        {"a://", {"a", ""}},
        {"card-attachment://img.png", {"card-attachment", "img.png"}},
        {"http://host/path/", {"http", "host", "path", ""}},
        {"no scheme", {}},
        {"a://b://c", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.out, twSplitIntoURLComponents(c.in)) << c.in;
}

TEST(TWStringAdditions, TrimsTestsAndFallsBack) {
    EXPECT_EQ("a b", twStringByTrimming(" \n\ta b\u00a0\r\n"));

    EXPECT_TRUE(twContainsString("Flashcards", "card"));
    EXPECT_FALSE(twContainsString("Flashcards", "Card"));
    EXPECT_FALSE(twContainsString("Flashcards", std::nullopt));
    EXPECT_FALSE(twContainsString("Flashcards", ""));

    using S = std::optional<std::string>;
    EXPECT_EQ(S("default"), twUseValueIfNotEmpty(S("  \n"), S("default")));
    EXPECT_EQ(S("default"), twUseValueIfNotEmpty(std::nullopt, S("default")));
    EXPECT_EQ(S(""), twUseValueIfNotEmpty(S(""), S("")));
    EXPECT_EQ(S(" value "), twUseValueIfNotEmpty(S(" value "), S("default")));
    EXPECT_EQ(std::nullopt, twUseValueIfNotEmpty(S(" "), std::nullopt));
}

}  // namespace
