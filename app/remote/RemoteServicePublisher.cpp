#include "app/remote/RemoteServicePublisher.h"

#include <utility>

#include "model/TWLogger.h"
#include "platform/foundation/Operation.h"

namespace {

// A connection nobody serves: opened and closed at once, so the peer sees it end.
void turnAway(const std::shared_ptr<InputStream>& input, const std::shared_ptr<OutputStream>& output) {
    input->open();
    input->close();
    output->open();
    output->close();
}

}  // namespace

std::shared_ptr<RemoteServicePublisher> RemoteServicePublisher::create(std::string serviceName,
                                                                       std::string serviceType) {
    return std::shared_ptr<RemoteServicePublisher>(
        new RemoteServicePublisher(std::move(serviceName), std::move(serviceType)));
}

RemoteServicePublisher::RemoteServicePublisher(std::string serviceName, std::string serviceType)
    : serviceName_(std::move(serviceName)), serviceType_(std::move(serviceType)) {}

RemoteServicePublisher::~RemoteServicePublisher() {
    setState(ServerState::stopped());
}

void RemoteServicePublisher::setState(ServerState::Value state) {
    ServerState::Value old = std::exchange(state_, std::move(state));
    if (auto* waiting = std::get_if<ServerState::WaitingForConsumer>(&old)) {
        waiting->server->stop();
    } else if (auto* connected = std::get_if<ServerState::ConsumerConnected>(&old)) {
        connected->commandHandler->close();
    }
    // The actions above may have moved on already (a close that reports).
    if (auto* waiting = std::get_if<ServerState::WaitingForConsumer>(&state_)) {
        auto server = waiting->server;
        TWLogger::sharedInstance().log("Server " + server->name() + " listening for clients", TWLogger::LevelDebug,
                                       "RemoteServicePublisher", "state", Value(__LINE__));
        server->publish(NetService::ListenForConnections);
    } else if (auto* connected = std::get_if<ServerState::ConsumerConnected>(&state_)) {
        connected->commandHandler->openStreams();
    }
}

void RemoteServicePublisher::start() {
    if (!isStopped()) return;
    auto service = NetService::create("local.", serviceType_, serviceName_, 0);
    service->setIncludesPeerToPeer(true);
    service->setDelegate(weak_from_this());
    setState(ServerState::waitingForConsumer(service));
}

void RemoteServicePublisher::netServiceDidPublish(NetService&) {
    std::weak_ptr<RemoteServicePublisher> weak = weak_from_this();
    OperationQueue::mainQueue().addOperationWithBlock([weak] {
        auto self = weak.lock();
        if (!self) return;
        if (auto delegate = self->delegate_.lock()) delegate->remoteServicePublisherDidPublish(*self);
    });
}

void RemoteServicePublisher::netServiceDidNotPublish(NetService&, const std::map<std::string, std::int64_t>& errorDict) {
    setState(ServerState::stopped());
    std::weak_ptr<RemoteServicePublisher> weak = weak_from_this();
    OperationQueue::mainQueue().addOperationWithBlock([weak, errorDict] {
        auto self = weak.lock();
        if (!self) return;
        if (auto delegate = self->delegate_.lock()) delegate->remoteServicePublisherDidNotPublish(*self, errorDict);
    });
}

void RemoteServicePublisher::netServiceDidAcceptConnection(NetService& service, std::shared_ptr<InputStream> input,
                                                           std::shared_ptr<OutputStream> output) {
    std::weak_ptr<RemoteServicePublisher> weak = weak_from_this();
    std::weak_ptr<NetService> accepting = service.shared_from_this();
    OperationQueue::mainQueue().addOperationWithBlock([weak, accepting, input, output] {
        auto self = weak.lock();
        if (!self) {
            turnAway(input, output);
            return;
        }
        auto acceptingService = accepting.lock();
        self->acceptConnection(acceptingService.get(), input, output);
    });
}

void RemoteServicePublisher::acceptConnection(NetService* service, std::shared_ptr<InputStream> input,
                                              std::shared_ptr<OutputStream> output) {
    auto* waiting = std::get_if<ServerState::WaitingForConsumer>(&state_);
    if (waiting && service && waiting->server.get() == service) {
        auto handler = LineBasedCommandHandler::create(input, output, weak_from_this());
        setState(ServerState::consumerConnected(service->name(), handler));
        return;
    }
    // A further peer, or one accepted while stopped or by a service no longer
    // waited on: nobody will serve it.
    turnAway(input, output);
}

void RemoteServicePublisher::commandHandlerDidOpen(LineBasedCommandHandler& handler) {
    auto* connected = std::get_if<ServerState::ConsumerConnected>(&state_);
    if (!connected || connected->commandHandler.get() != &handler) return;
    std::weak_ptr<RemoteServicePublisher> weak = weak_from_this();
    OperationQueue::mainQueue().addOperationWithBlock([weak] {
        auto self = weak.lock();
        if (!self) return;
        if (auto delegate = self->delegate_.lock()) delegate->remoteServicePublisherDidConnect(*self);
    });
}

void RemoteServicePublisher::commandHandlerDidReceive(LineBasedCommandHandler&, const std::string& command) {
    if (auto delegate = delegate_.lock()) delegate->remoteServicePublisherDidReceiveCommand(*this, command);
}

void RemoteServicePublisher::commandHandlerDidClose(LineBasedCommandHandler&) {
    if (std::holds_alternative<ServerState::ConsumerConnected>(state_)) setState(ServerState::stopped());
    std::weak_ptr<RemoteServicePublisher> weak = weak_from_this();
    OperationQueue::mainQueue().addOperationWithBlock([weak] {
        auto self = weak.lock();
        if (!self) return;
        if (auto delegate = self->delegate_.lock()) delegate->remoteServicePublisherDidDisconnect(*self);
    });
}
