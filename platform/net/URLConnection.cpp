#include "platform/net/URLConnection.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <map>

#include "platform/foundation/RunLoop.h"
#include "platform/foundation/StringUtils.h"
#include "platform/net/Stream.h"
#include "platform/net/URLError.h"

// ---- challenges and credentials ----

std::shared_ptr<URLCredential> URLCredential::credentialWithUser(std::string user, std::string password) {
    auto credential = std::make_shared<URLCredential>();
    credential->user_ = std::move(user);
    credential->password_ = std::move(password);
    return credential;
}

std::shared_ptr<URLCredential> URLCredential::credentialForTrust(std::shared_ptr<ServerTrust> trust) {
    auto credential = std::make_shared<URLCredential>();
    credential->trust_ = std::move(trust);
    return credential;
}

void URLAuthenticationChallenge::useCredential(std::shared_ptr<URLCredential> credential) {
    disposition_ = Disposition::UseCredential;
    credential_ = std::move(credential);
}
void URLAuthenticationChallenge::continueWithoutCredential() {
    disposition_ = Disposition::ContinueWithoutCredential;
}
void URLAuthenticationChallenge::cancel() {
    disposition_ = Disposition::Cancel;
}
void URLAuthenticationChallenge::performDefaultHandling() {
    disposition_ = Disposition::PerformDefaultHandling;
}

namespace {
int effectivePort(const URL& url) {
    return url.port().value_or(lowercaseString(url.scheme().value_or("")) == "https" ? 443 : 80);
}
}  // namespace

bool isSameOrigin(const URL& a, const URL& b) {
    const URLProtectionSpace space{a.host().value_or(""), effectivePort(a), a.scheme().value_or(""), {}, nullptr};
    return space.isOriginOf(b);
}

bool URLProtectionSpace::isOriginOf(const URL& url) const {
    return lowercaseString(url.scheme().value_or("")) == lowercaseString(protocol) &&
           lowercaseString(url.host().value_or("")) == lowercaseString(host) && effectivePort(url) == port;
}

// ---- the curl driver of a thread ----

namespace {
std::once_flag gCurlGlobal;
constexpr int kMaxRedirects = 16;
}  // namespace

// One curl multi handle per thread, pumped by that thread's run loop.
class CurlDriver {
public:
    static CurlDriver& current() {
        thread_local CurlDriver driver;
        return driver;
    }

    CURLM* multi() const { return multi_; }
    bool inCurl() const { return depth_ > 0; }

    void add(CURL* easy) {
        curl_multi_add_handle(multi_, easy);
        processMessages();
    }
    void remove(CURL* easy) { curl_multi_remove_handle(multi_, easy); }

    // Runs a call into curl that may deliver callbacks, then looks for finished transfers.
    template <class F>
    void enter(F&& f) {
        ++depth_;
        f();
        --depth_;
        if (!depth_) processMessages();
    }

private:
    CurlDriver() {
        std::call_once(gCurlGlobal, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
        multi_ = curl_multi_init();
        curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &CurlDriver::socketCallback);
        curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &CurlDriver::timerCallback);
        curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
        timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        timerSource_ = FileDescriptorSource::create(timerFd_, FileDescriptorSource::Readable, [this](auto&, unsigned) {
            std::uint64_t expirations;
            while (::read(timerFd_, &expirations, sizeof expirations) > 0) {
            }
            int running = 0;
            enter([&] { curl_multi_socket_action(multi_, CURL_SOCKET_TIMEOUT, 0, &running); });
        });
        RunLoop::current().addSource(timerSource_, RunLoop::kCommonModes);
    }
    ~CurlDriver() {
        timerSource_->invalidate();
        for (auto& [fd, source] : sockets_) source->invalidate();
        curl_multi_cleanup(multi_);
        ::close(timerFd_);
    }

    static int socketCallback(CURL*, curl_socket_t fd, int what, void* userp, void*) {
        auto* self = static_cast<CurlDriver*>(userp);
        auto it = self->sockets_.find(fd);
        if (what == CURL_POLL_REMOVE) {
            if (it != self->sockets_.end()) {
                it->second->invalidate();
                self->sockets_.erase(it);
            }
            return 0;
        }
        unsigned interest = 0;
        if (what & CURL_POLL_IN) interest |= FileDescriptorSource::Readable;
        if (what & CURL_POLL_OUT) interest |= FileDescriptorSource::Writable;
        if (it != self->sockets_.end()) {
            it->second->setInterest(interest);
            return 0;
        }
        auto source = FileDescriptorSource::create(fd, interest, [self](FileDescriptorSource& s, unsigned events) {
            int flags = 0;
            if (events & (FileDescriptorSource::Readable | FileDescriptorSource::HangUp)) flags |= CURL_CSELECT_IN;
            if (events & FileDescriptorSource::Writable) flags |= CURL_CSELECT_OUT;
            if (events & FileDescriptorSource::Failure) flags |= CURL_CSELECT_ERR;
            int running = 0;
            const int sfd = s.fd();
            self->enter([&] { curl_multi_socket_action(self->multi_, sfd, flags, &running); });
        });
        self->sockets_[fd] = source;
        RunLoop::current().addSource(source, RunLoop::kCommonModes);
        return 0;
    }

    static int timerCallback(CURLM*, long timeoutMs, void* userp) {
        auto* self = static_cast<CurlDriver*>(userp);
        itimerspec expiry{};
        if (timeoutMs >= 0) {
            // A zero time disarms a timerfd: "now" is one nanosecond.
            expiry.it_value.tv_sec = timeoutMs / 1000;
            expiry.it_value.tv_nsec = (timeoutMs % 1000) * 1000000L;
            if (timeoutMs == 0) expiry.it_value.tv_nsec = 1;
        }
        timerfd_settime(self->timerFd_, 0, &expiry, nullptr);
        return 0;
    }

    void processMessages();

    CURLM* multi_ = nullptr;
    int timerFd_ = -1;
    int depth_ = 0;
    std::shared_ptr<FileDescriptorSource> timerSource_;
    std::map<curl_socket_t, std::shared_ptr<FileDescriptorSource>> sockets_;
};

// ---- one transfer (one request sent) ----

struct URLConnection::Transfer {
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    URLRequest request;
    std::optional<Data> body;  // bytes to send, when the body is given as bytes
    std::shared_ptr<InputStream> bodyStream;
    std::size_t bodyOffset = 0;
    std::int64_t bytesSent = 0;
    std::int64_t bytesExpected = -1;
    int status = 0;
    std::string httpVersion;
    HTTPHeaderFields headers;
    std::string lastHeaderName;
    bool responseDelivered = false;
    std::optional<URLRequest> restartWith;  // a redirect or an authenticated retry
    bool restartNeedsBody = false;
    bool trustRefused = false;
    bool trustCancelled = false;
    bool authCancelled = false;
    std::shared_ptr<URLResponse> response;

    ~Transfer() {
        if (easy) curl_easy_cleanup(easy);
        if (headerList) curl_slist_free_all(headerList);
        if (bodyStream) bodyStream->close();
    }
};

void CurlDriver::processMessages() {
    int pending = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &pending)) {
        if (message->msg != CURLMSG_DONE) continue;
        URLConnection* connection = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&connection));
        const int code = message->data.result;
        if (connection) {
            auto keep = connection->shared_from_this();
            connection->transferDone(code);
        }
    }
}

// ---- URLConnection ----

URLConnection::URLConnection(URLRequest request, std::shared_ptr<URLConnectionDelegate> delegate)
    : originalRequest_(request), current_(std::move(request)), delegate_(std::move(delegate)) {}

// A running connection keeps itself alive, so one that goes away has no
// transfer in curl's hands.
URLConnection::~URLConnection() = default;

std::shared_ptr<URLConnection> URLConnection::create(URLRequest request,
                                                     std::shared_ptr<URLConnectionDelegate> delegate) {
    return std::shared_ptr<URLConnection>(new URLConnection(std::move(request), std::move(delegate)));
}

void URLConnection::scheduleInRunLoop(RunLoop& loop, const std::string& mode) {
    std::lock_guard lock(mutex_);
    if (loop_.lock().get() != &loop) {
        loop_ = loop.shared_from_this();
        modes_.clear();
    }
    modes_.push_back(mode);
}

URLRequest URLConnection::currentRequest() const {
    std::lock_guard lock(mutex_);
    return current_;
}

std::shared_ptr<URLConnectionDelegate> URLConnection::delegateIfRunning() const {
    if (cancelled_) return nullptr;
    std::lock_guard lock(mutex_);
    return done_ ? nullptr : delegate_;
}

void URLConnection::performOnLoop(std::function<void()> block) {
    std::shared_ptr<RunLoop> loop;
    std::vector<std::string> modes;
    {
        std::lock_guard lock(mutex_);
        loop = loop_.lock();
        modes = modes_;
    }
    if (!loop) return;
    loop->perform(modes, std::move(block));
}

void URLConnection::start() {
    {
        std::lock_guard lock(mutex_);
        if (started_) return;
        started_ = true;
        if (!loop_.lock()) {
            loop_ = RunLoop::current().shared_from_this();
            modes_ = {RunLoop::kDefaultMode};
        }
        selfWhileRunning_ = shared_from_this();
    }
    performOnLoop([self = shared_from_this()] {
        auto delegate = self->delegateIfRunning();
        if (!delegate) return self->dropTransfer();
        delegate->connectionShouldUseCredentialStorage(*self);
        auto request = delegate->connectionWillSendRequest(*self, self->currentRequest(), nullptr);
        if (!request) return self->finishWithError(makeURLError(URLErrorCancelled, self->originalRequest_.url()));
        self->begin(std::move(*request), false);
    });
}

void URLConnection::cancel() {
    if (cancelled_.exchange(true)) return;
    performOnLoop([self = shared_from_this()] { self->dropTransfer(); });
}

void URLConnection::setReceivingPaused(bool paused) {
    auto& driver = CurlDriver::current();
    if (driver.inCurl()) {
        // curl does not take pause changes from inside its callbacks.
        return performOnLoop([self = shared_from_this(), paused] { self->setReceivingPaused(paused); });
    }
    if (!transfer_ || !transfer_->easy || cancelled_) return;
    CURL* easy = transfer_->easy;
    driver.enter([&] { curl_easy_pause(easy, paused ? CURLPAUSE_RECV : CURLPAUSE_CONT); });
}

void URLConnection::dropTransfer() {
    if (transfer_ && transfer_->easy) {
        auto& driver = CurlDriver::current();
        if (driver.inCurl()) {
            // Inside one of its callbacks curl must keep the handle: it goes
            // once curl has returned. Its finish message then names no connection.
            curl_easy_setopt(transfer_->easy, CURLOPT_PRIVATE, nullptr);
            std::shared_ptr<Transfer> dead(std::move(transfer_));
            RunLoop::current().perform({RunLoop::kCommonModes}, [dead] { CurlDriver::current().remove(dead->easy); });
        } else {
            driver.remove(transfer_->easy);
        }
    }
    transfer_.reset();
    std::shared_ptr<URLConnectionDelegate> released;
    std::shared_ptr<URLConnection> self;
    {
        std::lock_guard lock(mutex_);
        done_ = true;
        released = std::move(delegate_);
        self = std::move(selfWhileRunning_);
    }
}

void URLConnection::finishWithError(const Error& error) {
    auto delegate = delegateIfRunning();
    auto keep = shared_from_this();
    dropTransfer();
    if (delegate) delegate->connectionDidFailWithError(*this, error);
}

// curl's C callbacks, forwarded to the connection.
struct CurlCallbacks {
    static size_t header(char* data, size_t size, size_t count, void* userp) {
        return static_cast<URLConnection*>(userp)->onHeader(data, size * count);
    }
    static size_t write(char* data, size_t size, size_t count, void* userp) {
        return static_cast<URLConnection*>(userp)->onWrite(data, size * count);
    }
    static size_t read(char* data, size_t size, size_t count, void* userp) {
        return static_cast<URLConnection*>(userp)->onRead(data, size * count);
    }
    static int verify(X509_STORE_CTX* ctx, void* arg) { return static_cast<URLConnection*>(arg)->onVerify(ctx); }
    static CURLcode sslContext(CURL*, void* context, void* userp) {
        SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(context), &CurlCallbacks::verify, userp);
        return CURLE_OK;
    }
};

void URLConnection::begin(URLRequest request, bool bodyAgain) {
    if (cancelled_) return dropTransfer();
    const auto& url = request.url();
    const std::string scheme = url && url->scheme() ? lowercaseString(*url->scheme()) : std::string();
    if (!url || (scheme != "http" && scheme != "https") || !url->host())
        return finishWithError(makeURLError(url ? URLErrorUnsupportedURL : URLErrorBadURL, url));

    auto transfer = std::make_unique<Transfer>();
    transfer->request = request;
    if (request.HTTPBody()) {
        transfer->body = *request.HTTPBody();
        transfer->bytesExpected = static_cast<std::int64_t>(transfer->body->size());
    } else if (request.HTTPBodyStream()) {
        std::shared_ptr<InputStream> stream = request.HTTPBodyStream();
        if (bodyAgain) {
            auto delegate = delegateIfRunning();
            stream = delegate ? delegate->connectionNeedNewBodyStream(*this, request) : nullptr;
            if (cancelled_) return dropTransfer();
            if (!stream) return finishWithError(makeURLError(URLErrorCancelled, url));
            request.setHTTPBodyStream(stream);
            transfer->request = request;
        }
        transfer->bodyStream = stream;
        stream->open();
        if (auto length = request.valueForHTTPHeaderField("Content-Length"))
            transfer->bytesExpected = stringIntegerValue(*length);
    }
    {
        std::lock_guard lock(mutex_);
        current_ = request;
    }

    CURL* easy = curl_easy_init();
    transfer->easy = easy;
    curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
    curl_easy_setopt(easy, CURLOPT_URL, url->absoluteString().c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);  // our verify callback decides
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);  // the trust checks the host
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &CurlCallbacks::sslContext);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, this);
    const double timeout =
        request.timeoutInterval() > 0 ? request.timeoutInterval() : URLRequest::kDefaultTimeoutInterval;
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout * 1000));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, static_cast<long>(std::max(1.0, std::ceil(timeout))));
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlCallbacks::header);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlCallbacks::write);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    if (credential_ && !credential_->user().empty() && credentialURL_ && isSameOrigin(*credentialURL_, *url)) {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(easy, CURLOPT_USERNAME, credential_->user().c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, credential_->password().c_str());
    }

    const std::string& method = request.HTTPMethod();
    const bool hasBody = transfer->body || transfer->bodyStream;
    if (hasBody || method == "POST") {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, &CurlCallbacks::read);
        curl_easy_setopt(easy, CURLOPT_READDATA, this);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(hasBody ? transfer->bytesExpected : 0));
        if (method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
    } else if (method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if (method != "GET") {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    bool hasExpect = false;
    for (const auto& [name, value] : request.allHTTPHeaderFields().all()) {
        if (caseInsensitiveCompare(name, "Expect") == 0) hasExpect = true;
        if (hasBody && transfer->bytesExpected >= 0 && caseInsensitiveCompare(name, "Content-Length") == 0) continue;
        transfer->headerList = curl_slist_append(transfer->headerList, (name + ": " + value).c_str());
    }
    if (!hasExpect) transfer->headerList = curl_slist_append(transfer->headerList, "Expect:");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headerList);

    transfer_ = std::move(transfer);
    CurlDriver::current().add(easy);
}

std::size_t URLConnection::onHeader(const char* data, std::size_t size) {
    if (cancelled_ || !transfer_) return 0;
    auto& t = *transfer_;
    std::string line(data, size);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.rfind("HTTP/", 0) == 0) {
        // A status line starts a response (again after a 100 Continue).
        t.headers = HTTPHeaderFields();
        t.lastHeaderName.clear();
        auto space = line.find(' ');
        t.httpVersion = line.substr(0, space);
        t.status = space == std::string::npos ? 0 : static_cast<int>(stringIntegerValue(line.substr(space + 1)));
        return size;
    }
    if (line.empty()) {
        if (t.status >= 100 && t.status < 200) return size;
        headersComplete();
        return cancelled_ || !transfer_ || transfer_->restartWith ? 0 : size;
    }
    if ((line[0] == ' ' || line[0] == '\t') && !t.lastHeaderName.empty()) {
        auto value = t.headers.value(t.lastHeaderName).value_or("");
        t.headers.set(t.lastHeaderName, value + " " + stringByTrimmingWhitespace(line));
        return size;
    }
    auto colon = line.find(':');
    if (colon == std::string::npos) return size;
    t.lastHeaderName = stringByTrimmingWhitespace(line.substr(0, colon));
    std::string value = stringByTrimmingWhitespace(line.substr(colon + 1));
    if (t.headers.value(t.lastHeaderName))
        t.headers.add(t.lastHeaderName, value);
    else
        t.headers.set(t.lastHeaderName, value);
    return size;
}

namespace {

// The URL a "Location" value names, relative to the request's URL.
std::optional<URL> resolveLocation(const URL& base, const std::string& location) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), &curl_url_cleanup);
    if (curl_url_set(url.get(), CURLUPART_URL, base.absoluteString().c_str(), 0) != CURLUE_OK) return std::nullopt;
    if (curl_url_set(url.get(), CURLUPART_URL, location.c_str(), CURLU_ALLOW_SPACE) != CURLUE_OK) return std::nullopt;
    char* text = nullptr;
    if (curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK) return std::nullopt;
    std::optional<URL> resolved = URL::URLWithString(text);
    curl_free(text);
    return resolved;
}

}  // namespace

void URLConnection::headersComplete() {
    auto& t = *transfer_;
    auto response = std::make_shared<HTTPURLResponse>(t.request.url(), t.status, t.httpVersion, t.headers);
    t.response = response;
    auto delegate = delegateIfRunning();
    if (!delegate) return;

    const int status = t.status;
    const bool isRedirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
    if (isRedirect && t.headers.value("Location")) {
        std::optional<URL> location = resolveLocation(*t.request.url(), *t.headers.value("Location"));
        if (location) {
            URLRequest next = t.request;
            next.setURL(location);
            if (!isSameOrigin(*t.request.url(), *location))
                next.setValueForHTTPHeaderField(std::nullopt, "Authorization");
            const bool keepsBody = status == 307 || status == 308;
            if (!keepsBody && next.HTTPMethod() != "HEAD" && (status == 303 || next.HTTPMethod() == "POST")) {
                next.setHTTPMethod("GET");
                next.setHTTPBody(std::nullopt);
                next.setHTTPBodyStream(nullptr);
                next.setValueForHTTPHeaderField(std::nullopt, "Content-Type");
                next.setValueForHTTPHeaderField(std::nullopt, "Content-Length");
            }
            auto decided = delegate->connectionWillSendRequest(*this, next, response);
            if (cancelled_) return;
            if (decided) {
                if (++redirects_ > kMaxRedirects) {
                    t.restartWith = std::nullopt;
                    return finishWithError(makeURLError(URLErrorHTTPTooManyRedirects, t.request.url()));
                }
                t.restartNeedsBody = keepsBody;
                t.restartWith = std::move(decided);
                return;
            }
        }
    }
    auto authenticate = t.headers.value("WWW-Authenticate");
    if (status == 401 && authenticate && lowercaseString(*authenticate).rfind("basic", 0) == 0) {
        const auto& url = *t.request.url();
        URLAuthenticationChallenge challenge(
            {*url.host(), effectivePort(url), lowercaseString(url.scheme().value_or("http")),
             NSURLAuthenticationMethodHTTPBasic, nullptr},
            authFailures_);
        delegate->connectionWillSendRequestForAuthenticationChallenge(*this, challenge);
        if (cancelled_) return;
        if (challenge.disposition() == URLAuthenticationChallenge::Disposition::UseCredential &&
            challenge.credential()) {
            ++authFailures_;
            credential_ = challenge.credential();
            credentialURL_ = url;
            t.restartNeedsBody = true;
            t.restartWith = t.request;
            return;
        }
        if (challenge.disposition() == URLAuthenticationChallenge::Disposition::Cancel) {
            t.authCancelled = true;
            t.restartWith = std::nullopt;
            return finishWithError(makeURLError(URLErrorUserCancelledAuthentication, t.request.url()));
        }
    }
    t.responseDelivered = true;
    delegate->connectionDidReceiveResponse(*this, response);
}

std::size_t URLConnection::onWrite(const char* data, std::size_t size) {
    if (cancelled_ || !transfer_) return 0;
    if (!transfer_->responseDelivered) return size;  // the body of a response that was not delivered
    auto delegate = delegateIfRunning();
    if (!delegate) return 0;
    delegate->connectionDidReceiveData(*this, Data(data, data + size));
    return cancelled_ ? 0 : size;
}

std::size_t URLConnection::onRead(char* buffer, std::size_t size) {
    if (cancelled_ || !transfer_) return CURL_READFUNC_ABORT;
    auto& t = *transfer_;
    std::size_t n = 0;
    if (t.body) {
        n = std::min(size, t.body->size() - t.bodyOffset);
        std::memcpy(buffer, t.body->data() + t.bodyOffset, n);
        t.bodyOffset += n;
    } else if (t.bodyStream) {
        ssize_t got = t.bodyStream->read(reinterpret_cast<std::uint8_t*>(buffer), size);
        if (got < 0) return CURL_READFUNC_ABORT;
        n = static_cast<std::size_t>(got);
    }
    if (n) {
        t.bytesSent += static_cast<std::int64_t>(n);
        if (auto delegate = delegateIfRunning())
            delegate->connectionDidSendBodyData(*this, static_cast<std::int64_t>(n), t.bytesSent, t.bytesExpected);
    }
    return n;
}

int URLConnection::onVerify(void* storeContext) {
    auto* ctx = static_cast<X509_STORE_CTX*>(storeContext);
    if (cancelled_ || !transfer_) return 0;
    std::vector<Data> chain;
    if (STACK_OF(X509)* presented = X509_STORE_CTX_get0_untrusted(ctx)) {
        for (int i = 0; i < sk_X509_num(presented); ++i) {
            X509* x = sk_X509_value(presented, i);
            int length = i2d_X509(x, nullptr);
            if (length <= 0) continue;
            Data der(static_cast<std::size_t>(length));
            unsigned char* p = der.data();
            i2d_X509(x, &p);
            chain.push_back(std::move(der));
        }
    }
    const auto& url = *transfer_->request.url();
    auto trust = std::make_shared<ServerTrust>(std::move(chain), url.host());
    URLAuthenticationChallenge challenge(
        {*url.host(), url.port().value_or(443), "https", NSURLAuthenticationMethodServerTrust, trust}, 0);
    if (auto delegate = delegateIfRunning())
        delegate->connectionWillSendRequestForAuthenticationChallenge(*this, challenge);
    bool accepted = false;
    switch (challenge.disposition()) {
        case URLAuthenticationChallenge::Disposition::UseCredential:
            accepted = challenge.credential() && challenge.credential()->serverTrust() == trust;
            if (!accepted) transfer_->trustRefused = true;
            break;
        case URLAuthenticationChallenge::Disposition::Cancel:
            transfer_->trustCancelled = true;
            break;
        default: {
            ServerTrust::Result result = ServerTrust::Invalid;
            accepted =
                trust->evaluate(&result) && (result == ServerTrust::Proceed || result == ServerTrust::Unspecified);
            if (!accepted) transfer_->trustRefused = true;
        }
    }
    if (!accepted) X509_STORE_CTX_set_error(ctx, X509_V_ERR_APPLICATION_VERIFICATION);
    return accepted ? 1 : 0;
}

void URLConnection::transferDone(int curlCode) {
    if (!transfer_) return;
    auto keep = shared_from_this();
    CurlDriver::current().remove(transfer_->easy);
    std::unique_ptr<Transfer> t = std::move(transfer_);
    if (cancelled_ || done_) return dropTransfer();
    if (t->restartWith) {
        URLRequest next = std::move(*t->restartWith);
        const bool needsBody = t->restartNeedsBody && (next.HTTPBodyStream() != nullptr);
        t.reset();
        return begin(std::move(next), needsBody);
    }
    const auto& url = t->request.url();
    if (curlCode != CURLE_OK) {
        std::int64_t code = urlErrorCodeForCurlCode(curlCode);
        if (t->trustCancelled)
            code = URLErrorUserCancelledAuthentication;
        else if (t->trustRefused)
            code = URLErrorServerCertificateUntrusted;
        return finishWithError(makeURLError(code, url));
    }
    auto delegate = delegateIfRunning();
    if (!delegate) return dropTransfer();
    if (!t->responseDelivered) {
        if (!t->response) return finishWithError(makeURLError(URLErrorBadServerResponse, url));
        t->responseDelivered = true;
        delegate->connectionDidReceiveResponse(*this, t->response);
        if (cancelled_) return dropTransfer();
    }
    auto* http = dynamic_cast<HTTPURLResponse*>(t->response.get());
    if (http && http->statusCode() == 200 && t->request.HTTPMethod() == "GET") {
        delegate->connectionWillCacheResponse(*this, t->response);
        if (cancelled_) return dropTransfer();
    }
    dropTransfer();
    delegate->connectionDidFinishLoading(*this);
}
