#include "platform/foundation/Format.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/foundation/StringUtils.h"

FormatArg::FormatArg(const Value& v) {
    switch (v.type()) {
        case Value::Type::Null:
            kind_ = Kind::Null;
            break;
        case Value::Type::Bool:
        case Value::Type::Int:
            kind_ = Kind::Int;
            i_ = v.integerValue();
            s_ = v.description();
            break;
        case Value::Type::UInt:
            kind_ = Kind::UInt;
            u_ = v.unsignedValue();
            s_ = v.description();
            break;
        case Value::Type::Real:
            kind_ = Kind::Real;
            d_ = v.doubleValue();
            s_ = v.description();
            break;
        default:
            kind_ = Kind::String;
            s_ = v.description();
            break;
    }
}

std::int64_t FormatArg::asInt() const {
    switch (kind_) {
        case Kind::Int:
            return i_;
        case Kind::UInt:
            return static_cast<std::int64_t>(u_);
        case Kind::Real:
            return static_cast<std::int64_t>(d_);
        case Kind::String:
            return stringIntegerValue(s_);
        case Kind::Null:
            return 0;
    }
    return 0;
}

double FormatArg::asReal() const {
    switch (kind_) {
        case Kind::Int:
            return static_cast<double>(i_);
        case Kind::UInt:
            return static_cast<double>(u_);
        case Kind::Real:
            return d_;
        case Kind::String:
            return stringDoubleValue(s_);
        case Kind::Null:
            return 0;
    }
    return 0;
}

std::string FormatArg::asObjectText() const {
    switch (kind_) {
        case Kind::Null:
            return "(null)";
        case Kind::String:
            return s_;
        case Kind::Int:
            return s_.empty() ? std::to_string(i_) : s_;
        case Kind::UInt:
            return s_.empty() ? std::to_string(u_) : s_;
        case Kind::Real: {
            if (!s_.empty()) return s_;
            return Value(d_).description();
        }
    }
    return {};
}

namespace {

// snprintf in the C locale, whatever the process locale is.
std::string cFormat(const std::string& conversion, auto value) {
    static locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    locale_t old = uselocale(c);
    // Most conversions fit a small buffer: one pass; a longer one is measured
    // by that pass and written again.
    char small[64];
    int n = std::snprintf(small, sizeof small, conversion.c_str(), value);
    std::string out;
    if (n > 0 && static_cast<std::size_t>(n) < sizeof small) {
        out.assign(small, static_cast<std::size_t>(n));
    } else if (n > 0) {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::snprintf(out.data(), out.size(), conversion.c_str(), value);
        out.resize(static_cast<std::size_t>(n));
    }
    uselocale(old);
    return out;
}

}  // namespace

std::string formatString(std::string_view format, std::initializer_list<FormatArg> argList) {
    std::vector<const FormatArg*> args;
    for (const auto& a : argList) args.push_back(&a);
    std::string out;
    std::size_t nextArg = 0;
    std::size_t i = 0;
    auto take = [&](std::size_t index) -> const FormatArg* { return index < args.size() ? args[index] : nullptr; };

    while (i < format.size()) {
        char c = format[i];
        if (c != '%') {
            out += c;
            ++i;
            continue;
        }
        std::size_t start = i++;
        if (i < format.size() && format[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // Positional argument "%N$".
        std::size_t j = i;
        std::size_t position = 0;
        while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j]))) position = position * 10 + static_cast<std::size_t>(format[j++] - '0');
        bool positional = j < format.size() && format[j] == '$' && position > 0;
        if (positional) i = j + 1;

        std::string flags;
        while (i < format.size() && std::strchr("-+ #0'", format[i])) {
            if (format[i] != '\'') flags += format[i];
            ++i;
        }
        std::string width;
        if (i < format.size() && format[i] == '*') {
            const FormatArg* w = take(nextArg++);
            width = std::to_string(w ? w->asInt() : 0);
            ++i;
        } else {
            while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) width += format[i++];
        }
        std::string precision;
        bool hasPrecision = false;
        if (i < format.size() && format[i] == '.') {
            hasPrecision = true;
            ++i;
            if (i < format.size() && format[i] == '*') {
                const FormatArg* p = take(nextArg++);
                precision = std::to_string(p ? p->asInt() : 0);
                ++i;
            } else {
                while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) precision += format[i++];
            }
        }
        // Length modifiers do not matter: arguments carry their own width.
        while (i < format.size() && std::strchr("hlqLjzt", format[i])) ++i;
        if (i >= format.size()) {
            out.append(format.substr(start));
            break;
        }
        char conv = format[i++];
        const FormatArg* arg = take(positional ? position - 1 : nextArg++);
        std::string conversion = "%" + flags + width + (hasPrecision ? "." + precision : "");

        switch (conv) {
            case '@':
            case 's':
            case 'S': {
                std::string text = arg ? arg->asObjectText() : "(null)";
                if (conv == 's' && arg && arg->kind() == FormatArg::Kind::Null) text = "(null)";
                out += cFormat(conversion + "s", text.c_str());
                break;
            }
            case 'd':
            case 'i':
            case 'D':
                out += cFormat(conversion + "lld", static_cast<long long>(arg ? arg->asInt() : 0));
                break;
            case 'u':
            case 'U':
            case 'x':
            case 'X':
            case 'o':
            case 'O':
                out += cFormat(conversion + "ll" + std::string(1, conv == 'U' ? 'u' : (conv == 'O' ? 'o' : conv)),
                               static_cast<unsigned long long>(arg ? arg->asUInt() : 0));
                break;
            case 'c':
            case 'C':
                out += cFormat(conversion + "c", static_cast<int>(arg ? arg->asInt() : 0));
                break;
            case 'f':
            case 'F':
            case 'e':
            case 'E':
            case 'g':
            case 'G':
            case 'a':
            case 'A':
                out += cFormat(conversion + std::string(1, conv), arg ? arg->asReal() : 0.0);
                break;
            case 'p':
                out += "0x" + cFormat(conversion + "llx", static_cast<unsigned long long>(arg ? arg->asUInt() : 0));
                break;
            default:
                // Unknown conversion: copy it through.
                out.append(format.substr(start, i - start));
                break;
        }
    }
    return out;
}
