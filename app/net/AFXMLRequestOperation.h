#pragma once

#include <functional>
#include <memory>

#include "app/net/ResponseDecoding.h"
#include "platform/foundation/XMLParser.h"

// An HTTP operation whose body is XML ("application/xml", "text/xml"; paths
// ending in ".xml"): it hands out an XML parser over the body, made once on
// the processing queue "com.velotide.networking.xml-request.processing", not
// yet run (the caller sets its delegate and runs it). The parser never loads
// external entities or DTDs. Cancelling clears the parser's delegate.
class AFXMLRequestOperation : public DecodingRequestOperation<AFXMLRequestOperation, std::shared_ptr<XMLParser>> {
public:
    using Success = std::function<void(const URLRequest&, std::shared_ptr<URLResponse>, std::shared_ptr<XMLParser>)>;
    using Failure =
        std::function<void(const URLRequest&, std::shared_ptr<URLResponse>, const Error&, std::shared_ptr<XMLParser>)>;

    static constexpr bool kChecksErrorFirst = true;
    using DecodingRequestOperation::DecodingRequestOperation;
    static std::shared_ptr<AFXMLRequestOperation> XMLParserRequestOperationWithRequest(URLRequest request,
                                                                                       Success success,
                                                                                       Failure failure);

    static AFHTTPOperationClass& classObject();
    static std::shared_ptr<DispatchQueue> processingQueue();

    std::shared_ptr<XMLParser> responseXMLParser() const;
    Error XMLError() const { return Error(); }
    void cancel() override;

    std::shared_ptr<XMLParser> decodedObject() const { return responseXMLParser(); }

private:
    mutable std::shared_ptr<XMLParser> responseXMLParser_;
};
