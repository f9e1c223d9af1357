#include "model/TWStringAdditions.h"

#include <cstdint>

#include "model/TWHTMLEntities.h"
#include "platform/foundation/StringUtils.h"

namespace {


int digitValue(char c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    return v < base ? v : -1;
}

// The value of a run made only of digits in the base; nullopt for an empty run
// or any other character. Runs are at most 7 digits long (the reference has at
// most 10 characters), so the value cannot overflow.
std::optional<std::uint32_t> parseDigits(std::string_view digits, int base) {
    if (digits.empty()) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : digits) {
        int d = digitValue(c, base);
        if (d < 0) return std::nullopt;
        value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(d);
    }
    return value;
}

// The character a reference such as "&#65;", "&#x41;" or "&amp;" stands for.
std::optional<char32_t> characterForReference(std::string_view reference) {
    if (reference[1] == '#') {
        const bool hex = reference[2] == 'x' || reference[2] == 'X';
        const std::string_view digits =
            hex ? reference.substr(3, reference.size() - 4) : reference.substr(2, reference.size() - 3);
        auto value = parseDigits(digits, hex ? 16 : 10);
        // One UTF-16 code unit, 1 to 0xFFFE. A lone surrogate would not be a
        // character at all, so such a reference stays as written.
        if (!value || *value < 1 || *value > 0xFFFE) return std::nullopt;
        if (*value >= 0xD800 && *value <= 0xDFFF) return std::nullopt;
        return static_cast<char32_t>(*value);
    }
    if (auto c = twCharacterForHTMLEntity(reference)) return static_cast<char32_t>(*c);
    return std::nullopt;
}

}  // namespace

std::string twStringByEscapingHTML(std::string_view s) {
    std::string out = stringByReplacingOccurrences(s, "&", "&amp;");
    out = stringByReplacingOccurrences(out, "\"", "&quot;");
    out = stringByReplacingOccurrences(out, "'", "&#x27;");
    out = stringByReplacingOccurrences(out, ">", "&gt;");
    out = stringByReplacingOccurrences(out, "<", "&lt;");
    return out;
}

std::string twStringByUnescapingHTML(std::string_view s) {
    std::string out(s);
    std::size_t end = s.size();
    // Walk from the last "&" backwards, so the positions still to visit stay
    // valid in the copy while later references are replaced. Every character of
    // a reference is ASCII, so byte positions and lengths match the character
    // counts of the text.
    while (end > 0) {
        const std::size_t amp = s.rfind('&', end - 1);
        if (amp == std::string_view::npos) break;
        const std::size_t semicolon = s.substr(0, end).find(';', amp);
        if (semicolon != std::string_view::npos) {
            const std::size_t length = semicolon - amp + 1;
            if (length >= 4 && length <= 10) {
                if (auto c = characterForReference(s.substr(amp, length))) {
                    std::string replacement;
                    appendUTF8(replacement, *c);
                    out.replace(amp, length, replacement);
                }
            }
        }
        end = amp;
    }
    return out;
}

std::string twStringByEncodingAsUrlParameterValue(std::string_view s) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size() * 3);
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::vector<std::string> twSplitIntoURLComponents(std::string_view s) {
    auto pieces = componentsSeparatedByString(s, "://");
    if (pieces.size() != 2) return {};
    std::vector<std::string> out{pieces[0]};
    for (auto& part : componentsSeparatedByString(pieces[1], "/")) out.push_back(std::move(part));
    return out;
}

std::string twStringByTrimming(std::string_view s) { return stringByTrimmingWhitespaceAndNewlines(s); }

bool twContainsString(std::string_view s, const std::optional<std::string_view>& other) {
    // As the platform's search, an empty string is never found.
    return other && !other->empty() && s.find(*other) != std::string_view::npos;
}

std::optional<std::string> twUseValueIfNotEmpty(const std::optional<std::string>& value,
                                                const std::optional<std::string>& defaultValue) {
    if (!value || stringByTrimmingWhitespaceAndNewlines(*value).empty()) return defaultValue;
    return value;
}
