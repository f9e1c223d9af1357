#include "platform/net/NetService.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <algorithm>
#include <cerrno>

#include "platform/foundation/RunLoop.h"
#include "platform/net/SocketStream.h"

std::shared_ptr<NetServiceRegistrar> makeSystemServiceRegistrar();  // AvahiServiceRegistrar.cpp

namespace {

std::mutex& registrarMutex() {
    static std::mutex mutex;
    return mutex;
}
std::shared_ptr<NetServiceRegistrar>& registrarSlot() {
    static std::shared_ptr<NetServiceRegistrar> slot;
    return slot;
}
std::atomic<bool> loopbackOnly{false};

// A listening TCP socket on the family's any or loopback address and `port`;
// -1 when the family is not there or the port is taken.
int listenOn(int family, int port) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    int result;
    if (family == AF_INET6) {
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = htons(static_cast<std::uint16_t>(port));
        address.sin6_addr = loopbackOnly ? in6addr_loopback : in6addr_any;
        result = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    } else {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
        result = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    if (result != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int boundPort(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

}  // namespace

// ---- registrars ----

std::shared_ptr<NetServiceRegistrar> NetServiceRegistrar::shared() {
    std::lock_guard lock(registrarMutex());
    auto& slot = registrarSlot();
    if (!slot) slot = makeSystemServiceRegistrar();
    return slot;
}

void NetServiceRegistrar::setShared(std::shared_ptr<NetServiceRegistrar> registrar) {
    std::lock_guard lock(registrarMutex());
    registrarSlot() = std::move(registrar);
}

NetServiceRegistrar::Registration InProcessServiceRegistrar::registerService(const Record& record,
                                                                             Completion completion) {
    Registration registration;
    std::int64_t code;
    {
        std::lock_guard lock(state_->mutex);
        registration = state_->next++;
        code = state_->failureCode;
        state_->history.push_back(record);
        state_->active.emplace_back(registration, record);
    }
    std::weak_ptr<State> weak = state_;
    RunLoop::current().perform([weak, registration, code, completion = std::move(completion)] {
        auto state = weak.lock();
        if (!state) return;
        {
            std::lock_guard lock(state->mutex);
            auto it = std::find_if(state->active.begin(), state->active.end(),
                                   [&](const auto& entry) { return entry.first == registration; });
            if (it == state->active.end()) return;  // withdrawn meanwhile
            if (code) state->active.erase(it);
        }
        if (code)
            completion({{NSNetServicesErrorCode, code}, {NSNetServicesErrorDomain, kNetServicesRegistrarErrorDomain}});
        else
            completion({});
    });
    return registration;
}

void InProcessServiceRegistrar::unregisterService(Registration registration) {
    std::lock_guard lock(state_->mutex);
    std::erase_if(state_->active, [&](const auto& entry) { return entry.first == registration; });
}

std::vector<NetServiceRegistrar::Record> InProcessServiceRegistrar::registeredServices() const {
    std::lock_guard lock(state_->mutex);
    std::vector<Record> records;
    for (const auto& entry : state_->active) records.push_back(entry.second);
    return records;
}

std::vector<NetServiceRegistrar::Record> InProcessServiceRegistrar::registrationHistory() const {
    std::lock_guard lock(state_->mutex);
    return state_->history;
}

void InProcessServiceRegistrar::setFailureCode(std::int64_t code) {
    std::lock_guard lock(state_->mutex);
    state_->failureCode = code;
}

// ---- NetService ----

void NetService::setListensOnLoopbackOnly(bool value) {
    loopbackOnly = value;
}

std::shared_ptr<NetService> NetService::create(std::string domain, std::string type, std::string name, int port) {
    return std::shared_ptr<NetService>(new NetService(std::move(domain), std::move(type), std::move(name), port));
}

NetService::NetService(std::string domain, std::string type, std::string name, int port)
    : domain_(std::move(domain)), type_(std::move(type)), name_(std::move(name)), port_(port) {}

NetService::~NetService() {
    if (acceptRetry_) acceptRetry_->invalidate();
    for (auto& source : sources_) source->invalidate();
    for (int fd : listeners_) ::close(fd);
    if (registrar_ && registration_) registrar_->unregisterService(registration_);
}

void NetService::publish(unsigned options) {
    if (publishing_) return;
    publishing_ = true;
    if (options & ListenForConnections) {
        const int v4 = listenOn(AF_INET, port_);
        const int v6 = listenOn(AF_INET6, v4 >= 0 ? boundPort(v4) : port_);
        for (int fd : {v4, v6}) {
            if (fd < 0) continue;
            listeners_.push_back(fd);
            std::weak_ptr<NetService> weak = weak_from_this();
            auto source = FileDescriptorSource::create(fd, FileDescriptorSource::Readable,
                                                       [weak](FileDescriptorSource& src, unsigned) {
                                                           if (auto self = weak.lock()) self->accept(src.fd());
                                                       });
            sources_.push_back(source);
            RunLoop::current().addSource(source);
        }
        if (listeners_.empty()) {
            // Report from the loop, as a registrar would.
            std::weak_ptr<NetService> weak = weak_from_this();
            RunLoop::current().perform([weak] {
                if (auto self = weak.lock()) self->fail(NSNetServicesBadArgumentError);
            });
            return;
        }
        port_ = boundPort(listeners_.front());
    }
    registrar_ = NetServiceRegistrar::shared();
    std::weak_ptr<NetService> weak = weak_from_this();
    const std::uint64_t generation = ++generation_;
    registration_ = registrar_->registerService(
        {name_, type_, domain_, port_}, [weak, generation](const std::map<std::string, std::int64_t>& error) {
            auto self = weak.lock();
            if (!self || !self->publishing_ || self->generation_ != generation) return;  // an earlier publishing
            if (!error.empty()) {
                self->registration_ = 0;
                self->stop();
                if (auto delegate = self->delegate_.lock()) delegate->netServiceDidNotPublish(*self, error);
                return;
            }
            if (auto delegate = self->delegate_.lock()) delegate->netServiceDidPublish(*self);
        });
}

void NetService::fail(std::int64_t code) {
    if (!publishing_) return;
    stop();
    if (auto delegate = delegate_.lock())
        delegate->netServiceDidNotPublish(*this, {{NSNetServicesErrorCode, code},
                                                  {NSNetServicesErrorDomain, kNetServicesRegistrarErrorDomain}});
}

void NetService::stop() {
    if (!publishing_) return;
    publishing_ = false;
    if (acceptRetry_) acceptRetry_->invalidate();
    acceptRetry_.reset();
    for (auto& source : sources_) source->invalidate();
    sources_.clear();
    for (int fd : listeners_) ::close(fd);
    listeners_.clear();
    if (registrar_ && registration_) registrar_->unregisterService(registration_);
    registration_ = 0;
    if (auto delegate = delegate_.lock()) delegate->netServiceDidStop(*this);
}

void NetService::accept(int listener) {
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == ECONNABORTED || errno == EINTR) continue;  // that peer gave up; the next one may wait
            // Out of descriptors or memory: the listener stays readable, so
            // watching it now would only spin the loop.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) pauseAccepting();
            return;  // EAGAIN: all taken
        }
        auto [input, output] = SocketStreams::createPairWithSocket(fd);
        auto delegate = delegate_.lock();
        if (!delegate) continue;  // nobody takes it: the streams close the socket
        delegate->netServiceDidAcceptConnection(*this, input, output);
        if (!publishing_) return;  // stopped by the delegate: the listener is closed
    }
}

void NetService::setAccepting(bool accepting) {
    for (auto& source : sources_) source->setInterest(accepting ? FileDescriptorSource::Readable : 0u);
}

void NetService::pauseAccepting() {
    if (acceptRetry_) return;
    setAccepting(false);
    std::weak_ptr<NetService> weak = weak_from_this();
    acceptRetry_ = Timer::make(kAcceptRetryInterval, false, [weak](Timer&) {
        auto self = weak.lock();
        if (!self || !self->publishing_) return;
        self->acceptRetry_.reset();
        self->setAccepting(true);
    });
    RunLoop::current().addTimer(acceptRetry_);
}
