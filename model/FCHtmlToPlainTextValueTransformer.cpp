#include "model/FCHtmlToPlainTextValueTransformer.h"

#include <unicode/unistr.h>

#include <cstring>

#include "model/TWStringAdditions.h"
#include "platform/foundation/StringUtils.h"

namespace {

constexpr std::size_t npos = std::string_view::npos;

// The line ends a tag may not cross: LF, VT, FF, CR, NEL, LS and PS.
std::size_t lineTerminatorLength(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x0A && c <= 0x0D) return 1;
    if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x85) return 2;
    if (c == 0xE2 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80 &&
        (static_cast<unsigned char>(s[i + 2]) == 0xA8 || static_cast<unsigned char>(s[i + 2]) == 0xA9))
        return 3;
    return 0;
}

// Just past the first ">" from `from` on, or npos when a line ends first.
std::size_t endOfTag(std::string_view s, std::size_t from) {
    for (std::size_t i = from; i < s.size(); ++i) {
        if (s[i] == '>') return i + 1;
        if (lineTerminatorLength(s, i)) return npos;
    }
    return npos;
}

// Just past `word` (lower-case ASCII) at `at` in any case, or npos. A long s
// (U+017F) is an "s" in any case, as case-insensitive matching has it.
std::size_t endOfWord(std::string_view s, std::size_t at, std::string_view word) {
    for (char w : word) {
        if (at >= s.size()) return npos;
        const char c = s[at];
        if (c == w || (w >= 'a' && w <= 'z' && c == w - 'a' + 'A')) {
            ++at;
        } else if (w == 's' && s.compare(at, 2, "\xC5\xBF") == 0) {
            at += 2;
        } else {
            return npos;
        }
    }
    return at;
}

// `<` followed by one of the words, then anything up to the tag's end.
std::size_t endOfTagStarting(std::string_view s, std::size_t at, std::initializer_list<std::string_view> words) {
    for (auto word : words)
        if (auto end = endOfWord(s, at + 1, word); end != npos) return endOfTag(s, end);
    return npos;
}

// `<` followed by exactly one of the words.
std::size_t endOfExactTag(std::string_view s, std::size_t at, std::initializer_list<std::string_view> words) {
    for (auto word : words)
        if (auto end = endOfWord(s, at + 1, word); end != npos) return end;
    return npos;
}

// Replaces, from left to right, each match that starts at a "<" and ends
// where `matchEnd(text, at)` says (npos: no match there). `text` takes the
// result; `scratch` is working space.
template <class MatchEnd>
void replaceTags(std::string& text, std::string& scratch, std::string_view replacement, MatchEnd matchEnd) {
    std::size_t at = text.find('<');
    if (at == npos) return;
    const std::string_view source(text);
    scratch.clear();
    std::size_t copied = 0;
    while (at != npos) {
        const std::size_t end = matchEnd(source, at);
        if (end == npos) {
            at = source.find('<', at + 1);
            continue;
        }
        scratch.append(source, copied, at - copied);
        scratch.append(replacement);
        copied = end;
        at = source.find('<', end);
    }
    if (copied == 0) return;
    scratch.append(source, copied);
    text.swap(scratch);
}

// Two or more blanks become one.
void foldBlanks(std::string& text) {
    if (text.find("  ") == npos) return;
    std::size_t out = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Before `out` catches up with `i`, text[i - 1] is still the input's.
        if (text[i] == ' ' && i > 0 && text[i - 1] == ' ') continue;
        text[out++] = text[i];
    }
    text.resize(out);
}

// The text as UTF-8 that a conversion through UTF-16 gives: unchanged when it is
// valid, else with each ill-formed sequence replaced as the conversion replaces it.
std::string wellFormed(std::string_view html) {
    if (isValidUTF8(html)) return std::string(html);
    std::string out;
    icu::UnicodeString::fromUTF8(icu::StringPiece(html.data(), static_cast<int32_t>(html.size()))).toUTF8String(out);
    return out;
}

void removeAnyTags(std::string& text, std::string& scratch) {
    replaceTags(text, scratch, " ", [](std::string_view s, std::size_t at) { return endOfTag(s, at + 1); });
}

}  // namespace

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

std::optional<std::string> FCHtmlToPlainTextValueTransformer::transformedValue(std::string_view html) const {
    return plainText(html);
}

std::optional<std::string> FCHtmlToPlainTextValueTransformer::transformedValue(const char* html) const {
    if (!html) return std::nullopt;
    return plainText(html);
}

std::optional<std::string> FCHtmlToPlainTextValueTransformer::plainText(std::string_view html) const {
    std::string text = wellFormed(html);
    if (stringByTrimmingWhitespaceAndNewlines(text).empty()) return std::nullopt;
    std::string scratch;
    if (preserveLineBreaks_)
        replaceTags(text, scratch, "\n", [](std::string_view s, std::size_t at) {
            return endOfExactTag(s, at, {"/li>", "/p>", "/div>"});
        });
    if (usePrettyLists_)
        replaceTags(text, scratch, "- ",
                    [](std::string_view s, std::size_t at) { return endOfTagStarting(s, at, {"li"}); });
    // Inline styling goes without a trace, so a word split by it stays one word.
    replaceTags(text, scratch, "", [](std::string_view s, std::size_t at) {
        return endOfTagStarting(s, at, {"span", "font"});
    });
    replaceTags(text, scratch, "", [](std::string_view s, std::size_t at) {
        return endOfExactTag(s, at, {"/span>", "/font>"});
    });
    removeAnyTags(text, scratch);
    foldBlanks(text);
    // Decoded only now that the tags are gone, so an encoded "<" never starts a tag.
    if (text.find('&') != npos) text = twStringByUnescapingHTML(text);
    text = stringByTrimmingWhitespaceAndNewlines(text);
    if (text.empty()) return std::nullopt;
    return text;
}

std::string FCHtmlToPlainTextValueTransformer::htmlToPlainTextForIndexing(std::string_view html) const {
    std::string text = wellFormed(html);
    std::string scratch;
    removeAnyTags(text, scratch);
    foldBlanks(text);
    return twStringByUnescapingHTML(text);
}
