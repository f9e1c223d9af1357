#include "app/remote/RemoteServicePublisher.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>

#include "app/remote/RemoteControlAPI.h"
#include "app/remote/RemoteTestSupport.h"
#include "platform/foundation/RunLoop.h"
#include "platform/net/SocketStream.h"

using namespace remote_test;
using memorant_test::drainMainLoop;
using memorant_test::runMainLoopUntil;
using memorant_test::ScopedVirtualClock;

namespace {

struct RecordingPublisherDelegate : RemoteServicePublisherDelegate {
    int published = 0;
    std::vector<std::map<std::string, std::int64_t>> failures;
    int connected = 0;
    int disconnected = 0;
    std::vector<std::string> commands;
    void remoteServicePublisherDidPublish(RemoteServicePublisher&) override { ++published; }
    void remoteServicePublisherDidNotPublish(RemoteServicePublisher&,
                                             const std::map<std::string, std::int64_t>& error) override {
        failures.push_back(error);
    }
    void remoteServicePublisherDidConnect(RemoteServicePublisher&) override { ++connected; }
    void remoteServicePublisherDidReceiveCommand(RemoteServicePublisher&, const std::string& command) override {
        commands.push_back(command);
    }
    void remoteServicePublisherDidDisconnect(RemoteServicePublisher&) override { ++disconnected; }
};

// Takes every free descriptor of the process for its lifetime (under a lowered
// limit), as a process that has run out of them.
class DescriptorTableFilled {
public:
    DescriptorTableFilled() {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        int highest = 0;
        if (DIR* fds = ::opendir("/proc/self/fd")) {
            while (dirent* entry = ::readdir(fds)) highest = std::max(highest, std::atoi(entry->d_name));
            ::closedir(fds);
        }
        rlimit lowered = saved_;
        lowered.rlim_cur = std::min<rlim_t>(saved_.rlim_cur, static_cast<rlim_t>(highest) + 16);
        ::setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) taken_.push_back(fd);
    }
    ~DescriptorTableFilled() {
        for (int fd : taken_) ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &saved_);
    }
    DescriptorTableFilled(const DescriptorTableFilled&) = delete;
    DescriptorTableFilled& operator=(const DescriptorTableFilled&) = delete;

private:
    rlimit saved_{};
    std::vector<int> taken_;
};

// A publisher with the in-process registrar, listening on the loopback
// addresses; the test's sockets play the desktop peer.
class RemoteServicePublisherTest : public ::testing::Test {
protected:
    void SetUp() override {
        NetServiceRegistrar::setShared(registrar);
        NetService::setListensOnLoopbackOnly(true);
        TWLogger::sharedInstance().setMessageBacklog({});
        publisher->setDelegate(delegate);
    }
    void TearDown() override {
        publisher.reset();
        for (int fd : peers) ::close(fd);
        NetServiceRegistrar::setShared(nullptr);
    }
    int advertisedPort() const {
        const auto services = registrar->registeredServices();
        return services.empty() ? 0 : services.back().port;
    }
    void startAndWaitForPublishing() {
        publisher->start();
        ASSERT_TRUE(runMainLoopUntil([&] { return delegate->published > 0; }));
        ASSERT_GT(advertisedPort(), 0);
        port = advertisedPort();
    }
    int connectPeer() {
        const int fd = connectToLoopback(port);
        if (fd >= 0) peers.push_back(fd);
        return fd;
    }
    std::shared_ptr<LineBasedCommandHandler> connectedHandler() const {
        const auto* connected = std::get_if<ServerState::ConsumerConnected>(&publisher->state());
        return connected ? connected->commandHandler : nullptr;
    }

    std::shared_ptr<InProcessServiceRegistrar> registrar = std::make_shared<InProcessServiceRegistrar>();
    std::shared_ptr<RecordingPublisherDelegate> delegate = std::make_shared<RecordingPublisherDelegate>();
    std::shared_ptr<RemoteServicePublisher> publisher =
        RemoteServicePublisher::create("Test Phone", RemoteControlAPIService::BonjourServiceType());
    std::vector<int> peers;
    int port = 0;
};

TEST_F(RemoteServicePublisherTest, AdvertisesThenServesTheFirstPeerBothWays) {
    startAndWaitForPublishing();
    const auto services = registrar->registeredServices();
    ASSERT_EQ(services.size(), 1u);
    EXPECT_EQ(services[0].name, "Test Phone");
    EXPECT_EQ(services[0].type, "_memrc1._tcp.");
    EXPECT_EQ(services[0].domain, "local.");
    EXPECT_TRUE(loggedLineContaining("DEBUG| Server Test Phone listening for clients |RemoteServicePublisher:"));

    const int peer = connectPeer();
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->connected == 1; }));
    EXPECT_TRUE(registrar->registeredServices().empty()) << "one publishing serves one connection";
    const auto* connected = std::get_if<ServerState::ConsumerConnected>(&publisher->state());
    ASSERT_NE(connected, nullptr);
    EXPECT_EQ(connected->name, "Test Phone");

    sendAll(peer, "t\r\nPing\r\n\r\n");
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->commands.size() == 2; }));
    EXPECT_EQ(delegate->commands, (std::vector<std::string>{"t", ""}));
    connectedHandler()->send(RemoteControlAPICommands::GetCurrentStudyMode());
    std::string received;
    ASSERT_TRUE(runUntilPeerReceived(peer, received, 3));
    EXPECT_EQ(received, "s\r\n");
}

TEST_F(RemoteServicePublisherTest, APeerOverIPv6IsServedOnTheSamePort) {
    if (!hasIPv6Loopback()) GTEST_SKIP() << "this machine has no IPv6 loopback address";
    startAndWaitForPublishing();
    const int peer = connectToLoopback6(port);
    ASSERT_GE(peer, 0);
    peers.push_back(peer);
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->connected == 1; }));
    sendAll(peer, "mc\r\n");
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->commands.size() == 1; }));
    EXPECT_EQ(delegate->commands[0], "mc");
}

TEST_F(RemoteServicePublisherTest, ASecondPeerIsClosedAtOnceAndTheFirstCarriesOn) {
    startAndWaitForPublishing();
    // Both wait in the listening queue, so both are accepted.
    const int first = connectPeer();
    const int second = connectPeer();
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->connected == 1; }));
    EXPECT_TRUE(runUntilPeerSeesEnd(second));
    sendAll(first, "m\r\n");
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->commands.size() == 1; }));
    EXPECT_EQ(delegate->commands[0], "m");
    EXPECT_EQ(delegate->connected, 1);
    EXPECT_EQ(delegate->disconnected, 0);
}

TEST_F(RemoteServicePublisherTest, ADisconnectIsToldOnceAndNothingIsAdvertisedAgain) {
    startAndWaitForPublishing();
    const int peer = connectPeer();
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->connected == 1; }));
    ::shutdown(peer, SHUT_RDWR);
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->disconnected > 0; }));
    drainMainLoop();
    EXPECT_EQ(delegate->disconnected, 1);
    EXPECT_TRUE(publisher->isStopped());
    EXPECT_TRUE(registrar->registeredServices().empty());
    EXPECT_EQ(registrar->registrationHistory().size(), 1u);
    EXPECT_LT(connectToLoopback(port), 0) << "nobody listens any more";
}

TEST_F(RemoteServicePublisherTest, StoppingWhileConnectedClosesTheConnectionAndTellsOnce) {
    startAndWaitForPublishing();
    const int peer = connectPeer();
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->connected == 1; }));
    publisher->setState(ServerState::stopped());
    EXPECT_TRUE(runUntilPeerSeesEnd(peer));
    drainMainLoop();
    EXPECT_EQ(delegate->disconnected, 1);
}

TEST_F(RemoteServicePublisherTest, APublishingFailureStopsAndALaterStartMakesAFreshService) {
    registrar->setFailureCode(NSNetServicesCollisionError);
    publisher->start();
    ASSERT_TRUE(runMainLoopUntil([&] { return !delegate->failures.empty(); }));
    EXPECT_EQ(delegate->failures[0], (std::map<std::string, std::int64_t>{
                                         {"NSNetServicesErrorCode", -72001}, {"NSNetServicesErrorDomain", 10}}));
    EXPECT_TRUE(publisher->isStopped());
    EXPECT_EQ(delegate->published, 0);
    const int failedPort = registrar->registrationHistory().at(0).port;
    EXPECT_LT(connectToLoopback(failedPort), 0) << "the failed service stopped listening";

    registrar->setFailureCode(0);
    startAndWaitForPublishing();
    EXPECT_EQ(registrar->registrationHistory().size(), 2u);
    ASSERT_GE(connectPeer(), 0);
    EXPECT_TRUE(runMainLoopUntil([&] { return delegate->connected == 1; }));
}

TEST_F(RemoteServicePublisherTest, ConnectionsThatComeAndGoLeaveNothingBehindInTheRunLoop) {
    drainMainLoop();
    const std::size_t sourcesBefore = RunLoop::main().sourceCount();
    for (int round = 0; round < 50; ++round) {
        startAndWaitForPublishing();
        const int consumer = connectPeer();
        const int turnedAway = connectPeer();
        ASSERT_GE(turnedAway, 0);
        ASSERT_TRUE(runMainLoopUntil([&] { return delegate->connected == round + 1; }));
        ASSERT_TRUE(runUntilPeerSeesEnd(turnedAway));
        ::shutdown(consumer, SHUT_RDWR);
        ASSERT_TRUE(runMainLoopUntil([&] { return delegate->disconnected == round + 1; }));
        drainMainLoop();
    }
    EXPECT_EQ(RunLoop::main().sourceCount(), sourcesBefore);

    startAndWaitForPublishing();
    const int peer = connectPeer();
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->connected == 51; }));
    sendAll(peer, "m\r\n");
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->commands.size() == 1; }));
}

TEST_F(RemoteServicePublisherTest, OutOfDescriptorsTheListenerRestsInsteadOfSpinningAndThePeerIsServedLater) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "The sanitizers' runtime checks open descriptors of their own (a pipe to probe memory): with the "
                    "table full they report faults that are not there";
#endif
    ScopedVirtualClock clock;
    startAndWaitForPublishing();
    const int peer = connectPeer();
    ASSERT_GE(peer, 0);
    {
        DescriptorTableFilled full;
        EXPECT_LT(memorant_test::drainMainLoop(), 10) << "the loop does not spin on a listener it cannot serve";
        EXPECT_EQ(delegate->connected, 0);
        clock.advanceAndRun(NetService::kAcceptRetryInterval);
        EXPECT_LT(memorant_test::drainMainLoop(), 10) << "it tries again after a while, and rests again";
    }
    clock.advanceAndRun(NetService::kAcceptRetryInterval);
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->connected == 1; }));
    sendAll(peer, "t\r\n");
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->commands.size() == 1; }));
    EXPECT_EQ(delegate->commands[0], "t");
}

TEST_F(RemoteServicePublisherTest, StartWhileActiveDoesNothing) {
    startAndWaitForPublishing();
    const auto* waiting = std::get_if<ServerState::WaitingForConsumer>(&publisher->state());
    ASSERT_NE(waiting, nullptr);
    const auto server = waiting->server;
    publisher->start();
    drainMainLoop();
    const auto* stillWaiting = std::get_if<ServerState::WaitingForConsumer>(&publisher->state());
    ASSERT_NE(stillWaiting, nullptr);
    EXPECT_EQ(stillWaiting->server, server);

    connectPeer();
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->connected == 1; }));
    const auto handler = connectedHandler();
    publisher->start();
    drainMainLoop();
    EXPECT_EQ(connectedHandler(), handler);
    EXPECT_EQ(registrar->registrationHistory().size(), 1u);
}

TEST_F(RemoteServicePublisherTest, AConnectionNobodyWaitsForIsClosedAtOnce) {
    struct Case {
        const char* name;
        bool publisherWaiting;
    };
    for (const Case& testCase : {Case{"accepted while stopped", false}, Case{"accepted by a stale service", true}}) {
        SCOPED_TRACE(testCase.name);
        if (testCase.publisherWaiting) startAndWaitForPublishing();
        auto stale = NetService::create("local.", "_memrc1._tcp.", "Old", 0);
        TCPPair connection;
        peers.push_back(connection.client);
        auto [input, output] = SocketStreams::createPairWithSocket(connection.server);
        publisher->netServiceDidAcceptConnection(*stale, input, output);
        // The test holds the streams: only closing them ends the connection.
        EXPECT_TRUE(runUntilPeerSeesEnd(connection.client));
        EXPECT_EQ(input->streamStatus(), StreamStatus::Closed);
        EXPECT_EQ(output->streamStatus(), StreamStatus::Closed);
        EXPECT_EQ(publisher->isStopped(), !testCase.publisherWaiting);
        EXPECT_EQ(delegate->connected, 0);
    }
}

}  // namespace
