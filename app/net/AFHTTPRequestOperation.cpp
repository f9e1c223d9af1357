#include "app/net/AFHTTPRequestOperation.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"
#include "platform/net/URLError.h"

// ---- class objects ----

AFHTTPOperationClass::AFHTTPOperationClass(std::string name, const AFHTTPOperationClass* superclass,
                                           std::optional<std::optional<StatusCodeSet>> statusCodes,
                                           std::optional<std::optional<std::set<std::string>>> contentTypes, Rule rule)
    : name_(std::move(name)),
      superclass_(superclass),
      statusCodes_(std::move(statusCodes)),
      contentTypes_(std::move(contentTypes)),
      rule_(std::move(rule)) {}

std::optional<StatusCodeSet> AFHTTPOperationClass::acceptableStatusCodes() const {
    {
        std::lock_guard lock(mutex_);
        if (statusCodes_) return *statusCodes_;
    }
    return superclass_ ? superclass_->acceptableStatusCodes() : std::nullopt;
}

std::optional<std::set<std::string>> AFHTTPOperationClass::acceptableContentTypes() const {
    {
        std::lock_guard lock(mutex_);
        if (contentTypes_) return *contentTypes_;
    }
    return superclass_ ? superclass_->acceptableContentTypes() : std::nullopt;
}

void AFHTTPOperationClass::addAcceptableStatusCodes(const StatusCodeSet& codes) {
    StatusCodeSet all = acceptableStatusCodes().value_or(StatusCodeSet());
    all.insert(codes.begin(), codes.end());
    std::lock_guard lock(mutex_);
    statusCodes_ = std::optional<StatusCodeSet>(std::move(all));
}

void AFHTTPOperationClass::addAcceptableContentTypes(const std::set<std::string>& types) {
    std::set<std::string> all = acceptableContentTypes().value_or(std::set<std::string>());
    all.insert(types.begin(), types.end());
    std::lock_guard lock(mutex_);
    contentTypes_ = std::optional<std::set<std::string>>(std::move(all));
}

bool AFHTTPOperationClass::canProcessRequest(const URLRequest& request) const {
    if (!superclass_) return true;  // the HTTP operation itself takes every request
    if (rule_ && rule_(*this, request)) return true;
    auto accept = request.valueForHTTPHeaderField("Accept");
    if (!accept) return false;
    auto types = acceptableContentTypes();
    if (!types) return false;
    for (const auto& type : contentTypesFromAcceptHeader(*accept))
        if (types->count(type)) return true;
    return false;
}

std::set<std::string> contentTypesFromAcceptHeader(const std::string& header) {
    std::set<std::string> types;
    for (const auto& item : componentsSeparatedByString(header, ",")) {
        std::string type = item.substr(0, item.find(';'));
        type = stringByTrimmingWhitespaceAndNewlines(type);
        if (!type.empty()) types.insert(type);
    }
    return types;
}

std::string statusCodeListString(const StatusCodeSet& codes) {
    std::string out;
    for (auto it = codes.begin(); it != codes.end();) {
        const long first = *it;
        long last = first;
        ++it;
        while (it != codes.end() && *it == last + 1) last = *it++;
        if (!out.empty()) out += ",";
        out += first == last ? stringWithFormat("%lu", first) : stringWithFormat("%lu-%lu", first, last);
    }
    return out;
}

namespace {

// The platform's description of a set of strings.
std::string setDescription(const std::set<std::string>& items) {
    std::string out = "{(";
    bool first = true;
    for (const auto& item : items) {
        out += first ? "\n    " : ",\n    ";
        out += "\"" + item + "\"";
        first = false;
    }
    return out + "\n)}";
}

StatusCodeSet defaultStatusCodes() {
    StatusCodeSet codes;
    for (long code = 200; code < 300; ++code) codes.insert(code);
    return codes;
}

}  // namespace

AFHTTPOperationClass& AFHTTPRequestOperation::classObject() {
    static AFHTTPOperationClass cls("AFHTTPRequestOperation", nullptr,
                                    std::optional<StatusCodeSet>(defaultStatusCodes()),
                                    std::optional<std::set<std::string>>(std::nullopt));
    return cls;
}

// ---- the operation ----

AFHTTPRequestOperation::AFHTTPRequestOperation(URLRequest request) : AFURLConnectionOperation(std::move(request)) {}

std::shared_ptr<AFHTTPRequestOperation> AFHTTPRequestOperation::create(URLRequest request) {
    return std::make_shared<AFHTTPRequestOperation>(std::move(request));
}

std::shared_ptr<AFURLConnectionOperation> AFHTTPRequestOperation::makeWithRequest(const URLRequest& request) const {
    return std::make_shared<AFHTTPRequestOperation>(request);
}

bool AFHTTPRequestOperation::hasAcceptableStatusCode() const {
    auto response = this->response();
    if (!response) return false;
    auto* http = dynamic_cast<const HTTPURLResponse*>(response.get());
    const long status = http ? http->statusCode() : 200;
    auto codes = operationClass().acceptableStatusCodes();
    return !codes || codes->count(status) > 0;
}

bool AFHTTPRequestOperation::hasAcceptableContentType() const {
    auto response = this->response();
    if (!response) return false;
    const std::string type = response->MIMEType().value_or("application/octet-stream");
    auto types = operationClass().acceptableContentTypes();
    return !types || types->count(type) > 0;
}

Error AFHTTPRequestOperation::error() const {
    std::lock_guard lock(lock_);
    if (!HTTPError_ && response()) {
        const bool statusOK = hasAcceptableStatusCode();
        const bool typeOK = hasAcceptableContentType();
        const auto data = responseData();
        if (!statusOK || (!typeOK && data && !data->empty())) {
            auto response = this->response();
            auto request = this->request();
            Value info = Value::dictionary();
            if (auto text = responseString()) info.set(NSLocalizedRecoverySuggestionErrorKey, *text);
            if (request.url()) info.set(NSURLErrorFailingURLErrorKey, request.url()->absoluteString());
            info.set(kCorvexOperationFailingURLRequestErrorKey, request.toValue());
            info.set(kCorvexOperationFailingURLResponseErrorKey, response->toValue());
            const Bundle& bundle = Bundle::main();
            if (!statusOK) {
                auto* http = dynamic_cast<const HTTPURLResponse*>(response.get());
                const std::string format = "Expected status code in (%@), got %d";
                info.set(NSLocalizedDescriptionKey,
                         stringWithFormat(
                             bundle.localizedString(format, format, "Corvex"),
                             statusCodeListString(operationClass().acceptableStatusCodes().value_or(StatusCodeSet())),
                             http ? http->statusCode() : 200));
                HTTPError_ = Error(kCorvexErrorDomain, URLErrorBadServerResponse, std::move(info));
            } else {
                const std::string format = "Expected content type %@, got %@";
                info.set(
                    NSLocalizedDescriptionKey,
                    stringWithFormat(
                        bundle.localizedString(format, format, "Corvex"),
                        setDescription(operationClass().acceptableContentTypes().value_or(std::set<std::string>())),
                        response->MIMEType().value_or("application/octet-stream")));
                HTTPError_ = Error(kCorvexErrorDomain, URLErrorCannotDecodeContentData, std::move(info));
            }
        }
    }
    if (HTTPError_) return *HTTPError_;
    return AFURLConnectionOperation::error();
}

StringEncoding AFHTTPRequestOperation::determineResponseStringEncoding() const {
    auto response = this->response();
    auto* http = dynamic_cast<const HTTPURLResponse*>(response.get());
    const auto data = responseData();
    if (http && !http->textEncodingName() && data && !http->allHeaderFields().empty()) {
        if (auto type = http->valueForHTTPHeaderField("Content-Type")) {
            std::string trimmed = stringByTrimmingWhitespaceAndNewlines(*type);
            auto slash = trimmed.find('/');
            if (slash != std::string::npos && stringByTrimmingWhitespace(trimmed.substr(0, slash)) == "text")
                return NSISOLatin1StringEncoding;
        }
    }
    return AFURLConnectionOperation::determineResponseStringEncoding();
}

void AFHTTPRequestOperation::pause() {
    const std::int64_t offset = bytesWrittenToStream(*outputStream());
    URLRequest request = this->request();
    auto* http = dynamic_cast<const HTTPURLResponse*>(response().get());
    if (http)
        if (auto etag = http->valueForHTTPHeaderField("ETag")) request.setValueForHTTPHeaderField(*etag, "If-Range");
    request.setValueForHTTPHeaderField(stringWithFormat("bytes=%llu-", static_cast<unsigned long long>(offset)),
                                       "Range");
    setRequest(std::move(request));
    AFURLConnectionOperation::pause();
}

void AFHTTPRequestOperation::setSuccessCallbackQueue(std::shared_ptr<DispatchQueue> queue) {
    std::lock_guard lock(lock_);
    successCallbackQueue_ = std::move(queue);
}

void AFHTTPRequestOperation::setFailureCallbackQueue(std::shared_ptr<DispatchQueue> queue) {
    std::lock_guard lock(lock_);
    failureCallbackQueue_ = std::move(queue);
}

void AFHTTPRequestOperation::setCompletionBlockWithSuccess(SuccessBlock success, FailureBlock failure) {
    std::weak_ptr<Operation> weak = weak_from_this();
    setCompletionBlock([weak, success, failure] {
        auto self = std::static_pointer_cast<AFHTTPRequestOperation>(weak.lock());
        if (!self) return;
        std::shared_ptr<DispatchQueue> successQueue, failureQueue;
        {
            std::lock_guard lock(self->lock_);
            successQueue = self->successCallbackQueue_;
            failureQueue = self->failureCallbackQueue_;
        }
        auto deliver = [](const std::shared_ptr<DispatchQueue>& queue, std::function<void()> block) {
            if (queue)
                queue->async(std::move(block));
            else
                DispatchQueue::main().async(std::move(block));
        };
        const Error error = self->error();
        if (error) {
            if (failure) deliver(failureQueue, [self, failure, error] { failure(self, error); });
        } else if (success) {
            const auto data = self->responseData();
            deliver(successQueue, [self, success, data] { success(self, data); });
        }
    });
}

std::shared_ptr<DispatchQueue> AFHTTPRequestOperation::successCallbackQueue() const {
    std::lock_guard lock(lock_);
    return successCallbackQueue_;
}

std::shared_ptr<DispatchQueue> AFHTTPRequestOperation::failureCallbackQueue() const {
    std::lock_guard lock(lock_);
    return failureCallbackQueue_;
}

void AFHTTPRequestOperation::setCompletionBlockWithResponseObject(ResponseObjectSuccessBlock success,
                                                                  FailureBlock failure) {
    SuccessBlock onSuccess;
    if (success)
        onSuccess = [success](std::shared_ptr<AFHTTPRequestOperation> operation, const std::optional<Data>& data) {
            success(std::move(operation), std::any(data));
        };
    setCompletionBlockWithSuccess(std::move(onSuccess), std::move(failure));
}
