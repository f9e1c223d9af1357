#include <gtest/gtest.h>

#include "app/views/UIViewSnapshot.h"
#include "platform/foundation/FileManager.h"
#include "platform/media/ImageCodec.h"
#include "platform/ui/Image.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "support/TestEnvironment.h"

namespace {

TEST(UIViewSnapshot, SnapshotsAtTheScreenScaleAndSavesFiles) {
    auto view = std::make_shared<View>(Rect{{30, 40}, {10, 5}});
    view->setBackgroundColor(Color::redColor());
    auto image = viewAsImage(*view);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), (Size{10, 5}));
    EXPECT_DOUBLE_EQ(image->scale(), Screen::main().scale());
    EXPECT_EQ(image->colorAtPoint({5, 2}), Color::redColor());

    memorant_test::TempDir dir;
    ASSERT_TRUE(savePNG(*view, dir.file("v.png")));
    auto png = Image::imageWithContentsOfFile(dir.file("v.png"));
    ASSERT_TRUE(png);
    EXPECT_EQ(png->colorAtPixel(3, 3), Color::redColor());

    ASSERT_TRUE(saveJPEG(*view, dir.file("v.jpg"), 0.8));
    auto jpeg = imageWithEncodedData(*dataWithContentsOfFile(dir.file("v.jpg")));
    ASSERT_TRUE(jpeg);
    EXPECT_NEAR(jpeg->colorAtPixel(3, 3).red(), 1, 0.03);

    Error error;
    EXPECT_FALSE(savePNG(*view, dir.file("missing/v.png"), &error));
    EXPECT_FALSE(error.domain().empty());
}

TEST(UIViewSnapshot, ConstraintShortcuts) {
    auto superview = std::make_shared<View>(Rect{{0, 0}, {100, 100}});
    auto child = std::make_shared<View>();
    superview->addSubview(child);

    auto centre = twConstraintsToCenterView(child, superview);
    ASSERT_EQ(centre.size(), 2u);
    EXPECT_EQ(centre[0]->firstAttribute(), LayoutAttribute::CenterX);
    EXPECT_EQ(centre[1]->firstAttribute(), LayoutAttribute::CenterY);
    for (const auto& c : centre) {
        EXPECT_EQ(c->firstItem(), child);
        EXPECT_EQ(c->secondItem(), superview);
        EXPECT_EQ(c->secondAttribute(), c->firstAttribute());
        EXPECT_EQ(c->multiplier(), 1);
        EXPECT_EQ(c->constant(), 0);
    }
    EXPECT_TRUE(superview->constraints().empty());

    auto added = twAddConstraintsWithVisualFormat(*superview, "H:|-10-[child]-10-|", {{"child", child}});
    EXPECT_EQ(added.size(), 2u);
    EXPECT_EQ(superview->constraints().size(), 2u);
}

}  // namespace
