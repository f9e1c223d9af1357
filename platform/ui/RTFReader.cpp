#include "platform/ui/RTFReader.h"

#include <cctype>
#include <cstdint>
#include <set>
#include <string_view>
#include <vector>

namespace {

void appendUTF8(std::string& out, std::uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Windows-1252 bytes 0x80-0x9F; the rest of the upper half is Latin-1.
std::uint32_t windows1252(std::uint8_t byte) {
    static constexpr std::uint16_t kHigh[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                                0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    if (byte >= 0x80 && byte <= 0x9F) return kHigh[byte - 0x80];
    return byte;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

const std::set<std::string_view>& skippedDestinations() {
    static const std::set<std::string_view> names = {"fonttbl",
                                                     "colortbl",
                                                     "stylesheet",
                                                     "info",
                                                     "pict",
                                                     "header",
                                                     "headerl",
                                                     "headerr",
                                                     "headerf",
                                                     "footer",
                                                     "footerl",
                                                     "footerr",
                                                     "footerf",
                                                     "fldinst",
                                                     "object",
                                                     "xmlnstbl",
                                                     "listtable",
                                                     "listoverridetable",
                                                     "revtbl",
                                                     "rsidtbl",
                                                     "generator",
                                                     "themedata",
                                                     "colorschememapping",
                                                     "latentstyles",
                                                     "datastore",
                                                     "filetbl",
                                                     "expandedcolortbl",
                                                     "mmathPr"};
    return names;
}

struct GroupState {
    bool skipping = false;
    int unicodeSkipCount = 1;
};

}  // namespace

std::optional<std::string> plainTextFromRTF(const Data& rtf) {
    const std::string_view text(reinterpret_cast<const char*>(rtf.data()), rtf.size());
    if (text.substr(0, 5) != "{\\rtf") return std::nullopt;

    std::string out;
    std::vector<GroupState> stack;
    GroupState state;
    int pendingSkip = 0;  // replacement characters still to drop after a \uN
    std::optional<std::uint32_t> highSurrogate;
    bool closedOuterGroup = false;

    auto emit = [&](std::uint32_t cp) {
        if (state.skipping) return;
        if (highSurrogate) {
            if (cp >= 0xDC00 && cp <= 0xDFFF) {
                appendUTF8(out, 0x10000 + ((*highSurrogate - 0xD800) << 10) + (cp - 0xDC00));
                highSurrogate.reset();
                return;
            }
            appendUTF8(out, 0xFFFD);
            highSurrogate.reset();
        }
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            highSurrogate = cp;
            return;
        }
        appendUTF8(out, cp);
    };
    // A character of the text that may stand in for the previous \uN.
    auto emitText = [&](std::uint32_t cp) {
        if (pendingSkip > 0) {
            --pendingSkip;
            return;
        }
        emit(cp);
    };

    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (closedOuterGroup) {
            // Only white space may follow the document's group.
            if (!std::isspace(static_cast<unsigned char>(c)) && c != '\0') return std::nullopt;
            ++i;
            continue;
        }
        if (c == '{') {
            stack.push_back(state);
            pendingSkip = 0;
            ++i;
            continue;
        }
        if (c == '}') {
            if (stack.empty()) return std::nullopt;
            state = stack.back();
            stack.pop_back();
            pendingSkip = 0;
            if (stack.empty()) closedOuterGroup = true;
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        if (c != '\\') {
            emitText(static_cast<unsigned char>(c) < 0x80 ? static_cast<unsigned char>(c)
                                                          : windows1252(static_cast<unsigned char>(c)));
            ++i;
            continue;
        }
        // A control word or symbol.
        ++i;
        if (i >= text.size()) return std::nullopt;
        const char next = text[i];
        if (std::isalpha(static_cast<unsigned char>(next))) {
            std::size_t start = i;
            while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) ++i;
            const std::string_view word = text.substr(start, i - start);
            std::optional<long> parameter;
            bool negative = false;
            if (i < text.size() && text[i] == '-') {
                negative = true;
                ++i;
            }
            if (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
                long value = 0;
                while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
                    if (value < 10'000'000) value = value * 10 + (text[i] - '0');
                    ++i;
                }
                parameter = negative ? -value : value;
            } else if (negative) {
                --i;  // a lone "-" belongs to the text
            }
            if (i < text.size() && text[i] == ' ') ++i;

            if (skippedDestinations().count(word)) {
                state.skipping = true;
            } else if (word == "par" || word == "line" || word == "sect" || word == "page" || word == "row") {
                pendingSkip = 0;
                emit('\n');
            } else if (word == "tab" || word == "cell") {
                pendingSkip = 0;
                emit('\t');
            } else if (word == "emdash") {
                emit(0x2014);
            } else if (word == "endash") {
                emit(0x2013);
            } else if (word == "bullet") {
                emit(0x2022);
            } else if (word == "lquote") {
                emit(0x2018);
            } else if (word == "rquote") {
                emit(0x2019);
            } else if (word == "ldblquote") {
                emit(0x201C);
            } else if (word == "rdblquote") {
                emit(0x201D);
            } else if (word == "uc") {
                state.unicodeSkipCount = parameter ? static_cast<int>(std::max(0L, *parameter)) : 1;
            } else if (word == "u" && parameter) {
                long value = *parameter;
                if (value < 0) value += 65536;
                pendingSkip = 0;
                emit(static_cast<std::uint32_t>(value));
                pendingSkip = state.unicodeSkipCount;
            }
            continue;
        }
        ++i;
        switch (next) {
            case '\\':
            case '{':
            case '}':
                emitText(static_cast<unsigned char>(next));
                break;
            case '~':
                emitText(0xA0);
                break;
            case '_':
                emitText(0x2011);
                break;
            case '-':
                break;  // an optional hyphen
            case '*':
                state.skipping = true;
                break;
            case '\'': {
                if (i + 2 > text.size()) return std::nullopt;
                const int high = hexDigit(text[i]), low = hexDigit(text[i + 1]);
                if (high < 0 || low < 0) return std::nullopt;
                i += 2;
                emitText(windows1252(static_cast<std::uint8_t>(high * 16 + low)));
                break;
            }
            case '\r':
            case '\n':
                pendingSkip = 0;
                emit('\n');  // "\" before a line end is a paragraph break
                break;
            default:
                break;  // other control symbols carry no text
        }
    }
    if (!closedOuterGroup) return std::nullopt;
    if (highSurrogate) appendUTF8(out, 0xFFFD);
    return out;
}
