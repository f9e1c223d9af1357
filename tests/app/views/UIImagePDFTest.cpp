#include <gtest/gtest.h>

#include <cairo-pdf.h>
#include <cairo.h>

#include "app/views/PDFView.h"
#include "app/views/UIImagePDF.h"
#include "model/FCCoverStyle.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewRendering.h"
#include "support/TestEnvironment.h"

namespace {

cairo_status_t appendBytes(void* closure, const unsigned char* bytes, unsigned int length) {
    static_cast<Data*>(closure)->insert(static_cast<Data*>(closure)->end(), bytes, bytes + length);
    return CAIRO_STATUS_SUCCESS;
}

// One page, 200 x 100, its left half black; a second page 100 x 100, all black.
Data samplePDF() {
    Data data;
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(appendBytes, &data, 200, 100);
    cairo_t* cr = cairo_create(surface);
    cairo_rectangle(cr, 0, 0, 100, 100);
    cairo_fill(cr);
    cairo_show_page(cr);
    cairo_pdf_surface_set_size(surface, 100, 100);
    cairo_paint(cr);
    cairo_show_page(cr);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    cairo_surface_destroy(surface);
    return data;
}

// A bundle, a caches folder and a screen scale of their own.
class PDFImages : public ::testing::Test {
protected:
    void SetUp() override {
        savedScale_ = Screen::main().scale();
        Screen::main().setScale(2);
        AppContainer::setRoot(home_.str());
        Bundle::setMainResourcePath(bundle_.str());
        ASSERT_TRUE(writeDataAtomically(samplePDF(), bundle_.file("Sample.pdf")));
        pdfURL_ = URL::fileURLWithPath(bundle_.file("Sample.pdf"));
    }
    void TearDown() override {
        setShouldCacheInMemory(false);
        Bundle::setMainResourcePath("");
        AppContainer::setRoot("");
        Screen::main().setScale(savedScale_);
    }

    static std::shared_ptr<Image> solid(Size size, double scale, const Color& color) {
        return Image::render(size, scale, [&](GraphicsContext& context) {
            context.setFillColor(color);
            context.fillRect({{0, 0}, size});
        });
    }

    memorant_test::TempDir home_, bundle_;
    URL pdfURL_ = URL::fileURLWithPath("/");
    double savedScale_ = 2;
};

TEST_F(PDFImages, RendersThePageStretchedToTheSize) {
    auto image = imageWithPDFURLAtSize(pdfURL_, {40, 40});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), (Size{40, 40}));
    EXPECT_DOUBLE_EQ(image->scale(), 2);
    EXPECT_EQ(image->pixelWidth(), 80);
    EXPECT_EQ(image->colorAtPoint({5, 20}), Color::blackColor());
    EXPECT_EQ(image->colorAtPoint({35, 20}).alpha(), 0);

    auto second = imageWithPDFURLAtSize(pdfURL_, {10, 10}, 2);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->colorAtPoint({8, 8}), Color::blackColor());
}

TEST_F(PDFImages, DerivedSizes) {
    EXPECT_EQ(pdfSizeToFit({200, 100}, {50, 50}), (Size{50, 25}));
    EXPECT_EQ(pdfSizeToFit({100, 300}, {50, 50}), (Size{17, 50}));  // 16.67 rounded up
    EXPECT_EQ(pdfSizeAtWidth({200, 100}, 25), (Size{25, 13}));
    EXPECT_EQ(pdfSizeAtHeight({200, 100}, 7), (Size{14, 7}));
    EXPECT_EQ(pdfSizeAtHeight({100, 300}, 10), (Size{4, 10}));  // 3.33 rounded up

    struct Case {
        const char* name;
        std::shared_ptr<Image> image;
        Size size;
    } cases[] = {
        {"fit", imageWithPDFURLFitSize(pdfURL_, {50, 50}), {50, 25}},
        {"width", imageWithPDFURLAtWidth(pdfURL_, 25), {25, 13}},
        {"height", imageWithPDFURLAtHeight(pdfURL_, 10), {20, 10}},
        {"own size", originalSizeImageWithPDFURL(pdfURL_), {200, 100}},
        {"named fit", imageWithPDFNamedFitSize("Sample.pdf", {50, 50}), {50, 25}},
        {"named width", imageWithPDFNamedAtWidth("Sample.pdf", 25), {25, 13}},
        {"named height", imageWithPDFNamedAtHeight("Sample.pdf", 10), {20, 10}},
        {"named size", imageWithPDFNamedAtSize("Sample.pdf", {8, 9}), {8, 9}},
        {"named own size", originalSizeImageWithPDFNamed("Sample.pdf", 2), {100, 100}},
        {"data own size", originalSizeImageWithPDFData(samplePDF()), {200, 100}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.image) << c.name;
        EXPECT_EQ(c.image->size(), c.size) << c.name;
    }
}

TEST_F(PDFImages, SecondRequestReadsTheCachedPNG) {
    const std::string path = cacheFilenameForURL(pdfURL_, {20, 10}, 2, 1);
    EXPECT_EQ(path.rfind(AppContainer::cachesDirectory() + "/__PDF_CACHE__/", 0), 0u) << path;
    EXPECT_FALSE(FileManager::defaultManager().fileExistsAtPath(path));
    auto first = imageWithPDFURLAtSize(pdfURL_, {20, 10});
    ASSERT_TRUE(first);
    ASSERT_TRUE(FileManager::defaultManager().fileExistsAtPath(path));
    EXPECT_EQ(Image::imageWithContentsOfFile(path)->colorAtPixel(2, 2), Color::blackColor());

    // A different picture in the cache file shows that it is read, not rendered.
    ASSERT_TRUE(solid({40, 20}, 1, Color::blueColor())->writePNG(path));
    auto second = imageWithPDFURLAtSize(pdfURL_, {20, 10});
    ASSERT_TRUE(second);
    EXPECT_DOUBLE_EQ(second->scale(), 2);
    EXPECT_EQ(second->size(), (Size{20, 10}));
    EXPECT_EQ(second->colorAtPixel(2, 2), Color::blueColor());
}

TEST_F(PDFImages, DamagedCacheFileIsRenderedAgainAndReplaced) {
    const std::string path = cacheFilenameForURL(pdfURL_, {20, 10}, 2, 1);
    auto png = *solid({40, 20}, 1, Color::blueColor())->pngData();
    png.resize(png.size() / 2);  // a write cut short
    ASSERT_TRUE(writeDataAtomically(png, path));

    auto image = imageWithPDFURLAtSize(pdfURL_, {20, 10});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->colorAtPixel(2, 2), Color::blackColor());
    auto replaced = Image::imageWithContentsOfFile(path);
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced->colorAtPixel(2, 2), Color::blackColor());
    // Nothing is left beside it by the write.
    EXPECT_EQ(FileManager::defaultManager().contentsOfDirectoryAtPath(AppContainer::cachesDirectory() + "/__PDF_CACHE__")->size(),
              1u);
}

TEST_F(PDFImages, CacheKeyFollowsTheFileAndTheRequest) {
    const std::string before = cacheFilenameForURL(pdfURL_, {20, 10}, 2, 1);
    EXPECT_EQ(cacheFilenameForURL(pdfURL_, {20, 10}, 2, 1), before);
    EXPECT_NE(cacheFilenameForURL(pdfURL_, {20, 10}, 3, 1), before);
    EXPECT_NE(cacheFilenameForURL(pdfURL_, {10, 20}, 2, 1), before);
    EXPECT_NE(cacheFilenameForURL(pdfURL_, {20, 10}, 2, 2), before);
    // The pixel size is what counts: 20 x 10 at 2 is 40 x 20 at 1.
    EXPECT_EQ(cacheFilenameForURL(pdfURL_, {40, 20}, 1, 1), before);

    auto attributes = FileManager::defaultManager().attributesOfItemAtPath(pdfURL_.path());
    ASSERT_TRUE(attributes);
    ASSERT_TRUE(FileManager::defaultManager().setModificationDate(pdfURL_.path(),
                                                                  attributes->modificationDate.byAddingTimeInterval(60)));
    const std::string touched = cacheFilenameForURL(pdfURL_, {20, 10}, 2, 1);
    EXPECT_NE(touched, before);

    // A changed file renders anew under its new key.
    auto image = imageWithPDFURLAtSize(pdfURL_, {20, 10});
    EXPECT_TRUE(FileManager::defaultManager().fileExistsAtPath(touched));
    EXPECT_FALSE(FileManager::defaultManager().fileExistsAtPath(before));

    const Data data = samplePDF();
    const std::string dataKey = cacheFilenameForData(data, {20, 10}, 2, 1);
    EXPECT_NE(dataKey, before);
    EXPECT_NE(cacheFilenameForData(data, {20, 10}, 2, 2), dataKey);
    Data other = data;
    other.push_back('\n');
    EXPECT_NE(cacheFilenameForData(other, {20, 10}, 2, 1), dataKey);
    // A missing file still has a key.
    EXPECT_FALSE(cacheFilenameForURL(URL::fileURLWithPath(bundle_.file("gone.pdf")), {20, 10}, 2, 1).empty());
}

TEST_F(PDFImages, DataRendersThroughTheDiskCache) {
    const Data data = samplePDF();
    auto image = imageWithPDFData(data, {20, 10});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->colorAtPoint({2, 5}), Color::blackColor());
    const std::string path = cacheFilenameForData(data, {20, 10}, 2, 1);
    ASSERT_TRUE(FileManager::defaultManager().fileExistsAtPath(path));
    ASSERT_TRUE(solid({40, 20}, 1, Color::blueColor())->writePNG(path));
    EXPECT_EQ(imageWithPDFData(data, {20, 10})->colorAtPoint({2, 5}), Color::blueColor());
}

TEST_F(PDFImages, MemoryCacheWhenSwitchedOn) {
    auto a = imageWithPDFURLAtSize(pdfURL_, {20, 10});
    auto b = imageWithPDFURLAtSize(pdfURL_, {20, 10});
    EXPECT_NE(a, b);
    setShouldCacheInMemory(true);
    auto c = imageWithPDFURLAtSize(pdfURL_, {20, 10});
    EXPECT_EQ(imageWithPDFURLAtSize(pdfURL_, {20, 10}), c);
    setShouldCacheInMemory(false);
    EXPECT_NE(imageWithPDFURLAtSize(pdfURL_, {20, 10}), c);
    setShouldCacheInMemory(true);  // the cache object was kept
    EXPECT_EQ(imageWithPDFURLAtSize(pdfURL_, {20, 10}), c);
}

TEST_F(PDFImages, MissingDocumentsGiveNothing) {
    EXPECT_FALSE(imageWithPDFURLAtSize(std::nullopt, {20, 10}));
    EXPECT_FALSE(imageWithPDFURLFitSize(std::nullopt, {20, 10}));
    EXPECT_FALSE(originalSizeImageWithPDFURL(std::nullopt));
    EXPECT_FALSE(imageWithPDFNamedFitSize("Nothing.pdf", {20, 10}));
    EXPECT_FALSE(imageOrPDFNamed("Nothing.pdf"));
    EXPECT_EQ(PDFView::pageCountForURL(std::nullopt), 1);
    EXPECT_EQ(PDFView::pageCountForURL(pdfURL_), 2);
    EXPECT_FALSE(PDFView::mediaRectForURL(std::nullopt));
    EXPECT_FALSE(PDFView::mediaRectForData(std::nullopt, 1));
    EXPECT_EQ(PDFView::mediaRect("Sample.pdf"), (Rect{{0, 0}, {200, 100}}));
    EXPECT_FALSE(PDFView::resourceURLForName("Sample"));  // the name is exact
}

TEST_F(PDFImages, ImageOrPDFChoosesByExtension) {
    ASSERT_TRUE(solid({3, 3}, 1, Color::redColor())->writePNG(bundle_.file("Dot.png")));
    auto dot = imageOrPDFNamed("Dot.png");
    ASSERT_TRUE(dot);
    EXPECT_EQ(dot->colorAtPixel(1, 1), Color::redColor());
    auto page = imageOrPDFNamed("Sample.pdf");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->size(), (Size{200, 100}));
    EXPECT_EQ(page->pixelWidth(), 400);

    EXPECT_EQ(imageOrPDFWithContentsOfFile(bundle_.file("Sample.pdf"))->size(), (Size{200, 100}));
    EXPECT_EQ(imageOrPDFWithContentsOfFile(bundle_.file("Dot.png"))->colorAtPixel(1, 1), Color::redColor());
    EXPECT_FALSE(imageOrPDFWithContentsOfFile(bundle_.file("none.png")));
}

TEST_F(PDFImages, ViewDrawsItsPageOverItsBackground) {
    auto view = std::make_shared<PDFView>(Rect{{0, 0}, {40, 20}});
    EXPECT_EQ(view->page(), 1);
    view->setBackgroundColor(Color::whiteColor());
    view->setResourceName("Sample.pdf");
    ASSERT_TRUE(view->resourceURL());
    auto image = renderViewToImage(*view, 1);
    EXPECT_EQ(image->colorAtPixel(5, 10), Color::blackColor());
    EXPECT_EQ(image->colorAtPixel(35, 10), Color::whiteColor());

    view->setResourceName("Nothing.pdf");
    EXPECT_FALSE(view->resourceURL());
    view->setResourceData(samplePDF());
    view->setPage(2);
    EXPECT_EQ(renderViewToImage(*view, 1)->colorAtPixel(35, 10), Color::blackColor());
}

// The app's own cover icons, from its resources.
TEST(CoverIcons, EveryIconRendersAtSmallAndLargeSizes) {
    memorant_test::TempDir home;
    AppContainer::setRoot(home.str());
    std::vector<std::string> names = FCCoverStyle::allIconNames();
    names.push_back(FCCoverStyle::welcomeDeckCoverIconName());
    for (const auto& name : names) {
        const std::string file = FCCoverStyle::fileNameForIconName(name) + ".pdf";
        ASSERT_TRUE(PDFView::resourceURLForName(file)) << file;
        for (double points : {40.0, 400.0}) {
            auto image = imageWithPDFNamedFitSize(file, {points, points});
            ASSERT_TRUE(image) << file << " at " << points;
            EXPECT_LE(image->size().width, points);
            EXPECT_LE(image->size().height, points);
            EXPECT_GE(std::max(image->size().width, image->size().height), points);
            int inked = 0;
            const int step = std::max(1, image->pixelWidth() / 40);
            for (int y = 0; y < image->pixelHeight(); y += step)
                for (int x = 0; x < image->pixelWidth(); x += step)
                    if (image->colorAtPixel(x, y).alpha() > 0.5) ++inked;
            EXPECT_GT(inked, 0) << file << " at " << points;
        }
    }
    AppContainer::setRoot("");
}

}  // namespace
