#include "app/net/URLFIJSON.h"

#include "model/FCJSONAdditions.h"
#include "model/TWErrorAdditions.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"
#include "platform/net/URLError.h"

namespace {

// The platform's error for bytes that are no text in the asked encoding.
constexpr std::int64_t kInapplicableStringEncodingError = 261;

}  // namespace

URLContentReadOptions fiDefaultJSONDownloadOptions() {
    URLContentReadOptions options;
    options.connectTimeout = 30;
    options.stallTimeout = 30;
    options.totalTimeout = 120;
    options.maxBytes = 32u * 1024 * 1024;
    return options;
}

bool fiIsWebURL(const URL& url) {
    const std::string scheme = lowercaseString(url.scheme().value_or(""));
    return scheme == "http" || scheme == "https";
}

std::optional<Data> fiReadWebURL(const URL& url, const URLContentReadOptions& options, Error* error) {
    Error::clear(error);
    if (!fiIsWebURL(url)) {
        Error::set(error, makeURLError(URLErrorUnsupportedURL, url));
        return std::nullopt;
    }
    return readContentsOfURL(url, options, error);
}

std::optional<std::string> fiReadWebURLAsUTF8Text(const URL& url, const URLContentReadOptions& options, Error* error) {
    std::optional<Data> data = fiReadWebURL(url, options, error);
    if (!data) return std::nullopt;
    std::string text = stringFromData(*data);
    if (!isValidUTF8(text)) {
        Error::set(error, Error(NSCocoaErrorDomain, kInapplicableStringEncodingError,
                                Value::dictionary({{"NSURL", Value(url.absoluteString())}})));
        return std::nullopt;
    }
    return text;
}

std::string fiJSONClassName(const std::optional<Value>& object) {
    if (!object) return "(null)";
    switch (object->type()) {
        case Value::Type::Dictionary:
            return "NSDictionary";
        case Value::Type::Array:
            return "NSArray";
        case Value::Type::String:
            return "NSString";
        case Value::Type::Null:
            return "NSNull";
        default:
            return "NSNumber";
    }
}

std::optional<Value> _fiDownloadJSONObjectOfType(const URL& url, Value::Type expectedType, Error* error,
                                                 const URLContentReadOptions& options) {
    std::optional<std::string> text = fiReadWebURLAsUTF8Text(url, options, error);
    if (!text) return std::nullopt;
    std::optional<Value> object = objectFromJSONString(*text, receivedJSONLimits());
    if (object && object->type() == expectedType) return object;
    Error::set(error, twErrorWithDomain(kURLJSONHelperErrorDomain, -1,
                                        stringWithFormat("Invalid object type: %@ from JSON: %@",
                                                         fiJSONClassName(object), escapedExcerpt(*text))));
    return std::nullopt;
}

std::optional<Value> fiDownloadJSONasNSDictionary(const URL& url, Error* error, const URLContentReadOptions& options) {
    return _fiDownloadJSONObjectOfType(url, Value::Type::Dictionary, error, options);
}

std::optional<Value> fiDownloadJSONasNSArray(const URL& url, Error* error, const URLContentReadOptions& options) {
    return _fiDownloadJSONObjectOfType(url, Value::Type::Array, error, options);
}
