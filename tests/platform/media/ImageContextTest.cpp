#include "platform/media/ImageContext.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"

namespace {

std::shared_ptr<Image> twoColourImage() {
    return Image::render(Size{10, 10}, 1, [](GraphicsContext& c) {
        c.setFillColor(Color::redColor());
        c.fillRect(Rect(0, 0, 10, 5));
        c.setFillColor(Color::blueColor());
        c.fillRect(Rect(0, 5, 10, 5));
    });
}

TEST(ImageContext, ContextsAreInPointsAtTheScreensScaleAndNest) {
    const double scale = Screen::main().scale();
    EXPECT_FALSE(imageFromCurrentImageContext());
    beginImageContextWithOptions(Size{64, 45}, false, 0);
    GraphicsContext* outer = GraphicsContext::current();
    ASSERT_TRUE(outer);
    {
        beginImageContextWithOptions(Size{4, 4}, true, 1);
        auto inner = imageFromCurrentImageContext();
        ASSERT_TRUE(inner);
        EXPECT_EQ(4, inner->pixelWidth());
        EXPECT_EQ(Color::blackColor(), inner->colorAtPixel(1, 1));  // opaque starts black
        endImageContext();
    }
    EXPECT_EQ(outer, GraphicsContext::current());
    auto image = imageFromCurrentImageContext();
    endImageContext();
    EXPECT_FALSE(GraphicsContext::current());
    ASSERT_TRUE(image);
    EXPECT_EQ((Size{64, 45}), image->size());
    EXPECT_EQ(scale, image->scale());
    EXPECT_EQ(static_cast<int>(64 * scale), image->pixelWidth());
    EXPECT_EQ(0, image->colorAtPixel(3, 3).alpha());  // not opaque starts clear
    endImageContext();                                // nothing left to end
}

TEST(ImageContext, AnImageDrawnInARectangleIsStretchedToIt) {
    auto source = twoColourImage();
    beginImageContextWithOptions(Size{64, 45}, false, 0);
    source->drawInRect(Rect(0, 0, 64, 45));
    auto image = imageFromCurrentImageContext();
    endImageContext();
    EXPECT_EQ(Color::redColor(), image->colorAtPoint(Point{1, 1}));
    EXPECT_EQ(Color::redColor(), image->colorAtPoint(Point{62, 18}));
    EXPECT_EQ(Color::blueColor(), image->colorAtPoint(Point{62, 27}));
    EXPECT_EQ(Color::blueColor(), image->colorAtPoint(Point{1, 44}));
    source->drawInRect(Rect(0, 0, 1, 1));  // no context: nothing happens
}

TEST(ImageContext, EachThreadHasItsOwnContexts) {
    beginImageContextWithOptions(Size{2, 2}, false, 1);
    GraphicsContext* mine = GraphicsContext::current();
    std::thread other([] {
        EXPECT_FALSE(GraphicsContext::current());
        beginImageContextWithOptions(Size{3, 3}, false, 1);
        EXPECT_EQ(3, imageFromCurrentImageContext()->pixelWidth());
        endImageContext();
    });
    other.join();
    EXPECT_EQ(mine, GraphicsContext::current());
    endImageContext();
}

}  // namespace
