#include "app/net/AFQueryStringPair.h"

#include <algorithm>

#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"

std::string percentEscapedQueryStringMember(const std::string& text, StringEncoding encoding) {
    static const char* hex = "0123456789ABCDEF";
    const Data bytes = encodeString(text, encoding).value_or(Data(text.begin(), text.end()));
    std::string out;
    out.reserve(bytes.size());
    for (std::uint8_t b : bytes) {
        const bool kept = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' ||
                          b == '_' || b == '.' || b == '~' || b == '[' || b == ']';
        if (kept) {
            out += static_cast<char>(b);
        } else {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}

std::string AFQueryStringPair::URLEncodedStringValueWithEncoding(StringEncoding encoding) const {
    const std::string escapedField = percentEscapedQueryStringMember(field.description(), encoding);
    if (value.isNull()) return escapedField;
    return escapedField + "=" + percentEscapedQueryStringMember(value.description(), encoding);
}

std::vector<AFQueryStringPair> queryStringPairsFromDictionary(const Value& dictionary) {
    return queryStringPairsFromKeyAndValue(Value(), dictionary);
}

std::vector<AFQueryStringPair> queryStringPairsFromKeyAndValue(const Value& key, const Value& value) {
    std::vector<AFQueryStringPair> pairs;
    if (const auto* dictionary = value.asDictionary()) {
        std::vector<std::string> keys;
        for (const auto& entry : *dictionary) keys.push_back(entry.first);
        std::stable_sort(keys.begin(), keys.end(),
                         [](const std::string& a, const std::string& b) { return caseInsensitiveCompare(a, b) < 0; });
        for (const auto& inner : keys) {
            const Value& item = dictionary->at(inner);
            const Value nestedKey =
                key.isNull() ? Value(inner) : Value(stringWithFormat("%@[%@]", key.description(), inner));
            auto nested = queryStringPairsFromKeyAndValue(nestedKey, item);
            pairs.insert(pairs.end(), nested.begin(), nested.end());
        }
    } else if (const auto* array = value.asArray()) {
        const Value nestedKey(stringWithFormat("%@[]", key.description()));
        for (const auto& item : *array) {
            auto nested = queryStringPairsFromKeyAndValue(nestedKey, item);
            pairs.insert(pairs.end(), nested.begin(), nested.end());
        }
    } else {
        pairs.emplace_back(key, value);
    }
    return pairs;
}

std::string queryStringFromParameters(const Value& parameters, StringEncoding encoding) {
    std::string out;
    for (const auto& pair : queryStringPairsFromDictionary(parameters)) {
        if (!out.empty()) out += "&";
        out += pair.URLEncodedStringValueWithEncoding(encoding);
    }
    return out;
}
