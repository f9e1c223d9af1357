#include "platform/display/DisplayFrame.h"

#include <png.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <thread>

#include <nlohmann/json.hpp>

namespace DisplayFrame {

namespace {

const unsigned char* rowOf(const Pixels& picture, int y) {
    return picture.data + static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.stride);
}

std::uint32_t pixelAt(const unsigned char* row, int x) {
    std::uint32_t pixel;
    std::memcpy(&pixel, row + static_cast<std::size_t>(x) * 4, sizeof pixel);
    return pixel;
}

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

void flushNothing(png_structp) {}

// The rows of an ARGB32 rectangle as RGBA, not premultiplied.
void straightRGBA(const unsigned char* row, int width, unsigned char* out) {
    for (int x = 0; x < width; ++x, out += 4) {
        const std::uint32_t pixel = pixelAt(row, x);
        const std::uint32_t alpha = pixel >> 24;
        const std::uint32_t channels[3] = {(pixel >> 16) & 0xff, (pixel >> 8) & 0xff, pixel & 0xff};
        for (int c = 0; c < 3; ++c)
            out[c] = static_cast<unsigned char>(alpha == 0 ? 0 : (channels[c] * 255 + alpha / 2) / alpha);
        out[3] = static_cast<unsigned char>(alpha);
    }
}

// libpng reports failure by a long jump back here; nothing in this frame has
// a destructor to skip.
bool writePNG(png_structp png, png_infop info, const Pixels& picture, const PixelRect& rect, bool opaque,
              unsigned char* rowBuffer) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(rect.width), static_cast<png_uint_32>(rect.height), 8,
                 opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_write_info(png, info);
    if (opaque) {
        // The surface's own rows: B, G, R, A in memory on a little-endian machine.
        if constexpr (std::endian::native == std::endian::little) {
            png_set_bgr(png);
            png_set_filler(png, 0, PNG_FILLER_AFTER);
        } else {
            png_set_filler(png, 0, PNG_FILLER_BEFORE);
        }
    }
    for (int y = rect.y; y < rect.y + rect.height; ++y) {
        const unsigned char* row = rowOf(picture, y) + static_cast<std::size_t>(rect.x) * 4;
        if (opaque) {
            png_write_row(png, row);
        } else {
            straightRGBA(row, rect.width, rowBuffer);
            png_write_row(png, rowBuffer);
        }
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

std::vector<PixelRect> changedRects(const Pixels& before, const Pixels& after) {
    std::vector<PixelRect> rects;
    const std::size_t rowBytes = static_cast<std::size_t>(after.width) * 4;
    auto rowChanged = [&](int y) { return std::memcmp(rowOf(before, y), rowOf(after, y), rowBytes) != 0; };
    int y = 0;
    while (y < after.height) {
        if (!rowChanged(y)) {
            ++y;
            continue;
        }
        const int top = y;
        int bottom = y;
        int left = after.width, right = -1;
        for (; y < after.height && y - bottom <= kRowGap; ++y) {
            if (y != top && !rowChanged(y)) continue;
            bottom = y;
            const unsigned char* a = rowOf(before, y);
            const unsigned char* b = rowOf(after, y);
            int first = 0;
            while (pixelAt(a, first) == pixelAt(b, first)) ++first;
            int last = after.width - 1;
            while (pixelAt(a, last) == pixelAt(b, last)) --last;
            left = std::min(left, first);
            right = std::max(right, last);
        }
        rects.push_back({left, top, right - left + 1, bottom - top + 1});
    }
    return rects;
}

std::string png(const Pixels& picture, const PixelRect& rect) {
    bool opaque = true;
    for (int y = rect.y; opaque && y < rect.y + rect.height; ++y) {
        const unsigned char* row = rowOf(picture, y);
        for (int x = rect.x; x < rect.x + rect.width; ++x)
            if ((pixelAt(row, x) >> 24) != 0xff) {
                opaque = false;
                break;
            }
    }
    std::string bytes;
    std::vector<unsigned char> rowBuffer(opaque ? 0 : static_cast<std::size_t>(rect.width) * 4);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info) {
        png_set_write_fn(png, &bytes, appendBytes, flushNothing);
        if (!writePNG(png, info, picture, rect, opaque, rowBuffer.data())) bytes.clear();
    }
    png_destroy_write_struct(&png, &info);
    return bytes;
}

std::vector<Part> pngBands(const Pixels& picture, const PixelRect& rect) {
    // A band of fewer rows than this is made faster than a thread starts.
    constexpr int kMinBandRows = 96;
    constexpr int kMaxBands = 8;
    const int hardware = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int bands = std::clamp(rect.height / kMinBandRows, 1, std::min(kMaxBands, hardware));
    std::vector<Part> parts(static_cast<std::size_t>(bands));
    for (int i = 0; i < bands; ++i) {
        const int top = rect.y + rect.height * i / bands, bottom = rect.y + rect.height * (i + 1) / bands;
        parts[static_cast<std::size_t>(i)].rect = {rect.x, top, rect.width, bottom - top};
    }
    if (bands == 1) {
        parts[0].png = png(picture, rect);
        return parts;
    }
    std::vector<std::thread> workers;
    workers.reserve(parts.size() - 1);
    for (std::size_t i = 1; i < parts.size(); ++i)
        workers.emplace_back([&picture, &part = parts[i]] { part.png = png(picture, part.rect); });
    parts[0].png = png(picture, parts[0].rect);
    for (auto& worker : workers) worker.join();
    return parts;
}

std::string message(const std::string& header, bool full, const std::vector<Part>& parts) {
    nlohmann::json list = nlohmann::json::array();
    std::size_t partBytes = 0;
    for (const auto& part : parts) {
        list.push_back({{"x", part.rect.x},
                        {"y", part.rect.y},
                        {"width", part.rect.width},
                        {"height", part.rect.height},
                        {"bytes", part.png.size()}});
        partBytes += part.png.size();
    }
    // The screen's object, closed again after the frame's own members.
    std::string text = header.substr(0, header.rfind('}'));
    if (text.find_first_not_of(" {") != std::string::npos) text += ',';
    text += std::string("\"full\":") + (full ? "true" : "false") + ",\"parts\":" + list.dump() + "}";
    const auto length = static_cast<std::uint32_t>(text.size());
    std::string bytes;
    bytes.reserve(4 + text.size() + partBytes);
    bytes = {static_cast<char>(length >> 24), static_cast<char>(length >> 16), static_cast<char>(length >> 8),
             static_cast<char>(length)};
    bytes += text;
    for (const auto& part : parts) bytes += part.png;
    return bytes;
}

}  // namespace DisplayFrame
