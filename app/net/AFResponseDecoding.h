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
namespace AFResponseDecoding {

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

}  // namespace AFResponseDecoding
