#include "platform/net/URLRequest.h"

#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"

// ---- HTTPHeaderFields ----

std::optional<std::string> HTTPHeaderFields::value(const std::string& name) const {
    for (const auto& [key, value] : fields_)
        if (caseInsensitiveCompare(key, name) == 0) return value;
    return std::nullopt;
}

void HTTPHeaderFields::set(const std::string& name, std::optional<std::string> value) {
    for (auto it = fields_.begin(); it != fields_.end(); ++it) {
        if (caseInsensitiveCompare(it->first, name) != 0) continue;
        if (value)
            it->second = std::move(*value);
        else
            fields_.erase(it);
        return;
    }
    if (value) fields_.emplace_back(name, std::move(*value));
}

void HTTPHeaderFields::add(const std::string& name, const std::string& value) {
    for (auto& field : fields_) {
        if (caseInsensitiveCompare(field.first, name) != 0) continue;
        field.second += "," + value;
        return;
    }
    fields_.emplace_back(name, value);
}

Value HTTPHeaderFields::toValue() const {
    Value out = Value::array();
    for (const auto& [key, value] : fields_) out.append(Value::array({key, value}));
    return out;
}

HTTPHeaderFields HTTPHeaderFields::fromValue(const Value& value) {
    HTTPHeaderFields out;
    if (const auto* items = value.asArray())
        for (const auto& item : *items)
            if (item[0].isString() && item[1].isString()) out.set(*item[0].asString(), *item[1].asString());
    return out;
}

// ---- URLRequest ----

void URLRequest::setHTTPBody(std::optional<Data> body) {
    body_ = std::move(body);
    if (body_) bodyStream_ = nullptr;
}

void URLRequest::setHTTPBodyStream(std::shared_ptr<InputStream> stream) {
    bodyStream_ = std::move(stream);
    if (bodyStream_) body_ = std::nullopt;
}

std::string URLRequest::description() const {
    return stringWithFormat("<NSMutableURLRequest: %p> { URL: %@ }", static_cast<const void*>(this),
                            url_ ? url_->absoluteString() : std::string("(null)"));
}

Value URLRequest::toValue() const {
    Value out = Value::dictionary();
    if (url_) out.set("URL", url_->absoluteString());
    out.set("method", method_);
    out.set("timeoutInterval", timeoutInterval_);
    out.set("headers", headers_.toValue());
    if (body_) out.set("body", *body_);
    return out;
}

URLRequest URLRequest::fromValue(const Value& value) {
    URLRequest request;
    if (auto s = value["URL"].asString()) request.url_ = URL::URLWithString(*s);
    if (auto s = value["method"].asString()) request.method_ = *s;
    request.timeoutInterval_ = value["timeoutInterval"].doubleValue(kDefaultTimeoutInterval);
    request.headers_ = HTTPHeaderFields::fromValue(value["headers"]);
    if (auto d = value["body"].asData()) request.body_ = *d;
    return request;
}

// ---- responses ----

std::pair<std::optional<std::string>, std::optional<std::string>> parseContentType(const std::string& value) {
    auto parts = componentsSeparatedByString(value, ";");
    std::optional<std::string> mime, charset;
    if (!parts.empty()) {
        std::string type = lowercaseString(stringByTrimmingWhitespace(parts[0]));
        if (!type.empty()) mime = type;
    }
    for (std::size_t i = 1; i < parts.size(); ++i) {
        std::string parameter = stringByTrimmingWhitespace(parts[i]);
        auto equals = parameter.find('=');
        if (equals == std::string::npos) continue;
        if (lowercaseString(stringByTrimmingWhitespace(parameter.substr(0, equals))) != "charset") continue;
        std::string name = stringByTrimmingWhitespace(parameter.substr(equals + 1));
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
        if (!name.empty()) charset = name;
    }
    return {mime, charset};
}

URLResponse::URLResponse(std::optional<URL> url, std::optional<std::string> mimeType,
                         std::int64_t expectedContentLength, std::optional<std::string> textEncodingName)
    : url_(std::move(url)),
      mimeType_(std::move(mimeType)),
      expectedContentLength_(expectedContentLength),
      textEncodingName_(std::move(textEncodingName)) {}

std::string URLResponse::description() const {
    return stringWithFormat("<NSURLResponse: %p> { URL: %@ }", static_cast<const void*>(this),
                            url_ ? url_->absoluteString() : std::string("(null)"));
}

Value URLResponse::toValue() const {
    Value out = Value::dictionary();
    if (url_) out.set("URL", url_->absoluteString());
    if (mimeType_) out.set("MIMEType", *mimeType_);
    if (textEncodingName_) out.set("textEncodingName", *textEncodingName_);
    out.set("expectedContentLength", expectedContentLength_);
    return out;
}

std::shared_ptr<URLResponse> URLResponse::fromValue(const Value& value) {
    if (!value.isDictionary()) return nullptr;
    std::optional<URL> url;
    if (auto s = value["URL"].asString()) url = URL::URLWithString(*s);
    if (value.find("statusCode"))
        return std::make_shared<HTTPURLResponse>(url, static_cast<int>(value["statusCode"].integerValue()),
                                                 value["HTTPVersion"].stringValue("HTTP/1.1"),
                                                 HTTPHeaderFields::fromValue(value["headers"]));
    return std::make_shared<URLResponse>(url, value["MIMEType"].optionalString(),
                                         value["expectedContentLength"].integerValue(-1),
                                         value["textEncodingName"].optionalString());
}

namespace {
std::int64_t contentLengthOf(const HTTPHeaderFields& headers) {
    auto length = headers.value("Content-Length");
    if (!length || length->empty()) return -1;
    for (char c : stringByTrimmingWhitespace(*length))
        if (c < '0' || c > '9') return -1;
    return stringIntegerValue(*length);
}
}  // namespace

HTTPURLResponse::HTTPURLResponse(std::optional<URL> url, int statusCode, std::string httpVersion,
                                 HTTPHeaderFields headers)
    : URLResponse(url, parseContentType(headers.value("Content-Type").value_or("")).first, contentLengthOf(headers),
                  parseContentType(headers.value("Content-Type").value_or("")).second),
      statusCode_(statusCode),
      httpVersion_(std::move(httpVersion)),
      headers_(std::move(headers)) {}

std::string HTTPURLResponse::description() const {
    return stringWithFormat("<NSHTTPURLResponse: %p> { URL: %@ } { Status Code: %ld }", static_cast<const void*>(this),
                            url() ? url()->absoluteString() : std::string("(null)"), statusCode_);
}

Value HTTPURLResponse::toValue() const {
    Value out = URLResponse::toValue();
    out.set("statusCode", statusCode_);
    out.set("HTTPVersion", httpVersion_);
    out.set("headers", headers_.toValue());
    return out;
}
