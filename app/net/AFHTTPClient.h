#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/net/AFHTTPRequestOperation.h"
#include "app/net/AFStreamingMultipartFormData.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"

enum ParameterEncoding { FormURLParameterEncoding = 0, JSONParameterEncoding = 1, PropertyListParameterEncoding = 2 };

// How an operation class named in the client's list is made (the name
// resolving to a class). The HTTP operation and the four decoding operations
// are known; other classes make themselves known here before they are
// registered with a client.
using HTTPOperationFactory = std::function<std::shared_ptr<AFHTTPRequestOperation>(const URLRequest&)>;
void registerHTTPOperationClassFactory(const AFHTTPOperationClass& cls, HTTPOperationFactory factory);

// The entry point for talking to a web service: a base URL (a "/" is added to
// one with a path, so that relative paths resolve below it), default headers
// ("Accept-Language" from the user's preferred languages, "User-Agent" from
// the app and the device, authorisation), a parameter encoding and an
// operation queue. It builds requests relative to the base URL, with
// parameters as a query string (GET, HEAD, DELETE) or a form, JSON or XML
// property-list body, and multipart requests with a streamed body; picks the
// registered operation class that can process a request (the latest
// registered first); enqueues single operations and batches.
//
// Made with create() (plain construction without a base URL is refused with
// the platform's internal-inconsistency exception, as `init` is).
class AFHTTPClient : public std::enable_shared_from_this<AFHTTPClient> {
public:
    using SuccessBlock = AFHTTPRequestOperation::ResponseObjectSuccessBlock;
    using FailureBlock = AFHTTPRequestOperation::FailureBlock;
    using ProgressBlock =
        std::function<void(std::size_t numberOfFinishedOperations, std::size_t totalNumberOfOperations)>;
    using BatchCompletionBlock = std::function<void(const std::vector<std::shared_ptr<AFHTTPRequestOperation>>&)>;
    using MultipartBlock = std::function<void(AFStreamingMultipartFormData&)>;

    // `init`: raises NSInternalInconsistencyException.
    AFHTTPClient();
    explicit AFHTTPClient(const URL& baseURL);
    static std::shared_ptr<AFHTTPClient> clientWithBaseURL(const URL& baseURL);

    const URL& baseURL() const { return baseURL_; }
    StringEncoding stringEncoding() const { return stringEncoding_; }
    void setStringEncoding(StringEncoding encoding) { stringEncoding_ = encoding; }
    int parameterEncoding() const { return parameterEncoding_; }
    void setParameterEncoding(int encoding) { parameterEncoding_ = encoding; }
    const std::vector<std::string>& registeredHTTPOperationClassNames() const { return classNames_; }
    const std::map<std::string, std::string>& defaultHeaders() const { return defaultHeaders_; }
    std::shared_ptr<URLCredential> defaultCredential() const { return defaultCredential_; }
    void setDefaultCredential(std::shared_ptr<URLCredential> credential) { defaultCredential_ = std::move(credential); }
    const std::shared_ptr<OperationQueue>& operationQueue() const { return operationQueue_; }
    PinningMode defaultSSLPinningMode() const { return pinningMode_; }
    void setDefaultSSLPinningMode(PinningMode mode) { pinningMode_ = mode; }
    bool allowsInvalidSSLCertificate() const { return allowsInvalidSSLCertificate_; }
    void setAllowsInvalidSSLCertificate(bool value) { allowsInvalidSSLCertificate_ = value; }

    // NO for a class that is not the HTTP operation or below it.
    bool registerHTTPOperationClass(const AFHTTPOperationClass& cls);
    void unregisterHTTPOperationClass(const AFHTTPOperationClass& cls);

    std::optional<std::string> defaultValueForHeader(const std::string& header) const;
    void setDefaultHeader(const std::string& header, std::optional<std::string> value);
    void setAuthorizationHeaderWithUsername(const std::string& username, const std::string& password);
    void setAuthorizationHeaderWithToken(const std::string& token);
    void clearAuthorizationHeader();

    // Parameters: a dictionary, or null for none.
    URLRequest requestWithMethod(const std::string& method, const std::optional<std::string>& path,
                                 const Value& parameters = Value());
    URLRequest multipartFormRequestWithMethod(const std::string& method, const std::optional<std::string>& path,
                                              const Value& parameters, const MultipartBlock& block);

    std::shared_ptr<AFHTTPRequestOperation> HTTPRequestOperationWithRequest(const URLRequest& request,
                                                                            SuccessBlock success, FailureBlock failure);
    void enqueueHTTPRequestOperation(const std::shared_ptr<AFHTTPRequestOperation>& operation);
    // A nullopt method cancels operations of every method on that path.
    void cancelAllHTTPOperationsWithMethod(const std::optional<std::string>& method, const std::string& path);

    void enqueueBatchOfHTTPRequestOperationsWithRequests(const std::vector<URLRequest>& requests,
                                                         ProgressBlock progress, BatchCompletionBlock completion);
    void enqueueBatchOfHTTPRequestOperations(const std::vector<std::shared_ptr<AFHTTPRequestOperation>>& operations,
                                             ProgressBlock progress, BatchCompletionBlock completion);

    void getPath(const std::string& path, const Value& parameters, SuccessBlock success, FailureBlock failure);
    void postPath(const std::string& path, const Value& parameters, SuccessBlock success, FailureBlock failure);
    void putPath(const std::string& path, const Value& parameters, SuccessBlock success, FailureBlock failure);
    void deletePath(const std::string& path, const Value& parameters, SuccessBlock success, FailureBlock failure);
    void patchPath(const std::string& path, const Value& parameters, SuccessBlock success, FailureBlock failure);

    std::string description() const;

    // Coding under "baseURL", "stringEncoding", "parameterEncoding",
    // "registeredHTTPOperationClassNames" and "defaultHeaders"; decoding
    // starts from the base URL. A copy has the same base URL, encodings,
    // class names and headers.
    void encodeWithCoder(Value& coder) const;
    static std::shared_ptr<AFHTTPClient> decodeWithCoder(const Value& coder);
    std::shared_ptr<AFHTTPClient> copy() const;

private:
    void enqueue(const std::string& method, const std::string& path, const Value& parameters, SuccessBlock success,
                 FailureBlock failure);

    URL baseURL_;
    StringEncoding stringEncoding_ = NSUTF8StringEncoding;
    int parameterEncoding_ = FormURLParameterEncoding;
    std::vector<std::string> classNames_;
    std::map<std::string, std::string> defaultHeaders_;
    std::shared_ptr<URLCredential> defaultCredential_;
    std::shared_ptr<OperationQueue> operationQueue_;
    PinningMode pinningMode_ = PinningModeNone;
    bool allowsInvalidSSLCertificate_ = false;
};
