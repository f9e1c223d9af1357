#include "app/remote/LineBasedCommandHandler.h"

#include <gtest/gtest.h>
#include <netinet/tcp.h>

#include <cstring>

#include "platform/net/SocketStream.h"
#include "app/remote/RemoteTestSupport.h"

using namespace remote_test;
using memorant_test::drainMainLoop;
using memorant_test::runMainLoopUntil;

namespace {

// A handler over the accepted end of a real connection; the test plays the peer.
class LineBasedCommandHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        TWLogger::sharedInstance().setMessageBacklog({});
        ASSERT_GE(pair.server, 0);
        ASSERT_GE(pair.client, 0);
    }
    void TearDown() override { dropConnection(); }
    void dropConnection() {
        if (handler) handler->close();
        handler.reset();
        if (!serverWrapped) ::close(pair.server);
        ::close(pair.client);
        serverWrapped = false;
    }
    // A fresh connection and delegate, for one case of a table.
    void reconnect() {
        dropConnection();
        pair = TCPPair();
        delegate = std::make_shared<RecordingHandlerDelegate>();
    }
    void makeHandler(int socket) {
        serverWrapped = serverWrapped || socket == pair.server;
        auto [input, output] = SocketStreams::createPairWithSocket(socket);
        handler = LineBasedCommandHandler::create(input, output, delegate);
    }
    void openConnection() {
        makeHandler(pair.server);
        handler->openStreams();
        ASSERT_TRUE(runMainLoopUntil([&] { return delegate->opened > 0; }));
    }
    // Sends bytes from the peer and runs the loop until the handler has read
    // them all and the commands they make have been delivered.
    void peerSends(const std::string& bytes) {
        sendAll(pair.client, bytes);
        ASSERT_TRUE(runMainLoopUntil([&] { return unreadBytes(pair.server) == 0; }));
        drainMainLoop();
    }

    TCPPair pair;
    std::shared_ptr<RecordingHandlerDelegate> delegate = std::make_shared<RecordingHandlerDelegate>();
    std::shared_ptr<LineBasedCommandHandler> handler;
    bool serverWrapped = false;
};

TEST_F(LineBasedCommandHandlerTest, FramesReceivedBytesIntoCommands) {
    struct Case {
        const char* name;
        std::vector<std::string> reads;
        std::vector<std::vector<std::string>> commandsAfterEachRead;
    };
    const std::vector<Case> cases = {
        {"one line", {"n\r\n"}, {{"n"}}},
        {"a line across three reads", {"m", "c\r\nn\r", "\n"}, {{}, {"mc"}, {"mc", "n"}}},
        {"two lines in one read", {"m\r\ns\r\n"}, {{"m", "s"}}},
        {"lone CR and LF are no separator", {"x\n\r\n", "a\rb\r\n"}, {{"x\n"}, {"x\n", "a\rb"}}},
        {"an empty line", {"\r\n"}, {{""}}},
        {"Ping is swallowed, ping is not", {"Ping\r\nping\r\n"}, {{"ping"}}},
        {"a character split across reads", {"l\xC3", "\xA9\xE2\x82", "\xAC\r\n"}, {{}, {}, {"l\xC3\xA9\xE2\x82\xAC"}}},
        {"a long line read 10 bytes at a time", {std::string(25, 'x') + "\r\n"}, {{std::string(25, 'x')}}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        reconnect();
        openConnection();
        for (std::size_t i = 0; i < testCase.reads.size(); ++i) {
            peerSends(testCase.reads[i]);
            EXPECT_EQ(delegate->commands, testCase.commandsAfterEachRead[i]) << "after read " << i;
        }
        EXPECT_TRUE(handler->inputBuffer().empty());
        EXPECT_EQ(delegate->closed, 0);
    }
}

TEST_F(LineBasedCommandHandlerTest, PingSetsTheDateAndSendsNothingBack) {
    openConnection();
    EXPECT_FALSE(handler->dateOfLastPingReceived());
    peerSends("Ping\r\n");
    EXPECT_TRUE(handler->dateOfLastPingReceived());
    handler->send("n");
    std::string received;
    ASSERT_TRUE(runUntilPeerReceived(pair.client, received, 3));
    EXPECT_EQ(received, "n\r\n");
}

TEST_F(LineBasedCommandHandlerTest, ConfiguresTheSocketForPromptDeliveryAndKeepAlive) {
    openConnection();
    int noDelay = 0, keepAlive = 0;
    socklen_t length = sizeof(int);
    ::getsockopt(pair.server, IPPROTO_TCP, TCP_NODELAY, &noDelay, &length);
    ::getsockopt(pair.server, SOL_SOCKET, SO_KEEPALIVE, &keepAlive, &length);
    EXPECT_EQ(noDelay, 1);
    EXPECT_EQ(keepAlive, 1);
    EXPECT_FALSE(loggedLineContaining("setsockopt"));
}

TEST_F(LineBasedCommandHandlerTest, ASocketWithoutTCPLogsTheRefusalAndCarriesOn) {
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    makeHandler(ends[0]);
    handler->openStreams();
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->opened > 0; }));
    EXPECT_TRUE(loggedLineContaining(" WARN| setsockopt TCP_NODELAY failed: " + std::to_string(EOPNOTSUPP) + " " +
                                     std::strerror(EOPNOTSUPP) + " |LineBasedCommandHandler:"));
    EXPECT_TRUE(loggedLineContaining("_configureStream(_:)"));
    sendAll(ends[1], "n\r\n");
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->commands.size() == 1; }));
    handler->send("s");
    std::string received;
    ASSERT_TRUE(runUntilPeerReceived(ends[1], received, 3));
    EXPECT_EQ(received, "s\r\n");
    ::close(ends[1]);
}

TEST_F(LineBasedCommandHandlerTest, ACommandSentBeforeSpaceWaitsForIt) {
    makeHandler(pair.server);
    handler->send("n");
    handler->send("mc");
    EXPECT_EQ(std::string(handler->outputBuffer().begin(), handler->outputBuffer().end()), "n\r\nmc\r\n");
    handler->openStreams();
    std::string received;
    ASSERT_TRUE(runUntilPeerReceived(pair.client, received, 7));
    EXPECT_EQ(received, "n\r\nmc\r\n");
    EXPECT_TRUE(handler->outputBuffer().empty());
}

TEST_F(LineBasedCommandHandlerTest, APartialWriteKeepsItsTailAndSendsItOnSpace) {
    const int small = 4096;
    ::setsockopt(pair.server, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ::setsockopt(pair.client, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    openConnection();
    ASSERT_TRUE(runMainLoopUntil([&] { return handler->outputStreamHasSpaceAvailable(); }));
    std::string command(100000, 'a');
    for (std::size_t i = 0; i < command.size(); ++i) command[i] = static_cast<char>('a' + i % 26);
    const std::string framed = command + "\r\n";
    handler->send(command);
    const auto& pending = handler->outputBuffer();
    ASSERT_FALSE(pending.empty());
    ASSERT_LT(pending.size(), framed.size());
    EXPECT_EQ(std::string(pending.begin(), pending.end()), framed.substr(framed.size() - pending.size()));
    std::string received;
    ASSERT_TRUE(runUntilPeerReceived(pair.client, received, framed.size()));
    EXPECT_TRUE(received == framed);
    EXPECT_EQ(delegate->closed, 0);
}

TEST_F(LineBasedCommandHandlerTest, ClosingTwiceReportsOnceAndThePeerSeesTheEnd) {
    openConnection();
    handler->close();
    handler->close();
    EXPECT_EQ(delegate->closed, 1);
    EXPECT_TRUE(runUntilPeerSeesEnd(pair.client));
}

TEST_F(LineBasedCommandHandlerTest, ThePeerLeavingClosesTheConnectionOnce) {
    openConnection();
    ::shutdown(pair.client, SHUT_WR);
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->closed > 0; }));
    drainMainLoop();
    EXPECT_EQ(delegate->closed, 1);
    handler->close();
    EXPECT_EQ(delegate->closed, 1);
}

TEST_F(LineBasedCommandHandlerTest, APeerResettingTheConnectionClosesItOnce) {
    openConnection();
    const linger abort{1, 0};
    ::setsockopt(pair.client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(pair.client);
    pair.client = ::socket(AF_INET, SOCK_STREAM, 0);  // for TearDown to close
    handler->send("n");  // a write into a reset connection fails too
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->closed > 0; }));
    drainMainLoop();
    EXPECT_EQ(delegate->closed, 1);
    EXPECT_TRUE(handler->outputBuffer().empty());
}

TEST_F(LineBasedCommandHandlerTest, BytesThatCanNeverBeTextOrAnEndlessLineCloseTheConnection) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* logged;
    };
    const std::vector<Case> cases = {
        {"an invalid byte", "n\xFF\r\n", "received bytes that are not UTF-8"},
        {"a bad continuation", "\xC3\x28\r\n", "received bytes that are not UTF-8"},
        {"an encoded surrogate cut off", "\xED\xA0", "received bytes that are not UTF-8"},
        {"a line without a separator", std::string(LineBasedCommandHandler::kMaxLineLength + 1, 'a'),
         "without a separator"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        TWLogger::sharedInstance().setMessageBacklog({});
        reconnect();
        openConnection();
        peerSends("ok\r\n");
        sendAll(pair.client, testCase.bytes);
        ASSERT_TRUE(runMainLoopUntil([&] { return delegate->closed > 0; }));
        drainMainLoop();
        EXPECT_EQ(delegate->commands, std::vector<std::string>{"ok"});
        EXPECT_TRUE(loggedLineContaining(" WARN| Closing the connection: ")) << testCase.logged;
        EXPECT_TRUE(loggedLineContaining(testCase.logged));
        EXPECT_TRUE(runUntilPeerSeesEnd(pair.client));
    }
}

TEST_F(LineBasedCommandHandlerTest, ALineJustBelowTheLimitIsDelivered) {
    openConnection();
    const std::string line(LineBasedCommandHandler::kMaxLineLength - 2, 'b');
    peerSends(line + "\r\n");
    ASSERT_EQ(delegate->commands.size(), 1u);
    EXPECT_EQ(delegate->commands[0].size(), line.size());
    EXPECT_EQ(delegate->closed, 0);
}

TEST_F(LineBasedCommandHandlerTest, CommandsAreDroppedOnceTheDelegateIsGone) {
    openConnection();
    delegate.reset();
    peerSends("n\r\n");
    handler->close();  // nothing to tell, nothing to crash on
    EXPECT_TRUE(runUntilPeerSeesEnd(pair.client));
}

}  // namespace

namespace {

TEST(LineBasedCommandHandlerStreamsTest, StreamsWithoutASocketAreLoggedAndStillCarryCommands) {
    TWLogger::sharedInstance().setMessageBacklog({});
    const std::string bytes = "n\r\n";
    auto input = InputStream::inputStreamWithData(Data(bytes.begin(), bytes.end()));
    auto output = OutputStream::outputStreamToMemory();
    auto delegate = std::make_shared<RecordingHandlerDelegate>();
    auto handler = LineBasedCommandHandler::create(input, output, delegate);
    handler->openStreams();
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->opened == 1 && delegate->commands.size() == 1; }));
    EXPECT_EQ(delegate->commands[0], "n");
    EXPECT_TRUE(loggedLineContaining(" WARN| Error getting native socket handle for stream: <InputStream: "));
    EXPECT_TRUE(loggedLineContaining("| _configureInputStream(_:)"));
    EXPECT_TRUE(loggedLineContaining(" WARN| Error getting native socket handle for stream: <OutputStream: "));
    EXPECT_TRUE(loggedLineContaining("| _configureOuputStream(_:)"));
    handler->send("s");
    const Value property = output->propertyForKey(NSStreamDataWrittenToMemoryStreamKey);
    const auto* written = property.asData();
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(std::string(written->begin(), written->end()), "s\r\n");
    handler->close();
    EXPECT_EQ(delegate->closed, 1);
}

}  // namespace
