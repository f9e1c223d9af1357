#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/net/URLError.h"
#include "platform/net/URLRequest.h"

// The URL loading system: requests are answered by protocol classes.
// A protocol class says which requests it can answer (canInitWithRequest),
// may rewrite a request into its canonical form, and answers one request per
// instance: startLoading and stopLoading run on the loading thread, and the
// instance reports through its client (a response with its caching policy,
// data, then finished, or a failure). Classes are consulted newest
// registration first; a class is registered at most once, by name.

// Requests and responses are those of the HTTP client (URLRequest.h).

enum class URLCacheStoragePolicy { Allowed, AllowedInMemoryOnly, NotAllowed };

class URLProtocol;

// What a loading protocol reports to; called on the loading thread.
class URLProtocolClient {
public:
    virtual ~URLProtocolClient() = default;
    virtual void urlProtocolDidReceiveResponse(URLProtocol& protocol, const URLResponse& response,
                                               URLCacheStoragePolicy policy) = 0;
    virtual void urlProtocolDidLoadData(URLProtocol& protocol, const Data& data) = 0;
    virtual void urlProtocolDidFinishLoading(URLProtocol& protocol) = 0;
    virtual void urlProtocolDidFailWithError(URLProtocol& protocol, const Error& error) = 0;
};

class URLProtocol {
public:
    // A registered protocol class: its name and its three class methods.
    struct ProtocolClass {
        std::string name;
        std::function<bool(const URLRequest&)> canInitWithRequest;
        std::function<URLRequest(const URLRequest&)> canonicalRequestForRequest;
        std::function<std::shared_ptr<URLProtocol>(const URLRequest&, std::shared_ptr<URLProtocolClient>)> make;
    };

    // Registers the class; false (and nothing changes) when one of that name is registered.
    static bool registerClass(ProtocolClass protocolClass);
    // For a class T with static canInitWithRequest and canonicalRequestForRequest
    // and a constructor (request, client), registered under `name`.
    template <class T>
    static bool registerClass(const std::string& name) {
        return registerClass(ProtocolClass{
            name, [](const URLRequest& r) { return T::canInitWithRequest(r); },
            [](const URLRequest& r) { return T::canonicalRequestForRequest(r); },
            [](const URLRequest& r, std::shared_ptr<URLProtocolClient> c) -> std::shared_ptr<URLProtocol> {
                return std::make_shared<T>(r, std::move(c));
            }});
    }
    static void unregisterClass(const std::string& name);
    // The names of the registered classes, newest first (the order they are asked in).
    static std::vector<std::string> registeredClassNames();

    URLProtocol(URLRequest request, std::shared_ptr<URLProtocolClient> client)
        : request_(std::move(request)), client_(std::move(client)) {}
    virtual ~URLProtocol() = default;

    const URLRequest& request() const { return request_; }
    const std::shared_ptr<URLProtocolClient>& client() const { return client_; }
    virtual void startLoading() = 0;
    virtual void stopLoading() = 0;

private:
    URLRequest request_;
    std::shared_ptr<URLProtocolClient> client_;
};

// One request on its way through the loading system.
class URLLoadingTask {
public:
    // The protocol answering it, null when no class could.
    const std::shared_ptr<URLProtocol>& protocol() const { return protocol_; }
    // Asks the protocol to stop loading (on the loading thread), once.
    void cancel();

private:
    friend class URLLoadingSystem;
    std::shared_ptr<URLProtocol> protocol_;
    bool cancelled_ = false;
};

class URLLoadingSystem {
public:
    // No registered class takes the request ("NSURLErrorDomain").
    static constexpr std::int64_t kUnsupportedURLErrorCode = URLErrorUnsupportedURL;

    // Finds the newest registered class that can answer the request, makes
    // an instance for its canonical form and starts loading on the loading
    // thread. Without one, the client is told of the failure on that thread.
    static std::shared_ptr<URLLoadingTask> load(const URLRequest& request, std::shared_ptr<URLProtocolClient> client);
    // Waits until everything given to the loading thread so far has run.
    static void waitForLoadingThread();
};
