#pragma once

// The property registry under the tagged binary records: for each model class
// that records are written for, its name, how to make a new instance, and its
// declared properties by name, each with its declared kind and a getter and a
// setter that move values boxed (BPValue). It is the key-value access the
// record schemas rely on: a schema maps a property by class and name and
// checks the declared kind; the reader and writer then get and set values
// through it without knowing the classes.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <typeinfo>
#include <variant>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Date.h"

// A reference to any object of the graph: the object's exact (most derived)
// class and a shared pointer to it. Strings at top level or inside arrays are
// std::string objects.
class BPObject {
public:
    BPObject() = default;

    // Refers to the object as its exact class (the dynamic type of a
    // polymorphic object).
    template <class T>
    static BPObject of(std::shared_ptr<T> object) {
        BPObject o;
        if (!object) return o;
        if constexpr (std::is_polymorphic_v<T>) {
            void* mostDerived = dynamic_cast<void*>(const_cast<std::remove_const_t<T>*>(object.get()));
            o.type_ = std::type_index(typeid(*object));
            o.pointer_ = std::shared_ptr<void>(object, mostDerived);
        } else {
            o.type_ = std::type_index(typeid(T));
            o.pointer_ = std::const_pointer_cast<std::remove_const_t<T>>(object);
        }
        return o;
    }
    static BPObject string(std::string s) { return of(std::make_shared<std::string>(std::move(s))); }

    explicit operator bool() const { return pointer_ != nullptr; }
    std::type_index type() const { return type_; }
    template <class T>
    bool is() const {
        return pointer_ && type_ == std::type_index(typeid(T));
    }
    // The object when its exact class is T, else nullptr.
    template <class T>
    std::shared_ptr<T> exactly() const {
        if (!is<T>()) return nullptr;
        return std::static_pointer_cast<T>(pointer_);
    }
    void* get() const { return pointer_.get(); }

    // The class name for messages: "NSString" for strings, else the name of
    // the C++ class.
    std::string className() const;

private:
    std::shared_ptr<void> pointer_;
    std::type_index type_ = std::type_index(typeid(void));
};

// A property value, boxed. Monostate is nil. Signed integers travel as
// int64_t, unsigned ones and booleans as uint64_t, both float kinds as double.
using BPValue =
    std::variant<std::monostate, std::string, Data, double, std::int64_t, std::uint64_t, Date, BPObject,
                 std::vector<BPObject>>;

// The declared kind of a property, as the platform's property attributes name
// the type of a property.
enum class BPPropertyKind {
    String,           // a string object
    Array,            // an immutable array of objects
    MutableArray,     // a mutable array of objects
    Double,           // double
    Float,            // float
    Int,              // int
    Long,             // long
    LongLong,         // long long
    UnsignedInt,      // unsigned int
    UnsignedLong,     // unsigned long
    UnsignedLongLong, // unsigned long long
    Bool,             // a boolean
    Date,             // a date object
    Data,             // a data object
    Object,           // any other object
};

// Whether the kind is an object kind (a string, array, date, data or other object).
bool BPPropertyKindIsObject(BPPropertyKind kind);

// One declared property. The getter gives the value boxed (nil for an absent
// object); the setter takes it boxed and answers false when the value does not
// fit the property (another kind, or an object of a class it cannot hold).
struct BPPropertyDescription {
    std::string name;
    BPPropertyKind kind;
    std::function<BPValue(const void* object)> get;
    std::function<bool(void* object, BPValue&& value)> set;
};

// One class of the registry.
class BPEntityClass {
public:
    // A class whose new instances are std::make_shared<T>().
    template <class T>
    static BPEntityClass describing(std::string name) {
        BPEntityClass c(std::move(name), std::type_index(typeid(T)));
        c.make_ = [] { return BPObject::of(std::make_shared<T>()); };
        return c;
    }

    // Declares a property of T (the class this entity describes).
    template <class T>
    BPEntityClass& property(std::string name, BPPropertyKind kind, std::function<BPValue(const T&)> get,
                            std::function<bool(T&, BPValue&&)> set) {
        properties_.push_back(BPPropertyDescription{
            std::move(name), kind,
            [get = std::move(get)](const void* o) { return get(*static_cast<const T*>(o)); },
            [set = std::move(set)](void* o, BPValue&& v) { return set(*static_cast<T*>(o), std::move(v)); }});
        return *this;
    }

    const std::string& name() const { return name_; }
    std::type_index type() const { return type_; }
    // A new instance made with the class's plain initialiser.
    BPObject newInstance() const { return make_(); }
    // A property the class itself declares (inherited ones are not found).
    const BPPropertyDescription* declaredProperty(std::string_view name) const;

private:
    BPEntityClass(std::string name, std::type_index type) : name_(std::move(name)), type_(type) {}

    std::string name_;
    std::type_index type_;
    std::function<BPObject()> make_;
    std::vector<BPPropertyDescription> properties_;
};

// Boxing helpers for getters and setters.
inline BPValue BPValueFromOptionalString(const std::optional<std::string>& s) {
    if (!s) return std::monostate{};
    return *s;
}
// The string of a boxed value, or nullptr when it holds none.
inline const std::string* BPValueString(const BPValue& v) { return std::get_if<std::string>(&v); }
// Numbers are unboxed across kinds, as the platform unboxes numbers into
// scalar properties; nullopt when the value is not a number.
std::optional<std::int64_t> BPValueInteger(const BPValue& v);
std::optional<std::uint64_t> BPValueUnsigned(const BPValue& v);
std::optional<double> BPValueDouble(const BPValue& v);
