#pragma once

// Synchronous JSON downloads on the calling thread (the URL category of the
// shared-deck screen, as free functions on URL). They block on the network, so
// they are for background queues only, never the main thread.
//
// 1. The URL's whole content is read as UTF-8 text through readContentsOfURL
//    with the given limits (time-outs, a size cap and a cancel check). Only
//    http and https URLs are read: any other scheme (a "file:" URL a server
//    put in a reply) fails with NSURLErrorDomain -1002 without reading. A
//    failed read gives nil and hands the platform's read error out.
// 2. The text is parsed as JSON within receivedJSONLimits (objectFromJSONString:
//    invalid JSON, or JSON that would cost more than the limits, gives nil
//    after a logged parse error).
// 3. An object of the expected kind is the result. Anything else, invalid JSON
//    included (its class is then "(null)"), gives nil and the error
//    "NSURLJSONHelper" -1 with the description "Invalid object type: %@ from
//    JSON: %@" (the object's class, a short escaped excerpt of the text).

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"
#include "platform/net/URLContentReader.h"

inline constexpr const char* kURLJSONHelperErrorDomain = "NSURLJSONHelper";

// The limits of these reads unless a caller passes its own: 30 s to connect,
// 30 s of silence from the server, 120 s for the whole read, at most 32 MiB.
URLContentReadOptions fiDefaultJSONDownloadOptions();

std::optional<Value> fiDownloadJSONasNSDictionary(
    const URL& url, Error* error = nullptr, const URLContentReadOptions& options = fiDefaultJSONDownloadOptions());
std::optional<Value> fiDownloadJSONasNSArray(const URL& url, Error* error = nullptr,
                                             const URLContentReadOptions& options = fiDefaultJSONDownloadOptions());
// expectedType: Value::Type::Dictionary or Value::Type::Array.
std::optional<Value> _fiDownloadJSONObjectOfType(const URL& url, Value::Type expectedType, Error* error,
                                                 const URLContentReadOptions& options);

// The text of an http or https URL read with the limits; any other scheme
// fails with -1002 without reading. Shared by the JSON reads and the
// shared-deck download.
std::optional<std::string> fiReadWebURLAsUTF8Text(const URL& url, const URLContentReadOptions& options, Error* error);
std::optional<Data> fiReadWebURL(const URL& url, const URLContentReadOptions& options, Error* error);
// Whether the URL is one the sharing code reads: http or https, any case.
bool fiIsWebURL(const URL& url);
// The class name of a JSON value as the platform prints it in the error texts
// ("NSDictionary", "NSArray", "NSString", "NSNumber", "NSNull"; "(null)" for none).
std::string fiJSONClassName(const std::optional<Value>& object);
