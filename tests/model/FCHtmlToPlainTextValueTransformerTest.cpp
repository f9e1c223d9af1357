#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "model/FCHtmlToPlainTextValueTransformer.h"
#include "model/TWStringAdditions.h"
#include "platform/foundation/RegularExpression.h"
#include "platform/foundation/StringUtils.h"

namespace {

using S = std::optional<std::string>;

TEST(FCHtmlToPlainTextValueTransformer, PlainTextWithDefaultOptions) {
    const FCHtmlToPlainTextValueTransformer transformer;
    struct Case {
        std::string html;
        S text;
    } cases[] = {
        {"<b>Hello</b><br><span style=\"color:red\">world</span>", "Hello world"},
        {"fish &amp; chips", "fish & chips"},
        {"<p></p>", std::nullopt},
        {" <p> &nbsp; </p>\n", std::nullopt},
        {" \n\t", std::nullopt},
        {"", std::nullopt},
        {"Wa<span class=\"x\">ter</span>melon", "Watermelon"},
        {"Wa<FONT color=red>ter</FONT>melon", "Watermelon"},
        {"<DIV>one</DIV><P>two</P>", "one two"},
        {"<ul><li>a</li><li>b</li></ul>", "a b"},
        {"x<b\nclass=\"y\">z", "x<b\nclass=\"y\">z"},  // a tag across lines stays
        {"letter &#x41;!", "letter A!"},
        {"&lt;b&gt;bold&lt;/b&gt;", "<b>bold</b>"},  // an encoded tag stays visible
        {"a    b", "a b"},
        {"  padded  ", "padded"},
        {"&#xD800;", "&#xD800;"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.text, transformer.transformedValue(c.html)) << c.html;
}

TEST(FCHtmlToPlainTextValueTransformer, Options) {
    FCHtmlToPlainTextValueTransformer transformer;
    EXPECT_FALSE(transformer.preserveLineBreaks());
    EXPECT_FALSE(transformer.usePrettyLists());
    const std::string list = "<UL><LI class=\"i\">one</LI><li>two</li></ul>";
    transformer.setUsePrettyLists(true);
    transformer.setPreserveLineBreaks(true);
    EXPECT_EQ(S("- one\n- two"), transformer.transformedValue(list));
    // Opening tags still become blanks.
    EXPECT_EQ(S("first\n second"), transformer.transformedValue("<p>first</p><div>second</div>"));
    transformer.setPreserveLineBreaks(false);
    EXPECT_EQ(S("- one - two"), transformer.transformedValue(list));
}

// The conversion as a chain of case-insensitive regular expressions states it.
S plainTextByExpressions(const std::string& html, bool lineBreaks, bool prettyLists) {
    if (stringByTrimmingWhitespaceAndNewlines(html).empty()) return std::nullopt;
    auto replace = [](const std::string& text, const char* pattern, const char* with) {
        return RegularExpression::make(pattern, RegularExpression::CaseInsensitive)
            ->stringByReplacingMatches(text, with);
    };
    std::string text = html;
    if (lineBreaks) text = replace(text, "</li>|</p>|</div>", "\n");
    if (prettyLists) text = replace(text, "<li.*?>", "- ");
    text = replace(text, "<(span|font).*?>", "");
    text = replace(text, "</(span|font)>", "");
    text = replace(text, "<.*?>", " ");
    text = replace(text, "  +", " ");
    text = stringByTrimmingWhitespaceAndNewlines(twStringByUnescapingHTML(text));
    if (text.empty()) return std::nullopt;
    return text;
}

TEST(FCHtmlToPlainTextValueTransformer, SameTextAsTheExpressionsForMixedMarkup) {
    // Pieces that make tags, near-tags, line ends inside tags, references,
    // blanks, other scripts and ill-formed bytes when strung together.
    const std::vector<std::string> pieces = {"<",
                                             ">",
                                             "</",
                                             "<b>",
                                             "<br/>",
                                             "<span style=\"a\">",
                                             "</span>",
                                             "<FONT>",
                                             "</Font>",
                                             "<spanner>",
                                             "<\xC5\xBFpan>",
                                             "</p>",
                                             "</P>",
                                             "</div>",
                                             "</DIV >",
                                             "<li>",
                                             "<LI class=x>",
                                             "</li>",
                                             "<link>",
                                             "<p>",
                                             " ",
                                             "  ",
                                             "\t",
                                             "\n",
                                             "\r\n",
                                             "\v",
                                             "\f",
                                             "\xC2\x85",
                                             "\xE2\x80\xA8",
                                             "\xE2\x80\xA9",
                                             "&amp;",
                                             "&lt;b&gt;",
                                             "&#x41;",
                                             "&nbsp;",
                                             "&",
                                             ";",
                                             "a",
                                             "Wort",
                                             "\xC3\x9C",
                                             "\xCF\x83",
                                             "\xE6\x97\xA5",
                                             "\xF0\x9F\x98\x80",
                                             "\xFF",
                                             "\xE2\x80",
                                             "\xC3",
                                             "<<",
                                             ">>",
                                             "<>",
                                             "x=\"<\"",
                                             std::string(1, '\0')};
    std::mt19937 random(47);
    for (int round = 0; round < 4000; ++round) {
        std::string html;
        const int count = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) html += pieces[random() % pieces.size()];
        for (int options = 0; options < 4; ++options) {
            FCHtmlToPlainTextValueTransformer transformer;
            transformer.setPreserveLineBreaks(options & 1);
            transformer.setUsePrettyLists(options & 2);
            ASSERT_EQ(plainTextByExpressions(html, options & 1, options & 2), transformer.transformedValue(html))
                << escapedExcerpt(html) << " options " << options;
        }
    }
}

TEST(FCHtmlToPlainTextValueTransformer, ValuesOtherThanStrings) {
    const FCHtmlToPlainTextValueTransformer transformer;
    struct Case {
        const char* name;
        Value value;
        S text;
    } cases[] = {
        {"string", Value("<i>x</i>"), "x"},
        {"first non-empty element", Value::array({"<p> </p>", 5, "<b>second</b>", "third"}), "second"},
        {"no usable element", Value::array({"<br>", Value()}), std::nullopt},
        {"empty array", Value::array(), std::nullopt},
        {"number", Value(5), std::nullopt},
        {"null", Value(), std::nullopt},
        {"dictionary", Value::dictionary({{"a", "b"}}), std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(c.text, transformer.transformedValue(c.value)) << c.name;
}

TEST(FCHtmlToPlainTextValueTransformer, TextForIndexing) {
    const FCHtmlToPlainTextValueTransformer transformer;
    EXPECT_EQ(" a b & ", transformer.htmlToPlainTextForIndexing("<p>a</p><span>b</span> &amp; <br>"));
    EXPECT_EQ("", transformer.htmlToPlainTextForIndexing(""));
}

TEST(FCHtmlToPlainTextValueTransformer, OneInstancePerThread) {
    auto* mine = &FCHtmlToPlainTextValueTransformer::valueTransformerForCurrentThread();
    EXPECT_EQ(mine, &FCHtmlToPlainTextValueTransformer::valueTransformerForCurrentThread());
    const FCHtmlToPlainTextValueTransformer* theirs = nullptr;
    S theirText;
    std::thread([&] {
        auto& t = FCHtmlToPlainTextValueTransformer::valueTransformerForCurrentThread();
        theirs = &t;
        theirText = t.transformedValue("<b>x</b>");
    }).join();
    EXPECT_NE(mine, theirs);
    EXPECT_EQ(S("x"), theirText);
    EXPECT_EQ(S("y"), mine->transformedValue("<b>y</b>"));
}

}  // namespace
