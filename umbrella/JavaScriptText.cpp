#include "umbrella/JavaScriptText.h"

#include <cmath>

#include "platform/foundation/Format.h"

std::string javaScriptTemplateLiteral(std::string_view text) {
    std::string out = "`";
    out.reserve(text.size() + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\')
            out += "\\\\";
        else if (c == '`')
            out += "\\`";
        else if (c == '$' && i + 1 < text.size() && text[i + 1] == '{')
            out += "\\$";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    out += '`';
    return out;
}

std::string javaScriptStringLiteral(std::string_view text) {
    static const char* hex = "0123456789abcdef";
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
            case '"':
                out += "\\\"";
                continue;
            case '\\':
                out += "\\\\";
                continue;
            case '\b':
                out += "\\b";
                continue;
            case '\f':
                out += "\\f";
                continue;
            case '\n':
                out += "\\n";
                continue;
            case '\r':
                out += "\\r";
                continue;
            case '\t':
                out += "\\t";
                continue;
            default:
                break;
        }
        if (c < 0x20) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                    static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
            // U+2028 and U+2029 end a line in older script engines.
            out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
    return out;
}

std::string javaScriptFourDecimalsNumber(double value) {
    if (!std::isfinite(value)) return "null";
    return stringWithFormat("%.4f", value);
}
