#pragma once

// The browser display's server: HTTP and WebSocket (Boost.Beast) on a thread
// of its own, on the loopback addresses only (127.0.0.1, and ::1 where the
// machine has it), on one port.
//
// - GET of "/" (index.html) or of a file of the page folder serves it; the
//   page is static and holds nothing of the user's. Nothing else is served.
// - "/socket?token=TOKEN" upgrades to a WebSocket: the live connection that
//   receives frames and sends input. Without the run's token, or with
//   another, the answer is 403.
// - Every request must name the server in its Host header (127.0.0.1:PORT,
//   [::1]:PORT or localhost:PORT) and, when it has an Origin (a WebSocket
//   must), the same as "http://" origin; else 403. A page of another site,
//   also one reached through a name that resolves to this machine, is refused.
// - Frames are handed over "newest only": each connection sends the newest
//   frame once the previous write is done, never a queue of old ones; a new
//   connection gets the newest at once. Nothing waits on a slow browser.
//   A frame may update the one published before it; a connection that did
//   not get that one (a new one, or one that skipped frames) gets the frame
//   made to stand alone instead, so every page ends with the newest picture.
// - A message over the size bound closes that connection (logged); a binary
//   message is ignored (logged). A text message {"type": "ping", ...} is
//   answered at once on the same connection with the same object of type
//   "pong" (the page's measure of the connection itself); other text
//   messages go to the message handler, on the server's thread.
//
// - Requests to a host below "localhost" ("<label>.localhost:PORT", which
//   stays on this machine) go to the request handler alone (the web frames:
//   documents under capability paths of their own, each host a site of its
//   own), answered on the server's thread or later from any thread; what it
//   does not answer is refused as from another site.
//
// publishFrame and the getters are safe from any thread; set the handlers
// before start.

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Error.h"

class DisplayServer {
public:
    using LogSink = std::function<void(const std::string& line)>;
    using MessageHandler = std::function<void(std::string message)>;
    using ConnectHandler = std::function<void()>;
    // An answer to a request that the page's files do not hold.
    struct Response {
        int status = 200;
        std::string contentType;
        std::string body;
        std::vector<std::pair<std::string, std::string>> headers;
    };
    // Answers the request once, from any thread; nothing happens once the
    // server has gone.
    using Responder = std::function<void(Response response)>;
    // Offered each GET or HEAD to a host below "localhost", with the request
    // target; true when it answers it (now or later).
    using RequestHandler = std::function<bool(const std::string& target, Responder respond)>;

    static constexpr std::size_t kDefaultMaxMessageBytes = 64 * 1024;

    struct Options {
        int port = 0;               // 0: a free one
        std::string pageDirectory;  // the files of the page, read once at start
        std::size_t maxMessageBytes = kDefaultMaxMessageBytes;
    };

    DisplayServer();
    ~DisplayServer();
    DisplayServer(const DisplayServer&) = delete;
    DisplayServer& operator=(const DisplayServer&) = delete;

    // Binds and starts the thread; false (with the reason) when the port is
    // taken or the page folder cannot be read.
    bool start(const Options& options, Error* error = nullptr);
    void stop();

    int port() const;
    // The run's random token (32 hexadecimal digits), made at construction.
    const std::string& token() const;
    // "http://127.0.0.1:PORT/#TOKEN": the token travels in the fragment, so it
    // reaches no log and no Referer.
    std::string address() const;

    // Lines about refused requests and ignored messages; stderr by default.
    void setLogSink(LogSink sink);
    void setMessageHandler(MessageHandler handler);
    // A live connection opened (on the server's thread).
    void setConnectHandler(ConnectHandler handler);
    void setRequestHandler(RequestHandler handler);

    // The newest frame, replacing any not yet sent. With `whole`, the frame
    // updates the one published just before it, and `whole` makes the frame
    // that stands alone in its place (called on the server's thread, at most
    // once, only for a connection that needs it; it must not touch what the
    // caller may change meanwhile).
    void publishFrame(std::string frame, std::function<std::string()> whole = {});
    // Live connections now.
    std::size_t viewerCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
