#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"

class InputStream;

// Header fields of a request or response: names compare case-insensitively and
// keep the spelling they were first set with; setting a field replaces it.
class HTTPHeaderFields {
public:
    std::optional<std::string> value(const std::string& name) const;
    void set(const std::string& name, std::optional<std::string> value);  // nullopt removes
    // Adds to a field that exists, joined by ",", as the platform does.
    void add(const std::string& name, const std::string& value);
    const std::vector<std::pair<std::string, std::string>>& all() const { return fields_; }
    bool empty() const { return fields_.empty(); }
    Value toValue() const;
    static HTTPHeaderFields fromValue(const Value& value);
    bool operator==(const HTTPHeaderFields&) const = default;

private:
    std::vector<std::pair<std::string, std::string>> fields_;
};

// A URL request (NSURLRequest / NSMutableURLRequest in one value type): URL,
// method ("GET"), header fields, a body given as bytes or as a stream, and a
// time-out interval (60 s): the longest the connection waits for the server
// to connect or to send anything before it fails with -1001.
//
// A copy shares the body stream with the original, as the platform's copies
// share the stream object.
class URLRequest {
public:
    static constexpr double kDefaultTimeoutInterval = 60.0;

    URLRequest() = default;
    explicit URLRequest(std::optional<URL> url, double timeoutInterval = kDefaultTimeoutInterval)
        : url_(std::move(url)), timeoutInterval_(timeoutInterval) {}

    const std::optional<URL>& url() const { return url_; }
    void setURL(std::optional<URL> url) { url_ = std::move(url); }
    const std::string& HTTPMethod() const { return method_; }
    void setHTTPMethod(std::string method) { method_ = std::move(method); }
    double timeoutInterval() const { return timeoutInterval_; }
    void setTimeoutInterval(double seconds) { timeoutInterval_ = seconds; }

    std::optional<std::string> valueForHTTPHeaderField(const std::string& name) const { return headers_.value(name); }
    void setValueForHTTPHeaderField(std::optional<std::string> value, const std::string& name) {
        headers_.set(name, std::move(value));
    }
    void addValueForHTTPHeaderField(const std::string& value, const std::string& name) { headers_.add(name, value); }
    const HTTPHeaderFields& allHTTPHeaderFields() const { return headers_; }

    // Setting one kind of body clears the other.
    const std::optional<Data>& HTTPBody() const { return body_; }
    void setHTTPBody(std::optional<Data> body);
    const std::shared_ptr<InputStream>& HTTPBodyStream() const { return bodyStream_; }
    void setHTTPBodyStream(std::shared_ptr<InputStream> stream);

    // "<NSMutableURLRequest: %p> { URL: %@ }" in the platform's words, with "(null)" for no URL.
    std::string description() const;

    // The archived form (body streams are not archived, as on the platform).
    Value toValue() const;
    static URLRequest fromValue(const Value& value);

private:
    std::optional<URL> url_;
    std::string method_ = "GET";
    double timeoutInterval_ = kDefaultTimeoutInterval;
    HTTPHeaderFields headers_;
    std::optional<Data> body_;
    std::shared_ptr<InputStream> bodyStream_;
};

// A URL response (NSURLResponse): the URL, the MIME type and the text
// encoding name taken from "Content-Type" (lower-cased type, the "charset"
// parameter as given), and the expected content length (-1 when unknown).
// HTTPURLResponse adds the status code and all header fields.
class URLResponse {
public:
    URLResponse(std::optional<URL> url, std::optional<std::string> mimeType, std::int64_t expectedContentLength,
                std::optional<std::string> textEncodingName);
    virtual ~URLResponse() = default;

    const std::optional<URL>& url() const { return url_; }
    const std::optional<std::string>& MIMEType() const { return mimeType_; }
    const std::optional<std::string>& textEncodingName() const { return textEncodingName_; }
    std::int64_t expectedContentLength() const { return expectedContentLength_; }

    virtual std::string description() const;
    virtual Value toValue() const;
    // Makes an HTTPURLResponse when the archive holds a status code.
    static std::shared_ptr<URLResponse> fromValue(const Value& value);

private:
    std::optional<URL> url_;
    std::optional<std::string> mimeType_;
    std::int64_t expectedContentLength_;
    std::optional<std::string> textEncodingName_;
};

class HTTPURLResponse : public URLResponse {
public:
    HTTPURLResponse(std::optional<URL> url, int statusCode, std::string httpVersion, HTTPHeaderFields headers);

    int statusCode() const { return statusCode_; }
    const std::string& HTTPVersion() const { return httpVersion_; }
    const HTTPHeaderFields& allHeaderFields() const { return headers_; }
    std::optional<std::string> valueForHTTPHeaderField(const std::string& name) const { return headers_.value(name); }

    std::string description() const override;
    Value toValue() const override;

private:
    int statusCode_;
    std::string httpVersion_;
    HTTPHeaderFields headers_;
};

// Splits a "Content-Type" value into the lower-cased MIME type and the
// charset parameter (quotes removed), as responses read them.
std::pair<std::optional<std::string>, std::optional<std::string>> parseContentType(const std::string& value);
