// The browser display's server over real loopback connections (a Boost.Beast
// client): who is let in, what is refused, and how frames and messages flow.
#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include <nlohmann/json.hpp>

#include "DisplayPage.h"
#include "platform/display/BrowserDisplay.h"
#include "platform/display/DisplayServer.h"
#include "platform/ui/Button.h"
#include "platform/ui/Window.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

// Log lines from any thread.
class LogLines {
public:
    DisplayServer::LogSink sink() {
        return [this](const std::string& line) {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
        };
    }
    std::vector<std::string> lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    std::size_t countContaining(const std::string& text) {
        std::size_t count = 0;
        for (const auto& line : lines()) count += line.find(text) != std::string::npos;
        return count;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

struct Reply {
    int status = 0;
    std::string body;
};

// One GET with the headers given (an empty value leaves the header out).
Reply get(int port, const std::string& target, const std::map<std::string, std::string>& headers,
          bool upgrade = false) {
    asio::io_context io;
    beast::tcp_stream stream(io);
    stream.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)));
    http::request<http::empty_body> request{http::verb::get, target, 11};
    if (upgrade) {
        request.set(http::field::connection, "Upgrade");
        request.set(http::field::upgrade, "websocket");
        request.set(http::field::sec_websocket_key, "dGhlIHNhbXBsZSBub25jZQ==");
        request.set(http::field::sec_websocket_version, "13");
    }
    for (const auto& [name, value] : headers)
        if (!value.empty()) request.set(name, value);
    http::write(stream, request);
    beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    http::read_header(stream, buffer, parser);
    Reply reply{static_cast<int>(parser.get().result_int()), {}};
    if (reply.status != 101) {
        http::read(stream, buffer, parser);
        reply.body = parser.get().body();
    }
    return reply;
}

// A live connection as the page opens it.
std::unique_ptr<websocket::stream<beast::tcp_stream>> openSocket(asio::io_context& io, int port,
                                                                 const std::string& token) {
    auto ws = std::make_unique<websocket::stream<beast::tcp_stream>>(io);
    memorant_test::connectAsPage(*ws, port, token);
    return ws;
}

class DisplayServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(page.file("index.html")) << "<!DOCTYPE html><title>screen</title>";
        std::ofstream(page.file("display.js")) << "'use strict';";
        server.setLogSink(log.sink());
        server.setMessageHandler([this](std::string message) {
            std::lock_guard lock(messagesMutex);
            messages.push_back(std::move(message));
        });
        DisplayServer::Options options;
        options.pageDirectory = page.str();
        options.maxMessageBytes = 1024;
        Error error;
        ASSERT_TRUE(server.start(options, &error)) << error.description();
        port = server.port();
        host = "127.0.0.1:" + std::to_string(port);
    }

    std::size_t messageCount() {
        std::lock_guard lock(messagesMutex);
        return messages.size();
    }

    memorant_test::TempDir page;
    LogLines log;
    DisplayServer server;
    std::mutex messagesMutex;
    std::vector<std::string> messages;
    int port = 0;
    std::string host;
};

TEST_F(DisplayServerTest, TheAddressNamesTheLoopbackPortAndTheRunsToken) {
    EXPECT_GT(port, 0);
    EXPECT_EQ(32u, server.token().size());
    EXPECT_EQ("http://127.0.0.1:" + std::to_string(port) + "/#" + server.token(), server.address());
    DisplayServer other;
    EXPECT_NE(server.token(), other.token());
}

TEST_F(DisplayServerTest, ThePageIsServedOnlyToRequestsThatNameTheServer) {
    const std::string origin = "http://" + host;
    struct Case {
        const char* what;
        std::string target, host, origin;
        int status;
    };
    const Case cases[] = {
        {"the page", "/", host, "", 200},
        {"a file of the page", "/display.js", host, origin, 200},
        {"the IPv6 loopback name", "/", "[::1]:" + std::to_string(port), "", 200},
        {"localhost", "/", "localhost:" + std::to_string(port), "", 200},
        {"a rebound name", "/", "evil.example:" + std::to_string(port), "", 403},
        {"another port", "/", "127.0.0.1:1", "", 403},
        {"no Host", "/", "", "", 403},
        {"a foreign Origin", "/", host, "http://evil.example", 403},
        {"an https Origin", "/", host, "https://" + host, 403},
        {"a file outside the page", "/../../etc/passwd", host, "", 404},
        {"an unknown file", "/secret.json", host, "", 404},
    };
    for (const auto& c : cases) {
        Reply reply = get(port, c.target, {{"Host", c.host}, {"Origin", c.origin}});
        EXPECT_EQ(c.status, reply.status) << c.what;
        // A refusal shows nothing of the page.
        EXPECT_EQ(c.status == 200, reply.body.find("'use strict'") != std::string::npos ||
                                       reply.body.find("<title>") != std::string::npos)
            << c.what;
    }
    EXPECT_EQ(5u, log.countContaining("refused a request from another site"));
}

TEST_F(DisplayServerTest, ALiveConnectionNeedsTheTokenAndTheServersOrigin) {
    const std::string origin = "http://" + host;
    const std::string wrong(server.token().size(), '0');
    struct Case {
        const char* what;
        std::string target, origin;
        int status;
    };
    const Case cases[] = {
        {"no token", "/socket", origin, 403},
        {"an empty token", "/socket?token=", origin, 403},
        {"a wrong token", "/socket?token=" + wrong, origin, 403},
        {"a prefix of the token", "/socket?token=" + server.token().substr(0, 31), origin, 403},
        {"no Origin", "/socket?token=" + server.token(), "", 403},
        {"a foreign Origin", "/socket?token=" + server.token(), "http://evil.example", 403},
        {"the token and the Origin", "/socket?token=" + server.token(), origin, 101},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.status, get(port, c.target, {{"Host", host}, {"Origin", c.origin}}, true).status) << c.what;
    EXPECT_EQ(0u, messageCount());
}

TEST_F(DisplayServerTest, TextMessagesArriveAndBinaryOrOversizedOnesAreRefusedWithALogLine) {
    asio::io_context io;
    auto ws = openSocket(io, port, server.token());
    ws->text(true);
    ws->write(asio::buffer(std::string(R"({"type":"key","key":"a"})")));
    ws->binary(true);
    ws->write(asio::buffer(std::string("\x01\x02", 2)));
    ASSERT_TRUE(memorant_test::runMainLoopUntil(
        [&] { return log.countContaining("ignored a binary message") == 1 && messageCount() == 1; }));
    {
        std::lock_guard lock(messagesMutex);
        EXPECT_EQ(R"({"type":"key","key":"a"})", messages.front());
    }

    // Over the bound: the connection is closed, nothing is handed on.
    ws->text(true);
    ws->write(asio::buffer(std::string(4096, 'x')));
    beast::flat_buffer buffer;
    beast::error_code ec;
    ws->read(buffer, ec);
    EXPECT_TRUE(ec);
    ASSERT_TRUE(memorant_test::runMainLoopUntil([&] { return log.countContaining("a message over 1024 bytes") == 1; }));
    EXPECT_EQ(1u, messageCount());
    EXPECT_TRUE(memorant_test::runMainLoopUntil([&] { return server.viewerCount() == 0; }));
}

TEST_F(DisplayServerTest, ASlowPageGetsTheNewestFrameNotAQueueAndEveryPageGetsIt) {
    asio::io_context io;
    auto slow = openSocket(io, port, server.token());
    ASSERT_TRUE(memorant_test::runMainLoopUntil([&] { return server.viewerCount() == 1; }));
    // Frames far larger than the socket buffers, while the page reads nothing.
    constexpr int kFrames = 20;
    for (int i = 0; i < kFrames; ++i) server.publishFrame(std::to_string(i) + std::string(8 << 20, 'f'));
    std::vector<std::string> received;
    while (received.empty() || received.back().rfind(std::to_string(kFrames - 1), 0) != 0) {
        beast::flat_buffer buffer;
        slow->read(buffer);
        received.push_back(beast::buffers_to_string(buffer.data()).substr(0, 3));
    }
    EXPECT_LT(received.size(), 4u);
    EXPECT_EQ("0ff", received.front());

    // A page that comes later gets the newest at once.
    auto late = openSocket(io, port, server.token());
    beast::flat_buffer buffer;
    late->read(buffer);
    EXPECT_EQ(std::to_string(kFrames - 1), beast::buffers_to_string(buffer.data()).substr(0, 2));
    EXPECT_TRUE(late->got_binary());
}

TEST_F(DisplayServerTest, AnUpdateGoesToAPageThatHasTheFrameBeforeAndTheWholeFrameToAnyOther) {
    asio::io_context io;
    auto slow = openSocket(io, port, server.token());
    ASSERT_TRUE(memorant_test::runMainLoopUntil([&] { return server.viewerCount() == 1; }));
    std::atomic<int> wholesMade{0};
    auto update = [&](const std::string& name, std::size_t padding = 0) {
        server.publishFrame("update " + name + std::string(padding, 'f'), [&wholesMade, name] {
            ++wholesMade;
            return "whole " + name;
        });
    };
    auto read = [](websocket::stream<beast::tcp_stream>& ws) {
        beast::flat_buffer buffer;
        ws.read(buffer);
        return beast::buffers_to_string(buffer.data()).substr(0, 12);
    };
    server.publishFrame("whole 0");
    EXPECT_EQ("whole 0", read(*slow));
    // The page is still reading an update larger than the socket buffers when two more come: it skips
    // the first of them, so the second, which builds on it, would leave a wrong picture.
    update("1", 8 << 20);
    ASSERT_TRUE(memorant_test::runMainLoopUntil([&] { return slow->next_layer().socket().available() > 0; }));
    update("2");
    update("3");
    EXPECT_EQ("update 1ffff", read(*slow));
    EXPECT_EQ("whole 3", read(*slow));
    // A page that keeps up gets the update alone.
    update("4");
    EXPECT_EQ("update 4", read(*slow));
    // A new page gets the whole frame, made once for any number of pages.
    auto late = openSocket(io, port, server.token());
    auto later = openSocket(io, port, server.token());
    EXPECT_EQ("whole 4", read(*late));
    EXPECT_EQ("whole 4", read(*later));
    EXPECT_EQ(2, wholesMade);
}

TEST_F(DisplayServerTest, APingIsAnsweredAtOnceWithItsPongAndGoesNoFurther) {
    asio::io_context io;
    auto ws = openSocket(io, port, server.token());
    ws->text(true);
    ws->write(asio::buffer(std::string(R"({"type":"ping","id":7})")));
    beast::flat_buffer buffer;
    ws->read(buffer);
    EXPECT_TRUE(ws->got_text());
    EXPECT_EQ(nlohmann::json::parse(R"({"type":"pong","id":7})"),
              nlohmann::json::parse(beast::buffers_to_string(buffer.data())));
    // Anything else that names a ping is input as before.
    const std::string input = R"({"type":"key","key":"ping"})";
    ws->write(asio::buffer(input));
    ASSERT_TRUE(memorant_test::runMainLoopUntil([&] { return messageCount() == 1; }));
    std::lock_guard lock(messagesMutex);
    EXPECT_EQ(input, messages.front());
}

TEST(BrowserDisplay, MalformedAndUnknownMessagesAreLoggedOnceEachAndIgnored) {
    memorant_test::TempDir page;
    std::ofstream(page.file("index.html")) << "<!DOCTYPE html>";
    LogLines log;
    BrowserDisplay display;
    display.setLogSink(log.sink());
    BrowserDisplay::Options options;
    options.pageDirectory = page.str();
    ASSERT_TRUE(display.start(options));
    asio::io_context io;
    auto ws = openSocket(io, display.server().port(), display.server().token());
    ws->text(true);
    for (const std::string message :
         {"not json {", "[1,2]", R"({"type":"launch-missiles"})", R"({"type":"pointer","phase":"down"})",
          R"({"type":"pointer","phase":"down","x":1e308,"y":1,"t":0})", R"({"type":"key","key":""})",
          R"({"type":"edit","location":-1,"length":0,"text":"x"})"})
        ws->write(asio::buffer(message));
    ASSERT_TRUE(memorant_test::runMainLoopUntil([&] { return log.countContaining("ignored a message") == 7; }));
    memorant_test::drainMainLoop();
    EXPECT_EQ(7u, log.lines().size());
    EXPECT_EQ(1u, log.countContaining("unknown type \"launch-missiles\""));
}

TEST(BrowserDisplay, AFrameIsTheElementsHeaderAndThePNGOfTheScreenSentOnlyWhenItChanged) {
    memorant_test::TempDir page;
    std::ofstream(page.file("index.html")) << "<!DOCTYPE html>";
    auto window = std::make_shared<Window>();
    window->makeKeyAndVisible();
    auto button = std::make_shared<Button>(Rect(20, 100, 120, 44));
    button->setTitle("Study", ControlStateNormal);
    window->addSubview(button);
    BrowserDisplay display;
    ASSERT_TRUE(display.start(BrowserDisplay::Options{0, 1, page.str()}));
    asio::io_context io;
    auto ws = openSocket(io, display.server().port(), display.server().token());
    ASSERT_TRUE(memorant_test::runMainLoopUntil([&] {
        display.passEnded(true);
        return display.framesSent() == 1;
    }));
    beast::flat_buffer buffer;
    ws->read(buffer);
    ASSERT_TRUE(ws->got_binary());
    const std::string frame = beast::buffers_to_string(buffer.data());
    ASSERT_GT(frame.size(), 4u);
    const std::size_t length = (std::size_t(std::uint8_t(frame[0])) << 24) |
                               (std::size_t(std::uint8_t(frame[1])) << 16) |
                               (std::size_t(std::uint8_t(frame[2])) << 8) | std::size_t(std::uint8_t(frame[3]));
    ASSERT_LT(4 + length, frame.size());
    auto header = nlohmann::json::parse(frame.substr(4, length));
    EXPECT_EQ(390, header["width"]);
    EXPECT_EQ(844, header["height"]);
    EXPECT_NE(std::string::npos, header["elements"].dump().find(R"("name":"Study")"));
    EXPECT_EQ("\x89PNG", frame.substr(4 + length, 4));

    // Passes that change nothing send nothing, over several frame intervals; a change is sent.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(memorant_test::runMainLoopUntil([&] {
        display.passEnded(true);
        return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(100);
    }));
    EXPECT_EQ(1u, display.framesSent());
    button->setTitle("Studied", ControlStateNormal);
    ASSERT_TRUE(memorant_test::runMainLoopUntil([&] {
        display.passEnded(true);
        return display.framesSent() == 2;
    }));
}

TEST_F(DisplayServerTest, HostsBelowLocalhostReachOnlyTheRequestHandler) {
    DisplayServer frames;
    frames.setLogSink(log.sink());
    std::vector<std::string> offered;
    std::mutex offeredMutex;
    std::vector<std::thread> answering;
    frames.setRequestHandler([&](const std::string& target, const DisplayServer::Responder& respond) {
        std::lock_guard lock(offeredMutex);
        offered.push_back(target);
        if (target.rfind("/frame/", 0) != 0) return false;
        // Answered later, from another thread.
        answering.emplace_back([respond] {
            respond({200, "text/plain", "framed", {{"Content-Security-Policy", "sandbox"}}});
        });
        return true;
    });
    DisplayServer::Options options;
    options.pageDirectory = page.str();
    ASSERT_TRUE(frames.start(options));
    const std::string port = std::to_string(frames.port());
    struct Case {
        const char* what;
        std::string target, host;
        int status;
        std::string body;
    };
    const Case cases[] = {
        {"a frame's path", "/frame/x/doc.html", "abc123.localhost:" + port, 200, "framed"},
        {"a path the handler does not take", "/other", "abc123.localhost:" + port, 403, ""},
        {"the page's own files", "/display.js", "abc123.localhost:" + port, 403, ""},
        {"a name of two labels", "/frame/x/doc.html", "a.b.localhost:" + port, 403, ""},
        {"a name with capitals", "/frame/x/doc.html", "ABC.localhost:" + port, 403, ""},
        {"another port", "/frame/x/doc.html", "abc.localhost:1", 403, ""},
        {"the page's host", "/frame/x/doc.html", "127.0.0.1:" + port, 404, ""},
    };
    for (const auto& c : cases) {
        const Reply reply = get(frames.port(), c.target, {{"Host", c.host}});
        EXPECT_EQ(c.status, reply.status) << c.what;
        if (!c.body.empty()) {
            EXPECT_EQ(c.body, reply.body) << c.what;
        }
    }
    // No live connection on a frame's host, with or without the token.
    EXPECT_EQ(403, get(frames.port(), "/socket?token=" + frames.token(),
                       {{"Host", "abc.localhost:" + port}, {"Origin", "http://abc.localhost:" + port}}, true)
                       .status);
    std::lock_guard lock(offeredMutex);
    EXPECT_EQ(offered, (std::vector<std::string>{"/frame/x/doc.html", "/other", "/display.js"}));
    for (auto& thread : answering) thread.join();
}

}  // namespace
