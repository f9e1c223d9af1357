#include <gtest/gtest.h>

#include <cmath>

#include "platform/foundation/Bundle.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Layer.h"
#include "platform/ui/UITestFixture.h"

using memorant_test::colorNear;
using memorant_test::UITest;

namespace {

// A view that draws a filled square in its middle with the current colours.
class SquareView : public View {
public:
    using View::View;
    void drawRect(const Rect&) override {
        setFillColor(Color::labelColor());  // black in light, white in dark
        GraphicsContext::current()->fillRect(bounds().insetBy(bounds().size.width / 4, bounds().size.height / 4));
    }
};

}  // namespace

class RenderingTest : public UITest {};

TEST_F(RenderingTest, ViewTreeWithLayersDrawsToPNG) {
    auto root = std::make_shared<View>(Rect(0, 0, 100, 100));
    root->setBackgroundColor(Color::whiteColor());
    auto veil = std::make_shared<View>(Rect(50, 0, 50, 50));
    veil->setBackgroundColor(Color::blueColor());
    veil->setAlpha(0.5);
    root->addSubview(veil);
    auto rounded = std::make_shared<View>(Rect(0, 50, 50, 50));
    rounded->setBackgroundColor(Color::greenColor());
    rounded->layer().setCornerRadius(20);
    root->addSubview(rounded);
    // Half a ring, stroked from the left round over the top.
    auto ring = ShapeLayer::layer();
    ring->setFrame(Rect(50, 50, 50, 50));
    Path circle;
    circle.addArc({25, 25}, 20, M_PI, 3 * M_PI, true);
    ring->setPath(circle);
    ring->setFillColor(std::nullopt);
    ring->setStrokeColor(Color::redColor());
    ring->setLineWidth(4);
    ring->setStrokeEnd(0.5);
    root->layer().addSublayer(ring);

    auto image = renderPNG(*root, "tree");
    ASSERT_NE(nullptr, image);
    EXPECT_EQ(100, image->pixelWidth());
    EXPECT_TRUE(colorNear(image->colorAtPixel(10, 10), Color::whiteColor()));
    EXPECT_TRUE(colorNear(image->colorAtPixel(75, 25), Color(0.5, 0.5, 1), 2.0 / 255));
    EXPECT_TRUE(colorNear(image->colorAtPixel(25, 75), Color::greenColor()));
    EXPECT_TRUE(colorNear(image->colorAtPixel(51, 51), Color::whiteColor()));  // cut off by the corner
    EXPECT_TRUE(colorNear(image->colorAtPixel(75, 55), Color::redColor()));    // top of the ring
    EXPECT_TRUE(colorNear(image->colorAtPixel(75, 95), Color::whiteColor()));  // bottom not stroked
}

TEST_F(RenderingTest, DrawingUsesTheViewsInterfaceStyle) {
    auto view = std::make_shared<SquareView>(Rect(0, 0, 40, 40));
    EXPECT_TRUE(colorNear(renderPNG(*view, "light")->colorAtPixel(20, 20), Color::blackColor()));
    view->setOverrideUserInterfaceStyle(UserInterfaceStyle::Dark);
    view->setBackgroundColor(Color::systemBackgroundColor());
    auto dark = renderPNG(*view, "dark");
    EXPECT_TRUE(colorNear(dark->colorAtPixel(20, 20), Color::whiteColor()));
    EXPECT_TRUE(colorNear(dark->colorAtPixel(2, 2), Color::blackColor()));
}

TEST_F(RenderingTest, TemplateImagesTakeTheTint) {
    auto dot = Image::render({10, 10}, 2, [](GraphicsContext& c) {
        c.setFillColor(Color::blackColor());
        c.fillRect(Rect(0, 0, 5, 10));
    });
    EXPECT_EQ((Size{10, 10}), dot->size());
    EXPECT_EQ(20, dot->pixelWidth());
    // Through PNG bytes and back.
    auto copy = Image::imageWithData(*dot->pngData(), 2);
    ASSERT_NE(nullptr, copy);
    EXPECT_TRUE(colorNear(copy->colorAtPoint({2, 5}), Color::blackColor()));
    EXPECT_TRUE(colorNear(copy->colorAtPoint({8, 5}), Color::clearColor()));
    EXPECT_EQ(nullptr, Image::imageWithData(Data{1, 2, 3}));

    auto view = std::make_shared<ImageView>(dot->imageWithRenderingMode(ImageRenderingMode::AlwaysTemplate));
    view->setTintColor(Color::redColor());
    auto picture = renderPNG(*view, "template");
    EXPECT_TRUE(colorNear(picture->colorAtPixel(2, 5), Color::redColor()));
    EXPECT_TRUE(colorNear(picture->colorAtPixel(8, 5), Color::clearColor()));
}

TEST_F(RenderingTest, LabelsDrawTheirText) {
    auto label = std::make_shared<Label>(Rect(0, 0, 120, 30));
    label->setBackgroundColor(Color::whiteColor());
    label->setText("WWWW");
    label->setFont(Font::boldSystemFont(24));
    auto picture = renderPNG(*label, "label");
    int dark = 0;
    for (int x = 0; x < 120; ++x)
        for (int y = 0; y < 30; ++y) dark += picture->colorAtPixel(x, y).red() < 0.5 ? 1 : 0;
    EXPECT_GT(dark, 50);
    EXPECT_GT(label->intrinsicContentSize().width, 40);
}

TEST_F(RenderingTest, NamedImagesComeFromTheBundleAtTheScreensScale) {
    memorant_test::TempDir resources;
    auto square = [](double scale) {
        return Image::render({8, 8}, scale, [](GraphicsContext& c) {
            c.setFillColor(Color::blackColor());
            c.fillRect(Rect(0, 0, 8, 8));
        });
    };
    ASSERT_TRUE(square(1)->writePNG(resources.file("Pencil.png")));
    ASSERT_TRUE(square(2)->writePNG(resources.file("Pencil@2x.png")));
    ASSERT_TRUE(square(1)->writePNG(resources.file("Plain.png")));
    Bundle::setMainResourcePath(resources.str());
    struct Restore {
        ~Restore() { Bundle::setMainResourcePath(""); }
    } restore;

    Screen::main().setScale(3);  // no @3x: the @2x picture is the best there is
    auto pencil = Image::named("Pencil");
    ASSERT_NE(nullptr, pencil);
    EXPECT_DOUBLE_EQ(2, pencil->scale());
    EXPECT_EQ((Size{8, 8}), pencil->size());
    auto plain = Image::named("Plain");
    ASSERT_NE(nullptr, plain);
    EXPECT_DOUBLE_EQ(1, plain->scale());
    EXPECT_EQ(nullptr, Image::named("Missing"));
    EXPECT_EQ(nullptr, Image::imageWithContentsOfFile(resources.file("Missing.png")));
}
