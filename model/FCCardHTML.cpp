#include "model/FCCardHTML.h"

#include <charconv>
#include <cmath>
#include <numbers>

#include "model/FCCoverStyle.h"
#include "model/FCHtmlToPlainTextValueTransformer.h"
#include "model/TWLogger.h"
#include "model/TWStringAdditions.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/RegularExpression.h"
#include "platform/foundation/StringUtils.h"

namespace {

// The placeholder texts of new cards, from the "FCDeckView" table. A side that
// still holds its whole placeholder is marked "fresh" so the editor can clear it.
std::string deckViewString(const char* key, const char* defaultText) {
    return Bundle::main().localizedString(key, defaultText, "FCDeckView");
}
std::string topPlaceholder() { return deckViewString("NewCardTopInitialValue", "Question…"); }
std::string bottomPlaceholder() { return deckViewString("NewCardBottomInitialValue", "Answer…"); }
std::string topicPlaceholder() { return deckViewString("NewTopicCardInitialValue", "Topic"); }

bool equals(const std::optional<std::string>& text, const std::string& other) {
    return text && *text == other;
}

// Text for an HTML attribute; nil stays nil (and prints as "(null)" like any
// nil object in a format).
std::optional<std::string> escaped(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    return twStringByEscapingHTML(*text);
}

std::optional<std::string> withoutHash(const std::optional<std::string>& color) {
    if (!color) return std::nullopt;
    return stringByReplacingOccurrences(*color, "#", "");
}

bool hasCustomImage(const FCCoverStyle& style) {
    return style.customImageName() && !style.customImageName()->empty();
}

void appendTopicHtml(const FCTopicCard& topic, std::string& html, bool editable, double zoomLevel) {
    const auto title = topic.title();
    html += "<div id='";
    html += topic.primaryKeyAsString();
    html += stringWithFormat("' style='zoom:%.6f;'", zoomLevel);
    html += " class='topic card'>\n<table class='wrapper'><tr><td><div class='title editor";
    if (equals(title, topicPlaceholder())) html += " fresh";
    html += editable ? "' contenteditable='true'>" : "'>";
    html += title.value_or("");
    html += "</div></td></tr></table>\n</div>";
}

void appendStudyCardHtml(const FCStudyCard& card, std::string& html, bool editable, const FCCoverStyle* coverStyle,
                         bool includeCover, double zoomLevel,
                         const std::optional<std::string>& sequenceNumberBackgroundColor) {
    const auto top = card.top();
    const auto bottom = card.bottom();

    html += "<div id='";
    html += card.primaryKeyAsString();
    html += stringWithFormat("' style='zoom:%.6f;'", zoomLevel);
    html += " class='";
    if (card.isReversed()) html += "reversed ";

    if (sequenceNumberBackgroundColor) {
        html += "study card'>\n<div class='sequence rated' style='background-color:";
        html += twStringByEscapingHTML(*sequenceNumberBackgroundColor);
        html += ";'>";
    } else {
        html += "study card'>\n<div class='sequence'>";
    }
    html += stringWithFormat("%ld", card.sequenceNumber());

    html += "</div>\n<div class='top editor";
    if (equals(top, topPlaceholder())) html += " fresh";
    html += editable ? "' contenteditable='true'>" : "'>";
    html += top.value_or("");

    html += equals(bottom, bottomPlaceholder()) ? "</div>\n<div class='separator'></div>\n<div class='bottom editor fresh'"
                                                : "</div>\n<div class='separator'></div>\n<div class='bottom editor'";
    html += editable ? " contenteditable='true'>" : ">";
    html += bottom.value_or("");

    if (includeCover) {
        const std::optional<std::string> icon = coverStyle ? escaped(coverStyle->iconName()) : std::nullopt;
        const std::optional<std::string> color =
            coverStyle ? escaped(withoutHash(coverStyle->startHexColor())) : std::nullopt;
        html += stringWithFormat("</div>\n<div class='cover icon-%@ color-%@'></div>\n</div>", icon, color);
    } else {
        html += "</div>\n</div>";
    }
}

// A number as a number object describes itself: integral values without a
// decimal point, others in the shortest form that reads back the same.
std::string numberText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// The SVG path of the filled part of the progress pie: a circle of radius 20
// around (20, 20), angles clockwise from the top.
std::string piePath(double progress) {
    int angle = static_cast<int>(progress / 100.0 * 360.0);
    if (angle >= 360) angle = 0;
    auto point = [](int degrees) {
        const double phi = (degrees - 90) * std::numbers::pi / 180.0;
        return std::pair<double, double>(20.0 + 20.0 * std::cos(phi), 20.0 + 20.0 * std::sin(phi));
    };
    const auto start = point(angle);
    const auto end = point(0);
    const char* largeArc = angle > 180 ? "1" : "0";
    return componentsJoinedByString({"M", numberText(start.first), numberText(start.second), "A", "20", "20", "0",
                                     largeArc, "0", numberText(end.first), numberText(end.second), "L", "20", "20",
                                     "L", numberText(start.first), numberText(start.second)},
                                    " ");
}

}  // namespace

void appendCardAsHtmlTo(const FCCard& card, std::string& html, bool editable, const FCCoverStyle* coverStyle,
                        bool includeCover, double zoomLevel) {
    if (!card.isTopicCard() && !card.isStudyCard()) {
        TWLogWarning("Unsupported card type: %@", card.className());
        return;
    }
    appendCardAsHtmlTo(card, html, editable, coverStyle, includeCover, zoomLevel, std::nullopt);
}

void appendCardAsHtmlTo(const FCCard& card, std::string& html, bool editable, const FCCoverStyle* coverStyle,
                        bool includeCover, double zoomLevel,
                        const std::optional<std::string>& sequenceNumberBackgroundColor) {
    if (const auto* topic = dynamic_cast<const FCTopicCard*>(&card)) {
        appendTopicHtml(*topic, html, editable, zoomLevel);
    } else if (const auto* studyCard = dynamic_cast<const FCStudyCard*>(&card)) {
        appendStudyCardHtml(*studyCard, html, editable, coverStyle, includeCover, zoomLevel,
                            sequenceNumberBackgroundColor);
    }
}

void appendCoverCardAsHtmlTo(std::string& html, const FCCoverStyle& coverStyle, double zoomLevel) {
    appendCoverCardAsHtmlTo(html, coverStyle, -1, zoomLevel);
}

void appendCoverCardAsHtmlTo(std::string& html, const FCCoverStyle& coverStyle, double deckProgress,
                             double zoomLevel) {
    html += "<div id='";
    html += "c0";
    html += stringWithFormat("' tabindex='0' style='zoom:%.6f;'", zoomLevel);
    html += " class='cover card " + twStringByEscapingHTML(cssColorClassForCoverStyle(coverStyle)) + " " +
            twStringByEscapingHTML(cssIconClassForCoverStyle(coverStyle));
    html += "'>\n<div class='inner-icon-frame'></div>\n<div id='cover-icon-container' ";

    if (hasCustomImage(coverStyle)) {
        html += " style='background-image:url(card-attachment://";
        html += twStringByEscapingHTML(*coverStyle.customImageName());
        html += ")'></div>";
    } else {
        html += "></div>";
    }

    if (deckProgress < 0) {
        html +=
            "<div class='cover-pie'><svg height='100%' width='100%' overflow='visible'> <path id='cover-pie-arc' "
            "fill='white' stroke='transparent' stroke-width='0' /> <circle cx='50%' cy='50%' r='50%' stroke='white' "
            "stroke-width='1.5' fill='none' /> </svg></div>";
    } else if (deckProgress > 0) {
        html += "<div class='cover-pie ";
        if (deckProgress >= 100) html += "completed";
        html +=
            "' style='display:block;'><svg height='100%' width='100%' overflow='visible'> <path id='cover-pie-arc' "
            "fill='white' stroke='transparent' stroke-width='0' d='";
        html += piePath(deckProgress);
        html += "'/> <circle cx='50%' cy='50%' r='50%' stroke='white' stroke-width='1.5' fill='none'/> </svg></div>";
    }

    html += "</div>";
}

std::string cssColorClassForCoverStyle(const FCCoverStyle& coverStyle) {
    return "color-" + withoutHash(coverStyle.startHexColor()).value_or("");
}

std::string cssIconClassForCoverStyle(const FCCoverStyle& coverStyle) {
    if (hasCustomImage(coverStyle)) return "icon-custom";
    return "icon-" + coverStyle.iconName().value_or("");
}

std::optional<std::string> plainTextFromHTML(std::string_view html) {
    // A new transformer, so options another user set on the thread's shared
    // one cannot change the result.
    FCHtmlToPlainTextValueTransformer transformer;
    return transformer.transformedValue(std::string(html));
}

std::string removingParenthesizedText(std::string_view text) {
    static const auto expression = RegularExpression::make("\\(.+?\\)", RegularExpression::DotMatchesLineSeparators);
    if (!expression) return std::string(text);
    return expression->stringByReplacingMatches(text, "");
}
