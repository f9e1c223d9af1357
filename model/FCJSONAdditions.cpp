#include "model/FCJSONAdditions.h"

#include "model/TWLogger.h"
#include "platform/foundation/JSON.h"
#include "platform/foundation/StringUtils.h"

JSONReadingLimits receivedJSONLimits() {
    JSONReadingLimits limits;
    limits.maxValues = 2'000'000;
    limits.maxDepth = 512;
    limits.maxBytes = 256u * 1024 * 1024;
    return limits;
}

std::optional<Value> objectFromJSONString(const std::string& json, const JSONReadingLimits& limits) {
    Error error;
    auto object = JSONSerialization::JSONObjectWithData(dataFromString(json), 0, &error, limits);
    if (!object)
        TWLogWarning("Error parsing JSON: %@, error: %@", escapedExcerpt(json),
                     escapedExcerpt(error.description(), 600));
    return object;
}

std::optional<Value> objectFromJSONData(const Data& data) {
    Error error;
    auto object = JSONSerialization::JSONObjectWithData(data, 0, &error);
    if (!object) TWLogWarning("Error parsing JSON data, error: %@", error);
    return object;
}

std::optional<Value> objectFromJSONDataWithError(const Data& data, Error* error) {
    return JSONSerialization::JSONObjectWithData(data, 0, error);
}

std::optional<Data> JSONData(const std::string& s) {
    Error error;
    auto data = JSONSerialization::dataWithJSONObject(Value(s), 0, &error);
    if (!data) TWLogWarning("Error getting JSON data from string: %@, error: %@", s, error);
    return data;
}

std::optional<Data> JSONData(const Value::Array& array) {
    Error error;
    auto data = JSONSerialization::dataWithJSONObject(Value(array), 0, &error);
    if (!data) TWLogWarning("Error getting JSON data from array, error: %@", error);
    return data;
}

std::optional<std::string> JSONString(const Value::Array& array) {
    Error error;
    auto data = JSONSerialization::dataWithJSONObject(Value(array), 0, &error);
    if (!data) {
        TWLogWarning("Error getting JSON string from array: %@", error);
        return std::nullopt;
    }
    return stringFromData(*data);
}

std::optional<Data> JSONData(const Value::Dictionary& dictionary) {
    Error error;
    auto data = JSONSerialization::dataWithJSONObject(Value(dictionary), 0, &error);
    if (!data) TWLogWarning("Error getting JSON data from dictionary, error: %@", error);
    return data;
}

std::optional<std::string> JSONString(const Value::Dictionary& dictionary) {
    Error error;
    auto data = JSONSerialization::dataWithJSONObject(Value(dictionary), 0, &error);
    if (!data) {
        TWLogWarning("Error getting JSON string from dictionary: %@", error);
        return std::nullopt;
    }
    return stringFromData(*data);
}
