#include "Common/BPEntityClass.h"

#include <cstdlib>
#include <cxxabi.h>

std::string BPObject::className() const {
    if (!pointer_) return "(null)";
    if (type_ == std::type_index(typeid(std::string))) return "NSString";
    int status = 0;
    char* demangled = abi::__cxa_demangle(type_.name(), nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : type_.name();
    std::free(demangled);
    return name;
}

bool BPPropertyKindIsObject(BPPropertyKind kind) {
    switch (kind) {
        case BPPropertyKind::String:
        case BPPropertyKind::Array:
        case BPPropertyKind::MutableArray:
        case BPPropertyKind::Date:
        case BPPropertyKind::Data:
        case BPPropertyKind::Object:
            return true;
        default:
            return false;
    }
}

const BPPropertyDescription* BPEntityClass::declaredProperty(std::string_view name) const {
    for (const auto& p : properties_)
        if (p.name == name) return &p;
    return nullptr;
}

std::optional<std::int64_t> BPValueInteger(const BPValue& v) {
    if (auto i = std::get_if<std::int64_t>(&v)) return *i;
    if (auto u = std::get_if<std::uint64_t>(&v)) return static_cast<std::int64_t>(*u);
    if (auto d = std::get_if<double>(&v)) {
        // The platform's integer reading of a real: truncation, saturating.
        if (*d != *d) return 0;
        if (*d >= 9.2233720368547758e18) return INT64_MAX;
        if (*d <= -9.2233720368547758e18) return INT64_MIN;
        return static_cast<std::int64_t>(*d);
    }
    return std::nullopt;
}

std::optional<std::uint64_t> BPValueUnsigned(const BPValue& v) {
    if (auto u = std::get_if<std::uint64_t>(&v)) return *u;
    if (auto i = std::get_if<std::int64_t>(&v)) return static_cast<std::uint64_t>(*i);
    if (auto d = std::get_if<double>(&v)) {
        if (!(*d > 0)) return 0;
        if (*d >= 1.8446744073709552e19) return UINT64_MAX;
        return static_cast<std::uint64_t>(*d);
    }
    return std::nullopt;
}

std::optional<double> BPValueDouble(const BPValue& v) {
    if (auto d = std::get_if<double>(&v)) return *d;
    if (auto i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
    if (auto u = std::get_if<std::uint64_t>(&v)) return static_cast<double>(*u);
    return std::nullopt;
}
