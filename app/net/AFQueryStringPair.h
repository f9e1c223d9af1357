#pragma once

#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/net/StringEncoding.h"

// One field of a query string: a field and a value of any kind.
class AFQueryStringPair {
public:
    AFQueryStringPair(Value field, Value value) : field(std::move(field)), value(std::move(value)) {}

    // "field=value" from the escaped descriptions; the field alone when the value is null.
    std::string URLEncodedStringValueWithEncoding(StringEncoding encoding) const;

    Value field;
    Value value;
};

// Escapes the text's bytes in the encoding: ASCII letters, digits and
// "-_.~[]" stay, every other byte becomes "%XX" (upper-case hex).
std::string percentEscapedQueryStringMember(const std::string& text, StringEncoding encoding);

// Flattens parameters into pairs: a dictionary's keys sorted without regard
// to case, nested keys as "outer[inner]", array elements as "key[]".
std::vector<AFQueryStringPair> queryStringPairsFromDictionary(const Value& dictionary);
std::vector<AFQueryStringPair> queryStringPairsFromKeyAndValue(const Value& key, const Value& value);

// The pairs joined with "&".
std::string queryStringFromParameters(const Value& parameters, StringEncoding encoding);
