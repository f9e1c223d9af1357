#include <gtest/gtest.h>

#include <thread>

#include "model/FCHtmlToPlainTextValueTransformer.h"

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
