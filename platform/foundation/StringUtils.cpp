#include "platform/foundation/StringUtils.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace {

bool isAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// Decodes one code point at i; advances i. Invalid bytes decode as U+FFFD.
char32_t nextCodePoint(std::string_view s, std::size_t& i) {
    int32_t idx = static_cast<int32_t>(i);
    UChar32 c;
    U8_NEXT(reinterpret_cast<const uint8_t*>(s.data()), idx, static_cast<int32_t>(s.size()), c);
    i = static_cast<std::size_t>(idx);
    return c < 0 ? 0xFFFD : static_cast<char32_t>(c);
}

template <typename Pred>
std::string trimWith(std::string_view s, Pred pred) {
    std::size_t begin = 0;
    while (begin < s.size()) {
        std::size_t next = begin;
        if (!pred(nextCodePoint(s, next))) break;
        begin = next;
    }
    std::size_t end = begin;
    std::size_t i = begin;
    while (i < s.size()) {
        char32_t c = nextCodePoint(s, i);
        if (!pred(c)) end = i;
    }
    return std::string(s.substr(begin, end - begin));
}

}  // namespace

std::int64_t stringIntegerValue(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isAsciiSpace(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    std::uint64_t acc = 0;
    bool overflow = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        unsigned d = static_cast<unsigned>(s[i] - '0');
        if (acc > (static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1 - d) / 10) overflow = true;
        if (!overflow) acc = acc * 10 + d;
        ++i;
    }
    if (negative) {
        if (overflow || acc > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1)
            return std::numeric_limits<std::int64_t>::min();
        return static_cast<std::int64_t>(0 - acc);
    }
    if (overflow || acc > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(acc);
}

double stringDoubleValue(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isAsciiSpace(s[i])) ++i;
    // Take the longest prefix made of number characters and let strtod decide
    // how much of it is a number. Hexadecimal and "inf"/"nan" are not numbers here.
    std::string digits;
    std::size_t j = i;
    while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.' || s[j] == 'e' ||
                            s[j] == 'E' || s[j] == '+' || s[j] == '-'))
        digits += s[j++];
    if (digits.empty()) return 0;
    // The C locale's strtod, independent of the process locale.
    static locale_t c = newlocale(LC_NUMERIC_MASK, "C", nullptr);
    char* end = nullptr;
    double d = strtod_l(digits.c_str(), &end, c);
    return end == digits.c_str() ? 0 : d;
}

bool stringBoolValue(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isAsciiSpace(s[i])) ++i;
    while (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    while (i < s.size() && s[i] == '0') ++i;
    if (i >= s.size()) return false;
    char c = s[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

bool isWhitespaceOrNewline(char32_t c) {
    return u_isUWhiteSpace(static_cast<UChar32>(c)) || c == 0x85 || c == 0x0A || c == 0x0D;
}

std::string stringByTrimmingWhitespaceAndNewlines(std::string_view s) { return trimWith(s, isWhitespaceOrNewline); }

std::string stringByTrimmingWhitespace(std::string_view s) {
    // White space without line breaks: blanks, tabs and the Unicode space separators.
    return trimWith(s, [](char32_t c) { return c == '\t' || u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR; });
}

std::string stringByReplacingOccurrences(std::string_view s, std::string_view target, std::string_view replacement) {
    if (target.empty()) return std::string(s);
    std::string out;
    std::size_t pos = 0;
    while (true) {
        std::size_t hit = s.find(target, pos);
        if (hit == std::string_view::npos) break;
        out.append(s.substr(pos, hit - pos));
        out.append(replacement);
        pos = hit + target.size();
    }
    out.append(s.substr(pos));
    return out;
}

std::vector<std::string> componentsSeparatedByString(std::string_view s, std::string_view separator) {
    std::vector<std::string> out;
    if (separator.empty()) {
        out.emplace_back(s);
        return out;
    }
    std::size_t pos = 0;
    while (true) {
        std::size_t hit = s.find(separator, pos);
        if (hit == std::string_view::npos) break;
        out.emplace_back(s.substr(pos, hit - pos));
        pos = hit + separator.size();
    }
    out.emplace_back(s.substr(pos));
    return out;
}

std::string componentsJoinedByString(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) out.append(separator);
        out.append(parts[i]);
    }
    return out;
}

bool stringContains(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }

std::string lowercaseString(std::string_view s) {
    auto u = icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
    u.toLower(icu::Locale::getRoot());
    std::string out;
    u.toUTF8String(out);
    return out;
}

std::string uppercaseString(std::string_view s) {
    auto u = icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
    u.toUpper(icu::Locale::getRoot());
    std::string out;
    u.toUTF8String(out);
    return out;
}

std::string foldedForSearch(std::string_view s) {
    bool ascii = true;
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        // Folding ASCII is lower-casing; most card text takes this path.
        std::string out(s);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return out;
    }
    auto u = icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
    u.foldCase(U_FOLD_CASE_DEFAULT);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_SUCCESS(status)) {
        icu::UnicodeString decomposed = nfd->normalize(u, status);
        if (U_SUCCESS(status)) {
            icu::UnicodeString bare;
            for (int32_t i = 0; i < decomposed.length();) {
                UChar32 c = decomposed.char32At(i);
                if (u_charType(c) != U_NON_SPACING_MARK) bare.append(c);
                i += U16_LENGTH(c);
            }
            u = std::move(bare);
        }
    }
    std::string out;
    u.toUTF8String(out);
    return out;
}

int caseInsensitiveCompare(std::string_view a, std::string_view b) {
    auto ua = icu::UnicodeString::fromUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())));
    auto ub = icu::UnicodeString::fromUTF8(icu::StringPiece(b.data(), static_cast<int32_t>(b.size())));
    int r = ua.caseCompare(ub, U_FOLD_CASE_DEFAULT);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

std::vector<std::string> pathComponents(std::string_view path) {
    std::vector<std::string> out;
    if (path.empty()) return out;
    if (path.front() == '/') out.emplace_back("/");
    std::size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && path[i] == '/') ++i;
        std::size_t start = i;
        while (i < path.size() && path[i] != '/') ++i;
        if (i > start) out.emplace_back(path.substr(start, i - start));
    }
    if (path.size() > 1 && path.back() == '/' ) {
        // The platform reports a trailing slash as a final "/" component.
        out.emplace_back("/");
    }
    return out;
}

namespace {
// Folds repeated slashes and drops a trailing one (but keeps a lone "/").
std::string standardSlashes(std::string_view path) {
    std::string out;
    for (char c : path) {
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out += c;
    }
    if (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}
}  // namespace

std::string lastPathComponent(std::string_view path) {
    std::string p = standardSlashes(path);
    if (p == "/") return p;
    auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string pathExtension(std::string_view path) {
    std::string last = lastPathComponent(path);
    auto dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    return last.substr(dot + 1);
}

std::string stringByDeletingLastPathComponent(std::string_view path) {
    std::string p = standardSlashes(path);
    if (p == "/") return p;
    auto slash = p.rfind('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

std::string stringByDeletingPathExtension(std::string_view path) {
    std::string p = standardSlashes(path);
    std::string last = lastPathComponent(p);
    auto dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0) return p;
    return p.substr(0, p.size() - (last.size() - dot));
}

std::string stringByAppendingPathComponent(std::string_view path, std::string_view component) {
    if (path.empty()) return standardSlashes(component);
    if (component.empty()) return standardSlashes(path);
    std::string joined(path);
    joined += '/';
    joined.append(component);
    return standardSlashes(joined);
}

std::string stringByAppendingPathExtension(std::string_view path, std::string_view ext) {
    std::string p = standardSlashes(path);
    p += '.';
    p.append(ext);
    return p;
}

std::u16string toUTF16(std::string_view s) {
    auto u = icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
    return std::u16string(reinterpret_cast<const char16_t*>(u.getBuffer()), static_cast<std::size_t>(u.length()));
}

std::string fromUTF16(std::u16string_view s) {
    icu::UnicodeString u(reinterpret_cast<const UChar*>(s.data()), static_cast<int32_t>(s.size()));
    std::string out;
    u.toUTF8String(out);
    return out;
}

std::size_t utf16Length(std::string_view s) {
    std::size_t n = 0, i = 0;
    while (i < s.size()) n += nextCodePoint(s, i) > 0xFFFF ? 2 : 1;
    return n;
}

std::string prefixWithinUTF16Length(std::string_view s, std::size_t maxUnits) {
    std::size_t units = 0, i = 0;
    while (i < s.size()) {
        std::size_t next = i;
        const std::size_t width = nextCodePoint(s, next) > 0xFFFF ? 2 : 1;
        if (units + width > maxUnits) break;
        units += width;
        i = next;
    }
    return std::string(s.substr(0, i));
}

std::string suffixWithinUTF16Length(std::string_view s, std::size_t maxUnits) {
    // Code point starts, walked from the end: a start is any byte that is not
    // a UTF-8 continuation byte (the text is expected to be valid UTF-8).
    std::size_t units = 0, start = s.size();
    while (start > 0) {
        std::size_t lead = start - 1;
        while (lead > 0 && start - lead < 4 && (static_cast<unsigned char>(s[lead]) & 0xC0) == 0x80) --lead;
        std::size_t next = lead;
        const std::size_t width = nextCodePoint(s, next) > 0xFFFF ? 2 : 1;
        if (units + width > maxUnits) break;
        units += width;
        start = lead;
    }
    return std::string(s.substr(start));
}

std::vector<std::string> composedCharacterSequences(std::string_view s) {
    std::vector<std::string> out;
    auto u = icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) return out;
    it->setText(u);
    int32_t start = it->first();
    for (int32_t end = it->next(); end != icu::BreakIterator::DONE; start = end, end = it->next()) {
        std::string piece;
        u.tempSubStringBetween(start, end).toUTF8String(piece);
        out.push_back(std::move(piece));
    }
    return out;
}

bool isValidUTF8(std::string_view bytes) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Plain ASCII eight bytes at a time, then one character.
        for (uint64_t word = 0; i + 8 <= bytes.size(); i += 8) {
            std::memcpy(&word, data + i, 8);
            if (word & 0x8080808080808080ull) break;
        }
        if (i == bytes.size()) break;
        if (data[i] < 0x80) {
            ++i;
            continue;
        }
        int32_t idx = static_cast<int32_t>(i);
        UChar32 c;
        U8_NEXT(data, idx, static_cast<int32_t>(bytes.size()), c);
        if (c < 0) return false;
        i = static_cast<std::size_t>(idx);
    }
    return true;
}

std::string sanitizeUTF8(std::string_view bytes) {
    if (isValidUTF8(bytes)) return std::string(bytes);
    std::string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t start = i;
        int32_t idx = static_cast<int32_t>(i);
        UChar32 c;
        U8_NEXT(reinterpret_cast<const uint8_t*>(bytes.data()), idx, static_cast<int32_t>(bytes.size()), c);
        i = static_cast<std::size_t>(idx);
        if (c < 0)
            out += "\xEF\xBF\xBD";
        else
            out.append(bytes.substr(start, i - start));
    }
    return out;
}

std::string escapedExcerpt(std::string_view text, std::size_t maxBytes) {
    static const char* const hex = "0123456789abcdef";
    std::string out;
    out.reserve(std::min(text.size(), maxBytes) + 16);
    std::size_t i = 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(std::min<std::size_t>(text.size(), INT32_MAX));
    while (i < text.size() && i < static_cast<std::size_t>(length)) {
        int32_t idx = static_cast<int32_t>(i);
        UChar32 c;
        U8_NEXT(bytes, idx, length, c);
        std::size_t next = static_cast<std::size_t>(idx);
        if (next > maxBytes) break;
        auto escapeByte = [&](uint8_t b) {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 0xF];
        };
        if (c < 0) {
            for (std::size_t k = i; k < next; ++k) escapeByte(bytes[k]);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029) {
            // C0 and C1 controls (ESC, CSI) and the Unicode line separators never reach a log line raw.
            if (c < 0x100) {
                escapeByte(static_cast<uint8_t>(c));
            } else {
                out += c == 0x2028 ? "\\u2028" : "\\u2029";
            }
        } else {
            out.append(text.substr(i, next - i));
        }
        i = next;
    }
    if (i < text.size()) {
        out += "\xE2\x80\xA6 (";
        out += std::to_string(text.size());
        out += " bytes)";
    }
    return out;
}

void appendUTF8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}
