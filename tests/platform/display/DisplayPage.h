#pragma once

// What the browser display's page does, for the display's tests and
// benchmark: its live connection, and the picture it keeps of the frames.

#include <cairo.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace memorant_test {

using PageSocket = boost::beast::websocket::stream<boost::beast::tcp_stream>;

// Opens the live connection as the page does: to the loopback port, with the
// run's token and the server's own origin.
inline void connectAsPage(PageSocket& ws, int port, const std::string& token) {
    namespace asio = boost::asio;
    boost::beast::get_lowest_layer(ws).connect(
        asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)));
    const std::string host = "127.0.0.1:" + std::to_string(port);
    ws.set_option(
        boost::beast::websocket::stream_base::decorator([host](boost::beast::websocket::request_type& request) {
            request.set(boost::beast::http::field::origin, "http://" + host);
        }));
    ws.handshake(host, "/socket?token=" + token);
}

// The picture the page keeps: an update's copies applied in order, then each
// part's PNG decoded (cairo's PNG reader) and put in place of the pixels of its
// rectangle; a full frame starts a new picture.
class FramePicture {
public:
    FramePicture() = default;
    ~FramePicture() { reset(); }
    FramePicture(const FramePicture&) = delete;
    FramePicture& operator=(const FramePicture&) = delete;

    // Applies one frame message; false, with the reason, when it cannot be
    // (the picture is then dropped: only a full frame can start it again).
    bool apply(std::string_view message, std::string* reason = nullptr) {
        auto fail = [&](const std::string& why) {
            if (reason) *reason = why;
            reset();
            return false;
        };
        if (message.size() < 4) return fail("shorter than its length");
        const std::size_t length = (std::size_t(std::uint8_t(message[0])) << 24) |
                                   (std::size_t(std::uint8_t(message[1])) << 16) |
                                   (std::size_t(std::uint8_t(message[2])) << 8) | std::size_t(std::uint8_t(message[3]));
        if (4 + length > message.size()) return fail("a header longer than the message");
        header_ = nlohmann::json::parse(message.substr(4, length), nullptr, false);
        if (!header_.is_object() || !header_["parts"].is_array()) return fail("no header with parts");
        const auto& parts = header_["parts"];
        const bool full = header_.value("full", false);
        if (full) {
            // Its parts tile the picture: bands from the top down, each as
            // wide as the picture.
            if (parts.empty()) return fail("a full frame without parts");
            int height = 0;
            for (const auto& part : parts) {
                if (part["x"] != 0 || part["y"] != height || part["width"] != parts[0]["width"])
                    return fail("a full frame whose parts do not tile the picture");
                height += part["height"].get<int>();
            }
            reset();
            surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, parts[0]["width"], height);
        } else if (!surface_) {
            return fail("an update without a picture to update");
        }
        std::size_t offset = 4 + length;
        cairo_t* cr = cairo_create(surface_);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        std::string why;
        if (!full && header_.contains("copies") && !applyCopies(header_["copies"])) why = "a copy out of the picture";
        for (const auto& part : parts) {
            if (!why.empty()) break;
            const std::size_t bytes = part["bytes"];
            if (offset + bytes > message.size()) {
                why = "parts longer than the message";
                break;
            }
            Reader reader{message.substr(offset, bytes)};
            offset += bytes;
            cairo_surface_t* png = cairo_image_surface_create_from_png_stream(&Reader::read, &reader);
            const int x = part["x"], y = part["y"], width = part["width"], height = part["height"];
            if (cairo_surface_status(png) != CAIRO_STATUS_SUCCESS || cairo_image_surface_get_width(png) != width ||
                cairo_image_surface_get_height(png) != height)
                why = "a part that is not a PNG of its size";
            cairo_set_source_surface(cr, png, x, y);
            cairo_rectangle(cr, x, y, width, height);
            cairo_fill(cr);
            cairo_surface_destroy(png);
            if (!why.empty()) break;
        }
        cairo_destroy(cr);
        if (why.empty() && offset != message.size()) why = "bytes after the parts";
        if (!why.empty()) return fail(why);
        cairo_surface_flush(surface_);
        return true;
    }

    // The last frame's header.
    const nlohmann::json& header() const { return header_; }
    cairo_surface_t* surface() const { return surface_; }

    // Whether the picture has the pixels of the (ARGB32) surface.
    bool equals(cairo_surface_t* other) const {
        if (!surface_) return false;
        cairo_surface_flush(other);
        const int width = cairo_image_surface_get_width(surface_), height = cairo_image_surface_get_height(surface_);
        if (cairo_image_surface_get_width(other) != width || cairo_image_surface_get_height(other) != height)
            return false;
        for (int y = 0; y < height; ++y)
            if (std::memcmp(cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_),
                            cairo_image_surface_get_data(other) + y * cairo_image_surface_get_stride(other),
                            static_cast<std::size_t>(width) * 4) != 0)
                return false;
        return true;
    }

private:
    struct Reader {
        std::string_view bytes;
        static cairo_status_t read(void* closure, unsigned char* data, unsigned int length) {
            auto& self = *static_cast<Reader*>(closure);
            if (length > self.bytes.size()) return CAIRO_STATUS_READ_ERROR;
            std::memcpy(data, self.bytes.data(), length);
            self.bytes.remove_prefix(length);
            return CAIRO_STATUS_SUCCESS;
        }
    };

    // Each copy takes the pixels of the rectangle at (fromX, fromY) as the
    // picture stands, in order; false for one that reaches outside it.
    bool applyCopies(const nlohmann::json& copies) {
        if (!copies.is_array()) return false;
        const int width = cairo_image_surface_get_width(surface_), height = cairo_image_surface_get_height(surface_);
        const int stride = cairo_image_surface_get_stride(surface_);
        unsigned char* data = cairo_image_surface_get_data(surface_);
        cairo_surface_flush(surface_);
        for (const auto& copy : copies) {
            const int x = copy.value("x", -1), y = copy.value("y", -1), w = copy.value("width", 0),
                      h = copy.value("height", 0), fromX = copy.value("fromX", -1), fromY = copy.value("fromY", -1);
            if (x < 0 || y < 0 || fromX < 0 || fromY < 0 || w <= 0 || h <= 0 || x + w > width || y + h > height ||
                fromX + w > width || fromY + h > height)
                return false;
            std::string held(static_cast<std::size_t>(w) * 4 * static_cast<std::size_t>(h), '\0');
            for (int row = 0; row < h; ++row)
                std::memcpy(held.data() + static_cast<std::size_t>(row) * w * 4,
                            data + static_cast<std::size_t>(fromY + row) * stride + static_cast<std::size_t>(fromX) * 4,
                            static_cast<std::size_t>(w) * 4);
            for (int row = 0; row < h; ++row)
                std::memcpy(data + static_cast<std::size_t>(y + row) * stride + static_cast<std::size_t>(x) * 4,
                            held.data() + static_cast<std::size_t>(row) * w * 4, static_cast<std::size_t>(w) * 4);
        }
        cairo_surface_mark_dirty(surface_);
        return true;
    }

    void reset() {
        if (surface_) cairo_surface_destroy(surface_);
        surface_ = nullptr;
    }

    nlohmann::json header_;
    cairo_surface_t* surface_ = nullptr;
};

}  // namespace memorant_test
