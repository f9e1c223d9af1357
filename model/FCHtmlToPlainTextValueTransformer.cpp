#include "model/FCHtmlToPlainTextValueTransformer.h"

#include "model/TWStringAdditions.h"
#include "platform/foundation/StringUtils.h"

FCHtmlToPlainTextValueTransformer::FCHtmlToPlainTextValueTransformer()
    : multipleSpacesRegex_(RegularExpression::make("  +")),
      listStartTagRegex_(RegularExpression::make("<li.*?>", RegularExpression::CaseInsensitive)),
      spanStartTagRegex_(RegularExpression::make("<(span|font).*?>", RegularExpression::CaseInsensitive)),
      spanEndTagRegex_(RegularExpression::make("</(span|font)>", RegularExpression::CaseInsensitive)),
      lineBreaksTagsRegex_(RegularExpression::make("</li>|</p>|</div>", RegularExpression::CaseInsensitive)),
      anyTagRegex_(RegularExpression::make("<.*?>", RegularExpression::CaseInsensitive)) {}

FCHtmlToPlainTextValueTransformer& FCHtmlToPlainTextValueTransformer::valueTransformerForCurrentThread() {
    thread_local FCHtmlToPlainTextValueTransformer transformer;
    return transformer;
}

std::optional<std::string> FCHtmlToPlainTextValueTransformer::transformedValue(const Value& value) const {
    if (const auto* html = value.asString()) return plainText(*html);
    if (const auto* array = value.asArray()) {
        for (const auto& element : *array) {
            const auto* html = element.asString();
            if (!html) continue;
            if (auto text = plainText(*html)) return text;
        }
    }
    return std::nullopt;
}

std::optional<std::string> FCHtmlToPlainTextValueTransformer::transformedValue(const std::string& html) const {
    return plainText(html);
}

std::optional<std::string> FCHtmlToPlainTextValueTransformer::transformedValue(const char* html) const {
    if (!html) return std::nullopt;
    return plainText(html);
}

std::optional<std::string> FCHtmlToPlainTextValueTransformer::plainText(const std::string& html) const {
    if (stringByTrimmingWhitespaceAndNewlines(html).empty()) return std::nullopt;
    std::string text = html;
    if (preserveLineBreaks_) text = lineBreaksTagsRegex_->stringByReplacingMatches(text, "\n");
    if (usePrettyLists_) text = listStartTagRegex_->stringByReplacingMatches(text, "- ");
    // Inline styling goes without a trace, so a word split by it stays one word.
    text = spanStartTagRegex_->stringByReplacingMatches(text, "");
    text = spanEndTagRegex_->stringByReplacingMatches(text, "");
    text = anyTagRegex_->stringByReplacingMatches(text, " ");
    text = multipleSpacesRegex_->stringByReplacingMatches(text, " ");
    // Decoded only now that the tags are gone, so an encoded "<" never starts a tag.
    text = twStringByUnescapingHTML(text);
    text = stringByTrimmingWhitespaceAndNewlines(text);
    if (text.empty()) return std::nullopt;
    return text;
}

std::string FCHtmlToPlainTextValueTransformer::htmlToPlainTextForIndexing(const std::string& html) const {
    std::string text = anyTagRegex_->stringByReplacingMatches(html, " ");
    text = multipleSpacesRegex_->stringByReplacingMatches(text, " ");
    return twStringByUnescapingHTML(text);
}
