#include "platform/foundation/RegularExpression.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <vector>

struct RegularExpression::Impl {
    std::unique_ptr<icu::RegexPattern> pattern;
};

namespace {

icu::UnicodeString toU(std::string_view s) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

std::string toUTF8(const icu::UnicodeString& u) {
    std::string out;
    u.toUTF8String(out);
    return out;
}

// Maps UTF-16 offsets of a string to UTF-8 byte offsets (one entry per unit, plus the end).
std::vector<std::size_t> utf8Offsets(const icu::UnicodeString& u) {
    std::vector<std::size_t> map(static_cast<std::size_t>(u.length()) + 1, 0);
    std::size_t bytes = 0;
    for (int32_t i = 0; i < u.length();) {
        UChar32 c = u.char32At(i);
        int32_t units = U16_LENGTH(c);
        std::size_t len = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        for (int32_t k = 0; k < units && i + k < u.length(); ++k) map[static_cast<std::size_t>(i + k)] = bytes;
        bytes += len;
        i += units;
    }
    map[static_cast<std::size_t>(u.length())] = bytes;
    return map;
}

uint32_t icuFlags(unsigned options) {
    uint32_t f = 0;
    if (options & RegularExpression::CaseInsensitive) f |= UREGEX_CASE_INSENSITIVE;
    if (options & RegularExpression::AllowCommentsAndWhitespace) f |= UREGEX_COMMENTS;
    if (options & RegularExpression::IgnoreMetacharacters) f |= UREGEX_LITERAL;
    if (options & RegularExpression::DotMatchesLineSeparators) f |= UREGEX_DOTALL;
    if (options & RegularExpression::AnchorsMatchLines) f |= UREGEX_MULTILINE;
    if (options & RegularExpression::UseUnixLineSeparators) f |= UREGEX_UNIX_LINES;
    if (options & RegularExpression::UseUnicodeWordBoundaries) f |= UREGEX_UWORD;
    return f;
}

}  // namespace

RegularExpression::RegularExpression(std::string pattern, std::unique_ptr<Impl> impl)
    : pattern_(std::move(pattern)), impl_(std::move(impl)) {}

RegularExpression::~RegularExpression() = default;

std::shared_ptr<RegularExpression> RegularExpression::make(std::string_view pattern, unsigned options,
                                                           Error* error) {
    Error::clear(error);
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    auto impl = std::make_unique<Impl>();
    impl->pattern.reset(icu::RegexPattern::compile(toU(pattern), icuFlags(options), parseError, status));
    if (U_FAILURE(status) || !impl->pattern) {
        Error::set(error, Error(NSCocoaErrorDomain, 2048,
                                Value::dictionary({{"NSInvalidValue", std::string(pattern)}})));
        return nullptr;
    }
    return std::shared_ptr<RegularExpression>(new RegularExpression(std::string(pattern), std::move(impl)));
}

std::vector<RegularExpression::Match> RegularExpression::matches(std::string_view s) const {
    std::vector<Match> out;
    icu::UnicodeString u = toU(s);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(impl_->pattern->matcher(u, status));
    if (U_FAILURE(status)) return out;
    auto offsets = utf8Offsets(u);
    while (m->find(status) && U_SUCCESS(status)) {
        Match match;
        int32_t groups = m->groupCount();
        for (int32_t g = 0; g <= groups; ++g) {
            int32_t start = m->start(g, status);
            int32_t end = m->end(g, status);
            if (start < 0) {
                match.ranges.push_back(Range{});
                match.groups.push_back(std::nullopt);
            } else {
                std::size_t b = offsets[static_cast<std::size_t>(start)];
                std::size_t e = offsets[static_cast<std::size_t>(end)];
                match.ranges.push_back(Range{b, e - b});
                match.groups.push_back(std::string(s.substr(b, e - b)));
            }
        }
        out.push_back(std::move(match));
    }
    return out;
}

std::optional<RegularExpression::Match> RegularExpression::firstMatch(std::string_view s) const {
    // Matches are found left to right; the first is all that is needed.
    icu::UnicodeString u = toU(s);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(impl_->pattern->matcher(u, status));
    if (U_FAILURE(status) || !m->find(status)) return std::nullopt;
    auto offsets = utf8Offsets(u);
    Match match;
    for (int32_t g = 0; g <= m->groupCount(); ++g) {
        int32_t start = m->start(g, status);
        int32_t end = m->end(g, status);
        if (start < 0) {
            match.ranges.push_back(Range{});
            match.groups.push_back(std::nullopt);
            continue;
        }
        std::size_t b = offsets[static_cast<std::size_t>(start)];
        std::size_t e = offsets[static_cast<std::size_t>(end)];
        match.ranges.push_back(Range{b, e - b});
        match.groups.push_back(std::string(s.substr(b, e - b)));
    }
    return match;
}

std::size_t RegularExpression::numberOfMatches(std::string_view s) const { return matches(s).size(); }

std::string RegularExpression::stringByReplacingMatches(std::string_view s, std::string_view replacementTemplate) const {
    icu::UnicodeString u = toU(s);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(impl_->pattern->matcher(u, status));
    if (U_FAILURE(status)) return std::string(s);
    icu::UnicodeString result = m->replaceAll(toU(replacementTemplate), status);
    if (U_FAILURE(status)) return std::string(s);
    return toUTF8(result);
}

std::string RegularExpression::escapedPattern(std::string_view s) {
    static const std::string special = "\\*?+[(){}^$|./-";
    std::string out;
    for (char c : s) {
        if (special.find(c) != std::string::npos) out += '\\';
        out += c;
    }
    return out;
}

std::string RegularExpression::escapedTemplate(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '\\' || c == '$') out += '\\';
        out += c;
    }
    return out;
}
