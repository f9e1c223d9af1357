#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/Value.h"
#include "platform/net/Stream.h"
#include "platform/net/StringEncoding.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLRequest.h"

class RunLoop;

// Posted on the main queue, with the operation as object, when a run begins
// on the network thread, and when the operation finishes or is paused while
// it executes.
inline constexpr const char* kCorvexOperationDidStartNotification = "com.velotide.networking.operation.start";
inline constexpr const char* kCorvexOperationDidFinishNotification = "com.velotide.networking.operation.finish";

// The server-trust modes of a connection operation.
enum PinningMode { PinningModeNone = 0, PinningModePublicKey = 1, PinningModeCertificate = 2 };

// The base of every HTTP request of the app: an asynchronous operation that
// runs one URL connection for one request on the network thread "Corvex"
// (one thread with its own run loop serves every connection of the process),
// streams the response body into an output stream (memory unless the caller
// sets one), reports upload and download progress on the main queue, answers
// authentication and server-trust challenges, and can be cancelled, paused and
// resumed.
//
// State: -1 paused, 1 ready, 2 executing, 3 finished, observable under the key
// paths "isPaused", "isReady", "isExecuting", "isFinished". Allowed changes:
// ready -> paused | executing (| finished when cancelled); executing -> paused
// | finished; paused -> ready; others are ignored. A change announces
// will-change for the new key path, then the old; did-change for the old, then
// the new. Cancelling is a flag: a cancelled operation still passes through
// executing to finished, with error NSURLErrorDomain -999 ("cancelled").
//
// Server trust: mode 0 accepts what the system's trust evaluation accepts (or
// anything with allowsInvalidSSLCertificate). In the pinning modes the chain
// and host must verify first, the pinned certificates counting as anchors (so
// a self-signed pinned server works), and then a pinned certificate (mode 2)
// or public key (mode 1) must be part of the verified chain: a server that
// appends a pinned certificate to a chain it cannot complete is refused.
//
// Body bytes are never dropped: what the output stream cannot take at once is
// kept, receiving pauses, and the rest is written as the stream reports space;
// a stream that fails a write fails the operation with the stream's error. A
// stream that takes nothing must report space again (a space-available event
// on the network thread's loop); until it does, the operation waits.
//
// Received bodies are bounded: a response whose announced length or whose
// bytes (chunked or not, over every resumed part) pass
// maximumResponseBodyLength fails the operation with NSURLErrorDomain -1103
// ("resource exceeds maximum size") as soon as that is known; nothing past
// the bound is kept.
//
// A resumed request (one that asks for a "Range") answered with anything but
// 206 Partial Content gets the whole body again: the output stream is set
// back to its start (NSStreamFileCurrentOffsetKey 0), so the body is never
// the old part followed by the whole; a stream that cannot be set back fails
// the operation with -3003 (cannot write to file) instead.
//
// Operations are made with create() (or the subclasses' own) and held by
// std::shared_ptr.
class AFURLConnectionOperation : public Operation, public URLConnectionDelegate, public StreamDelegate {
public:
    enum State : int { Paused = -1, Initialized = 0, Ready = 1, Executing = 2, Finished = 3 };

    // The bound of a response body unless one is set (32 MiB).
    static constexpr std::int64_t kDefaultMaximumResponseBodyLength = 32 * 1024 * 1024;

    using UploadProgressBlock = std::function<void(std::int64_t bytesWritten, std::int64_t totalBytesWritten,
                                                   std::int64_t totalBytesExpectedToWrite)>;
    using DownloadProgressBlock =
        std::function<void(std::int64_t bytesRead, std::int64_t totalBytesRead, std::int64_t totalBytesExpectedToRead)>;
    using AuthenticationChallengeBlock = std::function<void(URLConnection&, URLAuthenticationChallenge&)>;
    using CacheResponseBlock =
        std::function<std::shared_ptr<URLResponse>(URLConnection&, const std::shared_ptr<URLResponse>&)>;
    using RedirectResponseBlock = std::function<std::optional<URLRequest>(URLConnection&, const URLRequest&,
                                                                          const std::shared_ptr<URLResponse>&)>;

    // initWithRequest: (use create() so that the operation is shared).
    explicit AFURLConnectionOperation(URLRequest request);
    static std::shared_ptr<AFURLConnectionOperation> create(URLRequest request);
    ~AFURLConnectionOperation() override;

    // The class name, for description and the class-level answers of subclasses.
    virtual std::string className() const { return "AFURLConnectionOperation"; }

    // The network thread's run loop, the thread made on first use.
    static RunLoop& networkRequestThread();
    // The pinned certificates: the ".cer" files at the top of the main
    // bundle's resources, by name; replaceable (a build that keeps its
    // certificates elsewhere, tests). The public keys are derived from them.
    static std::vector<Data> pinnedCertificates();
    static std::vector<Data> pinnedPublicKeys();
    static void setPinnedCertificates(std::vector<Data> certificates);

    void start() override;
    void cancel() override;
    virtual void pause();
    void resume();
    bool isPaused() const;
    bool isReady() const override;
    bool isExecuting() const override;
    bool isFinished() const override;
    bool isAsynchronous() const override { return true; }
    State state() const;

    // Wraps the block so that it runs once and lets go of the operation.
    void setCompletionBlock(std::function<void()> block);
    void setShouldExecuteAsBackgroundTaskWithExpirationHandler(std::function<void()> handler);

    URLRequest request() const;
    std::shared_ptr<URLResponse> response() const;
    virtual Error error() const;
    std::optional<Data> responseData() const;
    std::optional<std::string> responseString() const;
    StringEncoding responseStringEncoding() const;
    std::int64_t totalBytesRead() const { return totalBytesRead_; }
    // The most body bytes the operation takes (see the class comment).
    std::int64_t maximumResponseBodyLength() const { return maximumResponseBodyLength_; }
    void setMaximumResponseBodyLength(std::int64_t bytes) { maximumResponseBodyLength_ = bytes; }

    std::shared_ptr<InputStream> inputStream() const;
    void setInputStream(std::shared_ptr<InputStream> stream);
    std::shared_ptr<OutputStream> outputStream() const;
    void setOutputStream(std::shared_ptr<OutputStream> stream);

    std::vector<std::string> runLoopModes() const;
    void setRunLoopModes(std::vector<std::string> modes);
    std::shared_ptr<URLCredential> credential() const;
    void setCredential(std::shared_ptr<URLCredential> credential);
    bool shouldUseCredentialStorage() const { return shouldUseCredentialStorage_; }
    void setShouldUseCredentialStorage(bool value) { shouldUseCredentialStorage_ = value; }
    PinningMode SSLPinningMode() const { return pinningMode_; }
    void setSSLPinningMode(PinningMode mode) { pinningMode_ = mode; }
    bool allowsInvalidSSLCertificate() const { return allowsInvalidSSLCertificate_; }
    void setAllowsInvalidSSLCertificate(bool value) { allowsInvalidSSLCertificate_ = value; }
    Value userInfo() const;
    void setUserInfo(Value info);
    unsigned long backgroundTaskIdentifier() const;

    void setUploadProgressBlock(UploadProgressBlock block);
    void setDownloadProgressBlock(DownloadProgressBlock block);
    void setWillSendRequestForAuthenticationChallengeBlock(AuthenticationChallengeBlock block);
    void setCacheResponseBlock(CacheResponseBlock block);
    void setRedirectResponseBlock(RedirectResponseBlock block);

    // "<%@: %p, state: %@, cancelled: %@ request: %@, response: %@>".
    std::string description() const;

    // Coding: pauses the operation, then writes "request", "state" (1 for an
    // executing or paused operation), "isCancelled", "response", "error",
    // "responseData", "totalBytesRead" and "allowsInvalidSSLCertificate".
    void encodeWithCoder(Value& coder);
    // initWithCoder: an operation of the class T made from the archived request
    // with the archived state, flags, response, error, data and count.
    template <class T = AFURLConnectionOperation>
    static std::shared_ptr<T> decodeWithCoder(const Value& coder) {
        auto operation = std::make_shared<T>(requestFromCoder(coder));
        operation->restoreFromCoder(coder);
        return operation;
    }
    // copyWithZone: a new ready operation of the same class on the same
    // request, with the five callbacks and allowsInvalidSSLCertificate.
    std::shared_ptr<AFURLConnectionOperation> copy() const;

    // Key path of a state for notifications and description.
    static std::string keyPathForState(int state);

    // The URL connection's delegate calls (network thread).
    void connectionWillSendRequestForAuthenticationChallenge(URLConnection&, URLAuthenticationChallenge&) override;
    bool connectionShouldUseCredentialStorage(URLConnection&) override;
    std::shared_ptr<InputStream> connectionNeedNewBodyStream(URLConnection&, const URLRequest&) override;
    std::optional<URLRequest> connectionWillSendRequest(URLConnection&, const URLRequest&,
                                                        const std::shared_ptr<URLResponse>&) override;
    void connectionDidSendBodyData(URLConnection&, std::int64_t, std::int64_t, std::int64_t) override;
    void connectionDidReceiveResponse(URLConnection&, const std::shared_ptr<URLResponse>&) override;
    void connectionDidReceiveData(URLConnection&, const Data&) override;
    void connectionDidFinishLoading(URLConnection&) override;
    void connectionDidFailWithError(URLConnection&, const Error&) override;
    std::shared_ptr<URLResponse> connectionWillCacheResponse(URLConnection&,
                                                             const std::shared_ptr<URLResponse>&) override;
    void streamHandleEvent(ByteStream& stream, StreamEvent event) override;

    std::optional<Value> valueForKey(const std::string& key) const override;

protected:
    // A new operation of the receiver's class (subclasses override).
    virtual std::shared_ptr<AFURLConnectionOperation> makeWithRequest(const URLRequest& request) const;
    // How the response text's encoding is chosen (once, under the lock).
    virtual StringEncoding determineResponseStringEncoding() const;
    void setRequest(URLRequest request);
    void setState(State state);
    std::shared_ptr<AFURLConnectionOperation> selfPointer();
    static URLRequest requestFromCoder(const Value& coder);
    void restoreFromCoder(const Value& coder);
    // The bytes a stream holds: its file offset, or what a memory stream collected.
    static std::int64_t bytesWrittenToStream(const OutputStream& stream);
    mutable std::recursive_mutex lock_;  // "com.velotide.networking.operation.lock"

private:
    void operationDidStart();
    void finish();
    void cancelConnection();
    void completeLoading();
    void writeToOutputStream();
    void failWhileLoading(const Error& error);
    // After a response of the current connection: false when it failed the operation.
    bool acceptResponseBody(const std::shared_ptr<URLResponse>& response);
    void setReceivingPaused(bool paused);
    bool isCurrentConnection(const URLConnection& connection) const;
    Error cancelledError() const;
    void postOnMain(const char* name);

    State state_ = Initialized;
    std::vector<std::string> runLoopModes_;
    URLRequest request_;
    std::shared_ptr<URLResponse> response_;
    Error error_;
    std::optional<Data> responseData_;
    mutable std::optional<StringEncoding> responseStringEncoding_;
    mutable std::optional<std::optional<std::string>> responseString_;
    std::shared_ptr<OutputStream> outputStream_;
    std::shared_ptr<URLConnection> connection_;
    std::atomic<std::int64_t> totalBytesRead_{0};
    std::atomic<std::int64_t> maximumResponseBodyLength_{kDefaultMaximumResponseBodyLength};
    // Body bytes of the response taken so far (network thread; a 206 part adds to them).
    std::int64_t bodyBytesReceived_ = 0;
    std::shared_ptr<URLCredential> credential_;
    std::atomic<bool> shouldUseCredentialStorage_{true};
    std::atomic<PinningMode> pinningMode_{PinningModeNone};
    std::atomic<bool> allowsInvalidSSLCertificate_{false};
    Value userInfo_;
    unsigned long backgroundTaskIdentifier_ = 0;

    // Body bytes received but not yet taken by the output stream.
    Data pendingBody_;
    bool finishWhenWritten_ = false;
    bool receivingPaused_ = false;

    UploadProgressBlock uploadProgress_;
    DownloadProgressBlock downloadProgress_;
    AuthenticationChallengeBlock authenticationChallenge_;
    CacheResponseBlock cacheResponse_;
    RedirectResponseBlock redirectResponse_;
};
