#include "platform/display/DisplayServer.h"

#include <openssl/rand.h>

#include <algorithm>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/foundation/Data.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {

constexpr std::size_t kHeaderLimit = 8 * 1024;
constexpr auto kRequestTimeout = std::chrono::seconds(30);
constexpr const char* kSocketPath = "/socket";

std::string randomToken() {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) throw std::runtime_error("no random bytes for the display's token");
    static const char* digits = "0123456789abcdef";
    std::string token;
    for (unsigned char byte : bytes) {
        token += digits[byte >> 4];
        token += digits[byte & 15];
    }
    return token;
}

// Compares without stopping at the first difference, so the time taken tells
// nothing of how much of a guess was right.
bool sameSecret(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

std::string contentTypeForFile(const std::string& name) {
    static const std::map<std::string, std::string> types = {
        {"html", "text/html; charset=utf-8"},
        {"css", "text/css; charset=utf-8"},
        {"js", "text/javascript; charset=utf-8"},
        {"svg", "image/svg+xml"},
        {"png", "image/png"},
        {"ico", "image/x-icon"},
    };
    auto it = types.find(lowercaseString(pathExtension(name)));
    return it == types.end() ? "application/octet-stream" : it->second;
}

// The value of one query parameter of a request target ("/socket?token=x").
std::string queryValue(std::string_view target, std::string_view name) {
    const auto question = target.find('?');
    if (question == std::string_view::npos) return {};
    std::string_view query = target.substr(question + 1);
    while (!query.empty()) {
        const auto amp = query.find('&');
        std::string_view pair = query.substr(0, amp);
        const auto equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == name)
            return std::string(pair.substr(equals + 1));
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return {};
}

std::string_view pathOfTarget(std::string_view target) {
    return target.substr(0, target.find('?'));
}

}  // namespace

struct DisplayServer::Impl {
    class SocketSession;
    class HttpSession;

    asio::io_context io{1};
    std::vector<tcp::acceptor> acceptors;
    std::thread thread;
    const std::string token = randomToken();
    std::atomic<int> port{0};
    std::size_t maxMessageBytes = kDefaultMaxMessageBytes;
    // Name -> (content type, bytes): the whole page, read at start.
    std::map<std::string, std::pair<std::string, std::string>> files;

    LogSink log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
    MessageHandler onMessage;
    ConnectHandler onConnect;
    RequestHandler onRequest;
    // Responders given out check that the server still exists.
    std::shared_ptr<char> alive = std::make_shared<char>();

    // A published frame. The server's thread alone reads it once published.
    struct Frame {
        std::uint64_t sequence = 0;
        std::string bytes;
        // Whether `bytes` update the frame before; `makeWhole` then makes the
        // frame that stands alone, when a connection first needs it.
        bool updates = false;
        std::function<std::string()> makeWhole;
        std::optional<std::string> whole;

        // What to send to a connection whose page shows frame `shown` (0: none).
        const std::string& bytesFor(std::uint64_t shown) {
            if (!updates || (shown != 0 && shown + 1 == sequence)) return bytes;
            if (!whole) {
                whole = makeWhole();
                makeWhole = nullptr;
            }
            return *whole;
        }
    };

    std::mutex frameMutex;
    std::shared_ptr<Frame> newestFrame;
    std::uint64_t newestSequence = 0;

    // Server thread only.
    std::vector<std::weak_ptr<SocketSession>> sessions;
    std::atomic<std::size_t> viewers{0};

    std::shared_ptr<Frame> newest() {
        std::lock_guard lock(frameMutex);
        return newestFrame;
    }

    bool hostAllowed(std::string_view host) const {
        const std::string suffix = ":" + std::to_string(port.load());
        for (const char* name : {"127.0.0.1", "[::1]", "localhost"})
            if (host == name + suffix) return true;
        return false;
    }
    // A name below "localhost" (which stays on this machine), one label of
    // lowercase letters and digits: the request handler's own hosts (each
    // web frame is a site of its own there).
    bool handlerHostAllowed(std::string_view host) const {
        const std::string suffix = ".localhost:" + std::to_string(port.load());
        if (host.size() <= suffix.size() || host.size() > suffix.size() + 63 || !host.ends_with(suffix)) return false;
        return std::all_of(host.begin(), host.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                           [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); });
    }
    bool originAllowed(std::string_view origin) const {
        return origin.rfind("http://", 0) == 0 && hostAllowed(origin.substr(7));
    }

    void accept(tcp::acceptor& acceptor);
    void sendNewestToAll();
};

// One live connection: reads input messages, writes the newest frame.
class DisplayServer::Impl::SocketSession : public std::enable_shared_from_this<SocketSession> {
public:
    SocketSession(Impl& server, tcp::socket socket) : server_(server), ws_(std::move(socket)) {}

    void start(http::request<http::string_body> request) {
        // A frame's last segment goes out at once rather than after the
        // page's acknowledgement of the one before (which a page may delay by
        // tens of milliseconds).
        beast::error_code ignored;
        beast::get_lowest_layer(ws_).socket().set_option(tcp::no_delay(true), ignored);
        ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        ws_.read_message_max(server_.maxMessageBytes);
        ws_.async_accept(request, [self = shared_from_this()](beast::error_code ec) { self->accepted(ec); });
    }

    // Writes what is due, a pong before the newest frame.
    void sendNewest() {
        if (writing_ || closed_) return;
        auto written = [self = shared_from_this()](beast::error_code ec, std::size_t) {
            self->writing_ = false;
            self->writingFrame_.reset();
            if (!ec) self->sendNewest();
        };
        if (pong_) {
            writing_ = true;
            writingPong_ = std::move(*pong_);
            pong_.reset();
            ws_.text(true);
            ws_.async_write(asio::buffer(writingPong_), std::move(written));
            return;
        }
        auto frame = server_.newest();
        if (!frame || frame->sequence == sentSequence_) return;
        const std::string& bytes = frame->bytesFor(sentSequence_);
        writing_ = true;
        sentSequence_ = frame->sequence;
        writingFrame_ = std::move(frame);
        ws_.binary(true);
        ws_.async_write(asio::buffer(bytes), std::move(written));
    }

private:
    void accepted(beast::error_code ec) {
        if (ec) return;
        server_.sessions.push_back(weak_from_this());
        ++server_.viewers;
        if (server_.onConnect) server_.onConnect();
        read();
        sendNewest();
    }

    void read() {
        ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code ec, std::size_t) { self->received(ec); });
    }

    void received(beast::error_code ec) {
        if (ec) {
            if (ec == websocket::error::message_too_big)
                server_.log("Display: closed a connection that sent a message over " +
                            std::to_string(server_.maxMessageBytes) + " bytes");
            leave();
            return;
        }
        if (!ws_.got_text())
            server_.log("Display: ignored a binary message of " + std::to_string(buffer_.size()) + " bytes");
        else if (std::string text = beast::buffers_to_string(buffer_.data()); !answeredPing(text) && server_.onMessage)
            server_.onMessage(std::move(text));
        buffer_.consume(buffer_.size());
        read();
    }

    // A ping is answered with the same object as a pong, at once; a newer
    // ping replaces a pong not yet sent.
    bool answeredPing(const std::string& text) {
        if (text.find("ping") == std::string::npos) return false;
        auto message = nlohmann::json::parse(text, nullptr, false);
        if (!message.is_object()) return false;
        auto type = message.find("type");
        if (type == message.end() || *type != "ping") return false;
        *type = "pong";
        pong_ = message.dump();
        sendNewest();
        return true;
    }

    void leave() {
        if (closed_) return;
        closed_ = true;
        --server_.viewers;
        auto& sessions = server_.sessions;
        std::erase_if(sessions, [this](const std::weak_ptr<SocketSession>& s) {
            auto strong = s.lock();
            return !strong || strong.get() == this;
        });
    }

    Impl& server_;
    websocket::stream<beast::tcp_stream> ws_;
    beast::flat_buffer buffer_;
    bool writing_ = false;
    bool closed_ = false;
    // The frame whose picture the page has (0: none yet).
    std::uint64_t sentSequence_ = 0;
    std::shared_ptr<Frame> writingFrame_;
    std::optional<std::string> pong_;
    std::string writingPong_;
};

// Plain requests on one connection: the page's files, or the upgrade to a
// live connection.
class DisplayServer::Impl::HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(Impl& server, tcp::socket socket) : server_(server), stream_(std::move(socket)) {}

    void read() {
        parser_.emplace();
        parser_->header_limit(kHeaderLimit);
        parser_->body_limit(server_.maxMessageBytes);
        stream_.expires_after(kRequestTimeout);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code ec, std::size_t) { self->received(ec); });
    }

private:
    void received(beast::error_code ec) {
        if (ec) {
            if (ec != http::error::end_of_stream && ec != beast::error::timeout &&
                ec != asio::error::connection_reset && ec != asio::error::eof)
                server_.log("Display: refused a request that could not be read (" + ec.message() + ")");
            beast::error_code ignored;
            stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
            return;
        }
        http::request<http::string_body> request = parser_->release();
        const std::string target(request.target());
        const bool hasOrigin = request.find(http::field::origin) != request.end();
        const std::string host(request[http::field::host]);
        const std::string origin(request[http::field::origin]);
        const bool plainRequest = !websocket::is_upgrade(request) &&
                                  (request.method() == http::verb::get || request.method() == http::verb::head);
        if (server_.handlerHostAllowed(host) && plainRequest && server_.onRequest &&
            server_.onRequest(target, responder(request)))
            return;
        if (!server_.hostAllowed(host) || (hasOrigin && !server_.originAllowed(origin))) {
            server_.log("Display: refused a request from another site (Host \"" + escapedExcerpt(host, 80) +
                        "\", Origin \"" + escapedExcerpt(origin, 80) + "\")");
            respond(request, http::status::forbidden, "text/plain; charset=utf-8", "Forbidden\n");
            return;
        }
        if (websocket::is_upgrade(request)) {
            if (pathOfTarget(target) != kSocketPath) {
                respond(request, http::status::not_found, "text/plain; charset=utf-8", "Not found\n");
                return;
            }
            if (!hasOrigin || !sameSecret(queryValue(target, "token"), server_.token)) {
                server_.log("Display: refused a live connection without the run's token");
                respond(request, http::status::forbidden, "text/plain; charset=utf-8", "Forbidden\n");
                return;
            }
            stream_.expires_never();
            std::make_shared<SocketSession>(server_, stream_.release_socket())->start(std::move(request));
            return;
        }
        if (request.method() != http::verb::get && request.method() != http::verb::head) {
            respond(request, http::status::method_not_allowed, "text/plain; charset=utf-8", "Not allowed\n");
            return;
        }
        std::string name(pathOfTarget(target));
        if (name == "/") name = "/index.html";
        auto file = server_.files.find(name.substr(1));
        if (file == server_.files.end()) {
            respond(request, http::status::not_found, "text/plain; charset=utf-8", "Not found\n");
            return;
        }
        respond(request, http::status::ok, file->second.first, file->second.second);
    }

    // A responder for the request handler: the answer is written on the server's thread.
    Responder responder(http::request<http::string_body>& request) {
        auto kept = std::make_shared<http::request<http::string_body>>(std::move(request));
        return [self = shared_from_this(), kept, alive = std::weak_ptr<char>(server_.alive)](Response response) {
            if (alive.expired()) return;
            asio::post(self->server_.io, [self, kept, response = std::move(response)] {
                self->respond(*kept, static_cast<http::status>(response.status), response.contentType, response.body,
                              response.headers);
            });
        };
    }

    void respond(const http::request<http::string_body>& request, http::status status, const std::string& type,
                 const std::string& body, const std::vector<std::pair<std::string, std::string>>& headers = {}) {
        auto response = std::make_shared<http::response<http::string_body>>(status, request.version());
        for (const auto& [name, value] : headers) response->set(name, value);
        response->set(http::field::content_type, type);
        response->set(http::field::cache_control, "no-store");
        response->set("X-Content-Type-Options", "nosniff");
        response->set("Referrer-Policy", "no-referrer");
        response->keep_alive(request.keep_alive() && status == http::status::ok);
        if (request.method() != http::verb::head) response->body() = body;
        response->prepare_payload();
        if (request.method() == http::verb::head) response->content_length(body.size());
        http::async_write(stream_, *response, [self = shared_from_this(), response](beast::error_code ec, std::size_t) {
            if (ec) return;
            if (response->need_eof()) {
                beast::error_code ignored;
                self->stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
                return;
            }
            self->read();
        });
    }

    Impl& server_;
    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
};

void DisplayServer::Impl::accept(tcp::acceptor& acceptor) {
    acceptor.async_accept([this, &acceptor](beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted) return;
        if (!ec) std::make_shared<HttpSession>(*this, std::move(socket))->read();
        accept(acceptor);
    });
}

void DisplayServer::Impl::sendNewestToAll() {
    auto all = sessions;
    for (const auto& weak : all)
        if (auto session = weak.lock()) session->sendNewest();
}

DisplayServer::DisplayServer() : impl_(std::make_unique<Impl>()) {}

DisplayServer::~DisplayServer() {
    stop();
}

bool DisplayServer::start(const Options& options, Error* error) {
    Error::clear(error);
    auto fail = [error](const std::string& reason) {
        Error::set(error, Error(NSPOSIXErrorDomain, EADDRNOTAVAIL,
                                Value::dictionary({{NSLocalizedDescriptionKey, Value(reason)}})));
        return false;
    };
    if (impl_->thread.joinable()) return fail("The display's server already runs");
    impl_->maxMessageBytes = options.maxMessageBytes;
    // The page is a handful of small files: read once, so a request can name
    // nothing but them.
    FileManager& fileManager = FileManager::defaultManager();
    auto names = fileManager.contentsOfDirectoryAtPath(options.pageDirectory);
    if (!names || names->empty()) return fail("The display's page is missing from " + options.pageDirectory);
    for (const auto& name : *names)
        if (auto data = fileManager.contentsAtPath(stringByAppendingPathComponent(options.pageDirectory, name)))
            impl_->files[name] = {contentTypeForFile(name), stringFromData(*data)};

    beast::error_code ec;
    int port = options.port;
    for (const auto& address : {asio::ip::make_address("127.0.0.1"), asio::ip::make_address("::1")}) {
        tcp::acceptor acceptor(impl_->io);
        const tcp::endpoint endpoint(address, static_cast<unsigned short>(port));
        acceptor.open(endpoint.protocol(), ec);
        if (!ec && address.is_v6()) acceptor.set_option(asio::ip::v6_only(true), ec);
        if (!ec) acceptor.set_option(asio::socket_base::reuse_address(true), ec);
        if (!ec) acceptor.bind(endpoint, ec);
        if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
        if (ec) {
            // A machine without IPv6 still has the IPv4 loopback.
            if (address.is_v6()) continue;
            impl_->acceptors.clear();
            return fail("The display cannot listen on " + address.to_string() + " port " + std::to_string(port) + ": " +
                        ec.message());
        }
        port = acceptor.local_endpoint().port();
        impl_->acceptors.push_back(std::move(acceptor));
    }
    impl_->port = port;
    for (auto& acceptor : impl_->acceptors) impl_->accept(acceptor);
    impl_->thread = std::thread([this] { impl_->io.run(); });
    return true;
}

void DisplayServer::stop() {
    if (!impl_->thread.joinable()) return;
    impl_->io.stop();
    impl_->thread.join();
}

int DisplayServer::port() const {
    return impl_->port;
}

const std::string& DisplayServer::token() const {
    return impl_->token;
}

std::string DisplayServer::address() const {
    return "http://127.0.0.1:" + std::to_string(port()) + "/#" + token();
}

void DisplayServer::setLogSink(LogSink sink) {
    impl_->log = std::move(sink);
}

void DisplayServer::setMessageHandler(MessageHandler handler) {
    impl_->onMessage = std::move(handler);
}

void DisplayServer::setConnectHandler(ConnectHandler handler) {
    impl_->onConnect = std::move(handler);
}

void DisplayServer::setRequestHandler(RequestHandler handler) {
    impl_->onRequest = std::move(handler);
}

void DisplayServer::publishFrame(std::string frame, std::function<std::string()> whole) {
    auto published = std::make_shared<Impl::Frame>();
    published->bytes = std::move(frame);
    published->updates = static_cast<bool>(whole);
    published->makeWhole = std::move(whole);
    {
        std::lock_guard lock(impl_->frameMutex);
        published->sequence = ++impl_->newestSequence;
        impl_->newestFrame = std::move(published);
    }
    asio::post(impl_->io, [impl = impl_.get()] { impl->sendNewestToAll(); });
}

std::size_t DisplayServer::viewerCount() const {
    return impl_->viewers;
}
