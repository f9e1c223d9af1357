#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "app/net/ResponseDecoding.h"
#include "platform/foundation/Value.h"

// An HTTP operation whose body is JSON ("application/json", "text/json",
// "text/javascript"; paths ending in ".json"), decoded once, under the
// operation's lock, on the processing queue
// "com.velotide.networking.json-request.processing". A body that is empty or
// one space decodes to nothing (nullopt) without error; invalid JSON (nesting
// deeper than the reader's limit included) fails with the reader's error
// (NSCocoaErrorDomain 3840).
class AFJSONRequestOperation : public DecodingRequestOperation<AFJSONRequestOperation, std::optional<Value>> {
public:
    using Success = std::function<void(const URLRequest&, std::shared_ptr<URLResponse>, const std::optional<Value>&)>;
    using Failure =
        std::function<void(const URLRequest&, std::shared_ptr<URLResponse>, const Error&, const std::optional<Value>&)>;

    static constexpr bool kChecksErrorFirst = true;
    using DecodingRequestOperation::DecodingRequestOperation;
    static std::shared_ptr<AFJSONRequestOperation> JSONRequestOperationWithRequest(URLRequest request, Success success,
                                                                                   Failure failure);

    static AFHTTPOperationClass& classObject();
    static std::shared_ptr<DispatchQueue> processingQueue();

    std::optional<Value> responseJSON() const;
    unsigned JSONReadingOptions() const { return readingOptions_; }
    void setJSONReadingOptions(unsigned options) { readingOptions_ = options; }
    Error JSONError() const;
    Error error() const override;

    std::optional<Value> decodedObject() const { return responseJSON(); }

private:
    std::atomic<unsigned> readingOptions_{0};
    mutable std::optional<Value> responseJSON_;
    mutable Error JSONError_;
};
