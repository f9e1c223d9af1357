#include "platform/foundation/Value.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <ostream>

#include "platform/foundation/StringUtils.h"

bool Value::isNumber() const {
    switch (type()) {
        case Type::Bool:
        case Type::Int:
        case Type::UInt:
        case Type::Real:
            return true;
        default:
            return false;
    }
}

bool Value::boolValue(bool fallback) const {
    switch (type()) {
        case Type::Bool:
            return std::get<bool>(v_);
        case Type::Int:
            return std::get<std::int64_t>(v_) != 0;
        case Type::UInt:
            return std::get<std::uint64_t>(v_) != 0;
        case Type::Real:
            return std::get<double>(v_) != 0;
        case Type::String:
            return stringBoolValue(std::get<std::string>(v_));
        default:
            return fallback;
    }
}

std::int64_t Value::integerValue(std::int64_t fallback) const {
    switch (type()) {
        case Type::Bool:
            return std::get<bool>(v_) ? 1 : 0;
        case Type::Int:
            return std::get<std::int64_t>(v_);
        case Type::UInt:
            return static_cast<std::int64_t>(std::get<std::uint64_t>(v_));
        case Type::Real: {
            double d = std::get<double>(v_);
            if (std::isnan(d)) return 0;
            if (d >= 9.2233720368547758e18) return std::numeric_limits<std::int64_t>::max();
            if (d <= -9.2233720368547758e18) return std::numeric_limits<std::int64_t>::min();
            return static_cast<std::int64_t>(d);
        }
        case Type::String:
            return stringIntegerValue(std::get<std::string>(v_));
        default:
            return fallback;
    }
}

std::uint64_t Value::unsignedValue(std::uint64_t fallback) const {
    if (type() == Type::UInt) return std::get<std::uint64_t>(v_);
    if (type() == Type::Real) {
        double d = std::get<double>(v_);
        if (!(d > 0)) return 0;
        if (d >= 1.8446744073709552e19) return std::numeric_limits<std::uint64_t>::max();
        return static_cast<std::uint64_t>(d);
    }
    if (isNumber() || isString()) return static_cast<std::uint64_t>(integerValue());
    return fallback;
}

double Value::doubleValue(double fallback) const {
    switch (type()) {
        case Type::Bool:
            return std::get<bool>(v_) ? 1 : 0;
        case Type::Int:
            return static_cast<double>(std::get<std::int64_t>(v_));
        case Type::UInt:
            return static_cast<double>(std::get<std::uint64_t>(v_));
        case Type::Real:
            return std::get<double>(v_);
        case Type::String:
            return stringDoubleValue(std::get<std::string>(v_));
        default:
            return fallback;
    }
}

const char* Value::kindName() const {
    switch (type()) {
        case Type::Null:
            return "null";
        case Type::Bool:
            return "boolean";
        case Type::Int:
        case Type::UInt:
        case Type::Real:
            return "number";
        case Type::String:
            return "string";
        case Type::Data:
            return "data";
        case Type::Date:
            return "date";
        case Type::Array:
            return "array";
        case Type::Dictionary:
            return "dictionary";
    }
    return "unknown";
}

std::string Value::stringValue(const std::string& fallback) const {
    if (auto s = asString()) return *s;
    return fallback;
}

std::optional<std::string> Value::optionalString() const {
    if (auto s = asString()) return *s;
    return std::nullopt;
}

const Value& Value::null() {
    static const Value n;
    return n;
}

const Value* Value::find(const std::string& key) const {
    auto d = asDictionary();
    if (!d) return nullptr;
    auto it = d->find(key);
    return it == d->end() ? nullptr : &it->second;
}

const Value& Value::operator[](const std::string& key) const {
    auto v = find(key);
    return v ? *v : null();
}

const Value& Value::operator[](std::size_t index) const {
    auto a = asArray();
    if (!a || index >= a->size()) return null();
    return (*a)[index];
}

Value& Value::at(const std::string& key) {
    if (!isDictionary()) v_ = Dictionary();
    return std::get<Dictionary>(v_)[key];
}

void Value::set(const std::string& key, Value value) { at(key) = std::move(value); }

void Value::remove(const std::string& key) {
    if (auto d = asDictionary()) d->erase(key);
}

void Value::append(Value value) {
    if (!isArray()) v_ = Array();
    std::get<Array>(v_).push_back(std::move(value));
}

std::size_t Value::count() const {
    if (auto a = asArray()) return a->size();
    if (auto d = asDictionary()) return d->size();
    return 0;
}

namespace {

std::string realText(double d) {
    if (std::isnan(d)) return "nan";
    if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, res.ptr);
}

// Strings print bare when they are made only of letters, digits and a few
// safe marks, and quoted otherwise, as property-list descriptions do.
std::string quotedIfNeeded(const std::string& s) {
    bool bare = !s.empty();
    for (unsigned char c : s) {
        if (!(std::isalnum(c) || c == '_' || c == '.' || c == '$' || c == '/' || c == ':')) {
            bare = false;
            break;
        }
    }
    if (bare) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

void describe(const Value& v, std::string& out, int indent) {
    std::string pad(static_cast<std::size_t>(indent) * 4, ' ');
    std::string inner(static_cast<std::size_t>(indent + 1) * 4, ' ');
    switch (v.type()) {
        case Value::Type::Null:
            out += "<null>";
            break;
        case Value::Type::Bool:
            out += v.boolValue() ? "1" : "0";
            break;
        case Value::Type::Int:
            out += std::to_string(v.integerValue());
            break;
        case Value::Type::UInt:
            out += std::to_string(v.unsignedValue());
            break;
        case Value::Type::Real:
            out += realText(v.doubleValue());
            break;
        case Value::Type::String:
            out += indent == 0 ? *v.asString() : quotedIfNeeded(*v.asString());
            break;
        case Value::Type::Data: {
            static const char* hex = "0123456789abcdef";
            out += '<';
            const auto& d = *v.asData();
            for (std::size_t i = 0; i < d.size(); ++i) {
                if (i && i % 4 == 0) out += ' ';
                out += hex[d[i] >> 4];
                out += hex[d[i] & 15];
            }
            out += '>';
            break;
        }
        case Value::Type::Date:
            out += v.asDate()->description();
            break;
        case Value::Type::Array: {
            const auto& a = *v.asArray();
            out += "(\n";
            for (std::size_t i = 0; i < a.size(); ++i) {
                out += inner;
                describe(a[i], out, indent + 1);
                if (a[i].isString()) {
                    // Nested strings are always shown quoted-if-needed.
                }
                out += i + 1 < a.size() ? ",\n" : "\n";
            }
            out += pad + ")";
            break;
        }
        case Value::Type::Dictionary: {
            out += "{\n";
            for (const auto& [k, item] : *v.asDictionary()) {
                out += inner + quotedIfNeeded(k) + " = ";
                describe(item, out, indent + 1);
                out += ";\n";
            }
            out += pad + "}";
            break;
        }
    }
}

}  // namespace

std::string Value::description() const {
    std::string out;
    describe(*this, out, 0);
    return out;
}

bool Value::operator==(const Value& o) const {
    if (isNumber() && o.isNumber()) {
        // Number objects compare by value across kinds.
        if (isReal() || o.isReal()) return doubleValue() == o.doubleValue();
        if (type() == Type::UInt || o.type() == Type::UInt) {
            if ((type() == Type::Int && integerValue() < 0) || (o.type() == Type::Int && o.integerValue() < 0))
                return false;
            return unsignedValue() == o.unsignedValue();
        }
        return integerValue() == o.integerValue();
    }
    return v_ == o.v_;
}

std::ostream& operator<<(std::ostream& os, const Value& value) { return os << value.description(); }
