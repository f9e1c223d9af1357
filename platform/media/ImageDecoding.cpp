#include "platform/media/ImageDecoding.h"

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstring>

#include "platform/media/BitmapContext.h"
#include "platform/media/ImageCodec.h"
#include "platform/ui/Image.h"

namespace {

bool startsWith(const Data& data, std::initializer_list<std::uint8_t> prefix) {
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

std::uint32_t bigEndian32(const Data& d, std::size_t at) {
    return (std::uint32_t(d[at]) << 24) | (std::uint32_t(d[at + 1]) << 16) | (std::uint32_t(d[at + 2]) << 8) |
           d[at + 3];
}
std::uint16_t bigEndian16(const Data& d, std::size_t at) {
    return static_cast<std::uint16_t>((d[at] << 8) | d[at + 1]);
}
std::uint16_t littleEndian16(const Data& d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}

bool withinBound(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels) {
    return width > 0 && height > 0 && width <= maxPixels && height <= maxPixels && width * height <= maxPixels;
}

// The size in the PNG header chunk.
bool pngWithinBound(const Data& d, std::uint64_t maxPixels) {
    if (d.size() < 24 || std::memcmp(d.data() + 12, "IHDR", 4) != 0) return false;
    return withinBound(bigEndian32(d, 16), bigEndian32(d, 20), maxPixels);
}

// The size in the first start-of-frame marker.
bool jpegWithinBound(const Data& d, std::uint64_t maxPixels) {
    std::size_t at = 2;
    while (at + 4 <= d.size()) {
        if (d[at] != 0xFF) return false;
        const std::uint8_t marker = d[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        const std::size_t length = bigEndian16(d, at + 2);
        const bool startOfFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame) {
            if (at + 9 > d.size()) return false;
            return withinBound(bigEndian16(d, at + 7), bigEndian16(d, at + 5), maxPixels);
        }
        if (length < 2) return false;
        at += 2 + length;
    }
    return false;
}

// Walks the GIF's blocks: the frames and their pixels, bounded by the bytes
// present. nullopt when the structure is broken before the first frame or the
// pixels exceed the bound.
std::optional<std::size_t> gifFrameCount(const Data& d, std::uint64_t maxPixels) {
    if (d.size() < 13) return std::nullopt;
    const std::uint64_t screen = std::uint64_t(littleEndian16(d, 6)) * littleEndian16(d, 8);
    if (!withinBound(littleEndian16(d, 6), littleEndian16(d, 8), maxPixels)) return std::nullopt;
    std::size_t at = 13;
    if (d[10] & 0x80) at += 3u * (1u << ((d[10] & 7) + 1));
    std::size_t frames = 0;
    auto skipSubBlocks = [&](std::size_t& pos) {
        while (pos < d.size() && d[pos] != 0) pos += 1 + d[pos];
        ++pos;
    };
    while (at < d.size()) {
        const std::uint8_t kind = d[at];
        if (kind == 0x3B) break;
        if (kind == 0x21) {
            at += 2;
            skipSubBlocks(at);
        } else if (kind == 0x2C) {
            if (at + 10 > d.size()) break;
            const std::uint64_t w = littleEndian16(d, at + 5), h = littleEndian16(d, at + 7);
            // The loader keeps every frame at the size of the screen or the frame, whichever is larger.
            if (!withinBound(w, h, maxPixels)) return std::nullopt;
            ++frames;
            if ((frames * std::max(screen, w * h)) > maxPixels) return std::nullopt;
            const std::uint8_t flags = d[at + 9];
            at += 10;
            if (flags & 0x80) at += 3u * (1u << ((flags & 7) + 1));
            at += 1;  // LZW minimum code size
            skipSubBlocks(at);
        } else {
            break;
        }
    }
    if (frames == 0) return std::nullopt;
    return frames;
}

struct LoaderBound {
    std::uint64_t maxPixels;
    bool refused = false;
};

void refuseLargeImages(GdkPixbufLoader* loader, gint width, gint height, gpointer bound) {
    auto* limit = static_cast<LoaderBound*>(bound);
    if (!withinBound(static_cast<std::uint64_t>(std::max(width, 0)), static_cast<std::uint64_t>(std::max(height, 0)),
                     limit->maxPixels)) {
        limit->refused = true;
        // A size of zero makes the loaders stop before they allocate pixels.
        gdk_pixbuf_loader_set_size(loader, 0, 0);
    }
}

std::shared_ptr<Image> imageFromPixbuf(GdkPixbuf* pixbuf, double scale, std::uint64_t maxPixels) {
    const int w = gdk_pixbuf_get_width(pixbuf), h = gdk_pixbuf_get_height(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    if (gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 || (channels != 3 && channels != 4) ||
        !withinBound(static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(h), maxPixels))
        return nullptr;
    const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
    const int sourceStride = gdk_pixbuf_get_rowstride(pixbuf);
    const guchar* source = gdk_pixbuf_read_pixels(pixbuf);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_surface_flush(surface);
    unsigned char* pixels = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < h; ++y) {
        const guchar* row = source + static_cast<std::size_t>(y) * sourceStride;
        for (int x = 0; x < w; ++x) {
            const guchar* p = row + static_cast<std::size_t>(x) * channels;
            const std::uint32_t a = alpha ? p[3] : 255;
            auto premultiply = [a](std::uint32_t c) { return (c * a + 127) / 255; };
            const std::uint32_t px =
                (a << 24) | (premultiply(p[0]) << 16) | (premultiply(p[1]) << 8) | premultiply(p[2]);
            std::memcpy(pixels + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 4, &px, 4);
        }
    }
    cairo_surface_mark_dirty(surface);
    auto image = imageWithSurface(surface, scale);
    cairo_surface_destroy(surface);
    return image;
}

std::shared_ptr<Image> decodeWithPixbuf(const Data& data, const char* type, double scale, std::uint64_t maxPixels) {
    GError* error = nullptr;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type(type, &error);
    if (!loader) {
        if (error) g_error_free(error);
        return nullptr;
    }
    LoaderBound bound{maxPixels};
    const bool& refused = bound.refused;
    g_signal_connect(loader, "size-prepared", G_CALLBACK(refuseLargeImages), &bound);
    bool ok = true;
    const guchar* bytes = data.data();
    std::size_t left = data.size();
    constexpr std::size_t kChunk = 64 * 1024;
    while (ok && left > 0 && !refused) {
        const std::size_t n = std::min(left, kChunk);
        ok = gdk_pixbuf_loader_write(loader, bytes, n, &error);
        bytes += n;
        left -= n;
    }
    if (error) {
        g_error_free(error);
        error = nullptr;
    }
    const bool closed = gdk_pixbuf_loader_close(loader, &error);
    if (error) g_error_free(error);
    std::shared_ptr<Image> image;
    if (ok && closed && !refused)
        if (GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader)) image = imageFromPixbuf(pixbuf, scale, maxPixels);
    g_object_unref(loader);
    return image;
}

}  // namespace

std::string imageTypeOfData(const Data& d) {
    if (startsWith(d, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) return "png";
    if (startsWith(d, {0xFF, 0xD8, 0xFF})) return "jpeg";
    if (startsWith(d, {'G', 'I', 'F', '8'})) return "gif";
    if (startsWith(d, {'I', 'I', 42, 0}) || startsWith(d, {'M', 'M', 0, 42})) return "tiff";
    if (startsWith(d, {'B', 'M'})) return "bmp";
    if (startsWith(d, {0, 0, 1, 0}) || startsWith(d, {0, 0, 2, 0})) return "ico";
    return {};
}

std::optional<DecodedImage> decodeImageData(const Data& data, double scale) {
    return decodeImageData(data, scale, kMaxDecodedImagePixels);
}

std::optional<DecodedImage> decodeImageData(const Data& data, double scale, std::uint64_t maxPixels) {
    const std::string type = imageTypeOfData(data);
    DecodedImage out;
    if (type == "png") {
        if (pngWithinBound(data, maxPixels)) out.image = imageWithEncodedData(data, scale);
    } else if (type == "jpeg") {
        if (jpegWithinBound(data, maxPixels)) out.image = imageWithEncodedData(data, scale);
    } else if (type == "gif") {
        auto frames = gifFrameCount(data, maxPixels);
        if (!frames) return std::nullopt;
        out.frameCount = *frames;
        out.image = decodeWithPixbuf(data, "gif", scale, maxPixels);
    } else if (!type.empty()) {
        out.image = decodeWithPixbuf(data, type.c_str(), scale, maxPixels);
    }
    if (!out.image) return std::nullopt;
    return out;
}
