#include "app/net/AFXMLRequestOperation.h"

#include "app/net/ResponseDecoding.h"

AFHTTPOperationClass& AFXMLRequestOperation::classObject() {
    static AFHTTPOperationClass cls =
        ResponseDecoding::makeClass("AFXMLRequestOperation", {"application/xml", "text/xml"}, {"xml"});
    return cls;
}

std::shared_ptr<DispatchQueue> AFXMLRequestOperation::processingQueue() {
    return ResponseDecoding::processingQueue("com.velotide.networking.xml-request.processing");
}

std::shared_ptr<AFXMLRequestOperation> AFXMLRequestOperation::XMLParserRequestOperationWithRequest(URLRequest request,
                                                                                                   Success success,
                                                                                                   Failure failure) {
    auto operation = create(std::move(request));
    operation->setCompletionBlockWithSuccess(
        [success](std::shared_ptr<AFHTTPRequestOperation> op, std::shared_ptr<XMLParser> parser) {
            if (success) success(op->request(), op->response(), std::move(parser));
        },
        [failure](std::shared_ptr<AFHTTPRequestOperation> op, const Error& error) {
            if (failure)
                failure(op->request(), op->response(), error,
                        std::static_pointer_cast<AFXMLRequestOperation>(op)->responseXMLParser());
        });
    return operation;
}

std::shared_ptr<XMLParser> AFXMLRequestOperation::responseXMLParser() const {
    std::lock_guard lock(lock_);
    const auto data = responseData();
    if (!responseXMLParser_ && data && !data->empty() && isFinished())
        responseXMLParser_ = std::make_shared<XMLParser>(*data);
    return responseXMLParser_;
}

void AFXMLRequestOperation::cancel() {
    AFHTTPRequestOperation::cancel();
    std::shared_ptr<XMLParser> parser;
    {
        std::lock_guard lock(lock_);
        parser = responseXMLParser_;
    }
    if (parser) parser->setDelegate({});
}
