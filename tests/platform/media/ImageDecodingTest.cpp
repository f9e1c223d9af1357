#include <gtest/gtest.h>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "platform/media/ImageCodec.h"
#include "platform/media/ImageDecoding.h"
#include "platform/ui/Color.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"

namespace {

// A 1 x 1 GIF with `frames` frames.
Data gif(int frames, std::uint16_t width = 1, std::uint16_t height = 1) {
    Data d = {'G',
              'I',
              'F',
              '8',
              '9',
              'a',
              static_cast<std::uint8_t>(width),
              static_cast<std::uint8_t>(width >> 8),
              static_cast<std::uint8_t>(height),
              static_cast<std::uint8_t>(height >> 8),
              0x80,
              0,
              0,
              0xFF,
              0,
              0,
              0,
              0,
              0xFF};
    for (int i = 0; i < frames; ++i) {
        const Data frame = {0x21, 0xF9, 4, 0, 10, 0, 0, 0, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1, 0};
        d.insert(d.end(), frame.begin(), frame.end());
    }
    d.push_back(0x3B);
    return d;
}

// The image saved by gdk-pixbuf in one of its formats.
Data saved(const char* type, int width, int height) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, width, height);
    gdk_pixbuf_fill(pixbuf, 0x00FF00FF);
    gchar* buffer = nullptr;
    gsize size = 0;
    const bool ok = gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, type, nullptr, nullptr);
    g_object_unref(pixbuf);
    if (!ok) return {};
    Data out(reinterpret_cast<std::uint8_t*>(buffer), reinterpret_cast<std::uint8_t*>(buffer) + size);
    g_free(buffer);
    return out;
}

Data png(int width, int height) {
    auto image = Image::render(Size{double(width), double(height)}, 1, [&](GraphicsContext& context) {
        context.setFillColor(Color(0, 0, 1, 1));
        context.fillRect(Rect{0, 0, double(width), double(height)});
    });
    return *image->pngData();
}

}  // namespace

TEST(ImageDecodingTest, DecodesEveryAcceptedTypeAtItsScale) {
    struct Case {
        const char* name;
        Data bytes;
        int width, height;
        std::size_t frames;
    };
    const Case cases[] = {
        {"png", png(5, 3), 5, 3, 1},
        {"jpeg", *imageJPEGRepresentation(*Image::imageWithData(png(5, 3)), 0.9), 5, 3, 1},
        {"gif", gif(1), 1, 1, 1},
        {"animated gif", gif(3), 1, 1, 3},
        {"tiff", saved("tiff", 4, 2), 4, 2, 1},
        {"bmp", saved("bmp", 4, 2), 4, 2, 1},
        {"ico", saved("ico", 16, 16), 16, 16, 1},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(c.bytes.empty()) << c.name;
        auto decoded = decodeImageData(c.bytes, 2);
        ASSERT_TRUE(decoded) << c.name;
        EXPECT_EQ(decoded->image->pixelWidth(), c.width) << c.name;
        EXPECT_EQ(decoded->image->pixelHeight(), c.height) << c.name;
        EXPECT_EQ(decoded->image->scale(), 2) << c.name;
        EXPECT_EQ(decoded->frameCount, c.frames) << c.name;
    }
    auto bmp = decodeImageData(saved("bmp", 4, 2), 1);
    const Color green = bmp->image->colorAtPixel(1, 1);
    EXPECT_NEAR(green.green(), 1, 0.01);
    EXPECT_NEAR(green.red(), 0, 0.01);
}

TEST(ImageDecodingTest, RefusesDamagedAndOversizedImagesBeforeAllocating) {
    const Data whole = png(20, 20);
    EXPECT_FALSE(decodeImageData(Data(whole.begin(), whole.begin() + whole.size() / 2), 1)) << "truncated PNG";
    EXPECT_FALSE(decodeImageData(dataFromString("GIF89a"), 1)) << "GIF without a frame";
    EXPECT_FALSE(decodeImageData(gif(1, 0xFFFF, 0xFFFF), 1)) << "GIF screen of 65535 x 65535";
    // Frames within the bound that together would exceed it.
    EXPECT_FALSE(decodeImageData(gif(20000, 2000, 2000), 1)) << "too many large frames";
    EXPECT_FALSE(decodeImageData(dataFromString("plain text"), 1));

    // A PNG header that declares 100,000 x 100,000 pixels.
    Data huge = whole;
    for (int at : {16, 20}) {
        huge[at] = 0, huge[at + 1] = 0x01, huge[at + 2] = 0x86, huge[at + 3] = 0xA0;
    }
    EXPECT_FALSE(decodeImageData(huge, 1));

    // A BMP that declares 10,000 x 10,000 pixels reaches gdk-pixbuf, which is stopped at the size.
    Data bmp = saved("bmp", 4, 2);
    ASSERT_GT(bmp.size(), 26u);
    for (int at : {18, 22}) {
        bmp[at] = 0x10, bmp[at + 1] = 0x27, bmp[at + 2] = 0, bmp[at + 3] = 0;
    }
    EXPECT_FALSE(decodeImageData(bmp, 1));
}
