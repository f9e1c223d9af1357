#pragma once

// The HTML fragment of one card (the cover, a topic or a study card) as the
// study and editing web views show it, and the plain-text helpers for card HTML.
//
// Card sides and topic titles are HTML and go into the fragments as they are;
// every other text (colours, icon names, file names) is escaped. The pages
// around the fragments, their style sheets and scripts belong to the screens.

#include <optional>
#include <string>
#include <string_view>

#include "model/FCCard.h"

class FCCoverStyle;

// Appends the card's fragment to html: a topic and a study card each have their
// own form; any other kind of card logs "Unsupported card type: <class>" and
// appends nothing. The cover style is used only with includeCover (it may be
// null otherwise). The zoom level goes into the fragment's style.
void appendCardAsHtmlTo(const FCCard& card, std::string& html, bool editable, const FCCoverStyle* coverStyle,
                        bool includeCover, double zoomLevel);
// The same; a study card's sequence number is shown on the given CSS colour
// (as rated) when one is given. Unsupported cards append nothing, silently.
void appendCardAsHtmlTo(const FCCard& card, std::string& html, bool editable, const FCCoverStyle* coverStyle,
                        bool includeCover, double zoomLevel,
                        const std::optional<std::string>& sequenceNumberBackgroundColor);

// Appends the cover card (id "c0") without deck progress.
void appendCoverCardAsHtmlTo(std::string& html, const FCCoverStyle& coverStyle, double zoomLevel);
// Appends the cover card with the deck's progress in percent: below 0 an empty
// pie, exactly 0 no pie, above 0 a pie filled clockwise from the top ("completed"
// from 100 on).
void appendCoverCardAsHtmlTo(std::string& html, const FCCoverStyle& coverStyle, double deckProgress,
                             double zoomLevel);

// "color-" followed by the start colour without "#".
std::string cssColorClassForCoverStyle(const FCCoverStyle& coverStyle);
// "icon-custom" for a style with a custom image, else "icon-" followed by the icon name.
std::string cssIconClassForCoverStyle(const FCCoverStyle& coverStyle);

// The plain text of card HTML through a new FCHtmlToPlainTextValueTransformer
// with its default options; nullopt when it gives no text.
std::optional<std::string> plainTextFromHTML(std::string_view html);
// The text with every shortest run from "(" to the next ")" (at least one
// character in between, line breaks included) removed.
std::string removingParenthesizedText(std::string_view text);
