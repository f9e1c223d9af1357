#include "platform/foundation/JSON.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"

namespace {

constexpr const char* kDebugDescriptionKey = "NSDebugDescription";
constexpr const char* kCorruptDataText = "The data couldn\u2019t be read because it isn\u2019t in the correct format.";
// Deeper nesting is refused rather than risking the stack of whoever later
// walks or destroys the value, whatever depth a caller allows.
constexpr std::size_t kMaxNestingDepth = 512;
// The longest failure text kept whole.
constexpr std::size_t kMaxFailureBytes = 300;
// What a dictionary entry costs beyond its key and value: the tree node.
constexpr std::size_t kDictionaryNodeBytes = 32;
// Strings up to this length live inside the string object.
constexpr std::size_t kInlineStringLength = 15;

std::size_t heapBytesOfString(std::size_t length) {
    return length > kInlineStringLength ? length + 1 : 0;
}

Error readError(const std::string& debugDescription) {
    return Error(
        NSCocoaErrorDomain, JSONSerialization::kErrorCode,
        Value::dictionary({{NSLocalizedDescriptionKey, kCorruptDataText}, {kDebugDescriptionKey, debugDescription}}));
}

// The platform raises for these; its error form carries only the debug text.
Error writeError(const std::string& debugDescription) {
    return Error(NSCocoaErrorDomain, JSONSerialization::kErrorCode,
                 Value::dictionary({{kDebugDescriptionKey, debugDescription}}));
}

// Builds a Value from the parser's events with an explicit stack, so that
// nesting costs no native recursion.
class ValueBuilder {
public:
    ValueBuilder(bool allowFragments, const JSONReadingLimits& limits)
        : allowFragments_(allowFragments), limits_(limits), maxDepth_(std::min(limits.maxDepth, kMaxNestingDepth)) {}

    bool null() { return addScalar(Value()); }
    bool boolean(bool b) { return addScalar(Value(b)); }
    bool number_integer(std::int64_t i) { return addScalar(Value(static_cast<long long>(i))); }
    bool number_unsigned(std::uint64_t u) {
        if (u <= static_cast<std::uint64_t>(INT64_MAX)) return addScalar(Value(static_cast<long long>(u)));
        return addScalar(Value(static_cast<unsigned long long>(u)));
    }
    bool number_float(double d, const std::string&) { return addScalar(Value(d)); }
    bool string(std::string& s) {
        if (!charge(heapBytesOfString(s.size()))) return false;
        return addScalar(Value(std::move(s)));
    }
    bool binary(nlohmann::json::binary_t&) { return fail("Unexpected binary value."); }

    bool start_object(std::size_t) { return open(Value::dictionary()); }
    bool key(std::string& k) {
        if (!charge(kDictionaryNodeBytes + sizeof(std::string) + heapBytesOfString(k.size()))) return false;
        stack_.back().key = std::move(k);
        return true;
    }
    bool end_object() { return close(); }
    bool start_array(std::size_t) { return open(Value::array()); }
    bool end_array() { return close(); }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& ex) {
        // "[json.exception.parse_error.101] parse error at line 1, column 2: ..."
        std::string what = ex.what();
        if (auto bracket = what.find("] "); what.rfind("[json.exception.", 0) == 0 && bracket != std::string::npos)
            what.erase(0, bracket + 2);
        // The parser quotes the token it read last, which can be most of the text.
        if (what.size() > kMaxFailureBytes) what = escapedExcerpt(what, kMaxFailureBytes);
        return fail(what);
    }

    std::optional<Value>& result() { return root_; }
    const std::string& failure() const { return failure_; }

private:
    struct Frame {
        Value container;
        std::string key;
    };

    bool fail(std::string text) {
        if (failure_.empty()) failure_ = std::move(text);
        return false;
    }

    bool addScalar(Value v) {
        if (stack_.empty() && !allowFragments_)
            return fail("JSON text did not start with array or object and option to allow fragments not set.");
        if (!countValue()) return false;
        return add(std::move(v));
    }

    // One more value: its object, and as much again for the slack of the
    // array that holds it.
    bool countValue() {
        if (++values_ > limits_.maxValues) return fail("Too many values.");
        return charge(2 * sizeof(Value));
    }

    bool charge(std::size_t bytes) {
        bytes_ += bytes;
        if (bytes_ > limits_.maxBytes) return fail("The values would take too much memory.");
        return true;
    }

    bool add(Value v) {
        if (stack_.empty()) {
            root_ = std::move(v);
            return true;
        }
        Frame& top = stack_.back();
        if (auto* array = top.container.asArray())
            array->push_back(std::move(v));
        else
            (*top.container.asDictionary())[top.key] = std::move(v);  // a repeated key keeps the last value
        return true;
    }

    bool open(Value container) {
        if (stack_.size() >= maxDepth_) return fail("Too many nested arrays or dictionaries.");
        if (!countValue()) return false;
        stack_.push_back({std::move(container), {}});
        return true;
    }

    bool close() {
        Value done = std::move(stack_.back().container);
        stack_.pop_back();
        return add(std::move(done));
    }

    bool allowFragments_;
    JSONReadingLimits limits_;
    std::size_t maxDepth_;
    std::size_t values_ = 0;
    std::size_t bytes_ = 0;
    std::vector<Frame> stack_;
    std::optional<Value> root_;
    std::string failure_;
};

class Writer {
public:
    explicit Writer(bool pretty) : pretty_(pretty) {}

    bool write(const Value& v, std::size_t depth) {
        switch (v.type()) {
            case Value::Type::Null:
                out_ += "null";
                return true;
            case Value::Type::Bool:
                out_ += v.boolValue() ? "true" : "false";
                return true;
            case Value::Type::Int:
                out_ += std::to_string(v.integerValue());
                return true;
            case Value::Type::UInt:
                out_ += std::to_string(v.unsignedValue());
                return true;
            case Value::Type::Real:
                return writeReal(v.doubleValue());
            case Value::Type::String:
                return writeString(*v.asString());
            case Value::Type::Data:
                return fail("Invalid type in JSON write (Data)");
            case Value::Type::Date:
                return fail("Invalid type in JSON write (Date)");
            case Value::Type::Array:
                return writeArray(*v.asArray(), depth);
            case Value::Type::Dictionary:
                return writeDictionary(*v.asDictionary(), depth);
        }
        return fail("Invalid type in JSON write");
    }

    std::string& output() { return out_; }
    const std::string& failure() const { return failure_; }

private:
    bool fail(std::string text) {
        failure_ = std::move(text);
        return false;
    }

    void newline(std::size_t depth) {
        if (!pretty_) return;
        out_ += '\n';
        out_.append(depth * 2, ' ');
    }

    bool writeReal(double d) {
        if (std::isnan(d)) return fail("Invalid number value (NaN) in JSON write");
        if (std::isinf(d)) return fail("Invalid number value (infinite) in JSON write");
        char buf[32];
        auto res = std::to_chars(buf, buf + sizeof buf, d);
        out_.append(buf, res.ptr);
        return true;
    }

    bool writeString(const std::string& s) {
        if (!isValidUTF8(s)) return fail("Invalid string value (not UTF-8) in JSON write");
        static constexpr char kHex[] = "0123456789abcdef";
        out_ += '"';
        for (char c : s) {
            switch (c) {
                case '"':
                    out_ += "\\\"";
                    break;
                case '\\':
                    out_ += "\\\\";
                    break;
                case '/':
                    out_ += "\\/";
                    break;
                case '\b':
                    out_ += "\\b";
                    break;
                case '\f':
                    out_ += "\\f";
                    break;
                case '\n':
                    out_ += "\\n";
                    break;
                case '\r':
                    out_ += "\\r";
                    break;
                case '\t':
                    out_ += "\\t";
                    break;
                default:
                    if (static_cast<unsigned char>(c) < 0x20) {
                        out_ += "\\u00";
                        out_ += kHex[(c >> 4) & 0xF];
                        out_ += kHex[c & 0xF];
                    } else {
                        out_ += c;
                    }
            }
        }
        out_ += '"';
        return true;
    }

    bool writeArray(const Value::Array& a, std::size_t depth) {
        out_ += '[';
        bool first = true;
        for (const auto& item : a) {
            if (!first) out_ += ',';
            first = false;
            newline(depth + 1);
            if (!write(item, depth + 1)) return false;
        }
        if (!a.empty()) newline(depth);
        out_ += ']';
        return true;
    }

    bool writeDictionary(const Value::Dictionary& d, std::size_t depth) {
        out_ += '{';
        bool first = true;
        for (const auto& [key, item] : d) {
            if (!first) out_ += ',';
            first = false;
            newline(depth + 1);
            if (!writeString(key)) return false;
            out_ += pretty_ ? " : " : ":";
            if (!write(item, depth + 1)) return false;
        }
        if (!d.empty()) newline(depth);
        out_ += '}';
        return true;
    }

    bool pretty_;
    std::string out_;
    std::string failure_;
};

bool isValidInside(const Value& v) {
    switch (v.type()) {
        case Value::Type::Data:
        case Value::Type::Date:
            return false;
        case Value::Type::Real:
            return std::isfinite(v.doubleValue());
        case Value::Type::String:
            return isValidUTF8(*v.asString());
        case Value::Type::Array:
            for (const auto& item : *v.asArray())
                if (!isValidInside(item)) return false;
            return true;
        case Value::Type::Dictionary:
            for (const auto& [key, item] : *v.asDictionary())
                if (!isValidUTF8(key) || !isValidInside(item)) return false;
            return true;
        default:
            return true;
    }
}

}  // namespace

bool JSONSerialization::isValidJSONObject(const Value& object) {
    return (object.isArray() || object.isDictionary()) && isValidInside(object);
}

std::optional<Value> JSONSerialization::JSONObjectWithData(const Data& data, unsigned options, Error* error) {
    return JSONObjectWithData(data, options, error, JSONReadingLimits());
}

std::optional<Value> JSONSerialization::JSONObjectWithData(const Data& data, unsigned options, Error* error,
                                                           const JSONReadingLimits& limits) {
    Error::clear(error);
    ValueBuilder builder((options & ReadingFragmentsAllowed) != 0, limits);
    bool ok = nlohmann::json::sax_parse(data.begin(), data.end(), &builder, nlohmann::json::input_format_t::json,
                                        /*strict=*/true, /*ignore_comments=*/false);
    if (!ok || !builder.result()) {
        Error::set(error, readError(builder.failure().empty() ? "Invalid JSON text." : builder.failure()));
        return std::nullopt;
    }
    return std::move(builder.result());
}

std::optional<Data> JSONSerialization::dataWithJSONObject(const Value& object, unsigned options, Error* error) {
    Error::clear(error);
    if (!object.isArray() && !object.isDictionary()) {
        Error::set(error, writeError("Invalid top-level type in JSON write"));
        return std::nullopt;
    }
    Writer writer((options & WritingPrettyPrinted) != 0);
    if (!writer.write(object, 0)) {
        Error::set(error, writeError(writer.failure()));
        return std::nullopt;
    }
    return dataFromString(writer.output());
}
