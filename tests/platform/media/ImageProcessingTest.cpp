#include <gtest/gtest.h>

#include <cairo-pdf.h>
#include <cairo.h>

#include <cstring>
#include <vector>

#include "platform/media/BitmapContext.h"
#include "platform/media/ImageCodec.h"
#include "platform/media/ImageProcessing.h"
#include "platform/media/PDFDocument.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"

namespace {

// A w x h buffer of BGRA pixels, all one value per channel.
struct Pixels {
    int width, height;
    std::vector<std::uint8_t> bytes;
    Pixels(int w, int h, std::uint8_t fill = 0) : width(w), height(h), bytes(static_cast<std::size_t>(w) * h * 4, fill) {}
    ImageBuffer buffer() { return {bytes.data(), width, height, static_cast<std::size_t>(width) * 4}; }
    std::uint8_t* at(int x, int y) { return bytes.data() + (static_cast<std::size_t>(y) * width + x) * 4; }
};

TEST(ImageProcessing, BoxConvolveAveragesWithEdgeExtension) {
    Pixels in(5, 5), out(5, 5);
    std::memset(in.at(2, 2), 255, 4);  // one white pixel in the middle
    std::memset(in.at(0, 0), 90, 4);   // and one grey in the corner
    ASSERT_TRUE(boxConvolveARGB8888(in.buffer(), out.buffer(), 3, 3));
    EXPECT_EQ(*out.at(2, 2), 28);   // 255 / 9, rounded
    EXPECT_EQ(*out.at(3, 3), 28);   // the spike is inside this box too
    EXPECT_EQ(*out.at(4, 4), 0);
    // At the corner the edge pixel counts four times: 4 * 90 / 9.
    EXPECT_EQ(*out.at(0, 0), 40);
    EXPECT_EQ(*out.at(1, 1), 28 + 10);  // (255 + 90) / 9 = 38.3

    // A wide box over a uniform buffer leaves it unchanged.
    Pixels flat(4, 3, 77), flatOut(4, 3);
    ASSERT_TRUE(boxConvolveARGB8888(flat.buffer(), flatOut.buffer(), 9, 7));
    EXPECT_EQ(flatOut.bytes, flat.bytes);
}

TEST(ImageProcessing, BoxConvolveRejectsBadArguments) {
    Pixels a(4, 4), b(4, 4), small(3, 4);
    EXPECT_FALSE(boxConvolveARGB8888(a.buffer(), b.buffer(), 2, 3));
    EXPECT_FALSE(boxConvolveARGB8888(a.buffer(), b.buffer(), 3, 0));
    EXPECT_FALSE(boxConvolveARGB8888(a.buffer(), a.buffer(), 3, 3));
    EXPECT_FALSE(boxConvolveARGB8888(a.buffer(), small.buffer(), 3, 3));
}

TEST(ImageProcessing, MatrixMultiplyWeighsChannelsTruncatesAndClamps) {
    Pixels in(1, 1), out(1, 1);
    std::uint8_t px[4] = {10, 100, 200, 255};
    std::memcpy(in.at(0, 0), px, 4);
    // Result channel 0 takes source channel 2, channel 1 half of channel 1,
    // channel 2 twice channel 2 (clamped), channel 3 minus channel 0 (clamped).
    std::int16_t matrix[16] = {0, 0, 0, -256,  //
                               0, 128, 0, 0,   //
                               256, 0, 512, 0, //
                               0, 0, 0, 0};
    ASSERT_TRUE(matrixMultiplyARGB8888(in.buffer(), out.buffer(), matrix, 256));
    const std::uint8_t* r = out.at(0, 0);
    EXPECT_EQ(r[0], 200);
    EXPECT_EQ(r[1], 50);
    EXPECT_EQ(r[2], 255);
    EXPECT_EQ(r[3], 0);

    std::int16_t thirds[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    ASSERT_TRUE(matrixMultiplyARGB8888(in.buffer(), out.buffer(), thirds, 3));
    EXPECT_EQ(out.at(0, 0)[0], 3);  // 10 / 3 truncated
    EXPECT_FALSE(matrixMultiplyARGB8888(in.buffer(), out.buffer(), thirds, 0));
}

std::shared_ptr<Image> solidImage(Size size, const Color& color, double scale = 1) {
    return Image::render(size, scale, [&](GraphicsContext& context) {
        context.setFillColor(color);
        context.fillRect({{0, 0}, size});
    });
}

TEST(ImageCodec, JPEGRoundTripAndSniffing) {
    auto image = solidImage({8, 6}, Color(0.2, 0.6, 1.0));
    auto jpeg = imageJPEGRepresentation(*image, 0.9);
    ASSERT_TRUE(jpeg.has_value());
    auto decoded = imageWithEncodedData(*jpeg, 2);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->pixelWidth(), 8);
    EXPECT_EQ(decoded->pixelHeight(), 6);
    EXPECT_DOUBLE_EQ(decoded->scale(), 2);
    Color c = decoded->colorAtPixel(4, 3);
    EXPECT_NEAR(c.red(), 0.2, 0.03);
    EXPECT_NEAR(c.green(), 0.6, 0.03);
    EXPECT_NEAR(c.blue(), 1.0, 0.03);

    auto png = imagePNGRepresentation(*image);
    ASSERT_TRUE(png.has_value());
    EXPECT_TRUE(imageWithEncodedData(*png));

    EXPECT_FALSE(imageWithEncodedData(dataFromString("not an image")));
    Data truncated(jpeg->begin(), jpeg->begin() + 20);
    EXPECT_FALSE(imageWithJPEGData(truncated));
    EXPECT_FALSE(imageWithJPEGData({}));
}

TEST(BitmapContext, PixelSizeAndImage) {
    BitmapContext context({10.5, 3}, 2);
    EXPECT_EQ(context.pixelWidth(), 21);
    EXPECT_EQ(context.pixelHeight(), 6);
    context.context().setFillColor(Color::redColor());
    context.context().fillRect({{0, 0}, {1, 1}});
    auto image = context.makeImage();
    EXPECT_EQ(image->pixelWidth(), 21);
    EXPECT_DOUBLE_EQ(image->scale(), 2);
    EXPECT_EQ(image->colorAtPixel(1, 1), Color::redColor());
    EXPECT_EQ(image->colorAtPixel(5, 5), Color::clearColor());
}

cairo_status_t appendBytes(void* closure, const unsigned char* bytes, unsigned int length) {
    static_cast<Data*>(closure)->insert(static_cast<Data*>(closure)->end(), bytes, bytes + length);
    return CAIRO_STATUS_SUCCESS;
}

// Two pages: 200 x 100 with its left half black, then 50 x 80.
Data twoPagePDF() {
    Data data;
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(appendBytes, &data, 200, 100);
    cairo_t* cr = cairo_create(surface);
    cairo_rectangle(cr, 0, 0, 100, 100);
    cairo_fill(cr);
    cairo_show_page(cr);
    cairo_pdf_surface_set_size(surface, 50, 80);
    cairo_show_page(cr);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    cairo_surface_destroy(surface);
    return data;
}

TEST(PDFDocument, PagesBoxesAndDrawing) {
    auto document = PDFDocument::documentWithData(twoPagePDF());
    ASSERT_TRUE(document);
    EXPECT_EQ(document->pageCount(), 2);
    EXPECT_EQ(document->mediaBox(1), (Rect{{0, 0}, {200, 100}}));
    EXPECT_EQ(document->mediaBox(2), (Rect{{0, 0}, {50, 80}}));
    EXPECT_FALSE(document->mediaBox(0));
    EXPECT_FALSE(document->mediaBox(3));

    BitmapContext context({200, 100}, 1);
    document->drawPage(1, context.context());
    document->drawPage(7, context.context());  // nothing
    auto image = context.makeImage();
    EXPECT_EQ(image->colorAtPixel(20, 50), Color::blackColor());
    EXPECT_EQ(image->colorAtPixel(180, 50).alpha(), 0);

    EXPECT_FALSE(PDFDocument::documentWithData(dataFromString("%PDF-1.4 broken")));
    EXPECT_FALSE(PDFDocument::documentWithData({}));
    EXPECT_FALSE(PDFDocument::documentWithPath("/nonexistent/file.pdf"));
}

}  // namespace
