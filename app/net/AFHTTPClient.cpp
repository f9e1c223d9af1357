#include "app/net/AFHTTPClient.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

#include "app/net/AFImageRequestOperation.h"
#include "app/net/AFJSONRequestOperation.h"
#include "app/net/AFPropertyListRequestOperation.h"
#include "app/net/AFQueryStringPair.h"
#include "app/net/AFXMLRequestOperation.h"
#include "platform/foundation/Base64.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/JSON.h"
#include "platform/foundation/Languages.h"
#include "platform/foundation/PropertyList.h"
#include "platform/ui/Screen.h"

namespace {

struct ClassEntry {
    const AFHTTPOperationClass* cls;
    HTTPOperationFactory factory;
};

std::mutex& classTableMutex() {
    static std::mutex mutex;
    return mutex;
}

// The classes a name resolves to.
std::map<std::string, ClassEntry>& classTable() {
    static auto* table = new std::map<std::string, ClassEntry>{
        {"AFHTTPRequestOperation",
         {&AFHTTPRequestOperation::classObject(),
          [](const URLRequest& r) { return AFHTTPRequestOperation::create(r); }}},
        {"AFJSONRequestOperation",
         {&AFJSONRequestOperation::classObject(),
          [](const URLRequest& r) { return AFJSONRequestOperation::create(r); }}},
        {"AFPropertyListRequestOperation",
         {&AFPropertyListRequestOperation::classObject(),
          [](const URLRequest& r) { return AFPropertyListRequestOperation::create(r); }}},
        {"AFXMLRequestOperation",
         {&AFXMLRequestOperation::classObject(), [](const URLRequest& r) { return AFXMLRequestOperation::create(r); }}},
        {"AFImageRequestOperation",
         {&AFImageRequestOperation::classObject(),
          [](const URLRequest& r) { return AFImageRequestOperation::create(r); }}},
    };
    return *table;
}

std::optional<ClassEntry> classNamed(const std::string& name) {
    std::lock_guard lock(classTableMutex());
    auto it = classTable().find(name);
    if (it == classTable().end()) return std::nullopt;
    return it->second;
}

bool isHTTPOperationClass(const AFHTTPOperationClass& cls) {
    for (const AFHTTPOperationClass* c = &cls; c; c = c->superclass())
        if (c == &AFHTTPRequestOperation::classObject()) return true;
    return false;
}

URL withTrailingSlash(const URL& url) {
    const std::string absolute = url.absoluteString();
    if (!url.path().empty() && absolute.back() != '/')
        if (auto slashed = URL::URLWithString(absolute + "/")) return *slashed;
    return url;
}

std::string acceptLanguage() {
    std::string out;
    int index = 0;
    for (const auto& language : Languages::preferredLanguages()) {
        const float q = 1.0f - static_cast<float>(index) * 0.1f;
        char item[64];
        std::snprintf(item, sizeof item, ";q=%0.1g", static_cast<double>(q));
        if (!out.empty()) out += ", ";
        out += language + item;
        ++index;
        if (q <= 0.5f) break;
    }
    return out;
}

std::optional<std::string> userAgent() {
    const Bundle& bundle = Bundle::main();
    std::string name = bundle.objectForInfoDictionaryKey("CFBundleExecutable").stringValue();
    if (name.empty()) name = bundle.bundleIdentifier();
    if (name.empty()) return std::nullopt;
    const double scale = Screen::main().scale() > 0 ? Screen::main().scale() : 1.0;
    char scaleText[32];
    std::snprintf(scaleText, sizeof scaleText, "%0.2f", scale);
    std::string text = stringWithFormat("%@/%@ (%@; iOS %@; Scale/%@)", name,
                                        bundle.objectForInfoDictionaryKey("CFBundleVersion").description(),
                                        DeviceInfo::model(), DeviceInfo::systemVersion(), std::string(scaleText));
    if (!Languages::isASCII(text))
        if (auto latin = Languages::stringByApplyingTransform(text, "Any-Latin; Latin-ASCII")) text = *latin;
    return text;
}

void logSerialisationFailure(const char* method, const Error& error) {
    std::fprintf(stderr, "%s\n", stringWithFormat("%@ %@: %@", "AFHTTPClient", method, error.description()).c_str());
}

}  // namespace

void registerHTTPOperationClassFactory(const AFHTTPOperationClass& cls, HTTPOperationFactory factory) {
    std::lock_guard lock(classTableMutex());
    classTable()[cls.name()] = {&cls, std::move(factory)};
}

// ---- making a client ----

AFHTTPClient::AFHTTPClient() {
    throw NamedException(
        "NSInternalInconsistencyException",
        stringWithFormat("%@ Failed to call designated initializer. Invoke `initWithBaseURL:` instead.",
                         "AFHTTPClient"));
}

AFHTTPClient::AFHTTPClient(const URL& baseURL) : baseURL_(withTrailingSlash(baseURL)) {
    setDefaultHeader("Accept-Language", acceptLanguage());
    if (auto agent = userAgent()) setDefaultHeader("User-Agent", *agent);
    operationQueue_ = OperationQueue::create();
    operationQueue_->setMaxConcurrentOperationCount(OperationQueue::kDefaultMaxConcurrentOperationCount);
}

std::shared_ptr<AFHTTPClient> AFHTTPClient::clientWithBaseURL(const URL& baseURL) {
    return std::make_shared<AFHTTPClient>(baseURL);
}

// ---- operation classes ----

bool AFHTTPClient::registerHTTPOperationClass(const AFHTTPOperationClass& cls) {
    if (!isHTTPOperationClass(cls)) return false;
    unregisterHTTPOperationClass(cls);
    classNames_.insert(classNames_.begin(), cls.name());
    return true;
}

void AFHTTPClient::unregisterHTTPOperationClass(const AFHTTPOperationClass& cls) {
    classNames_.erase(std::remove(classNames_.begin(), classNames_.end(), cls.name()), classNames_.end());
}

// ---- default headers ----

std::optional<std::string> AFHTTPClient::defaultValueForHeader(const std::string& header) const {
    auto it = defaultHeaders_.find(header);
    if (it == defaultHeaders_.end()) return std::nullopt;
    return it->second;
}

void AFHTTPClient::setDefaultHeader(const std::string& header, std::optional<std::string> value) {
    if (value)
        defaultHeaders_[header] = *value;
    else
        defaultHeaders_.erase(header);
}

void AFHTTPClient::setAuthorizationHeaderWithUsername(const std::string& username, const std::string& password) {
    setDefaultHeader("Authorization", "Basic " + Base64::encode(stringWithFormat("%@:%@", username, password)));
}

void AFHTTPClient::setAuthorizationHeaderWithToken(const std::string& token) {
    setDefaultHeader("Authorization", stringWithFormat("Token token=\"%@\"", token));
}

void AFHTTPClient::clearAuthorizationHeader() {
    setDefaultHeader("Authorization", std::nullopt);
}

// ---- requests ----

URLRequest AFHTTPClient::requestWithMethod(const std::string& method, const std::optional<std::string>& path,
                                           const Value& parameters) {
    const std::string relative = path.value_or("");
    URLRequest request(URL::URLWithString(relative, baseURL_));
    request.setHTTPMethod(method);
    for (const auto& [name, value] : defaultHeaders_) request.setValueForHTTPHeaderField(value, name);
    if (parameters.isNull()) return request;

    if (method == "GET" || method == "HEAD" || method == "DELETE") {
        if (request.url()) {
            const std::string query = queryStringFromParameters(parameters, stringEncoding_);
            const std::string absolute =
                request.url()->absoluteString() + (relative.find('?') == std::string::npos ? "?" : "&") + query;
            request.setURL(URL::URLWithString(absolute));
        }
        return request;
    }
    const std::string charset = IANACharsetNameFromEncoding(stringEncoding_);
    switch (parameterEncoding_) {
        case FormURLParameterEncoding:
            request.setValueForHTTPHeaderField(
                stringWithFormat("application/x-www-form-urlencoded; charset=%@", charset), "Content-Type");
            request.setHTTPBody(
                encodeString(queryStringFromParameters(parameters, stringEncoding_), stringEncoding_).value_or(Data()));
            break;
        case JSONParameterEncoding: {
            request.setValueForHTTPHeaderField(stringWithFormat("application/json; charset=%@", charset),
                                               "Content-Type");
            Error error;
            auto body = JSONSerialization::dataWithJSONObject(parameters, 0, &error);
            if (!body) logSerialisationFailure("requestWithMethod:path:parameters:", error);
            request.setHTTPBody(body.value_or(Data()));
            break;
        }
        case PropertyListParameterEncoding: {
            request.setValueForHTTPHeaderField(stringWithFormat("application/x-plist; charset=%@", charset),
                                               "Content-Type");
            Error error;
            auto body = PropertyList::dataFromValue(parameters, PropertyList::Format::XML, &error);
            if (!body) logSerialisationFailure("requestWithMethod:path:parameters:", error);
            request.setHTTPBody(body.value_or(Data()));
            break;
        }
        default:
            break;
    }
    return request;
}

URLRequest AFHTTPClient::multipartFormRequestWithMethod(const std::string& method,
                                                        const std::optional<std::string>& path, const Value& parameters,
                                                        const MultipartBlock& block) {
    AFStreamingMultipartFormData formData(requestWithMethod(method, path), stringEncoding_);
    if (!parameters.isNull()) {
        for (const auto& pair : queryStringPairsFromDictionary(parameters)) {
            std::optional<Data> data;
            if (const Data* bytes = pair.value.asData())
                data = *bytes;
            else if (pair.value.isNull())
                data = Data();
            else
                data = encodeString(pair.value.description(), stringEncoding_);
            if (data) formData.appendPartWithFormData(std::move(*data), pair.field.description());
        }
    }
    if (block) block(formData);
    return formData.requestByFinalizingMultipartFormData();
}

// ---- operations ----

std::shared_ptr<AFHTTPRequestOperation> AFHTTPClient::HTTPRequestOperationWithRequest(const URLRequest& request,
                                                                                      SuccessBlock success,
                                                                                      FailureBlock failure) {
    std::shared_ptr<AFHTTPRequestOperation> operation;
    for (const auto& name : classNames_) {
        auto entry = classNamed(name);
        if (!entry || !entry->cls->canProcessRequest(request)) continue;
        operation = entry->factory ? entry->factory(request) : nullptr;
        break;
    }
    if (!operation) operation = AFHTTPRequestOperation::create(request);
    operation->setCompletionBlockWithResponseObject(std::move(success), std::move(failure));
    operation->setCredential(defaultCredential_);
    operation->setSSLPinningMode(pinningMode_);
    operation->setAllowsInvalidSSLCertificate(allowsInvalidSSLCertificate_);
    return operation;
}

void AFHTTPClient::enqueueHTTPRequestOperation(const std::shared_ptr<AFHTTPRequestOperation>& operation) {
    operationQueue_->addOperation(operation);
}

void AFHTTPClient::cancelAllHTTPOperationsWithMethod(const std::optional<std::string>& method,
                                                     const std::string& path) {
    const URLRequest probe = requestWithMethod(method.value_or("GET"), path);
    const std::string wanted = probe.url() ? probe.url()->path() : std::string();
    for (const auto& op : operationQueue_->operations()) {
        auto http = std::dynamic_pointer_cast<AFHTTPRequestOperation>(op);
        if (!http) continue;
        const URLRequest request = http->request();
        if (!request.url() || request.url()->path() != wanted) continue;
        if (method && request.HTTPMethod() != *method) continue;
        http->cancel();
    }
}

void AFHTTPClient::enqueueBatchOfHTTPRequestOperationsWithRequests(const std::vector<URLRequest>& requests,
                                                                   ProgressBlock progress,
                                                                   BatchCompletionBlock completion) {
    std::vector<std::shared_ptr<AFHTTPRequestOperation>> operations;
    for (const auto& request : requests)
        operations.push_back(HTTPRequestOperationWithRequest(request, nullptr, nullptr));
    enqueueBatchOfHTTPRequestOperations(operations, std::move(progress), std::move(completion));
}

void AFHTTPClient::enqueueBatchOfHTTPRequestOperations(
    const std::vector<std::shared_ptr<AFHTTPRequestOperation>>& operations, ProgressBlock progress,
    BatchCompletionBlock completion) {
    DispatchGroup group;
    auto batch = BlockOperation::create([group, operations, completion]() mutable {
        group.notify(DispatchQueue::main(), [operations, completion] {
            if (completion) completion(operations);
        });
    });
    for (const auto& operation : operations) {
        std::function<void()> original = operation->completionBlock();
        std::weak_ptr<AFHTTPRequestOperation> weak = operation;
        operation->setCompletionBlock([weak, original, group, operations, progress]() mutable {
            auto self = weak.lock();
            auto queue = self ? self->successCallbackQueue() : nullptr;
            auto step = [original, group, operations, progress]() mutable {
                if (original) original();
                const std::size_t finished = static_cast<std::size_t>(std::count_if(
                    operations.begin(), operations.end(), [](const auto& op) { return op->isFinished(); }));
                if (progress) progress(finished, operations.size());
                group.leave();
            };
            if (queue)
                queue->async(group, std::move(step));
            else
                DispatchQueue::main().async(group, std::move(step));
        });
        group.enter();
        batch->addDependency(operation);
    }
    std::vector<std::shared_ptr<Operation>> all(operations.begin(), operations.end());
    operationQueue_->addOperations(all, false);
    operationQueue_->addOperation(batch);
}

void AFHTTPClient::enqueue(const std::string& method, const std::string& path, const Value& parameters,
                           SuccessBlock success, FailureBlock failure) {
    enqueueHTTPRequestOperation(HTTPRequestOperationWithRequest(requestWithMethod(method, path, parameters),
                                                                std::move(success), std::move(failure)));
}

void AFHTTPClient::getPath(const std::string& path, const Value& parameters, SuccessBlock success,
                           FailureBlock failure) {
    enqueue("GET", path, parameters, std::move(success), std::move(failure));
}
void AFHTTPClient::postPath(const std::string& path, const Value& parameters, SuccessBlock success,
                            FailureBlock failure) {
    enqueue("POST", path, parameters, std::move(success), std::move(failure));
}
void AFHTTPClient::putPath(const std::string& path, const Value& parameters, SuccessBlock success,
                           FailureBlock failure) {
    enqueue("PUT", path, parameters, std::move(success), std::move(failure));
}
void AFHTTPClient::deletePath(const std::string& path, const Value& parameters, SuccessBlock success,
                              FailureBlock failure) {
    enqueue("DELETE", path, parameters, std::move(success), std::move(failure));
}
void AFHTTPClient::patchPath(const std::string& path, const Value& parameters, SuccessBlock success,
                             FailureBlock failure) {
    enqueue("PATCH", path, parameters, std::move(success), std::move(failure));
}

// ---- description, coding, copying ----

std::string AFHTTPClient::description() const {
    Value headers = Value::dictionary();
    for (const auto& [name, value] : defaultHeaders_) headers.set(name, value);
    Value names = Value::array();
    for (const auto& name : classNames_) names.append(name);
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    char queue[32];
    std::snprintf(queue, sizeof queue, "%p", static_cast<const void*>(operationQueue_.get()));
    return stringWithFormat(
        "<%@: %@, baseURL: %@, defaultHeaders: %@, registeredOperationClasses: %@, operationQueue: %@>", "AFHTTPClient",
        std::string(address), baseURL_.absoluteString(), headers.description(), names.description(),
        stringWithFormat("<OperationQueue: %@>", std::string(queue)));
}

void AFHTTPClient::encodeWithCoder(Value& coder) const {
    coder.set("baseURL", baseURL_.absoluteString());
    coder.set("stringEncoding", static_cast<unsigned long long>(stringEncoding_));
    coder.set("parameterEncoding", parameterEncoding_);
    Value names = Value::array();
    for (const auto& name : classNames_) names.append(name);
    coder.set("registeredHTTPOperationClassNames", names);
    Value headers = Value::dictionary();
    for (const auto& [name, value] : defaultHeaders_) headers.set(name, value);
    coder.set("defaultHeaders", headers);
}

std::shared_ptr<AFHTTPClient> AFHTTPClient::decodeWithCoder(const Value& coder) {
    auto url = URL::URLWithString(coder["baseURL"].stringValue());
    if (!url) return nullptr;
    auto client = clientWithBaseURL(*url);
    client->stringEncoding_ = coder["stringEncoding"].unsignedValue(NSUTF8StringEncoding);
    client->parameterEncoding_ = static_cast<int>(coder["parameterEncoding"].integerValue());
    client->classNames_.clear();
    if (const auto* names = coder["registeredHTTPOperationClassNames"].asArray())
        for (const auto& name : *names) client->classNames_.push_back(name.stringValue());
    client->defaultHeaders_.clear();
    if (const auto* headers = coder["defaultHeaders"].asDictionary())
        for (const auto& [name, value] : *headers) client->defaultHeaders_[name] = value.stringValue();
    return client;
}

std::shared_ptr<AFHTTPClient> AFHTTPClient::copy() const {
    auto client = clientWithBaseURL(baseURL_);
    client->stringEncoding_ = stringEncoding_;
    client->parameterEncoding_ = parameterEncoding_;
    client->classNames_ = classNames_;
    client->defaultHeaders_ = defaultHeaders_;
    return client;
}
