#pragma once

#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/JSON.h"
#include "platform/foundation/Value.h"

// The app's JSON layer over the platform's JSON serialisation, always with no
// options (top level an array or an object; compact output). Failures log a
// warning and give nullopt, except objectFromJSONDataWithError, which reports
// through its error instead.

// The bounds of JSON that came from outside (a server's reply): 2,000,000
// values, 512 levels, 256 MiB of parsed values.
JSONReadingLimits receivedJSONLimits();

// The warning for text that is not JSON shows a short escaped excerpt of it.
std::optional<Value> objectFromJSONString(const std::string& json, const JSONReadingLimits& limits = {});
std::optional<Value> objectFromJSONData(const Data& data);
std::optional<Value> objectFromJSONDataWithError(const Data& data, Error* error);

// A plain string is no valid top-level JSON value: this gives nullopt with the
// warning.
std::optional<Data> JSONData(const std::string& s);
std::optional<Data> JSONData(const Value::Array& array);
std::optional<std::string> JSONString(const Value::Array& array);
std::optional<Data> JSONData(const Value::Dictionary& dictionary);
std::optional<std::string> JSONString(const Value::Dictionary& dictionary);
