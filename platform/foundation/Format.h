#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Date.h"
#include "platform/foundation/Value.h"

// One argument of a platform-style format string. Integers, reals, strings and
// any object with a description() (for "%@") convert implicitly.
class FormatArg {
public:
    enum class Kind { Int, UInt, Real, String, Null };

    FormatArg(int v) : kind_(Kind::Int), i_(v) {}
    FormatArg(long v) : kind_(Kind::Int), i_(v) {}
    FormatArg(long long v) : kind_(Kind::Int), i_(v) {}
    FormatArg(unsigned int v) : kind_(Kind::UInt), u_(v) {}
    FormatArg(unsigned long v) : kind_(Kind::UInt), u_(v) {}
    FormatArg(unsigned long long v) : kind_(Kind::UInt), u_(v) {}
    FormatArg(char v) : kind_(Kind::Int), i_(static_cast<unsigned char>(v)) {}
    FormatArg(bool v) : kind_(Kind::Int), i_(v ? 1 : 0) {}
    FormatArg(double v) : kind_(Kind::Real), d_(v) {}
    FormatArg(float v) : kind_(Kind::Real), d_(v) {}
    FormatArg(const char* s) : kind_(s ? Kind::String : Kind::Null), s_(s ? s : "") {}
    FormatArg(const std::string& s) : kind_(Kind::String), s_(s) {}
    FormatArg(std::string_view s) : kind_(Kind::String), s_(s) {}
    FormatArg(const std::optional<std::string>& s) : kind_(s ? Kind::String : Kind::Null), s_(s.value_or("")) {}
    FormatArg(std::nullptr_t) : kind_(Kind::Null) {}
    FormatArg(const Value& v);
    FormatArg(const Date& d) : kind_(Kind::String), s_(d.description()) {}
    template <typename T>
        requires requires(const T& t) {
            { t.description() } -> std::convertible_to<std::string>;
        } && (!std::same_as<T, Value>) && (!std::same_as<T, Date>)
    FormatArg(const T& obj) : kind_(Kind::String), s_(obj.description()) {}

    Kind kind() const { return kind_; }
    std::int64_t asInt() const;
    std::uint64_t asUInt() const { return static_cast<std::uint64_t>(asInt()); }
    double asReal() const;
    // The text "%@" prints: the string, the number's description, or "(null)".
    std::string asObjectText() const;

private:
    Kind kind_;
    std::int64_t i_ = 0;
    std::uint64_t u_ = 0;
    double d_ = 0;
    std::string s_;
};

// Fills a format string written as the app writes them ("%@", "%ld", "%lu",
// "%02x", "%.2f", "%%", positional "%1$@"), in the C locale.
std::string formatString(std::string_view format, std::initializer_list<FormatArg> args);

template <typename... Args>
std::string stringWithFormat(std::string_view format, const Args&... args) {
    return formatString(format, {FormatArg(args)...});
}
