#include "platform/foundation/PropertyList.h"

#include <plist/plist.h>

#include "platform/foundation/PropertyListLimits.h"

#include <cstdlib>
#include <cstring>

namespace {

plist_t toPlist(const Value& v) {
    switch (v.type()) {
        case Value::Type::Null:
            return nullptr;
        case Value::Type::Bool:
            return plist_new_bool(v.boolValue());
        case Value::Type::Int:
            return plist_new_uint(static_cast<uint64_t>(v.integerValue()));  // two's complement for negatives
        case Value::Type::UInt:
            return plist_new_uint(v.unsignedValue());
        case Value::Type::Real:
            return plist_new_real(v.doubleValue());
        case Value::Type::String:
            return plist_new_string(v.asString()->c_str());
        case Value::Type::Data:
            return plist_new_data(reinterpret_cast<const char*>(v.asData()->data()), v.asData()->size());
        case Value::Type::Date: {
            // libplist dates count from the same reference date as ours.
            double t = v.asDate()->timeIntervalSinceReferenceDate();
            double whole = t < 0 ? -static_cast<double>(static_cast<std::int64_t>(-t)) : static_cast<double>(static_cast<std::int64_t>(t));
            int32_t usec = static_cast<int32_t>((t - whole) * 1e6);
            return plist_new_date(static_cast<int32_t>(whole), usec);
        }
        case Value::Type::Array: {
            plist_t a = plist_new_array();
            for (const auto& item : *v.asArray())
                if (plist_t p = toPlist(item)) plist_array_append_item(a, p);
            return a;
        }
        case Value::Type::Dictionary: {
            plist_t d = plist_new_dict();
            for (const auto& [k, item] : *v.asDictionary())
                if (plist_t p = toPlist(item)) plist_dict_set_item(d, k.c_str(), p);
            return d;
        }
    }
    return nullptr;
}

Value fromPlist(plist_t p, int depth) {
    if (!p || depth > 512) return Value();
    switch (plist_get_node_type(p)) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(p, &b);
            return Value(b != 0);
        }
        case PLIST_UINT: {
            // Integers are stored as 64 bits; values past the signed range are negatives.
            uint64_t u = 0;
            plist_get_uint_val(p, &u);
            return Value(static_cast<long long>(static_cast<int64_t>(u)));
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(p, &d);
            return Value(d);
        }
        case PLIST_STRING: {
            char* s = nullptr;
            plist_get_string_val(p, &s);
            Value out(std::string(s ? s : ""));
            std::free(s);
            return out;
        }
        case PLIST_DATA: {
            char* buf = nullptr;
            uint64_t len = 0;
            plist_get_data_val(p, &buf, &len);
            Data d(reinterpret_cast<uint8_t*>(buf), reinterpret_cast<uint8_t*>(buf) + len);
            std::free(buf);
            return Value(std::move(d));
        }
        case PLIST_DATE: {
            int32_t sec = 0, usec = 0;
            plist_get_date_val(p, &sec, &usec);
            return Value(Date(sec + usec / 1e6));
        }
        case PLIST_ARRAY: {
            Value::Array a;
            uint32_t n = plist_array_get_size(p);
            for (uint32_t i = 0; i < n; ++i) a.push_back(fromPlist(plist_array_get_item(p, i), depth + 1));
            return Value(std::move(a));
        }
        case PLIST_DICT: {
            Value::Dictionary d;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(p, &it);
            while (true) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(p, it, &key, &item);
                if (!key) break;
                d[key] = fromPlist(item, depth + 1);
                std::free(key);
            }
            std::free(it);
            return Value(std::move(d));
        }
        default:
            return Value();
    }
}

Error plistError(const char* text) {
    return Error(NSCocoaErrorDomain, 3840, Value::dictionary({{NSLocalizedDescriptionKey, std::string(text)}}));
}

}  // namespace

namespace PropertyList {

std::optional<Data> dataFromValue(const Value& value, Format format, Error* error) {
    Error::clear(error);
    plist_t p = toPlist(value);
    if (!p) {
        Error::set(error, plistError("The value cannot be written as a property list."));
        return std::nullopt;
    }
    char* buf = nullptr;
    uint32_t len = 0;
    if (format == Format::XML)
        plist_to_xml(p, &buf, &len);
    else
        plist_to_bin(p, &buf, &len);
    plist_free(p);
    if (!buf) {
        Error::set(error, plistError("The value cannot be written as a property list."));
        return std::nullopt;
    }
    Data out(reinterpret_cast<uint8_t*>(buf), reinterpret_cast<uint8_t*>(buf) + len);
    std::free(buf);
    return out;
}

std::optional<Value> valueFromData(const Data& data, Error* error) {
    Error::clear(error);
    plist_t p = nullptr;
    if (!data.empty() && data.size() < UINT32_MAX && nestingWithinLimit(data))
        plist_from_memory(reinterpret_cast<const char*>(data.data()), static_cast<uint32_t>(data.size()), &p);
    if (!p) {
        Error::set(error, plistError("The data couldn\u2019t be read because it isn\u2019t in the correct format."));
        return std::nullopt;
    }
    Value out = fromPlist(p, 0);
    plist_free(p);
    return out;
}

std::optional<Value> valueAndFormatFromData(const Data& data, Format* format, Error* error) {
    auto value = valueFromData(data, error);
    if (value && format)
        *format = data.size() >= 8 && std::memcmp(data.data(), "bplist00", 8) == 0 ? Format::Binary : Format::XML;
    return value;
}

}  // namespace PropertyList
