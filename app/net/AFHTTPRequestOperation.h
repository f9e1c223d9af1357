#pragma once

#include <any>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "app/net/AFURLConnectionOperation.h"

class DispatchQueue;

inline constexpr const char* kCorvexErrorDomain = "CorvexErrorDomain";
inline constexpr const char* kCorvexOperationFailingURLRequestErrorKey = "CorvexOperationFailingURLRequestErrorKey";
inline constexpr const char* kCorvexOperationFailingURLResponseErrorKey = "CorvexOperationFailingURLResponseErrorKey";

using StatusCodeSet = std::set<long>;

// The class-level answers of an HTTP operation class, standing in for class
// methods that can be replaced at run time: the acceptable status codes and
// content types (nullopt means "any"), and the rule that says whether the
// class can process a request. A class that gives no answer of its own takes
// its superclass's. Adding codes or types replaces the class's answer by the
// union of its current answer and the new ones, fixed at that moment; classes
// below it that answer for themselves keep their answer.
//
// Each operation class keeps one of these as a static object; subclasses name
// their superclass's.
class AFHTTPOperationClass {
public:
    // Extra suitability rule of a class: true accepts the request; otherwise
    // the rule of the "Accept" header decides.
    using Rule = std::function<bool(const AFHTTPOperationClass& cls, const URLRequest& request)>;

    AFHTTPOperationClass(std::string name, const AFHTTPOperationClass* superclass,
                         std::optional<std::optional<StatusCodeSet>> statusCodes = std::nullopt,
                         std::optional<std::optional<std::set<std::string>>> contentTypes = std::nullopt,
                         Rule rule = nullptr);

    const std::string& name() const { return name_; }
    const AFHTTPOperationClass* superclass() const { return superclass_; }

    std::optional<StatusCodeSet> acceptableStatusCodes() const;
    std::optional<std::set<std::string>> acceptableContentTypes() const;
    void addAcceptableStatusCodes(const StatusCodeSet& codes);
    void addAcceptableContentTypes(const std::set<std::string>& types);
    bool canProcessRequest(const URLRequest& request) const;

private:
    std::string name_;
    const AFHTTPOperationClass* superclass_;
    mutable std::mutex mutex_;
    std::optional<std::optional<StatusCodeSet>> statusCodes_;  // outer nullopt: ask the superclass
    std::optional<std::optional<std::set<std::string>>> contentTypes_;
    Rule rule_;
};

// The items of an "Accept" header: split at ",", each cut before ";", trimmed, empty ones dropped.
std::set<std::string> contentTypesFromAcceptHeader(const std::string& header);
// "200-299", "200-202,204": runs of consecutive codes as "first-last", single codes alone.
std::string statusCodeListString(const StatusCodeSet& codes);

// The connection operation with HTTP semantics: judges the status code and
// content type against its class's acceptable sets, turns an unacceptable
// response into a "CorvexErrorDomain" error (-1011 for the status, -1016 for
// the content type of a non-empty body; computed once under the operation's
// lock, whichever thread asks first), decodes "text/..." bodies without a
// charset as ISO Latin 1, delivers success or failure on chosen queues (the
// main queue when none is given), and pauses so that the resumed request asks
// for the rest with "Range" (and "If-Range" with the response's ETag).
class AFHTTPRequestOperation : public AFURLConnectionOperation {
public:
    using SuccessBlock = std::function<void(std::shared_ptr<AFHTTPRequestOperation>, const std::optional<Data>&)>;
    using FailureBlock = std::function<void(std::shared_ptr<AFHTTPRequestOperation>, const Error&)>;

    explicit AFHTTPRequestOperation(URLRequest request);
    static std::shared_ptr<AFHTTPRequestOperation> create(URLRequest request);

    static AFHTTPOperationClass& classObject();
    // The class object of the receiver (subclasses override).
    virtual const AFHTTPOperationClass& operationClass() const { return classObject(); }
    std::string className() const override { return operationClass().name(); }

    // This class's answers (the class methods of the class itself).
    static std::optional<StatusCodeSet> acceptableStatusCodes() { return classObject().acceptableStatusCodes(); }
    static std::optional<std::set<std::string>> acceptableContentTypes() {
        return classObject().acceptableContentTypes();
    }
    static void addAcceptableStatusCodes(const StatusCodeSet& codes) { classObject().addAcceptableStatusCodes(codes); }
    static void addAcceptableContentTypes(const std::set<std::string>& types) {
        classObject().addAcceptableContentTypes(types);
    }
    static bool canProcessRequest(const URLRequest& request) { return classObject().canProcessRequest(request); }

    bool hasAcceptableStatusCode() const;
    bool hasAcceptableContentType() const;
    Error error() const override;
    void pause() override;

    void setCompletionBlockWithSuccess(SuccessBlock success, FailureBlock failure);
    void setSuccessCallbackQueue(std::shared_ptr<DispatchQueue> queue);
    void setFailureCallbackQueue(std::shared_ptr<DispatchQueue> queue);
    std::shared_ptr<DispatchQueue> successCallbackQueue() const;
    std::shared_ptr<DispatchQueue> failureCallbackQueue() const;

    // The callbacks with the response object of the class, whatever class the
    // operation is (the HTTP client sets them so): here the body, as
    // std::optional<Data>; the decoding subclasses give their decoded object.
    using ResponseObjectSuccessBlock = std::function<void(std::shared_ptr<AFHTTPRequestOperation>, const std::any&)>;
    virtual void setCompletionBlockWithResponseObject(ResponseObjectSuccessBlock success, FailureBlock failure);

protected:
    std::shared_ptr<AFURLConnectionOperation> makeWithRequest(const URLRequest& request) const override;
    StringEncoding determineResponseStringEncoding() const override;

private:
    mutable std::optional<Error> HTTPError_;
    std::shared_ptr<DispatchQueue> successCallbackQueue_;
    std::shared_ptr<DispatchQueue> failureCallbackQueue_;
};
