#include "platform/media/ImageCodec.h"

#include <cairo.h>
// jpeglib.h needs size_t and FILE declared first.
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/media/BitmapContext.h"
#include "platform/ui/Image.h"

namespace {

struct JPEGErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void jpegErrorExit(j_common_ptr info) {
    auto* manager = reinterpret_cast<JPEGErrorManager*>(info->err);
    std::longjmp(manager->jump, 1);
}

void jpegSilence(j_common_ptr, int) {}

bool hasPrefix(const Data& data, std::initializer_list<std::uint8_t> prefix) {
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

}  // namespace

std::optional<Data> imagePNGRepresentation(const Image& image) { return image.pngData(); }

std::optional<Data> imageJPEGRepresentation(const Image& image, double compressionQuality) {
    cairo_surface_t* surface = image.surface();
    cairo_surface_flush(surface);
    const int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* pixels = cairo_image_surface_get_data(surface);
    if (!pixels || w < 1 || h < 1) return std::nullopt;

    // Premultiplied colour is the colour over black, which is what JPEG shows.
    std::vector<unsigned char> rgb(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint32_t px;
            std::memcpy(&px, pixels + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 4, 4);
            unsigned char* out = rgb.data() + (static_cast<std::size_t>(y) * w + x) * 3;
            out[0] = (px >> 16) & 0xFF;
            out[1] = (px >> 8) & 0xFF;
            out[2] = px & 0xFF;
        }
    }

    jpeg_compress_struct info;
    JPEGErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jpegErrorExit;
    errors.base.emit_message = jpegSilence;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        return std::nullopt;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(w);
    info.image_height = static_cast<JDIMENSION>(h);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, static_cast<int>(std::lround(std::clamp(compressionQuality, 0.0, 1.0) * 100)), TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = rgb.data() + static_cast<std::size_t>(info.next_scanline) * w * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Data data(buffer, buffer + size);
    std::free(buffer);
    return data;
}

std::shared_ptr<Image> imageWithJPEGData(const Data& data, double scale) {
    if (data.empty()) return nullptr;
    jpeg_decompress_struct info;
    JPEGErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jpegErrorExit;
    errors.base.emit_message = jpegSilence;
    // Set before the jump point: the error path jumps back over later declarations.
    cairo_surface_t* volatile surface = nullptr;
    std::vector<unsigned char> row;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        if (surface) cairo_surface_destroy(surface);
        return nullptr;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return nullptr;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const int w = static_cast<int>(info.output_width), h = static_cast<int>(info.output_height);
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    unsigned char* pixels = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    row.resize(static_cast<std::size_t>(w) * 3);
    while (info.output_scanline < info.output_height) {
        const int y = static_cast<int>(info.output_scanline);
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&info, rows, 1);
        for (int x = 0; x < w; ++x) {
            std::uint32_t px = 0xFF000000u | (std::uint32_t(row[x * 3]) << 16) | (std::uint32_t(row[x * 3 + 1]) << 8) |
                               row[x * 3 + 2];
            std::memcpy(pixels + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 4, &px, 4);
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    cairo_surface_mark_dirty(surface);
    auto image = imageWithSurface(surface, scale);
    cairo_surface_destroy(surface);
    return image;
}

std::shared_ptr<Image> imageWithEncodedData(const Data& data, double scale) {
    if (hasPrefix(data, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) return Image::imageWithData(data, scale);
    if (hasPrefix(data, {0xFF, 0xD8, 0xFF})) return imageWithJPEGData(data, scale);
    return nullptr;
}
