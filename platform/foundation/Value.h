#pragma once

#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Date.h"

// One dynamic value for JSON objects, property lists, user defaults, info
// dictionaries and error user info. Numbers remember whether they were made as
// a boolean, a signed or unsigned integer or a real, as the platform's number
// objects do; numeric comparisons and conversions work across the kinds.
class Value {
public:
    enum class Type { Null, Bool, Int, UInt, Real, String, Data, Date, Array, Dictionary };
    using Array = std::vector<Value>;
    using Dictionary = std::map<std::string, Value>;

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool b) : v_(b) {}
    Value(int i) : v_(static_cast<std::int64_t>(i)) {}
    Value(long i) : v_(static_cast<std::int64_t>(i)) {}
    Value(long long i) : v_(static_cast<std::int64_t>(i)) {}
    Value(unsigned int i) : v_(static_cast<std::uint64_t>(i)) {}
    Value(unsigned long i) : v_(static_cast<std::uint64_t>(i)) {}
    Value(unsigned long long i) : v_(static_cast<std::uint64_t>(i)) {}
    Value(double d) : v_(d) {}
    Value(const char* s) : v_(std::string(s)) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(std::string_view s) : v_(std::string(s)) {}
    Value(::Data d) : v_(std::move(d)) {}
    Value(::Date d) : v_(d) {}
    Value(Array a) : v_(std::move(a)) {}
    Value(Dictionary d) : v_(std::move(d)) {}

    static Value array(std::initializer_list<Value> items = {}) { return Value(Array(items)); }
    static Value dictionary(std::initializer_list<std::pair<const std::string, Value>> items = {}) {
        return Value(Dictionary(items));
    }

    Type type() const { return static_cast<Type>(v_.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isBool() const { return type() == Type::Bool; }
    bool isNumber() const;  // bool, integers and reals all count, as number objects do
    bool isInteger() const { return type() == Type::Int || type() == Type::UInt; }
    bool isReal() const { return type() == Type::Real; }
    bool isString() const { return type() == Type::String; }
    bool isData() const { return type() == Type::Data; }
    bool isDate() const { return type() == Type::Date; }
    bool isArray() const { return type() == Type::Array; }
    bool isDictionary() const { return type() == Type::Dictionary; }

    // Typed reads. Numbers convert across kinds; a numeric string converts
    // through the platform's integerValue / doubleValue rules; anything else
    // gives the fallback.
    bool boolValue(bool fallback = false) const;
    std::int64_t integerValue(std::int64_t fallback = 0) const;
    std::uint64_t unsignedValue(std::uint64_t fallback = 0) const;
    double doubleValue(double fallback = 0) const;

    // Exact-kind access; nullptr when the value is of another kind.
    const std::string* asString() const { return std::get_if<std::string>(&v_); }
    const ::Data* asData() const { return std::get_if<::Data>(&v_); }
    const ::Date* asDate() const { return std::get_if<::Date>(&v_); }
    const Array* asArray() const { return std::get_if<Array>(&v_); }
    Array* asArray() { return std::get_if<Array>(&v_); }
    const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&v_); }
    Dictionary* asDictionary() { return std::get_if<Dictionary>(&v_); }

    std::string stringValue(const std::string& fallback = {}) const;
    std::optional<std::string> optionalString() const;

    // Dictionary lookup: the value under the key, or nullptr when this is not a
    // dictionary or has no such key.
    const Value* find(const std::string& key) const;
    // Dictionary lookup that gives null for a missing key.
    const Value& operator[](const std::string& key) const;
    // Array element, or null out of bounds.
    const Value& operator[](std::size_t index) const;
    // Mutable dictionary entry; turns a null value into an empty dictionary first.
    Value& at(const std::string& key);
    void set(const std::string& key, Value value);
    void remove(const std::string& key);
    // Appends to an array; turns a null value into an empty array first.
    void append(Value value);
    std::size_t count() const;  // elements of an array or dictionary, else 0

    // The kind's name for messages: "null", "boolean", "number", "string",
    // "data", "date", "array" or "dictionary".
    const char* kindName() const;

    // The platform's description of the value (property-list style), used by "%@".
    std::string description() const;

    bool operator==(const Value& other) const;
    bool operator!=(const Value& other) const { return !(*this == other); }

    static const Value& null();

private:
    std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double, std::string, ::Data, ::Date, Array,
                 Dictionary>
        v_;
};

// Prints the description (for test failure messages).
std::ostream& operator<<(std::ostream& os, const Value& value);
