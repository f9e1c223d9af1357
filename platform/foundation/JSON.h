#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

// JSON reading and writing with the platform serialiser's rules.
//
// Reading takes UTF-8 text. The top level must be an array or an object unless
// fragments are allowed. Integers that fit a signed 64-bit number become Int,
// larger positive ones UInt, every other number Real; true and false become
// Bool. Failures give nullopt and an error in NSCocoaErrorDomain, code 3840,
// whose debug description ("NSDebugDescription") says what and where.
//
// Writing takes an array or a dictionary at the top level; strings, numbers,
// booleans and null inside. Data, dates, reals that are not finite and strings
// that are not valid UTF-8 cannot be written: the platform raises for those,
// here they give nullopt and an error (NSCocoaErrorDomain, 3840). The output is
// compact UTF-8 with "/" escaped as "\/", dictionary keys in the dictionary's
// order and reals in their shortest round-trip form.
// What reading may build, checked as the text is read so that a reply is
// refused before it costs what it asks for: values of any kind (containers
// included), nesting depth, and the memory the parsed values take (an
// estimate counting each value, its slot, dictionary entries with their keys
// and string bytes). Passing a bound fails like invalid JSON (3840), naming
// the bound in the debug description.
struct JSONReadingLimits {
    std::size_t maxValues = SIZE_MAX;
    std::size_t maxDepth = 512;
    std::size_t maxBytes = SIZE_MAX;
};

class JSONSerialization {
public:
    enum ReadingOptions : unsigned {
        ReadingFragmentsAllowed = 1u << 2,
    };
    enum WritingOptions : unsigned {
        WritingPrettyPrinted = 1u << 0,
    };

    static constexpr std::int64_t kErrorCode = 3840;

    // Whether the value can be written: an array or dictionary holding only
    // writable values.
    static bool isValidJSONObject(const Value& object);

    static std::optional<Value> JSONObjectWithData(const Data& data, unsigned options = 0, Error* error = nullptr);
    static std::optional<Value> JSONObjectWithData(const Data& data, unsigned options, Error* error,
                                                   const JSONReadingLimits& limits);
    static std::optional<Data> dataWithJSONObject(const Value& object, unsigned options = 0, Error* error = nullptr);
};
