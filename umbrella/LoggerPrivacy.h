#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/foundation/Date.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"

// Log privacy: with the process-wide switch on, values that may carry user
// data are logged as a short per-process hash number (0 to 999) or as
// "<private>". Safe to use from any thread.
class LoggerPrivacy {
public:
    LoggerPrivacy() = delete;

    // The switch; on at start. The logger turns it off when debug logging is forced.
    static bool enableLoggingPrivacy();
    static void setEnableLoggingPrivacy(bool enabled);
    // A random number in [0, 2^63 - 1), drawn once per process from the
    // system's secure random source.
    static std::int64_t privacySeed();
};

// Types deriving from this mark that their values may always be logged in full.
struct PrivacyProtectionPublicDescription {};

// The hash text of a string: the same within one process, different across
// processes; a decimal number from 0 to 999.
std::string privacyHashText(std::string_view text);

// The string, or its hash text when the switch is on (String.privacy_string).
std::string privacy_string(const std::string& text);
// The string, or, with the switch on, every part between "/" replaced by its
// hash text (the empty part before a leading "/" too).
std::string privacy_path(const std::string& path);
// The URL's path, or, with the switch on, its path components hashed and
// joined with "/" (the leading "/" is a component of its own).
std::string privacy_path(const URL& url);
// The URL's description, or, with the switch on, privacy_path.
std::string privacy_description(const URL& url);
// privacy_path of each URL, in order.
std::vector<std::string> privacyPaths(const std::vector<URL>& urls);

namespace privacy_detail {

template <class T>
concept StringLike = std::is_convertible_v<const T&, std::string_view>;
template <class T>
concept HasDescription = requires(const T& value) {
    { value.description() } -> std::convertible_to<std::string>;
};
template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};
template <class T>
struct IsVector : std::false_type {};
template <class T, class A>
struct IsVector<std::vector<T, A>> : std::true_type {};
template <class>
inline constexpr bool kAlwaysFalse = false;

std::string describeReal(double value);
std::string describeReal(float value);
std::string quotedString(std::string_view text);
std::string hashedURLPath(const URL& url);
std::string protectedValueText(const Value& value);

// The value's ordinary description.
template <class T>
std::string describe(const T& value) {
    using U = std::remove_cvref_t<T>;
    if constexpr (StringLike<U>) {
        return std::string(std::string_view(value));
    } else if constexpr (std::is_same_v<U, bool>) {
        return value ? "true" : "false";
    } else if constexpr (std::is_integral_v<U>) {
        return std::to_string(value);
    } else if constexpr (std::is_floating_point_v<U>) {
        return describeReal(value);
    } else if constexpr (IsOptional<U>::value) {
        return value ? describe(*value) : std::string("nil");
    } else if constexpr (IsVector<U>::value) {
        std::string text = "[";
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (i) text += ", ";
            if constexpr (StringLike<typename U::value_type>)
                text += quotedString(value[i]);
            else
                text += describe(value[i]);
        }
        return text + "]";
    } else if constexpr (HasDescription<U>) {
        return value.description();
    } else {
        static_assert(kAlwaysFalse<U>, "a logged value needs a description()");
    }
}

}  // namespace privacy_detail

// A log message whose interpolated values are private unless marked public.
// It is made from a string literal (kept as it is) or by interpolation:
//
//     PrivacyProtectingMessage::interpolating("Opened {} in {}", fileName, publicValue(folder))
//
// Each "{}" takes the next value: private values are written by the privacy
// rule (asPrivacyProtectedString with the current switch), public ones by
// their ordinary description, absent ones (nullopt) as "nil". A message is
// protected already: interpolating a message keeps its text.
class PrivacyProtectingMessage {
public:
    // The C++ form of string interpolation: literal parts and values appended in order.
    class PrivacyProtectingStringInterpolation {
    public:
        PrivacyProtectingStringInterpolation() = default;
        // The capacity and count hints of the platform's interpolation are ignored.
        PrivacyProtectingStringInterpolation(std::size_t /*literalCapacity*/, std::size_t /*interpolationCount*/) {}

        void appendLiteral(std::string_view literal) { output += literal; }
        template <class T>
        void appendInterpolation(const T& value);
        void appendInterpolation(std::nullopt_t) { output += "nil"; }
        // appendInterpolation(public:)
        template <class T>
        void appendPublicInterpolation(const T& value);
        void appendPublicInterpolation(std::nullopt_t) { output += "nil"; }

        std::string output;
    };

    // Marks a value to interpolate in full (the label public:).
    template <class T>
    struct Public {
        const T& value;
    };

    template <std::size_t N>
    PrivacyProtectingMessage(const char (&literal)[N]) : description_(literal) {}
    explicit PrivacyProtectingMessage(const PrivacyProtectingStringInterpolation& stringInterpolation)
        : description_(stringInterpolation.output) {}

    template <std::size_t N, class... Values>
    static PrivacyProtectingMessage interpolating(const char (&format)[N], const Values&... values);

    // The message's final text.
    const std::string& description() const { return description_; }
    void setDescription(std::string description) { description_ = std::move(description); }

    // The log text of a value. Protection off: a file URL gives its path,
    // anything else its ordinary description. On, the first rule that fits:
    // a message gives its text; a string its hash text; a URL its hashed path;
    // numbers, booleans, errors, dates and types deriving from
    // PrivacyProtectionPublicDescription their description; anything else
    // "<private>". A Value is judged by what it holds.
    template <class T>
    static std::string asPrivacyProtectedString(const T& value, bool usePrivacyProtection);

private:
    template <class T>
    static void appendValue(PrivacyProtectingStringInterpolation& interpolation, const T& value) {
        interpolation.appendInterpolation(value);
    }
    template <class T>
    static void appendValue(PrivacyProtectingStringInterpolation& interpolation, const Public<T>& value) {
        interpolation.appendPublicInterpolation(value.value);
    }

    std::string description_;
};

template <class T>
PrivacyProtectingMessage::Public<T> publicValue(const T& value) {
    return {value};
}

template <class T>
std::string PrivacyProtectingMessage::asPrivacyProtectedString(const T& value, bool usePrivacyProtection) {
    using namespace privacy_detail;
    using U = std::remove_cvref_t<T>;
    if constexpr (IsOptional<U>::value) {
        return value ? asPrivacyProtectedString(*value, usePrivacyProtection) : std::string("nil");
    } else {
        if (!usePrivacyProtection) {
            if constexpr (std::is_same_v<U, URL>) return value.isFileURL() ? value.path() : value.description();
            return describe(value);
        }
        if constexpr (std::is_same_v<U, PrivacyProtectingMessage>) {
            return value.description();
        } else if constexpr (StringLike<U>) {
            return privacyHashText(value);
        } else if constexpr (std::is_same_v<U, URL>) {
            return hashedURLPath(value);
        } else if constexpr (std::is_arithmetic_v<U> || std::is_same_v<U, Error> || std::is_same_v<U, Date> ||
                             std::is_base_of_v<PrivacyProtectionPublicDescription, U>) {
            return describe(value);
        } else if constexpr (std::is_same_v<U, Value>) {
            return protectedValueText(value);
        } else {
            return "<private>";
        }
    }
}

template <class T>
void PrivacyProtectingMessage::PrivacyProtectingStringInterpolation::appendInterpolation(const T& value) {
    output += asPrivacyProtectedString(value, LoggerPrivacy::enableLoggingPrivacy());
}

template <class T>
void PrivacyProtectingMessage::PrivacyProtectingStringInterpolation::appendPublicInterpolation(const T& value) {
    output += privacy_detail::describe(value);
}

template <std::size_t N, class... Values>
PrivacyProtectingMessage PrivacyProtectingMessage::interpolating(const char (&format)[N], const Values&... values) {
    PrivacyProtectingStringInterpolation interpolation;
    std::vector<std::function<void()>> appends = {[&interpolation, &values] { appendValue(interpolation, values); }...};
    std::string_view rest(format);
    std::size_t next = 0;
    for (std::size_t at = rest.find("{}"); at != std::string_view::npos && next < appends.size();
         at = rest.find("{}")) {
        interpolation.appendLiteral(rest.substr(0, at));
        appends[next++]();
        rest.remove_prefix(at + 2);
    }
    interpolation.appendLiteral(rest);
    return PrivacyProtectingMessage(interpolation);
}
