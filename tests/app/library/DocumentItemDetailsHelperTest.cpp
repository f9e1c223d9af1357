#include "app/library/DocumentItemDetailsHelper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Common/FCZipBackedBinaryDocumentPersistence.h"
#include "Common/FIFlashcardsDocument.h"
#include "app/views/ColorAdditions.h"
#include "model/FCCard.h"
#include "model/FCCoverStyle.h"
#include "model/FCDeck.h"
#include "model/TWLogger.h"
#include "platform/cloud/PromisedItems.h"
#include "platform/document/Document.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"

namespace fs = std::filesystem;

namespace {

std::optional<std::string> hex(const std::optional<Color>& color) {
    return twRGBColorToHexString(color);
}

std::shared_ptr<FCCoverStyle> style(std::optional<std::string> start, std::optional<std::string> icon = "Globe") {
    auto s = std::make_shared<FCCoverStyle>();
    s->setStartHexColor(std::move(start));
    s->setEndHexColor(std::string("#ffffff"));
    s->setIconName(std::move(icon));
    return s;
}

// The longer side of an image, in points.
double longerSide(const Image& image) {
    return std::max(image.size().width, image.size().height);
}

// A 1024 x 1024 thumbnail: red above, blue below.
Data thumbnailPNG() {
    auto image = Image::render(Size{1024, 1024}, 1, [](GraphicsContext& c) {
        c.setFillColor(Color::redColor());
        c.fillRect(Rect(0, 0, 1024, 512));
        c.setFillColor(Color::blueColor());
        c.fillRect(Rect(0, 512, 1024, 512));
    });
    return *image->pngData();
}

class DocumentItemDetailsHelperTest : public ::testing::Test {
protected:
    DocumentItemDetailsHelper& helper = DocumentItemDetailsHelper::shared();

    // A ".flashcards" deck of that many study cards and cover style, with or
    // without the thumbnail a save stores.
    URL writeDeck(const std::string& name, int cards, std::shared_ptr<FCCoverStyle> coverStyle, bool thumbnail) {
        auto deck = std::make_shared<FCDeck>();
        FCCardArray list;
        for (int i = 0; i < cards; ++i) list.push_back(FCStudyCard::studyCardWithTop("Q", "A", 0));
        deck->setCards(std::move(list));
        deck->setCoverStyle(std::move(coverStyle));
        deck->finishInitialization();
        const URL url = URL::fileURLWithPath(dir.file(name + ".flashcards"));
        FCZipBackedBinaryDocumentPersistence persistence;
        Error error;
        EXPECT_TRUE(persistence.writeDeck(deck, nullptr, url, std::nullopt, std::nullopt, nullptr, &error))
            << error.description();
        persistence.closeAndRemoveCachedFile();
        if (thumbnail) Document::setThumbnailDataForFileAtURL(thumbnailPNG(), url);
        return url;
    }

    URL copyLegacyDeck() {
        const fs::path target = fs::path(dir.str()) / "Biology.studydeck";
        fs::copy(fs::path(MEMORANT_TEST_FIXTURES) / "studydeck/Biology.studydeck", target, fs::copy_options::recursive);
        return URL::fileURLWithPath(target.string(), true);
    }

    memorant_test::TempDir dir;
};

TEST_F(DocumentItemDetailsHelperTest, ThePlaceholderIs64By45PointsOfEeeeeeAtTheScreensScale) {
    const auto& placeholder = helper.placeholderImage();
    ASSERT_TRUE(placeholder);
    EXPECT_EQ((Size{64, 45}), placeholder->size());
    EXPECT_EQ(Screen::main().scale(), placeholder->scale());
    EXPECT_EQ(64 * Screen::main().scale(), placeholder->pixelWidth());
    EXPECT_EQ("#eeeeee", hex(placeholder->colorAtPixel(10, 10)));
    EXPECT_EQ("#eeeeee", hex(placeholder->colorAtPixel(placeholder->pixelWidth() - 1, placeholder->pixelHeight() - 1)));
    EXPECT_EQ((Size{64, 45}), helper.coverImageSize());

    auto details = helper.placeholderDetails();
    EXPECT_EQ(placeholder, details->coverImage());
    EXPECT_FALSE(details->numberOfStudyCards());
    EXPECT_FALSE(details->deckProgressInPercent());
    EXPECT_FALSE(details->coverImageBackgroundColor());
    EXPECT_FALSE(details->alternativeLegacyDocumentDisplayName());
}

TEST_F(DocumentItemDetailsHelperTest, BackgroundColoursComeFromTheTableByStartColour) {
    const struct {
        std::optional<std::string> start;
        std::optional<std::string> background;
    } cases[] = {
        {"cb9801", "#ffb118"},    {"#cb9801", "#ffb118"},       {"##3996f9", "#3293f5"},
        {"f4314a", "#f12234"},    {"6fa314", "#81c31f"},        {"f56b0b", "#ea6d28"},
        {"9a54c4", "#cc4ae6"},    {"a4a8b6", "#a3a8b7"},        {"CB9801", std::nullopt},  // the match is exact
        {"123456", std::nullopt}, {std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start.value_or("(none)"));
        EXPECT_EQ(c.background, hex(DocumentItemDetailsHelper::backgroundColor(style(c.start))));
    }
    EXPECT_FALSE(DocumentItemDetailsHelper::backgroundColor(nullptr));
}

// The cover of a ".flashcards" deck in the list, by what the file carries.
TEST_F(DocumentItemDetailsHelperTest, AFlashcardsDeckShowsItsThumbnailElseItsIconElseThePlaceholder) {
    enum class Cover { StretchedThumbnail, Icon };
    const struct {
        const char* name;
        bool thumbnail;
        std::optional<std::string> start;
        std::optional<std::string> icon;
        Cover cover;
        std::optional<std::string> background;
    } cases[] = {
        {"ThumbTable", true, "#3996f9", "Globe", Cover::StretchedThumbnail, "#3293f5"},
        {"ThumbOther", true, "#123456", "Globe", Cover::StretchedThumbnail, std::nullopt},
        {"IconTable", false, "#cb9801", "Globe", Cover::Icon, "#ffb118"},
        {"IconOther", false, "#abcdef", "Globe", Cover::Icon, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const URL url = writeDeck(c.name, 3, style(c.start, c.icon), c.thumbnail);
        Error error;
        auto details = helper.documentItemDetails(url, &error);
        ASSERT_TRUE(details) << error.description();
        EXPECT_EQ(3, details->numberOfStudyCards());
        EXPECT_TRUE(details->deckProgressInPercent());
        EXPECT_EQ(c.background, hex(details->coverImageBackgroundColor()));
        EXPECT_FALSE(details->alternativeLegacyDocumentDisplayName());
        const Image& cover = *details->coverImage();
        switch (c.cover) {
            case Cover::StretchedThumbnail:
                EXPECT_EQ((Size{64, 45}), cover.size());
                EXPECT_EQ(Screen::main().scale(), cover.scale());
                EXPECT_EQ("#ff0000", hex(cover.colorAtPoint(Point{32, 5})));
                EXPECT_EQ("#0000ff", hex(cover.colorAtPoint(Point{32, 40})));
                break;
            case Cover::Icon:
                EXPECT_DOUBLE_EQ(45, longerSide(cover));
                break;
        }
    }

    // A style without an icon (decks on disk always name one), or no style at
    // all: the placeholder, with no background colour even for a table colour.
    const URL bare = writeDeck("Bare", 2, style("#cb9801"), false);
    for (const auto& coverStyle : {style("#cb9801", std::nullopt), std::shared_ptr<FCCoverStyle>()}) {
        auto details = helper._documentItemDetails(2, 50.0, coverStyle, bare);
        EXPECT_EQ(helper.placeholderImage(), details->coverImage());
        EXPECT_FALSE(details->coverImageBackgroundColor());
        EXPECT_EQ(2, details->numberOfStudyCards());
        EXPECT_EQ(50.0, details->deckProgressInPercent());
    }
}

TEST_F(DocumentItemDetailsHelperTest, OtherFilesGetThePlaceholderAndUnreadableDecksFail) {
    ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(dir.file("Notes.txt"), dataFromString("x")));
    for (const auto& details : {helper.documentItemDetails(URL::fileURLWithPath(dir.file("Notes.txt"))),
                                helper.loadMetadataOnlyForDocument(URL::fileURLWithPath(dir.file("Notes.txt")))}) {
        ASSERT_TRUE(details);
        EXPECT_EQ(helper.placeholderImage(), details->coverImage());
        EXPECT_FALSE(details->numberOfStudyCards());
        EXPECT_FALSE(details->deckProgressInPercent());
        EXPECT_FALSE(details->coverImageBackgroundColor());
    }

    ASSERT_TRUE(
        FileManager::defaultManager().createFileAtPath(dir.file("Broken.flashcards"), dataFromString("no zip")));
    Error error;
    EXPECT_FALSE(helper.documentItemDetails(URL::fileURLWithPath(dir.file("Broken.flashcards")), &error));
    EXPECT_FALSE(error.domain().empty());
    EXPECT_FALSE(helper.documentItemDetails(URL::fileURLWithPath(dir.file("Missing.studydeck"), true), &error));
    EXPECT_FALSE(error.domain().empty());
}

TEST_F(DocumentItemDetailsHelperTest, ADeckNotOnTheDeviceShowsItsPromisedThumbnailWithoutBeingRead) {
    const URL withThumbnail = writeDeck("Promised", 3, style("#3996f9"), true);
    const URL without = writeDeck("Bare", 3, style("#3996f9"), false);
    ASSERT_TRUE(PromisedItems::evictUbiquitousItemAtURL(withThumbnail));
    ASSERT_TRUE(PromisedItems::evictUbiquitousItemAtURL(without));

    auto details = helper.loadMetadataOnlyForDocument(withThumbnail);
    EXPECT_EQ((Size{64, 45}), details->coverImage()->size());
    EXPECT_EQ("#ff0000", hex(details->coverImage()->colorAtPoint(Point{32, 5})));
    EXPECT_FALSE(details->numberOfStudyCards());
    EXPECT_FALSE(details->deckProgressInPercent());
    EXPECT_FALSE(details->coverImageBackgroundColor());  // no cover style without reading the deck

    EXPECT_EQ(helper.placeholderImage(), helper.loadMetadataOnlyForDocument(without)->coverImage());
    EXPECT_FALSE(PromisedItems::isDownloaded(withThumbnail));
}

TEST_F(DocumentItemDetailsHelperTest, ALegacyDeckNotOnTheDeviceStartsDownloadingAndThenShowsItsPreview) {
    const URL legacy = copyLegacyDeck();
    ASSERT_TRUE(PromisedItems::evictUbiquitousItemAtURL(legacy));
    PromisedItems::setDownloadsFinishAtOnce(false);

    auto waiting = helper.loadMetadataOnlyForDocument(legacy);
    EXPECT_EQ(helper.placeholderImage(), waiting->coverImage());
    EXPECT_FALSE(waiting->alternativeLegacyDocumentDisplayName());
    EXPECT_TRUE(PromisedItems::isDownloading(legacy));

    ASSERT_TRUE(PromisedItems::finishDownloading(legacy));
    PromisedItems::setDownloadsFinishAtOnce(true);
    Error error;
    auto details = helper.documentItemDetails(legacy, &error);
    ASSERT_TRUE(details) << error.description();
    EXPECT_EQ("Biology", details->alternativeLegacyDocumentDisplayName());
    EXPECT_EQ(3, details->numberOfStudyCards());
    EXPECT_DOUBLE_EQ(33.33, *details->deckProgressInPercent());
    EXPECT_EQ("#f12234", hex(details->coverImageBackgroundColor()));  // start colour "#f4314a"
    EXPECT_DOUBLE_EQ(45, longerSide(*details->coverImage()));

    // A download that cannot start is logged and goes no further.
    const URL gone = URL::fileURLWithPath(dir.file("Gone.studydeck"), true);
    EXPECT_EQ(helper.placeholderImage(), helper.loadMetadataOnlyForDocument(gone)->coverImage());
    bool warned = false;
    for (const auto& line : TWLogger::sharedInstance().messageBacklog()) {
        if (stringContains(line,
                           " WARN| Error starting download for legacy document: " + gone.description() + ". Error: ") &&
            stringContains(line, "|DocumentItemDetailsHelper:")) {
            warned = true;
        }
    }
    EXPECT_TRUE(warned);
}

// A legacy package's preview always carries a cover style: a cover file that
// is no dictionary gives the default style, and an icon this version does not
// ship gives the placeholder, still on the background of the style's colour.
TEST_F(DocumentItemDetailsHelperTest, ALegacyPreviewFallsBackToTheDefaultStyleOrThePlaceholder) {
    const struct {
        const char* name;
        const char* cover;  // the package's cover file
        bool placeholder;
        std::optional<std::string> background;
    } cases[] = {
        {"cover no dictionary", "null", false, "#3293f5"},  // default start colour "#3996f9"
        {"icon not shipped", R"({"startColor":"#cb9801","endColor":"#ffe566","icon":"NoSuchIcon"})", true, "#ffb118"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(fs::path(dir.str()) / "Biology.studydeck");
        const URL legacy = copyLegacyDeck();
        ASSERT_TRUE(writeStringAtomically(c.cover, legacy.path() + "/cover.json"));
        Error error;
        auto details = helper.documentItemDetails(legacy, &error);
        ASSERT_TRUE(details) << error.description();
        EXPECT_EQ(c.placeholder, details->coverImage() == helper.placeholderImage());
        if (!c.placeholder) {
            EXPECT_DOUBLE_EQ(45, longerSide(*details->coverImage()));
        }
        EXPECT_EQ(c.background, hex(details->coverImageBackgroundColor()));
        EXPECT_EQ("Biology", details->alternativeLegacyDocumentDisplayName());
        EXPECT_EQ(3, details->numberOfStudyCards());
    }
}

TEST_F(DocumentItemDetailsHelperTest, ALargeCoverFitsTheIconIntoASquareOfTheHeight) {
    auto large = helper.coverStyleImage(style("#6fa314"), Size{1092, 768});
    EXPECT_DOUBLE_EQ(768, longerSide(*large->coverImage()));
    EXPECT_LE(large->coverImage()->size().width, 768);
    EXPECT_EQ("#81c31f", hex(large->coverImageBackgroundColor()));
    EXPECT_FALSE(large->numberOfStudyCards());
    EXPECT_FALSE(large->deckProgressInPercent());
    EXPECT_FALSE(large->alternativeLegacyDocumentDisplayName());

    auto noIcon = helper.coverStyleImage(style("#6fa314", std::nullopt), Size{1092, 768});
    EXPECT_EQ(helper.placeholderImage(), noIcon->coverImage());
}

TEST_F(DocumentItemDetailsHelperTest, AnOpenDeckShowsItsThumbnailAsItIsElseItsLargeCover) {
    for (bool thumbnail : {true, false}) {
        SCOPED_TRACE(thumbnail ? "with thumbnail" : "without thumbnail");
        const std::string name = thumbnail ? "OpenThumb" : "OpenBare";
        const URL url = writeDeck(name, 4, style("#f56b0b"), thumbnail);
        auto document = FIFlashcardsDocument::initWithFileURL(url);
        FCZipBackedBinaryDocumentPersistence persistence;
        std::shared_ptr<FCCUserDocumentSettings> settings;
        document->setDeck(persistence.readFromURL(url, &settings));
        ASSERT_TRUE(document->deck());

        auto details = helper.documentItemDetails(static_cast<const FIDeckDocument&>(*document));
        EXPECT_EQ(4, details->numberOfStudyCards());
        EXPECT_EQ(document->deck()->studyProgress(), details->deckProgressInPercent());
        if (thumbnail) {
            EXPECT_EQ((Size{1024, 1024}), details->coverImage()->size());
            EXPECT_FALSE(details->coverImageBackgroundColor());
        } else {
            EXPECT_DOUBLE_EQ(768, longerSide(*details->coverImage()));
            EXPECT_EQ("#ea6d28", hex(details->coverImageBackgroundColor()));
        }
    }
}

// The open of a deck takes what is kept of its cover at once; reading the
// file's thumbnail and rendering the icon happen on another thread.
TEST_F(DocumentItemDetailsHelperTest, AnOpenDeckGetsItsKeptCoverAtOnceAndTheRestLater) {
    for (bool thumbnail : {false, true}) {
        SCOPED_TRACE(thumbnail ? "with thumbnail" : "without thumbnail");
        // An icon no other test renders at the open deck's size.
        const URL url =
            writeDeck(thumbnail ? "LaterThumb" : "LaterBare", 4, style("#f56b0b", "SpeechBubbles"), thumbnail);
        auto document = FIFlashcardsDocument::initWithFileURL(url);
        FCZipBackedBinaryDocumentPersistence persistence;
        std::shared_ptr<FCCUserDocumentSettings> settings;
        document->setDeck(persistence.readFromURL(url, &settings));
        ASSERT_TRUE(document->deck());

        std::shared_ptr<DocumentItemDetails> later;
        auto atOnce = helper.documentItemDetailsAtOnce(
            *document, [&](std::shared_ptr<DocumentItemDetails> full) { later = std::move(full); });
        EXPECT_EQ(4, atOnce->numberOfStudyCards());
        EXPECT_EQ("#ea6d28", hex(atOnce->coverImageBackgroundColor()));
        if (!thumbnail) {
            EXPECT_EQ(helper.placeholderImage(), atOnce->coverImage()) << "nothing kept yet";
        }
        EXPECT_FALSE(later) << "the full cover comes through the main queue";
        ASSERT_TRUE(memorant_test::runMainLoopUntil([&] { return later != nullptr; }));
        EXPECT_EQ(4, later->numberOfStudyCards());
        if (thumbnail) {
            EXPECT_EQ((Size{1024, 1024}), later->coverImage()->size());
        } else {
            EXPECT_DOUBLE_EQ(768, longerSide(*later->coverImage()));
        }
        // Rendered once, the icon is there at once from then on.
        auto again = helper.documentItemDetailsAtOnce(*document, [](std::shared_ptr<DocumentItemDetails>) {});
        EXPECT_DOUBLE_EQ(768, longerSide(*again->coverImage()));
        memorant_test::drainMainLoop();
    }
}

}  // namespace
