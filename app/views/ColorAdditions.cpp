#include "app/views/ColorAdditions.h"

#include <cctype>
#include <cstdint>
#include <limits>

#include "model/TWLogger.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/RegularExpression.h"
#include "platform/foundation/StringUtils.h"

namespace {

// The platform scanner's hexadecimal integer: blanks skipped, an optional
// "0x", digits up to the first non-digit; too large saturates; nothing gives 0.
std::uint32_t scanHexInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2])))
        i += 2;
    std::uint64_t value = 0;
    for (; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
        value = value * 16 + static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
        if (value > std::numeric_limits<std::uint32_t>::max()) return std::numeric_limits<std::uint32_t>::max();
    }
    return static_cast<std::uint32_t>(value);
}

// One or more ASCII digits within the signed 64-bit range.
std::optional<std::int64_t> readInteger(const std::string& piece) {
    if (piece.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (char c : piece) {
        if (c < '0' || c > '9') return std::nullopt;
        const int digit = c - '0';
        if (value > (std::numeric_limits<std::int64_t>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// A decimal number with a full stop as separator ("0.5", "1", ".5").
std::optional<double> readDecimal(const std::string& piece) {
    bool digits = false, point = false;
    for (char c : piece) {
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    return stringDoubleValue(piece);
}

}  // namespace

std::optional<Color> twColorFromHexString(const std::optional<std::string>& hexString) {
    if (!hexString) return std::nullopt;
    const std::uint32_t value = scanHexInt(stringByReplacingOccurrences(*hexString, "#", ""));
    return Color(((value >> 16) & 0xFF) / 255.0, ((value >> 8) & 0xFF) / 255.0, (value & 0xFF) / 255.0, 1.0);
}

Color twColorByInterpolating(double fraction, const Color& start, const Color& end) {
    const double t = std::clamp(fraction, 0.0, 1.0);
    double r1, g1, b1, a1, r2, g2, b2, a2;
    start.getRed(&r1, &g1, &b1, &a1);
    end.getRed(&r2, &g2, &b2, &a2);
    // Computed in double precision, handed over in single precision.
    auto mix = [t](double a, double b) { return static_cast<double>(static_cast<float>(a + (b - a) * t)); };
    return Color(mix(r1, r2), mix(g1, g2), mix(b1, b2), mix(a1, a2));
}

Color twColorByInterpolating(double fraction, const Color& start, const Color& middle, const Color& end) {
    if (fraction < 0.5) return twColorByInterpolating(2 * fraction, start, middle);
    return twColorByInterpolating(2 * (fraction - 0.5), middle, end);
}

std::optional<Color> twDarkerColor(const Color& color, double amount) {
    double r, g, b, a;
    if (!color.getRed(&r, &g, &b, &a)) return std::nullopt;
    return Color(std::max(r - amount, 0.0), std::max(g - amount, 0.0), std::max(b - amount, 0.0), a);
}

std::optional<std::string> twRGBColorToHexString(const std::optional<Color>& color) {
    if (!color) return std::nullopt;
    double r, g, b, a;
    color->getRed(&r, &g, &b, &a);
    auto component = [](double c) { return stringWithFormat("%02x", static_cast<int>(c * 255.99998474121094)); };
    return stringWithFormat("#%@%@%@", component(r), component(g), component(b));
}

std::optional<Color> parseCSSrgbColor(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    static const auto filter = RegularExpression::make("[^\\d,.]");
    const std::string kept = filter->stringByReplacingMatches(*text, "");
    const auto pieces = componentsSeparatedByString(kept, ",");
    if (pieces.size() < 3) return std::nullopt;
    double channels[3];
    for (int i = 0; i < 3; ++i) {
        // Only the alpha may carry a decimal point; in the channels it does not count.
        auto value = readInteger(stringByReplacingOccurrences(pieces[static_cast<std::size_t>(i)], ".", ""));
        if (!value) return std::nullopt;
        channels[i] = static_cast<double>(*value) / 255.0;
    }
    double alpha = 1.0;
    if (pieces.size() == 4) {
        auto value = readDecimal(pieces[3]);
        if (!value) return std::nullopt;
        if (*value == 0.0) return Color::clearColor();
        alpha = std::clamp(*value, 0.0, 1.0);
    }
    return Color(channels[0], channels[1], channels[2], alpha);
}

void logError(const std::string& message, const char* file, const char* function, int line) {
    TWLogger::sharedInstance().log(message, TWLogger::LevelWarning, file, function, Value(line));
}
