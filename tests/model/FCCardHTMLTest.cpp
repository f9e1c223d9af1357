#include "model/FCCardHTML.h"

#include <gtest/gtest.h>

#include "model/FCCardImageSupport.h"
#include "model/FCCoverStyle.h"
#include "model/FCHtmlToPlainTextValueTransformer.h"
#include "model/FCReversedStudyCard.h"
#include "tests/model/FCModelTestSupport.h"

using fc_test::clearLogBacklog;
using fc_test::loggedLineContaining;

namespace {

std::shared_ptr<FCCoverStyle> style(const std::string& start, const std::string& icon,
                                    std::optional<std::string> customImage = std::nullopt) {
    auto s = std::make_shared<FCCoverStyle>();
    s->setStartHexColor(start);
    s->setIconName(icon);
    s->setCustomImageName(std::move(customImage));
    return s;
}

std::shared_ptr<FCStudyCard> numberedCard(std::optional<std::string> top, std::optional<std::string> bottom) {
    auto card = FCStudyCard::studyCardWithTop(std::move(top), std::move(bottom), 5);
    card->setSequenceNumber(3);
    return card;
}

std::string coverHtml(const FCCoverStyle& s, double progress, double zoom = 1) {
    std::string html;
    appendCoverCardAsHtmlTo(html, s, progress, zoom);
    return html;
}

const std::string kCoverStart =
    "<div id='c0' tabindex='0' style='zoom:1.000000;' class='cover card color-3996f9 icon-Leaf'>\n"
    "<div class='inner-icon-frame'></div>\n<div id='cover-icon-container' ></div>";

std::string filledPie(const std::string& completed, const std::string& path) {
    return "<div class='cover-pie " + completed +
           "' style='display:block;'><svg height='100%' width='100%' overflow='visible'> <path id='cover-pie-arc' "
           "fill='white' stroke='transparent' stroke-width='0' d='" +
           path + "'/> <circle cx='50%' cy='50%' r='50%' stroke='white' stroke-width='1.5' fill='none'/> </svg></div>";
}

}  // namespace

TEST(FCCardHTML, StudyCardFragments) {
    auto globe = style("#3996f9", "Globe");
    auto fresh = numberedCard("Question…", "A");
    auto rich = numberedCard("<b>Q</b>", "Answer…");
    auto reversed = std::make_shared<FCReversedStudyCard>(numberedCard(std::nullopt, "A"));
    struct Case {
        const char* name;
        std::shared_ptr<FCStudyCard> card;
        bool editable, includeCover;
        double zoom;
        std::optional<std::string> color;
        std::string expected;
    } cases[] = {
        {"editable, fresh top", fresh, true, false, 1, std::nullopt,
         "<div id='c5' style='zoom:1.000000;' class='study card'>\n<div class='sequence'>3</div>\n"
         "<div class='top editor fresh' contenteditable='true'>Question…</div>\n<div class='separator'></div>\n"
         "<div class='bottom editor' contenteditable='true'>A</div>\n</div>"},
        {"rated with cover, fresh bottom", rich, false, true, 0.5, "#ff0000",
         "<div id='c5' style='zoom:0.500000;' class='study card'>\n"
         "<div class='sequence rated' style='background-color:#ff0000;'>3</div>\n"
         "<div class='top editor'><b>Q</b></div>\n<div class='separator'></div>\n"
         "<div class='bottom editor fresh'>Answer…</div>\n<div class='cover icon-Globe color-3996f9'></div>\n</div>"},
        {"reversed view, nil side", reversed, false, false, 1, std::nullopt,
         "<div id='c-5' style='zoom:1.000000;' class='reversed study card'>\n<div class='sequence'>3</div>\n"
         "<div class='top editor'>A</div>\n<div class='separator'></div>\n<div class='bottom editor'></div>\n</div>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string html = "before|";
        appendCardAsHtmlTo(*c.card, html, c.editable, globe.get(), c.includeCover, c.zoom, c.color);
        EXPECT_EQ("before|" + c.expected, html);
        if (!c.color) {
            std::string plain;
            appendCardAsHtmlTo(*c.card, plain, c.editable, globe.get(), c.includeCover, c.zoom);
            EXPECT_EQ(c.expected, plain);
        }
    }
}

TEST(FCCardHTML, TopicFragmentsAndUnsupportedCards) {
    auto topic = FCTopicCard::topicCardWithTitle("Topic", 2);
    std::string html;
    appendCardAsHtmlTo(*topic, html, true, nullptr, false, 1);
    EXPECT_EQ(
        "<div id='c2' style='zoom:1.000000;' class='topic card'>\n<table class='wrapper'><tr><td>"
        "<div class='title editor fresh' contenteditable='true'>Topic</div></td></tr></table>\n</div>",
        html);

    html.clear();
    appendCardAsHtmlTo(*FCTopicCard::topicCardWithTitle(std::nullopt, 4), html, false, nullptr, true, 2);
    EXPECT_EQ(
        "<div id='c4' style='zoom:2.000000;' class='topic card'>\n<table class='wrapper'><tr><td>"
        "<div class='title editor'></div></td></tr></table>\n</div>",
        html);

    clearLogBacklog();
    html.clear();
    appendCardAsHtmlTo(FCCard(), html, true, nullptr, false, 1);
    EXPECT_EQ("", html);
    EXPECT_TRUE(loggedLineContaining(" WARN| Unsupported card type: FCCard |"));
}

TEST(FCCardHTML, CoverFragmentsAndProgressPie) {
    const auto leaf = style("#3996f9", "Leaf");
    const std::string emptyPie =
        "<div class='cover-pie'><svg height='100%' width='100%' overflow='visible'> <path id='cover-pie-arc' "
        "fill='white' stroke='transparent' stroke-width='0' /> <circle cx='50%' cy='50%' r='50%' stroke='white' "
        "stroke-width='1.5' fill='none' /> </svg></div>";
    struct Case {
        double progress;
        std::string pie;
    } cases[] = {
        {-1, emptyPie},
        {0, ""},
        {25, filledPie("", "M 40 20 A 20 20 0 0 0 20 0 L 20 20 L 40 20")},
        {50, filledPie("", "M 20 40 A 20 20 0 0 0 20 0 L 20 20 L 20 40")},
        // 270 degrees: the large arc; the sine of pi is not exactly 0.
        {75, filledPie("", "M 0 20.000000000000004 A 20 20 0 1 0 20 0 L 20 20 L 0 20.000000000000004")},
        // 359.64 degrees truncate to 359: just short of the top.
        {99.9, filledPie("", "M 19.65095187125433 0.0030460968721754966 A 20 20 0 1 0 20 0 L 20 20 L "
                             "19.65095187125433 0.0030460968721754966")},
        // A full circle is drawn as angle 0: start and end both at the top.
        {100, filledPie("completed", "M 20 0 A 20 20 0 0 0 20 0 L 20 20 L 20 0")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.progress);
        EXPECT_EQ(kCoverStart + c.pie + "</div>", coverHtml(*leaf, c.progress));
    }

    std::string html;
    appendCoverCardAsHtmlTo(html, *leaf, 1);
    EXPECT_EQ(kCoverStart + emptyPie + "</div>", html);

    EXPECT_EQ(
        "<div id='c0' tabindex='0' style='zoom:0.750000;' class='cover card color-f4314a icon-custom'>\n"
        "<div class='inner-icon-frame'></div>\n"
        "<div id='cover-icon-container'  style='background-image:url(card-attachment://cover.jpg)'></div></div>",
        coverHtml(*style("#f4314a", "Globe", "cover.jpg"), 0, 0.75));

    EXPECT_EQ("color-3996f9", cssColorClassForCoverStyle(*leaf));
    EXPECT_EQ("icon-Leaf", cssIconClassForCoverStyle(*leaf));
    EXPECT_EQ("icon-custom", cssIconClassForCoverStyle(*style("#3996f9", "Leaf", "c.png")));
}

// Colours, icon names and file names are no HTML: they cannot close an
// attribute or open an element.
TEST(FCCardHTML, NonHTMLTextsAreEscaped) {
    const auto hostile = style("#a'b", "x'><script>", "a'b.png");
    std::string html;
    appendCardAsHtmlTo(*numberedCard("Q", "A"), html, false, hostile.get(), true, 1, "red' onclick='x");
    EXPECT_NE(std::string::npos, html.find("background-color:red&#x27; onclick=&#x27;x;'>"));
    EXPECT_NE(std::string::npos, html.find("<div class='cover icon-x&#x27;&gt;&lt;script&gt; color-a&#x27;b'>"));

    html = coverHtml(*hostile, 0);
    EXPECT_NE(std::string::npos, html.find("class='cover card color-a&#x27;b icon-custom'>"));
    EXPECT_NE(std::string::npos, html.find("url(card-attachment://a&#x27;b.png)'>"));

    EXPECT_EQ("<img src=\"card-attachment://a&quot;&gt;b.png\">",
              FCCardImageSupport::htmlSnippetForImageWithName("a\">b.png", {0, 0}, 300));
}

TEST(FCCardImageSupport, ImageSizesAndSnippets) {
    using Size = FCCardImageSupport::Size;
    struct Case {
        Size native;
        double maxWidth;
        Size shown;
        std::string snippet;
    } cases[] = {
        {{1200, 800}, 300, {300, 200},
         "<img width=\"300\" height=\"200\" data-fc-native-width=\"1200\" data-fc-native-height=\"800\" "
         "src=\"card-attachment://p.png\">"},
        {{200, 100}, 300, {200, 100},
         "<img width=\"200\" height=\"100\" data-fc-native-width=\"200\" data-fc-native-height=\"100\" "
         "src=\"card-attachment://p.png\">"},
        {{301, 100}, 300, {300, 100},
         "<img width=\"300\" height=\"100\" data-fc-native-width=\"301\" data-fc-native-height=\"100\" "
         "src=\"card-attachment://p.png\">"},
        {{0, 0}, 300, {0, 0}, "<img src=\"card-attachment://p.png\">"},
        {{640, 0}, 300, {300, 0}, "<img src=\"card-attachment://p.png\">"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.snippet);
        EXPECT_EQ(c.shown, FCCardImageSupport::htmlImgActualSizeForNativeSize(c.native, c.maxWidth));
        EXPECT_EQ(c.snippet, FCCardImageSupport::htmlSnippetForImageWithName("p.png", c.native, c.maxWidth));
    }
}

TEST(FCCardImageSupport, SupportedTypesAndAttachmentURLs) {
    EXPECT_EQ((std::vector<std::string>{"public.png", "public.jpeg", "public.jpeg-2000", "com.microsoft.bmp",
                                        "com.compuserve.gif", "public.tiff"}),
              FCCardImageSupport::supportedImageTypes());
    for (const char* ext : {"jpg", "PNG", "jpeg", "jp2", "bmp", "gif", "tif", "TIFF"})
        EXPECT_TRUE(FCCardImageSupport::isImageWithExtensionSupported(std::string(ext))) << ext;
    for (const char* ext : {"pdf", "svg", "webp", "", ".png", "png "})
        EXPECT_FALSE(FCCardImageSupport::isImageWithExtensionSupported(std::string(ext))) << ext;
    EXPECT_FALSE(FCCardImageSupport::isImageWithExtensionSupported(std::nullopt));

    EXPECT_EQ("card-attachment://x.png", FCCardImageSupport::cardAttachmentURLForFileName("x.png")->absoluteString());
    EXPECT_EQ("card-attachment://a%20b%2Fc%3A%40.png",
              FCCardImageSupport::cardAttachmentURLForFileName("a b/c:@.png")->absoluteString());
    EXPECT_EQ(std::nullopt, FCCardImageSupport::cardAttachmentURLForFileName(std::nullopt));
}

TEST(FCCardHTML, PlainTextHelpers) {
    EXPECT_EQ("Hello world", plainTextFromHTML("<b>Hello</b>   world"));
    EXPECT_EQ(std::nullopt, plainTextFromHTML("<br>"));
    // The thread's shared transformer may carry other options; these helpers
    // always convert with the defaults.
    auto& shared = FCHtmlToPlainTextValueTransformer::valueTransformerForCurrentThread();
    shared.setUsePrettyLists(true);
    EXPECT_EQ("a", plainTextFromHTML("<li>a</li>"));
    shared.setUsePrettyLists(false);

    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"der Hund (m)", "der Hund "},
        {"(a) b (c)", " b "},
        {"keep () this", "keep () this"},
        {"two\n(lines\nhere) end", "two\n end"},
        {"open ( only", "open ( only"},
        {"((nested)) x", ") x"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, removingParenthesizedText(c.text)) << c.text;
}
