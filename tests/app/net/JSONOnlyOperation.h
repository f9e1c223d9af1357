#pragma once

#include "app/net/AFHTTPRequestOperation.h"

// An HTTP operation class that accepts JSON only, as the decoding operations do.
class JSONOnlyOperation : public AFHTTPRequestOperation {
public:
    using AFHTTPRequestOperation::AFHTTPRequestOperation;
    static AFHTTPOperationClass& classObject() {
        static AFHTTPOperationClass cls("JSONOnlyOperation", &AFHTTPRequestOperation::classObject(), std::nullopt,
                                        std::optional<std::set<std::string>>({"application/json"}));
        return cls;
    }
    const AFHTTPOperationClass& operationClass() const override { return classObject(); }
};
