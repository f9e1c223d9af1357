#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/net/ServerTrust.h"
#include "platform/net/URLRequest.h"

class RunLoop;
class URLConnection;

// Authentication methods of a protection space.
inline constexpr const char* NSURLAuthenticationMethodServerTrust = "NSURLAuthenticationMethodServerTrust";
inline constexpr const char* NSURLAuthenticationMethodHTTPBasic = "NSURLAuthenticationMethodHTTPBasic";
inline constexpr const char* NSURLAuthenticationMethodDefault = "NSURLAuthenticationMethodDefault";

// A credential: a user and password, or the acceptance of a server trust.
class URLCredential {
public:
    static std::shared_ptr<URLCredential> credentialWithUser(std::string user, std::string password);
    static std::shared_ptr<URLCredential> credentialForTrust(std::shared_ptr<ServerTrust> trust);

    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    const std::shared_ptr<ServerTrust>& serverTrust() const { return trust_; }

private:
    std::string user_, password_;
    std::shared_ptr<ServerTrust> trust_;
};

// What a challenge is about: host, port, scheme, the authentication method
// and, for server trust, the server's trust.
struct URLProtectionSpace {
    std::string host;
    int port = 0;
    std::string protocol;
    std::string authenticationMethod;
    std::shared_ptr<ServerTrust> serverTrust;

    // Whether the URL is of this space's scheme, host and port.
    bool isOriginOf(const URL& url) const;
};

// A challenge from the connection. The delegate answers it before its
// delegate method returns, through one of the sender's methods; a challenge
// left unanswered gets the default handling.
class URLAuthenticationChallenge {
public:
    enum class Disposition { Unanswered, UseCredential, ContinueWithoutCredential, Cancel, PerformDefaultHandling };

    URLAuthenticationChallenge(URLProtectionSpace space, int previousFailureCount)
        : space_(std::move(space)), previousFailureCount_(previousFailureCount) {}

    const URLProtectionSpace& protectionSpace() const { return space_; }
    int previousFailureCount() const { return previousFailureCount_; }

    // The sender's answers (useCredential:forAuthenticationChallenge: and the rest).
    void useCredential(std::shared_ptr<URLCredential> credential);
    void continueWithoutCredential();
    void cancel();
    void performDefaultHandling();

    Disposition disposition() const { return disposition_; }
    const std::shared_ptr<URLCredential>& credential() const { return credential_; }

private:
    URLProtectionSpace space_;
    int previousFailureCount_;
    Disposition disposition_ = Disposition::Unanswered;
    std::shared_ptr<URLCredential> credential_;
};

// The delegate of a connection; every call comes on the run loop the
// connection is scheduled in. Defaults behave as a delegate that leaves the
// method out.
class URLConnectionDelegate {
public:
    virtual ~URLConnectionDelegate() = default;
    virtual void connectionWillSendRequestForAuthenticationChallenge(URLConnection&, URLAuthenticationChallenge& c) {
        c.performDefaultHandling();
    }
    virtual bool connectionShouldUseCredentialStorage(URLConnection&) { return true; }
    // A stream that gives the body again from its start, or nullptr to stop.
    virtual std::shared_ptr<InputStream> connectionNeedNewBodyStream(URLConnection&, const URLRequest&) {
        return nullptr;
    }
    // Before each request is sent: the first with no redirect response, then
    // one per redirect. nullopt stops there (a redirect's response then counts
    // as the response).
    virtual std::optional<URLRequest> connectionWillSendRequest(URLConnection&, const URLRequest& request,
                                                                const std::shared_ptr<URLResponse>&) {
        return request;
    }
    virtual void connectionDidSendBodyData(URLConnection&, std::int64_t bytesWritten, std::int64_t totalBytesWritten,
                                           std::int64_t totalBytesExpectedToWrite) {
        (void)bytesWritten, (void)totalBytesWritten, (void)totalBytesExpectedToWrite;
    }
    virtual void connectionDidReceiveResponse(URLConnection&, const std::shared_ptr<URLResponse>&) {}
    virtual void connectionDidReceiveData(URLConnection&, const Data&) {}
    virtual void connectionDidFinishLoading(URLConnection&) {}
    virtual void connectionDidFailWithError(URLConnection&, const Error&) {}
    // A response that could be cached; there is no cache here, so the answer
    // is only asked for (nullptr declines).
    virtual std::shared_ptr<URLResponse> connectionWillCacheResponse(URLConnection&,
                                                                     const std::shared_ptr<URLResponse>& proposed) {
        return proposed;
    }
};

// Whether two URLs name the same origin: scheme and host (any case) and port
// (the scheme's default when none is given).
bool isSameOrigin(const URL& a, const URL& b);

// A URL connection (NSURLConnection) over libcurl's multi interface, run by
// the run loop it is scheduled in: curl's sockets become FileDescriptorSources
// of that loop and curl's timer a timerfd source (real time, since curl keeps
// real time whatever clock the process shows). One curl multi handle serves
// every connection of a thread.
//
// - http and https only; curl's own redirect following is off: the delegate
//   decides each redirect; a redirected POST turns into GET for 301, 302 and
//   303 and keeps its body for 307 and 308, for which a body stream is asked
//   for again (connectionNeedNewBodyStream).
// - Server trust: every TLS handshake asks the delegate with a server-trust
//   challenge (chain in DER, the URL's host); the default handling accepts a
//   trust that evaluates to Proceed or Unspecified. A refused trust fails
//   with -1202 (default handling) or -1012 (the delegate cancelled). TLS
//   sessions and connections are not reused, so every request is judged.
// - HTTP Basic challenges go to the delegate as well (a 401 naming Basic).
//   A credential given for a challenge, and an "Authorization" header of the
//   request, are sent only to the origin they were meant for: a redirect to
//   another origin drops the header (before the delegate sees the request)
//   and the credential.
// - The request's time-out interval bounds the connect and every wait for
//   data; it fails with -1001.
// - Receiving can be paused (for a writer that cannot keep up) and resumed.
//
// Failures are URL errors (platform/net/URLError.h). After cancel() the
// delegate is told nothing more.
class URLConnection : public std::enable_shared_from_this<URLConnection> {
public:
    static std::shared_ptr<URLConnection> create(URLRequest request, std::shared_ptr<URLConnectionDelegate> delegate);
    ~URLConnection();
    URLConnection(const URLConnection&) = delete;
    URLConnection& operator=(const URLConnection&) = delete;

    // Before start: the loop whose thread runs the connection (the starting
    // thread's loop when none was given) and the modes it runs in.
    void scheduleInRunLoop(RunLoop& loop, const std::string& mode);
    void start();
    // From any thread.
    void cancel();
    // On the connection's loop.
    void setReceivingPaused(bool paused);

    const URLRequest& originalRequest() const { return originalRequest_; }
    URLRequest currentRequest() const;

private:
    friend class CurlDriver;
    friend struct CurlCallbacks;
    struct Transfer;
    URLConnection(URLRequest request, std::shared_ptr<URLConnectionDelegate> delegate);

    std::shared_ptr<URLConnectionDelegate> delegateIfRunning() const;
    void performOnLoop(std::function<void()> block);
    void begin(URLRequest request, bool bodyAgain);
    void headersComplete();
    void transferDone(int curlCode);
    void finishWithError(const Error& error);
    void dropTransfer();
    // curl callbacks
    std::size_t onHeader(const char* data, std::size_t size);
    std::size_t onWrite(const char* data, std::size_t size);
    std::size_t onRead(char* buffer, std::size_t size);
    int onVerify(void* storeContext);

    URLRequest originalRequest_;
    mutable std::mutex mutex_;
    URLRequest current_;
    std::shared_ptr<URLConnectionDelegate> delegate_;
    std::weak_ptr<RunLoop> loop_;
    std::vector<std::string> modes_;
    std::atomic<bool> cancelled_{false};
    bool started_ = false;
    bool done_ = false;
    int redirects_ = 0;
    int authFailures_ = 0;
    std::shared_ptr<URLCredential> credential_;
    std::optional<URL> credentialURL_;  // where the challenge that gave the credential came from
    std::unique_ptr<Transfer> transfer_;
    std::shared_ptr<URLConnection> selfWhileRunning_;
};
