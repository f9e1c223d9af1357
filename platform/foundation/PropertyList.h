#pragma once

#include <optional>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

// Property lists (XML and binary) to and from Value, through libplist.
namespace PropertyList {
enum class Format { XML, Binary };
std::optional<Data> dataFromValue(const Value& value, Format format, Error* error = nullptr);
// Reads either format; nullopt with an NSCocoaErrorDomain 3840 error when the
// bytes are no property list.
// Arrays and dictionaries nested deeper than 512 levels are refused the same way.
std::optional<Value> valueFromData(const Data& data, Error* error = nullptr);
// The same, telling which format the bytes were in.
std::optional<Value> valueAndFormatFromData(const Data& data, Format* format, Error* error = nullptr);
}  // namespace PropertyList
