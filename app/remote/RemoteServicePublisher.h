#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <variant>

#include "app/remote/LineBasedCommandHandler.h"
#include "platform/net/NetService.h"

class RemoteServicePublisher;

// Told by the publisher, on the main thread, in the order of a connection's life.
class RemoteServicePublisherDelegate {
public:
    virtual ~RemoteServicePublisherDelegate() = default;
    virtual void remoteServicePublisherDidPublish(RemoteServicePublisher& /*publisher*/) {}
    virtual void remoteServicePublisherDidNotPublish(RemoteServicePublisher& publisher,
                                                     const std::map<std::string, std::int64_t>& errorDict) = 0;
    virtual void remoteServicePublisherDidConnect(RemoteServicePublisher& publisher) = 0;
    virtual void remoteServicePublisherDidReceiveCommand(RemoteServicePublisher& publisher,
                                                         const std::string& command) = 0;
    virtual void remoteServicePublisherDidDisconnect(RemoteServicePublisher& publisher) = 0;
};

// Where the publisher is: advertising and listening, serving one peer, or idle.
struct ServerState {
    struct WaitingForConsumer {
        std::shared_ptr<NetService> server;
    };
    struct ConsumerConnected {
        std::string name;
        std::shared_ptr<LineBasedCommandHandler> commandHandler;
    };
    struct Stopped {};
    using Value = std::variant<WaitingForConsumer, ConsumerConnected, Stopped>;

    static Value waitingForConsumer(std::shared_ptr<NetService> server) { return WaitingForConsumer{std::move(server)}; }
    static Value consumerConnected(std::string name, std::shared_ptr<LineBasedCommandHandler> handler) {
        return ConsumerConnected{std::move(name), std::move(handler)};
    }
    static Value stopped() { return Stopped{}; }
};

// Makes the phone findable by the desktop peer and owns the one connection the
// peer makes: advertises `serviceType` in "local." under `serviceName` with a
// listening socket, takes the first peer as the consumer (which ends the
// advertising: one publishing serves one connection), turns away any further
// one, and reports to its delegate (held weakly). Main thread; held by
// std::shared_ptr. Connections that arrive while it is stopped, or that were
// accepted by a service it no longer waits on, are opened and closed at once.
class RemoteServicePublisher : public NetServiceDelegate,
                               public LineBasedCommandHandlerDelegate,
                               public std::enable_shared_from_this<RemoteServicePublisher> {
public:
    static std::shared_ptr<RemoteServicePublisher> create(std::string serviceName, std::string serviceType);
    ~RemoteServicePublisher() override;

    // Begins advertising; does nothing unless stopped.
    void start();

    const ServerState::Value& state() const { return state_; }
    // Runs the actions of leaving the old state and entering the new one.
    void setState(ServerState::Value state);
    bool isStopped() const { return std::holds_alternative<ServerState::Stopped>(state_); }

    void setDelegate(std::weak_ptr<RemoteServicePublisherDelegate> delegate) { delegate_ = std::move(delegate); }
    std::shared_ptr<RemoteServicePublisherDelegate> delegate() const { return delegate_.lock(); }
    const std::string& serviceName() const { return serviceName_; }
    const std::string& serviceType() const { return serviceType_; }

    void netServiceDidPublish(NetService& service) override;
    void netServiceDidNotPublish(NetService& service, const std::map<std::string, std::int64_t>& errorDict) override;
    void netServiceDidAcceptConnection(NetService& service, std::shared_ptr<InputStream> input,
                                       std::shared_ptr<OutputStream> output) override;

    void commandHandlerDidOpen(LineBasedCommandHandler& handler) override;
    void commandHandlerDidReceive(LineBasedCommandHandler& handler, const std::string& command) override;
    void commandHandlerDidClose(LineBasedCommandHandler& handler) override;

private:
    RemoteServicePublisher(std::string serviceName, std::string serviceType);
    void acceptConnection(NetService* service, std::shared_ptr<InputStream> input,
                          std::shared_ptr<OutputStream> output);

    ServerState::Value state_ = ServerState::Stopped{};
    std::weak_ptr<RemoteServicePublisherDelegate> delegate_;
    std::string serviceName_;
    std::string serviceType_;
};
