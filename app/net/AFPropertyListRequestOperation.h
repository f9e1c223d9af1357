#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "app/net/ResponseDecoding.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Value.h"

// An HTTP operation whose body is a property list ("application/x-plist";
// paths ending in ".plist"), XML or binary, decoded once on the processing
// queue "com.velotide.networking.property-list-request.processing". The
// decoding holds the operation's lock, as the JSON operation's does, so that
// concurrent readers decode once. Bytes that are no property list (nesting
// deeper than the reader's limit included) fail with the reader's error.
class AFPropertyListRequestOperation
    : public DecodingRequestOperation<AFPropertyListRequestOperation, std::optional<Value>> {
public:
    using Success = std::function<void(const URLRequest&, std::shared_ptr<URLResponse>, const std::optional<Value>&)>;
    using Failure =
        std::function<void(const URLRequest&, std::shared_ptr<URLResponse>, const Error&, const std::optional<Value>&)>;

    static constexpr bool kChecksErrorFirst = true;
    using DecodingRequestOperation::DecodingRequestOperation;
    static std::shared_ptr<AFPropertyListRequestOperation> propertyListRequestOperationWithRequest(URLRequest request,
                                                                                                   Success success,
                                                                                                   Failure failure);

    static AFHTTPOperationClass& classObject();
    static std::shared_ptr<DispatchQueue> processingQueue();

    std::optional<Value> responsePropertyList() const;
    unsigned propertyListReadOptions() const { return readOptions_; }
    void setPropertyListReadOptions(unsigned options) { readOptions_ = options; }
    std::optional<PropertyList::Format> propertyListFormat() const;
    Error propertyListError() const;
    Error error() const override;

    std::optional<Value> decodedObject() const { return responsePropertyList(); }

private:
    std::atomic<unsigned> readOptions_{0};
    mutable bool decoded_ = false;
    mutable std::optional<Value> responsePropertyList_;
    mutable std::optional<PropertyList::Format> format_;
    mutable Error propertyListError_;
};
