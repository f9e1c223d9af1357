#pragma once

#include <functional>
#include <memory>

#include "app/net/AFHTTPRequestOperation.h"
#include "platform/foundation/XMLParser.h"

// An HTTP operation whose body is XML ("application/xml", "text/xml"; paths
// ending in ".xml"): it hands out an XML parser over the body, made once on
// the processing queue "com.velotide.networking.xml-request.processing", not
// yet run (the caller sets its delegate and runs it). The parser never loads
// external entities or DTDs. Cancelling clears the parser's delegate.
class AFXMLRequestOperation : public AFHTTPRequestOperation {
public:
    using Success = std::function<void(const URLRequest&, std::shared_ptr<URLResponse>, std::shared_ptr<XMLParser>)>;
    using Failure = std::function<void(const URLRequest&, std::shared_ptr<URLResponse>, const Error&,
                                       std::shared_ptr<XMLParser>)>;
    using OperationSuccess = std::function<void(std::shared_ptr<AFHTTPRequestOperation>, std::shared_ptr<XMLParser>)>;

    explicit AFXMLRequestOperation(URLRequest request) : AFHTTPRequestOperation(std::move(request)) {}
    static std::shared_ptr<AFXMLRequestOperation> create(URLRequest request);
    static std::shared_ptr<AFXMLRequestOperation> XMLParserRequestOperationWithRequest(URLRequest request,
                                                                                       Success success,
                                                                                       Failure failure);

    static AFHTTPOperationClass& classObject();
    const AFHTTPOperationClass& operationClass() const override { return classObject(); }
    static std::optional<std::set<std::string>> acceptableContentTypes() { return classObject().acceptableContentTypes(); }
    static bool canProcessRequest(const URLRequest& request) { return classObject().canProcessRequest(request); }
    static std::shared_ptr<DispatchQueue> processingQueue();

    std::shared_ptr<XMLParser> responseXMLParser() const;
    Error XMLError() const { return Error(); }
    void cancel() override;

    void setCompletionBlockWithSuccess(OperationSuccess success, FailureBlock failure);
    void setCompletionBlockWithResponseObject(ResponseObjectSuccessBlock success, FailureBlock failure) override;

protected:
    std::shared_ptr<AFURLConnectionOperation> makeWithRequest(const URLRequest& request) const override;

private:
    mutable std::shared_ptr<XMLParser> responseXMLParser_;
};
