#include "app/net/AFURLConnectionOperation.h"

#include <pthread.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <thread>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/StringUtils.h"
#include "platform/net/URLError.h"
#include "platform/ui/Application.h"

namespace {

std::mutex gPinnedMutex;
std::optional<std::vector<Data>> gPinnedCertificates;
std::optional<std::vector<Data>> gPinnedPublicKeys;

std::vector<Data> bundleCertificates() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(Bundle::main().resourcePath(), ec))
        if (entry.is_regular_file(ec) && entry.path().extension() == ".cer") names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    std::vector<Data> certificates;
    for (const auto& path : names)
        if (auto data = dataWithContentsOfFile(path)) certificates.push_back(std::move(*data));
    return certificates;
}

bool validTransition(int from, int to, bool cancelled) {
    using S = AFURLConnectionOperation;
    switch (from) {
        case S::Ready:
            return to == S::Paused || to == S::Executing || (to == S::Finished && cancelled);
        case S::Executing:
            return to == S::Paused || to == S::Finished;
        case S::Finished:
            return false;
        case S::Paused:
            return to == S::Ready;
        default:
            return true;
    }
}

}  // namespace

// ---- class-wide data ----

RunLoop& AFURLConnectionOperation::networkRequestThread() {
    static RunLoop* loop = [] {
        std::promise<RunLoop*> made;
        auto future = made.get_future();
        std::thread([&made] {
            pthread_setname_np(pthread_self(), "Corvex");
            RunLoop& current = RunLoop::current();
            made.set_value(&current);
            current.run();
        }).detach();
        return future.get();
    }();
    return *loop;
}

std::vector<Data> AFURLConnectionOperation::pinnedCertificates() {
    std::lock_guard lock(gPinnedMutex);
    if (!gPinnedCertificates) gPinnedCertificates = bundleCertificates();
    return *gPinnedCertificates;
}

std::vector<Data> AFURLConnectionOperation::pinnedPublicKeys() {
    auto certificates = pinnedCertificates();
    std::lock_guard lock(gPinnedMutex);
    if (!gPinnedPublicKeys) {
        // Each certificate is judged alone with the basic X.509 policy; one
        // that cannot be read or evaluated adds no key.
        std::vector<Data> keys;
        for (const auto& certificate : certificates) {
            ServerTrust trust({certificate}, std::nullopt);
            ServerTrust::Result result;
            if (!trust.evaluate(&result)) continue;
            if (auto key = trust.publicKey()) keys.push_back(std::move(*key));
        }
        gPinnedPublicKeys = std::move(keys);
    }
    return *gPinnedPublicKeys;
}

void AFURLConnectionOperation::setPinnedCertificates(std::vector<Data> certificates) {
    std::lock_guard lock(gPinnedMutex);
    gPinnedCertificates = std::move(certificates);
    gPinnedPublicKeys.reset();
}

std::string AFURLConnectionOperation::keyPathForState(int state) {
    switch (state) {
        case Paused:
            return "isPaused";
        case Ready:
            return "isReady";
        case Executing:
            return "isExecuting";
        case Finished:
            return "isFinished";
        default:
            return "state";
    }
}

// ---- life ----

AFURLConnectionOperation::AFURLConnectionOperation(URLRequest request)
    : runLoopModes_{RunLoop::kCommonModes}, request_(std::move(request)) {
    state_ = Ready;
}

std::shared_ptr<AFURLConnectionOperation> AFURLConnectionOperation::create(URLRequest request) {
    return std::make_shared<AFURLConnectionOperation>(std::move(request));
}

AFURLConnectionOperation::~AFURLConnectionOperation() {
    if (outputStream_) outputStream_->close();
    if (backgroundTaskIdentifier_) Application::shared().endBackgroundTask(backgroundTaskIdentifier_);
}

std::shared_ptr<AFURLConnectionOperation> AFURLConnectionOperation::selfPointer() {
    return std::static_pointer_cast<AFURLConnectionOperation>(shared_from_this());
}

std::shared_ptr<AFURLConnectionOperation> AFURLConnectionOperation::makeWithRequest(const URLRequest& request) const {
    return std::make_shared<AFURLConnectionOperation>(request);
}

// ---- state ----

AFURLConnectionOperation::State AFURLConnectionOperation::state() const {
    std::lock_guard lock(lock_);
    return state_;
}

void AFURLConnectionOperation::setState(State state) {
    std::lock_guard lock(lock_);
    if (!validTransition(state_, state, isCancelled())) return;
    const std::string oldKey = keyPathForState(state_);
    const std::string newKey = keyPathForState(state);
    willChangeValueForKey(newKey);
    willChangeValueForKey(oldKey);
    state_ = state;
    didChangeValueForKey(oldKey);
    didChangeValueForKey(newKey);
}

bool AFURLConnectionOperation::isPaused() const {
    return state() == Paused;
}
bool AFURLConnectionOperation::isReady() const {
    return state() == Ready && Operation::isReady();
}
bool AFURLConnectionOperation::isExecuting() const {
    return state() == Executing;
}
bool AFURLConnectionOperation::isFinished() const {
    return state() == Finished;
}

std::optional<Value> AFURLConnectionOperation::valueForKey(const std::string& key) const {
    if (key == "isPaused") return Value(isPaused());
    if (key == "state") return Value(static_cast<int>(state()));
    return Operation::valueForKey(key);
}

void AFURLConnectionOperation::postOnMain(const char* name) {
    auto self = selfPointer();
    std::string notification = name;
    DispatchQueue::main().async([self, notification] {
        NotificationCenter::defaultCenter().postNotificationName(notification, AnyObject(self));
    });
}

Error AFURLConnectionOperation::cancelledError() const {
    return makeURLError(URLErrorCancelled, request().url());
}

// ---- start, finish, cancel, pause ----

void AFURLConnectionOperation::start() {
    std::lock_guard lock(lock_);
    if (!isReady()) return;
    setState(Executing);
    auto self = selfPointer();
    networkRequestThread().perform(runLoopModes_, [self] { self->operationDidStart(); });
}

void AFURLConnectionOperation::operationDidStart() {
    {
        std::lock_guard lock(lock_);
        if (!isCancelled()) {
            RunLoop& loop = RunLoop::current();
            connection_ = URLConnection::create(request_, selfPointer());
            receivingPaused_ = false;
            auto stream = outputStream();
            stream->setDelegate(std::weak_ptr<StreamDelegate>(selfPointer()));
            for (const auto& mode : runLoopModes_) {
                connection_->scheduleInRunLoop(loop, mode);
                stream->scheduleInRunLoop(loop, mode);
            }
            connection_->start();
        }
    }
    postOnMain(kCorvexOperationDidStartNotification);
    if (isCancelled()) {
        {
            std::lock_guard lock(lock_);
            error_ = cancelledError();
        }
        finish();
    }
}

void AFURLConnectionOperation::finish() {
    {
        std::lock_guard lock(lock_);
        if (state_ == Finished) return;
        setState(Finished);
        if (state_ != Finished) return;
    }
    postOnMain(kCorvexOperationDidFinishNotification);
}

void AFURLConnectionOperation::cancel() {
    std::lock_guard lock(lock_);
    if (isFinished() || isCancelled()) return;
    Operation::cancel();
    auto self = selfPointer();
    networkRequestThread().perform(runLoopModes_, [self] { self->cancelConnection(); });
}

void AFURLConnectionOperation::cancelConnection() {
    const Error error = cancelledError();
    std::shared_ptr<URLConnection> connection;
    {
        std::lock_guard lock(lock_);
        error_ = error;
        connection = connection_;
    }
    if (connection) {
        connection->cancel();
        connectionDidFailWithError(*connection, error);
    }
}

void AFURLConnectionOperation::pause() {
    if (isPaused() || isFinished() || isCancelled()) return;
    std::lock_guard lock(lock_);
    if (isExecuting()) {
        // The connection stops being the operation's at once: whatever it
        // still reports before its cancel reaches it is ignored.
        auto self = selfPointer();
        std::shared_ptr<URLConnection> connection = std::move(connection_);
        networkRequestThread().perform(runLoopModes_, [self, connection] {
            if (connection) connection->cancel();
            std::lock_guard lock(self->lock_);
            // What the stream did not take yet is not part of what a resumed
            // request asks for: it starts at what was written.
            self->pendingBody_.clear();
            self->finishWhenWritten_ = false;
        });
        postOnMain(kCorvexOperationDidFinishNotification);
    }
    setState(Paused);
}

void AFURLConnectionOperation::resume() {
    if (!isPaused()) return;
    std::lock_guard lock(lock_);
    setState(Ready);
    start();
}

// ---- completion and background ----

void AFURLConnectionOperation::setCompletionBlock(std::function<void()> block) {
    std::lock_guard lock(lock_);
    if (!block) return Operation::setCompletionBlock(nullptr);
    std::weak_ptr<Operation> weak = weak_from_this();
    Operation::setCompletionBlock([weak, block] {
        block();
        if (auto self = weak.lock()) self->Operation::setCompletionBlock(nullptr);
    });
}

void AFURLConnectionOperation::setShouldExecuteAsBackgroundTaskWithExpirationHandler(std::function<void()> handler) {
    std::lock_guard lock(lock_);
    if (backgroundTaskIdentifier_) return;
    std::weak_ptr<Operation> weak = weak_from_this();
    backgroundTaskIdentifier_ = Application::shared().beginBackgroundTask([weak, handler] {
        if (handler) handler();
        auto self = std::static_pointer_cast<AFURLConnectionOperation>(weak.lock());
        if (!self) return;
        self->cancel();
        std::lock_guard lock(self->lock_);
        Application::shared().endBackgroundTask(self->backgroundTaskIdentifier_);
        self->backgroundTaskIdentifier_ = Application::kInvalidBackgroundTask;
    });
}

unsigned long AFURLConnectionOperation::backgroundTaskIdentifier() const {
    std::lock_guard lock(lock_);
    return backgroundTaskIdentifier_;
}

// ---- properties ----

URLRequest AFURLConnectionOperation::request() const {
    std::lock_guard lock(lock_);
    return request_;
}
void AFURLConnectionOperation::setRequest(URLRequest request) {
    std::lock_guard lock(lock_);
    request_ = std::move(request);
}
std::shared_ptr<URLResponse> AFURLConnectionOperation::response() const {
    std::lock_guard lock(lock_);
    return response_;
}
Error AFURLConnectionOperation::error() const {
    std::lock_guard lock(lock_);
    return error_;
}
std::optional<Data> AFURLConnectionOperation::responseData() const {
    std::lock_guard lock(lock_);
    return responseData_;
}

StringEncoding AFURLConnectionOperation::determineResponseStringEncoding() const {
    if (auto name = response_->textEncodingName())
        if (StringEncoding encoding = encodingFromIANACharsetName(*name)) return encoding;
    return NSUTF8StringEncoding;
}

StringEncoding AFURLConnectionOperation::responseStringEncoding() const {
    std::lock_guard lock(lock_);
    if (!responseStringEncoding_ && response_) responseStringEncoding_ = determineResponseStringEncoding();
    return responseStringEncoding_.value_or(0);
}

std::optional<std::string> AFURLConnectionOperation::responseString() const {
    std::lock_guard lock(lock_);
    if (!responseString_ && response_ && responseData_)
        responseString_ = decodeString(*responseData_, responseStringEncoding());
    return responseString_ ? *responseString_ : std::nullopt;
}

std::shared_ptr<InputStream> AFURLConnectionOperation::inputStream() const {
    return request().HTTPBodyStream();
}

void AFURLConnectionOperation::setInputStream(std::shared_ptr<InputStream> stream) {
    willChangeValueForKey("inputStream");
    {
        std::lock_guard lock(lock_);
        URLRequest copy = request_;
        copy.setHTTPBodyStream(std::move(stream));
        request_ = std::move(copy);
    }
    didChangeValueForKey("inputStream");
}

std::shared_ptr<OutputStream> AFURLConnectionOperation::outputStream() const {
    std::lock_guard lock(lock_);
    if (!outputStream_)
        const_cast<AFURLConnectionOperation*>(this)->outputStream_ = OutputStream::outputStreamToMemory();
    return outputStream_;
}

void AFURLConnectionOperation::setOutputStream(std::shared_ptr<OutputStream> stream) {
    std::lock_guard lock(lock_);
    if (stream == outputStream_) return;
    willChangeValueForKey("outputStream");
    if (outputStream_) outputStream_->close();
    outputStream_ = std::move(stream);
    didChangeValueForKey("outputStream");
}

std::vector<std::string> AFURLConnectionOperation::runLoopModes() const {
    std::lock_guard lock(lock_);
    return runLoopModes_;
}
void AFURLConnectionOperation::setRunLoopModes(std::vector<std::string> modes) {
    std::lock_guard lock(lock_);
    runLoopModes_ = std::move(modes);
}
std::shared_ptr<URLCredential> AFURLConnectionOperation::credential() const {
    std::lock_guard lock(lock_);
    return credential_;
}
void AFURLConnectionOperation::setCredential(std::shared_ptr<URLCredential> credential) {
    std::lock_guard lock(lock_);
    credential_ = std::move(credential);
}
Value AFURLConnectionOperation::userInfo() const {
    std::lock_guard lock(lock_);
    return userInfo_;
}
void AFURLConnectionOperation::setUserInfo(Value info) {
    std::lock_guard lock(lock_);
    userInfo_ = std::move(info);
}

void AFURLConnectionOperation::setUploadProgressBlock(UploadProgressBlock block) {
    std::lock_guard lock(lock_);
    uploadProgress_ = std::move(block);
}
void AFURLConnectionOperation::setDownloadProgressBlock(DownloadProgressBlock block) {
    std::lock_guard lock(lock_);
    downloadProgress_ = std::move(block);
}
void AFURLConnectionOperation::setWillSendRequestForAuthenticationChallengeBlock(AuthenticationChallengeBlock block) {
    std::lock_guard lock(lock_);
    authenticationChallenge_ = std::move(block);
}
void AFURLConnectionOperation::setCacheResponseBlock(CacheResponseBlock block) {
    std::lock_guard lock(lock_);
    cacheResponse_ = std::move(block);
}
void AFURLConnectionOperation::setRedirectResponseBlock(RedirectResponseBlock block) {
    std::lock_guard lock(lock_);
    redirectResponse_ = std::move(block);
}

// ---- description, coding, copying ----

std::string AFURLConnectionOperation::description() const {
    std::lock_guard lock(lock_);
    return stringWithFormat("<%@: %p, state: %@, cancelled: %@ request: %@, response: %@>", className(),
                            static_cast<const void*>(this), keyPathForState(state_), isCancelled() ? "YES" : "NO",
                            request_.description(), response_ ? response_->description() : std::string("(null)"));
}

namespace {
Value errorToValue(const Error& error) {
    if (!error) return Value();
    return Value::dictionary({{"domain", error.domain()}, {"code", error.code()}, {"userInfo", error.userInfo()}});
}
Error errorFromValue(const Value& value) {
    if (!value["domain"].isString()) return Error();
    return Error(*value["domain"].asString(), value["code"].integerValue(), value["userInfo"]);
}
}  // namespace

void AFURLConnectionOperation::encodeWithCoder(Value& coder) {
    pause();
    std::lock_guard lock(lock_);
    coder.set("request", request_.toValue());
    const int state = (state_ == Executing || state_ == Paused) ? Ready : state_;
    coder.set("state", state);
    coder.set("isCancelled", isCancelled());
    if (response_) coder.set("response", response_->toValue());
    if (error_) coder.set("error", errorToValue(error_));
    if (responseData_) coder.set("responseData", *responseData_);
    coder.set("totalBytesRead", static_cast<std::int64_t>(totalBytesRead_));
    coder.set("allowsInvalidSSLCertificate", static_cast<bool>(allowsInvalidSSLCertificate_));
}

URLRequest AFURLConnectionOperation::requestFromCoder(const Value& coder) {
    return URLRequest::fromValue(coder["request"]);
}

void AFURLConnectionOperation::restoreFromCoder(const Value& coder) {
    std::lock_guard lock(lock_);
    state_ = static_cast<State>(coder["state"].integerValue(Ready));
    if (coder["isCancelled"].boolValue()) Operation::cancel();
    response_ = URLResponse::fromValue(coder["response"]);
    error_ = errorFromValue(coder["error"]);
    if (auto data = coder["responseData"].asData()) responseData_ = *data;
    totalBytesRead_ = coder["totalBytesRead"].integerValue();
    allowsInvalidSSLCertificate_ = coder["allowsInvalidSSLCertificate"].boolValue();
}

std::shared_ptr<AFURLConnectionOperation> AFURLConnectionOperation::copy() const {
    auto operation = makeWithRequest(request());
    std::lock_guard lock(lock_);
    operation->uploadProgress_ = uploadProgress_;
    operation->downloadProgress_ = downloadProgress_;
    operation->authenticationChallenge_ = authenticationChallenge_;
    operation->cacheResponse_ = cacheResponse_;
    operation->redirectResponse_ = redirectResponse_;
    operation->allowsInvalidSSLCertificate_ = static_cast<bool>(allowsInvalidSSLCertificate_);
    return operation;
}

// ---- connection delegate (network thread) ----

void AFURLConnectionOperation::connectionWillSendRequestForAuthenticationChallenge(
    URLConnection& connection, URLAuthenticationChallenge& challenge) {
    AuthenticationChallengeBlock block;
    {
        std::lock_guard lock(lock_);
        block = authenticationChallenge_;
    }
    if (block) return block(connection, challenge);

    const auto& space = challenge.protectionSpace();
    if (space.authenticationMethod != NSURLAuthenticationMethodServerTrust || !space.serverTrust) {
        // The operation's credential is for the host of its request, not for
        // one a redirect led to.
        auto credential = this->credential();
        const auto url = request().url();
        if (challenge.previousFailureCount() == 0 && credential && url && space.isOriginOf(*url))
            challenge.useCredential(credential);
        else
            challenge.continueWithoutCredential();
        return;
    }

    const auto& trust = space.serverTrust;
    auto accept = [&] { challenge.useCredential(URLCredential::credentialForTrust(trust)); };
    const auto mode = SSLPinningMode();
    if (mode == PinningModeNone) {
        if (allowsInvalidSSLCertificate()) return accept();
        ServerTrust::Result result = ServerTrust::Invalid;
        if (trust->evaluate(&result) && (result == ServerTrust::Proceed || result == ServerTrust::Unspecified))
            return accept();
        return challenge.cancel();
    }

    // Pinning: the chain and host must verify (pinned certificates count as
    // anchors), and the pin must be part of the verified chain.
    const auto pinnedCertificates = AFURLConnectionOperation::pinnedCertificates();
    trust->setAnchorCertificates(pinnedCertificates);
    ServerTrust::Result result = ServerTrust::Invalid;
    if (!trust->evaluate(&result) || (result != ServerTrust::Proceed && result != ServerTrust::Unspecified))
        return challenge.cancel();
    if (mode == PinningModeCertificate) {
        for (const auto& certificate : trust->verifiedChain())
            if (std::find(pinnedCertificates.begin(), pinnedCertificates.end(), certificate) !=
                pinnedCertificates.end())
                return accept();
    } else {
        const auto pinnedKeys = pinnedPublicKeys();
        for (const auto& certificate : trust->verifiedChain()) {
            auto key = ServerTrust::publicKeyOfCertificate(certificate);
            if (key && std::find(pinnedKeys.begin(), pinnedKeys.end(), *key) != pinnedKeys.end()) return accept();
        }
    }
    challenge.cancel();
}

bool AFURLConnectionOperation::connectionShouldUseCredentialStorage(URLConnection&) {
    return shouldUseCredentialStorage();
}

std::shared_ptr<InputStream> AFURLConnectionOperation::connectionNeedNewBodyStream(URLConnection&,
                                                                                   const URLRequest& request) {
    if (auto stream = request.HTTPBodyStream())
        if (auto copy = stream->copy()) return copy;
    cancelConnection();
    return nullptr;
}

std::optional<URLRequest> AFURLConnectionOperation::connectionWillSendRequest(
    URLConnection& connection, const URLRequest& request, const std::shared_ptr<URLResponse>& redirectResponse) {
    RedirectResponseBlock block;
    {
        std::lock_guard lock(lock_);
        block = redirectResponse_;
    }
    if (block) return block(connection, request, redirectResponse);
    return request;
}

void AFURLConnectionOperation::connectionDidSendBodyData(URLConnection& connection, std::int64_t bytesWritten,
                                                         std::int64_t totalBytesWritten,
                                                         std::int64_t totalBytesExpectedToWrite) {
    if (!isCurrentConnection(connection)) return;
    UploadProgressBlock block;
    {
        std::lock_guard lock(lock_);
        block = uploadProgress_;
    }
    if (!block) return;
    DispatchQueue::main().async([block, bytesWritten, totalBytesWritten, totalBytesExpectedToWrite] {
        block(bytesWritten, totalBytesWritten, totalBytesExpectedToWrite);
    });
}

bool AFURLConnectionOperation::isCurrentConnection(const URLConnection& connection) const {
    std::lock_guard lock(lock_);
    return connection_.get() == &connection;
}

void AFURLConnectionOperation::connectionDidReceiveResponse(URLConnection& connection,
                                                            const std::shared_ptr<URLResponse>& response) {
    {
        std::lock_guard lock(lock_);
        if (connection_.get() != &connection) return;
        response_ = response;
        responseStringEncoding_.reset();
        responseString_.reset();
    }
    outputStream()->open();
    acceptResponseBody(response);
}

std::int64_t AFURLConnectionOperation::bytesWrittenToStream(const OutputStream& stream) {
    const Value fileOffset = stream.propertyForKey(NSStreamFileCurrentOffsetKey);
    if (fileOffset.isInteger()) return fileOffset.integerValue();
    const Value written = stream.propertyForKey(NSStreamDataWrittenToMemoryStreamKey);
    if (auto data = written.asData()) return static_cast<std::int64_t>(data->size());
    return 0;
}

bool AFURLConnectionOperation::acceptResponseBody(const std::shared_ptr<URLResponse>& response) {
    const auto* http = dynamic_cast<const HTTPURLResponse*>(response.get());
    const bool isPart = http && http->statusCode() == 206;
    if (!isPart) {
        // The body starts here: what an earlier run wrote is not part of it.
        auto stream = outputStream();
        if (bytesWrittenToStream(*stream) > 0) {
            if (!stream->setPropertyForKey(Value(static_cast<std::int64_t>(0)), NSStreamFileCurrentOffsetKey)) {
                failWhileLoading(makeURLError(URLErrorCannotWriteToFile, request().url()));
                return false;
            }
            auto self = selfPointer();
            DispatchQueue::main().async([self] { self->totalBytesRead_ = 0; });
        }
        std::lock_guard lock(lock_);
        bodyBytesReceived_ = 0;
    }
    const std::int64_t announced = response ? response->expectedContentLength() : -1;
    bool tooLong;
    {
        std::lock_guard lock(lock_);
        tooLong = announced > 0 && bodyBytesReceived_ + announced > maximumResponseBodyLength();
    }
    if (tooLong) failWhileLoading(makeURLError(URLErrorDataLengthExceedsMaximum, request().url()));
    return !tooLong;
}

void AFURLConnectionOperation::connectionDidReceiveData(URLConnection& connection, const Data& data) {
    bool waiting = false, tooLong = false;
    {
        std::lock_guard lock(lock_);
        if (connection_.get() != &connection) return;
        const auto length = static_cast<std::int64_t>(data.size());
        tooLong = bodyBytesReceived_ + length > maximumResponseBodyLength();
        if (!tooLong) {
            bodyBytesReceived_ += length;
            waiting = !pendingBody_.empty();
            pendingBody_.insert(pendingBody_.end(), data.begin(), data.end());
        }
    }
    if (tooLong) return failWhileLoading(makeURLError(URLErrorDataLengthExceedsMaximum, request().url()));
    if (!waiting) writeToOutputStream();
    bool blocked;
    {
        std::lock_guard lock(lock_);
        blocked = !pendingBody_.empty() && connection_.get() == &connection;
    }
    if (blocked) setReceivingPaused(true);

    const auto length = static_cast<std::int64_t>(data.size());
    const std::int64_t expected = response() ? response()->expectedContentLength() : -1;
    auto self = selfPointer();
    DispatchQueue::main().async([self, length, expected] {
        const std::int64_t total = self->totalBytesRead_ += length;
        DownloadProgressBlock block;
        {
            std::lock_guard lock(self->lock_);
            block = self->downloadProgress_;
        }
        if (block) block(length, total, expected);
    });
}

// Writes what the stream takes of the pending body; the rest waits for the
// stream's next space-available event.
void AFURLConnectionOperation::writeToOutputStream() {
    auto stream = outputStream();
    for (;;) {
        Data chunk;
        {
            std::lock_guard lock(lock_);
            if (pendingBody_.empty()) break;
            chunk = pendingBody_;
        }
        if (!stream->hasSpaceAvailable()) return;
        const ssize_t written = stream->write(chunk.data(), chunk.size());
        if (written < 0) {
            Error error = stream->streamError();
            if (!error) error = makeURLError(URLErrorCannotWriteToFile, request().url());
            return failWhileLoading(error);
        }
        if (written == 0) return;
        std::lock_guard lock(lock_);
        pendingBody_.erase(pendingBody_.begin(),
                           pendingBody_.begin() + std::min<std::size_t>(written, pendingBody_.size()));
    }
    bool complete;
    {
        std::lock_guard lock(lock_);
        complete = finishWhenWritten_;
    }
    if (complete) return completeLoading();
    setReceivingPaused(false);
}

void AFURLConnectionOperation::setReceivingPaused(bool paused) {
    std::shared_ptr<URLConnection> connection;
    {
        std::lock_guard lock(lock_);
        if (receivingPaused_ == paused || !connection_) return;
        receivingPaused_ = paused;
        connection = connection_;
    }
    connection->setReceivingPaused(paused);
}

void AFURLConnectionOperation::streamHandleEvent(ByteStream& stream, StreamEvent event) {
    if (&stream != outputStream().get()) return;
    if (event == StreamEventHasSpaceAvailable) {
        writeToOutputStream();
    } else if (event == StreamEventErrorOccurred) {
        std::lock_guard lock(lock_);
        if (!connection_) return;
        failWhileLoading(stream.streamError());
    }
}

void AFURLConnectionOperation::failWhileLoading(const Error& error) {
    std::shared_ptr<URLConnection> connection;
    {
        std::lock_guard lock(lock_);
        connection = connection_;
        pendingBody_.clear();
    }
    if (!connection) return;
    connection->cancel();
    connectionDidFailWithError(*connection, error);
}

void AFURLConnectionOperation::connectionDidFinishLoading(URLConnection& connection) {
    {
        std::lock_guard lock(lock_);
        if (connection_.get() != &connection) return;
        if (!pendingBody_.empty()) {
            finishWhenWritten_ = true;
            return;
        }
    }
    completeLoading();
}

void AFURLConnectionOperation::completeLoading() {
    auto stream = outputStream();
    {
        std::lock_guard lock(lock_);
        finishWhenWritten_ = false;
        const Value data = stream->propertyForKey(NSStreamDataWrittenToMemoryStreamKey);
        if (auto bytes = data.asData())
            responseData_ = *bytes;
        else
            responseData_ = std::nullopt;
        responseString_.reset();
    }
    stream->close();
    finish();
    std::lock_guard lock(lock_);
    connection_ = nullptr;
}

void AFURLConnectionOperation::connectionDidFailWithError(URLConnection& connection, const Error& error) {
    {
        std::lock_guard lock(lock_);
        if (connection_.get() != &connection) return;
        error_ = error;
        pendingBody_.clear();
        finishWhenWritten_ = false;
    }
    outputStream()->close();
    finish();
    std::lock_guard lock(lock_);
    connection_ = nullptr;
}

std::shared_ptr<URLResponse> AFURLConnectionOperation::connectionWillCacheResponse(
    URLConnection& connection, const std::shared_ptr<URLResponse>& proposed) {
    CacheResponseBlock block;
    {
        std::lock_guard lock(lock_);
        block = cacheResponse_;
    }
    if (block) return block(connection, proposed);
    return isCancelled() ? nullptr : proposed;
}
