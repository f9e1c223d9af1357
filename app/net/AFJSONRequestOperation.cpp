#include "app/net/AFJSONRequestOperation.h"

#include "app/net/ResponseDecoding.h"
#include "platform/foundation/JSON.h"
#include "platform/foundation/StringUtils.h"
#include "platform/net/URLError.h"

AFHTTPOperationClass& AFJSONRequestOperation::classObject() {
    static AFHTTPOperationClass cls = ResponseDecoding::makeClass(
        "AFJSONRequestOperation", {"application/json", "text/json", "text/javascript"}, {"json"});
    return cls;
}

std::shared_ptr<DispatchQueue> AFJSONRequestOperation::processingQueue() {
    return ResponseDecoding::processingQueue("com.velotide.networking.json-request.processing");
}

std::shared_ptr<AFJSONRequestOperation> AFJSONRequestOperation::JSONRequestOperationWithRequest(URLRequest request,
                                                                                                Success success,
                                                                                                Failure failure) {
    auto operation = create(std::move(request));
    operation->setCompletionBlockWithSuccess(
        [success](std::shared_ptr<AFHTTPRequestOperation> op, const std::optional<Value>& JSON) {
            if (success) success(op->request(), op->response(), JSON);
        },
        [failure](std::shared_ptr<AFHTTPRequestOperation> op, const Error& error) {
            if (failure)
                failure(op->request(), op->response(), error,
                        std::static_pointer_cast<AFJSONRequestOperation>(op)->responseJSON());
        });
    return operation;
}

std::optional<Value> AFJSONRequestOperation::responseJSON() const {
    std::lock_guard lock(lock_);
    const auto data = responseData();
    if (!responseJSON_ && data && !data->empty() && isFinished() && !JSONError_) {
        const auto text = responseString();
        if (!text || *text == " ") return responseJSON_;
        if (!isValidUTF8(*text)) {
            JSONError_ =
                Error(kCorvexErrorDomain, URLErrorCannotDecodeContentData,
                      Value::dictionary(
                          {{NSLocalizedDescriptionKey, "Operation responseData failed decoding as a UTF-8 string"},
                           {NSLocalizedFailureReasonErrorKey, "Could not decode string: " + *text}}));
            return responseJSON_;
        }
        Error error;
        responseJSON_ = JSONSerialization::JSONObjectWithData(dataFromString(*text), readingOptions_, &error);
        JSONError_ = error;
    }
    return responseJSON_;
}

Error AFJSONRequestOperation::JSONError() const {
    std::lock_guard lock(lock_);
    return JSONError_;
}

Error AFJSONRequestOperation::error() const {
    if (Error error = JSONError()) return error;
    return AFHTTPRequestOperation::error();
}
