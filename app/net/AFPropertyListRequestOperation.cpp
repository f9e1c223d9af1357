#include "app/net/AFPropertyListRequestOperation.h"

#include "app/net/ResponseDecoding.h"

AFHTTPOperationClass& AFPropertyListRequestOperation::classObject() {
    static AFHTTPOperationClass cls =
        ResponseDecoding::makeClass("AFPropertyListRequestOperation", {"application/x-plist"}, {"plist"});
    return cls;
}

std::shared_ptr<DispatchQueue> AFPropertyListRequestOperation::processingQueue() {
    return ResponseDecoding::processingQueue("com.velotide.networking.property-list-request.processing");
}

std::shared_ptr<AFPropertyListRequestOperation> AFPropertyListRequestOperation::propertyListRequestOperationWithRequest(
    URLRequest request, Success success, Failure failure) {
    auto operation = create(std::move(request));
    operation->setCompletionBlockWithSuccess(
        [success](std::shared_ptr<AFHTTPRequestOperation> op, const std::optional<Value>& list) {
            if (success) success(op->request(), op->response(), list);
        },
        [failure](std::shared_ptr<AFHTTPRequestOperation> op, const Error& error) {
            if (failure)
                failure(op->request(), op->response(), error,
                        std::static_pointer_cast<AFPropertyListRequestOperation>(op)->responsePropertyList());
        });
    return operation;
}

std::optional<Value> AFPropertyListRequestOperation::responsePropertyList() const {
    std::lock_guard lock(lock_);
    const auto data = responseData();
    if (!decoded_ && data && !data->empty() && isFinished()) {
        decoded_ = true;
        PropertyList::Format format = PropertyList::Format::XML;
        Error error;
        responsePropertyList_ = PropertyList::valueAndFormatFromData(*data, &format, &error);
        if (responsePropertyList_) format_ = format;
        propertyListError_ = error;
    }
    return responsePropertyList_;
}

std::optional<PropertyList::Format> AFPropertyListRequestOperation::propertyListFormat() const {
    std::lock_guard lock(lock_);
    return format_;
}

Error AFPropertyListRequestOperation::propertyListError() const {
    std::lock_guard lock(lock_);
    return propertyListError_;
}

Error AFPropertyListRequestOperation::error() const {
    if (Error error = propertyListError()) return error;
    return AFHTTPRequestOperation::error();
}
