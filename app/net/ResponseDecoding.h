#pragma once

#include <any>
#include <functional>
#include <memory>
#include <string>

#include "app/net/AFHTTPRequestOperation.h"
#include "platform/foundation/Dispatch.h"

// What the four decoding operations share: their class objects (content
// types and the path extensions that make +canProcessRequest: answer yes at
// once) and how they deliver the decoded object.
namespace ResponseDecoding {

// A class object below the HTTP operation's, with its own content types and
// the extensions it accepts (exact match, case as written).
AFHTTPOperationClass makeClass(std::string name, std::set<std::string> contentTypes, std::set<std::string> extensions);

// A concurrent processing queue with that label, made once per label.
std::shared_ptr<DispatchQueue> processingQueue(const std::string& label);

// Installs the completion of a decoding operation. With checkFirst the
// request's error is checked when the operation finishes (failure, nothing
// decoded); otherwise on the processing queue. Then, on `queue`, `decode`
// runs; a decoding error (the operation's error() after it) calls failure on
// the failure callback queue, else success gets the object on the success
// callback queue (the main queue when none is set). Missing callbacks are skipped.
void installCompletion(AFHTTPRequestOperation& operation, std::shared_ptr<DispatchQueue> queue, bool checkFirst,
                       std::function<std::any(AFHTTPRequestOperation&)> decode,
                       AFHTTPRequestOperation::ResponseObjectSuccessBlock success,
                       AFHTTPRequestOperation::FailureBlock failure);

// Typed access to a response object (empty when the object is of another type).
template <class T>
T objectAs(const std::any& object) {
    if (const T* value = std::any_cast<T>(&object)) return *value;
    return T();
}

}  // namespace ResponseDecoding

// The base of the four decoding operations: their class-level answers, the
// typed completion callbacks and how copies are made. Derived gives
// classObject(), processingQueue(), decodedObject() (the decoded object, made
// once) and kChecksErrorFirst (whether the request's error is checked when
// the operation finishes rather than on the processing queue).
template <class Derived, class Object>
class DecodingRequestOperation : public AFHTTPRequestOperation {
public:
    using OperationSuccess = std::function<void(std::shared_ptr<AFHTTPRequestOperation>, Object)>;

    explicit DecodingRequestOperation(URLRequest request) : AFHTTPRequestOperation(std::move(request)) {}
    static std::shared_ptr<Derived> create(URLRequest request) { return std::make_shared<Derived>(std::move(request)); }

    const AFHTTPOperationClass& operationClass() const override { return Derived::classObject(); }
    static std::optional<std::set<std::string>> acceptableContentTypes() {
        return Derived::classObject().acceptableContentTypes();
    }
    static bool canProcessRequest(const URLRequest& request) {
        return Derived::classObject().canProcessRequest(request);
    }

    // success (operation, decoded object), failure (operation, error).
    void setCompletionBlockWithSuccess(OperationSuccess success, FailureBlock failure) {
        ResponseObjectSuccessBlock onSuccess;
        if (success)
            onSuccess = [success](std::shared_ptr<AFHTTPRequestOperation> operation, const std::any& object) {
                success(std::move(operation), ResponseDecoding::objectAs<Object>(object));
            };
        setCompletionBlockWithResponseObject(std::move(onSuccess), std::move(failure));
    }
    void setCompletionBlockWithResponseObject(ResponseObjectSuccessBlock success, FailureBlock failure) override {
        ResponseDecoding::installCompletion(
            *this, Derived::processingQueue(), Derived::kChecksErrorFirst,
            [](AFHTTPRequestOperation& operation) {
                return std::any(static_cast<Derived&>(operation).decodedObject());
            },
            std::move(success), std::move(failure));
    }

protected:
    std::shared_ptr<AFURLConnectionOperation> makeWithRequest(const URLRequest& request) const override {
        return create(request);
    }
};
