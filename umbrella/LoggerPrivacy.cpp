#include "umbrella/LoggerPrivacy.h"

#include <sys/random.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <functional>
#include <limits>
#include <mutex>

#include "platform/foundation/StringUtils.h"
#include "umbrella/LibrarySupport.h"

namespace {

std::atomic<bool> gEnableLoggingPrivacy{true};

std::uint64_t secureRandom64() {
    std::uint64_t value = 0;
    auto* bytes = reinterpret_cast<unsigned char*>(&value);
    std::size_t filled = 0;
    while (filled < sizeof value) {
        ssize_t n = ::getrandom(bytes + filled, sizeof value - filled, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            umbrella_detail::fatalError("No secure random source for the log privacy seed");
        }
        filled += static_cast<std::size_t>(n);
    }
    return value;
}

// Uniform in [0, bound) by rejection, so no value is more likely than another.
std::uint64_t uniformSecureRandom(std::uint64_t bound) {
    const std::uint64_t limit =
        std::numeric_limits<std::uint64_t>::max() - std::numeric_limits<std::uint64_t>::max() % bound;
    for (;;) {
        std::uint64_t value = secureRandom64();
        if (value < limit) return value % bound;
    }
}

std::string joinedHashes(const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) text += '/';
        text += privacyHashText(parts[i]);
    }
    return text;
}

}  // namespace

bool LoggerPrivacy::enableLoggingPrivacy() {
    return gEnableLoggingPrivacy.load();
}

void LoggerPrivacy::setEnableLoggingPrivacy(bool enabled) {
    gEnableLoggingPrivacy.store(enabled);
}

std::int64_t LoggerPrivacy::privacySeed() {
    static const std::int64_t seed = static_cast<std::int64_t>(
        uniformSecureRandom(static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())));
    return seed;
}

std::string privacyHashText(std::string_view text) {
    // Added as unsigned numbers, so the sum wraps around instead of overflowing.
    const std::uint64_t hash = std::hash<std::string_view>()(text);
    const std::uint64_t sum = hash + static_cast<std::uint64_t>(LoggerPrivacy::privacySeed());
    const std::uint64_t magnitude = static_cast<std::int64_t>(sum) < 0 ? 0 - sum : sum;
    return std::to_string(magnitude % 1000);
}

std::string privacy_string(const std::string& text) {
    return LoggerPrivacy::enableLoggingPrivacy() ? privacyHashText(text) : text;
}

std::string privacy_path(const std::string& path) {
    if (!LoggerPrivacy::enableLoggingPrivacy()) return path;
    return joinedHashes(componentsSeparatedByString(path, "/"));
}

std::string privacy_path(const URL& url) {
    if (!LoggerPrivacy::enableLoggingPrivacy()) return url.path();
    return privacy_detail::hashedURLPath(url);
}

std::string privacy_description(const URL& url) {
    if (!LoggerPrivacy::enableLoggingPrivacy()) return url.description();
    return privacy_detail::hashedURLPath(url);
}

std::vector<std::string> privacyPaths(const std::vector<URL>& urls) {
    std::vector<std::string> paths;
    paths.reserve(urls.size());
    for (const URL& url : urls) paths.push_back(privacy_path(url));
    return paths;
}

namespace privacy_detail {

namespace {

template <class F>
std::string shortestText(F value) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    if (text == "inf" || text == "-inf" || text == "nan" || text == "-nan") return text;
    // Whole numbers keep a fraction, as the platform writes them: 42.0.
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

}  // namespace

std::string describeReal(double value) {
    return shortestText(value);
}
std::string describeReal(float value) {
    return shortestText(value);
}

std::string quotedString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

std::string hashedURLPath(const URL& url) {
    return joinedHashes(url.pathComponents());
}

std::string protectedValueText(const Value& value) {
    switch (value.type()) {
        case Value::Type::String:
            return privacyHashText(*value.asString());
        case Value::Type::Bool:
        case Value::Type::Int:
        case Value::Type::UInt:
        case Value::Type::Real:
        case Value::Type::Date:
            return value.description();
        default:
            return "<private>";
    }
}

}  // namespace privacy_detail
