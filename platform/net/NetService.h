#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/net/Stream.h"

class FileDescriptorSource;
class NetService;
class Timer;

// Keys and codes of the did-not-publish error dictionary (text keys, number
// values), as the platform's network services give them.
inline constexpr const char* NSNetServicesErrorCode = "NSNetServicesErrorCode";
inline constexpr const char* NSNetServicesErrorDomain = "NSNetServicesErrorDomain";
enum NetServicesError : std::int64_t {
    NSNetServicesUnknownError = -72000,
    NSNetServicesCollisionError = -72001,
    NSNetServicesNotFoundError = -72002,
    NSNetServicesBadArgumentError = -72004,
};
// The error domain number the dictionary carries for errors of the registrar.
inline constexpr std::int64_t kNetServicesRegistrarErrorDomain = 10;

// Registers a service (name, type, domain, port) with whatever advertises it
// on the network. One small interface so that tests can replace the system's
// registrar: see InProcessServiceRegistrar and AvahiServiceRegistrar.
//
// registerService() answers through `completion` on the thread that called it
// (through its run loop), exactly once per registration unless it is
// unregistered first: with an empty map when the service is advertised, or
// with the error dictionary (NSNetServicesErrorCode, NSNetServicesErrorDomain)
// when it is not (no daemon, a name collision, a bad argument).
class NetServiceRegistrar {
public:
    using Registration = std::uint64_t;
    using Completion = std::function<void(const std::map<std::string, std::int64_t>& error)>;
    struct Record {
        std::string name, type, domain;
        int port = 0;
    };

    virtual ~NetServiceRegistrar() = default;
    virtual Registration registerService(const Record& record, Completion completion) = 0;
    // Withdraws the service; its completion is not called after this.
    virtual void unregisterService(Registration registration) = 0;

    // The registrar new services use. By default the system's (Avahi where it
    // was built in, otherwise the in-process one); tests put in their own.
    static std::shared_ptr<NetServiceRegistrar> shared();
    static void setShared(std::shared_ptr<NetServiceRegistrar> registrar);
};

// A registrar that advertises nothing: it records what is registered and, on
// request, fails the next registrations with a given error code. Completions
// run from the main run loop. For tests, and for builds without Avahi.
class InProcessServiceRegistrar : public NetServiceRegistrar {
public:
    Registration registerService(const Record& record, Completion completion) override;
    void unregisterService(Registration registration) override;

    // What is registered now, in the order registered.
    std::vector<Record> registeredServices() const;
    // Every registration ever asked for, withdrawn or not.
    std::vector<Record> registrationHistory() const;
    // Makes the following registrations fail with `code` (0: succeed again).
    void setFailureCode(std::int64_t code);

private:
    struct State {
        std::mutex mutex;
        Registration next = 1;
        std::int64_t failureCode = 0;
        std::vector<std::pair<Registration, Record>> active;
        std::vector<Record> history;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

class NetServiceDelegate {
public:
    virtual ~NetServiceDelegate() = default;
    virtual void netServiceDidPublish(NetService& /*service*/) {}
    virtual void netServiceDidNotPublish(NetService& /*service*/,
                                         const std::map<std::string, std::int64_t>& /*errorDict*/) {}
    virtual void netServiceDidAcceptConnection(NetService& /*service*/, std::shared_ptr<InputStream> /*input*/,
                                               std::shared_ptr<OutputStream> /*output*/) {}
    virtual void netServiceDidStop(NetService& /*service*/) {}
};

// A network service to publish (NSNetService, publishing side only). Main
// thread (or one thread with a running loop): its callbacks come through the
// run loop of the thread that published it.
//
// publish(ListenForConnections) opens listening TCP sockets on IPv4 and IPv6
// (the port chosen by the system; one address family missing is fine), then
// registers the service with the shared registrar under that port. Each
// accepted connection becomes a pair of socket streams, not opened, handed to
// netServiceDidAcceptConnection. A failure to listen or to register reports
// netServiceDidNotPublish with the error dictionary and leaves the service
// stopped. stop() closes the listening sockets and withdraws the registration.
// When the process has no descriptor left for a new connection (or the system
// no memory for it), the service stops listening for kAcceptRetryInterval
// seconds of the clock and then tries again: the waiting peer stays queued.
class NetService : public std::enable_shared_from_this<NetService> {
public:
    enum Options : unsigned { NoAutoRename = 1u, ListenForConnections = 2u };
    static constexpr double kAcceptRetryInterval = 0.5;

    // Use create(): a service is held by std::shared_ptr.
    static std::shared_ptr<NetService> create(std::string domain, std::string type, std::string name, int port);
    ~NetService();
    NetService(const NetService&) = delete;
    NetService& operator=(const NetService&) = delete;

    const std::string& domain() const { return domain_; }
    const std::string& type() const { return type_; }
    const std::string& name() const { return name_; }
    // The port given, or, once listening, the one the system chose.
    int port() const { return port_; }
    bool includesPeerToPeer() const { return includesPeerToPeer_; }
    void setIncludesPeerToPeer(bool value) { includesPeerToPeer_ = value; }

    // Held weakly.
    void setDelegate(std::weak_ptr<NetServiceDelegate> delegate) { delegate_ = std::move(delegate); }

    void publish(unsigned options = 0);
    void stop();
    bool isPublishing() const { return publishing_; }

    // Where listening sockets are bound: every address (the app) or only the
    // loopback addresses 127.0.0.1 and ::1 (tests). Process-wide.
    static void setListensOnLoopbackOnly(bool loopbackOnly);

private:
    NetService(std::string domain, std::string type, std::string name, int port);
    void fail(std::int64_t code);
    void accept(int listener);
    void pauseAccepting();
    void setAccepting(bool accepting);

    std::string domain_, type_, name_;
    int port_;
    bool includesPeerToPeer_ = false;
    bool publishing_ = false;
    std::weak_ptr<NetServiceDelegate> delegate_;
    std::vector<int> listeners_;
    std::vector<std::shared_ptr<FileDescriptorSource>> sources_;
    std::shared_ptr<Timer> acceptRetry_;  // while accepting is paused
    std::shared_ptr<NetServiceRegistrar> registrar_;
    NetServiceRegistrar::Registration registration_ = 0;
    std::uint64_t generation_ = 0;  // of publish(), so that an earlier answer is ignored
};
