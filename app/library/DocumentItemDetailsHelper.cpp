#include "app/library/DocumentItemDetailsHelper.h"

#include <mutex>
#include <tuple>

#include "Common/FCCDeckDocumentPersistence.h"
#include "Common/FCZipBackedBinaryDocumentPersistence.h"
#include "Common/FIDeckDocument.h"
#include "Common/FIFlashcardsDocument.h"
#include "Common/FILegacyDeckDocument.h"
#include "app/views/ColorAdditions.h"
#include "app/views/UIImagePDF.h"
#include "model/FCCDeckPreview.h"
#include "model/FCCoverStyle.h"
#include "model/FCDeck.h"
#include "model/TWLogger.h"
#include "platform/cloud/PromisedItems.h"
#include "platform/document/Document.h"
#include "platform/foundation/Dispatch.h"
#include "platform/media/ImageContext.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"

namespace {

constexpr const char* kLogFile = "DocumentItemDetailsHelper";

void logLine(const std::string& message, std::uint32_t level, const char* function, int line) {
    TWLogger::sharedInstance().log(message, level, kLogFile, function, Value(line));
}

std::string withoutHashes(const std::string& text) {
    std::string result;
    for (char c : text) {
        if (c != '#') result += c;
    }
    return result;
}

// Draws the image stretched into an image context of that size in points (not
// opaque, the main screen's scale).
std::shared_ptr<Image> redrawn(const Image& image, Size size) {
    beginImageContextWithOptions(size, false, 0);
    image.drawInRect(Rect{{0, 0}, size});
    auto result = imageFromCurrentImageContext();
    endImageContext();
    return result;
}

using IconKey = std::tuple<std::string, double, double, double>;  // file name, fit size, screen scale

std::mutex& iconsMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

std::map<IconKey, std::shared_ptr<Image>>& icons() {
    static auto* map = new std::map<IconKey, std::shared_ptr<Image>>;
    return *map;
}

}  // namespace

DocumentItemDetailsHelper& DocumentItemDetailsHelper::shared() {
    static DocumentItemDetailsHelper* helper = new DocumentItemDetailsHelper;  // thread-safe static
    return *helper;
}

DocumentItemDetailsHelper::DocumentItemDetailsHelper() {
    beginImageContextWithOptions(coverImageSize_, false, 0);
    if (GraphicsContext* context = GraphicsContext::current()) {
        context->setFillColor(*twColorFromHexString(std::string("eeeeee")));
        context->fillRect(Rect{{0, 0}, coverImageSize_});
    }
    placeholderImage_ = imageFromCurrentImageContext();
    endImageContext();
}

std::shared_ptr<DocumentItemDetails> DocumentItemDetailsHelper::placeholderDetails() const {
    return std::make_shared<DocumentItemDetails>(placeholderImage_, std::nullopt, std::nullopt, std::nullopt,
                                                 std::nullopt);
}

const std::map<std::string, std::string>& DocumentItemDetailsHelper::coverBackgroundColorTable() {
    // Never destroyed: readers on the details workers may still look colours
    // up while the process exits.
    static const auto* table = new std::map<std::string, std::string>{
        {"cb9801", "ffb118"}, {"3996f9", "3293f5"}, {"f4314a", "f12234"}, {"6fa314", "81c31f"},
        {"f56b0b", "ea6d28"}, {"9a54c4", "cc4ae6"}, {"a4a8b6", "a3a8b7"},
    };
    return *table;
}

std::optional<Color> DocumentItemDetailsHelper::backgroundColor(const std::shared_ptr<FCCoverStyle>& coverStyle) {
    if (!coverStyle || !coverStyle->startHexColor()) return std::nullopt;
    const auto& table = coverBackgroundColorTable();
    auto it = table.find(withoutHashes(*coverStyle->startHexColor()));
    if (it == table.end()) return std::nullopt;
    return twColorFromHexString(it->second);
}

namespace {

std::optional<IconKey> iconKey(const std::shared_ptr<FCCoverStyle>& coverStyle, Size fitSize) {
    if (!coverStyle || !coverStyle->iconName()) return std::nullopt;
    const std::string name = FCCoverStyle::fileNameForIconName(*coverStyle->iconName()) + ".pdf";
    return IconKey{name, fitSize.width, fitSize.height, Screen::main().scale()};
}

std::shared_ptr<Image> sharedIcon(const IconKey& key) {
    std::lock_guard lock(iconsMutex());
    auto it = icons().find(key);
    return it != icons().end() ? it->second : nullptr;
}

}  // namespace

std::shared_ptr<Image> DocumentItemDetailsHelper::keptCoverStyleIcon(const std::shared_ptr<FCCoverStyle>& coverStyle,
                                                                     Size fitSize) {
    const auto key = iconKey(coverStyle, fitSize);
    return key ? sharedIcon(*key) : nullptr;
}

std::shared_ptr<Image> DocumentItemDetailsHelper::coverStyleIcon(const std::shared_ptr<FCCoverStyle>& coverStyle,
                                                                 Size fitSize) {
    // Fitting a PDF opens it for its page size before the rendering is found
    // in the cache folder; a list of hundreds of decks uses the same few
    // icons, so each rendering is kept here once it exists (images are
    // immutable and shared between threads).
    // Each thread keeps the few renderings it has used in front of the shared
    // map, so that the details workers do not take turns at its lock.
    const auto key = iconKey(coverStyle, fitSize);
    if (!key) return nullptr;
    thread_local std::map<IconKey, std::shared_ptr<Image>> threadIcons;
    if (auto it = threadIcons.find(*key); it != threadIcons.end()) return it->second;
    std::shared_ptr<Image> icon = sharedIcon(*key);
    if (!icon) {
        icon = imageWithPDFNamedFitSize(std::get<0>(*key), fitSize);
        if (!icon) return nullptr;
        std::lock_guard lock(iconsMutex());
        icon = icons().emplace(*key, icon).first->second;
    }
    threadIcons.emplace(*key, icon);
    return icon;
}

std::shared_ptr<Image> DocumentItemDetailsHelper::fileThumbnail(const URL& url) {
    auto thumbnails = PromisedItems::promisedItemResourceValueForKey(url, DocumentThumbnailDictionaryKey);
    if (!thumbnails) return nullptr;
    const Value* png = thumbnails->find(DocumentThumbnail1024x1024SizeKey);
    if (!png || !png->asData()) return nullptr;
    return Image::imageWithData(*png->asData(), 1);
}

std::shared_ptr<DocumentItemDetails> DocumentItemDetailsHelper::documentItemDetails(const URL& url,
                                                                                    Error* error) const {
    Error::clear(error);
    const std::string extension = url.pathExtension();
    if (extension == FIFlashcardsDocument::flashcardsDocumentFileExtension()) {
        return _documentItemDetailsForFlashcardsDocumentAtURL(url, error);
    }
    if (extension == FILegacyDeckDocument::legacyDeckDocumentPathExtension()) {
        return legacyDocumentItemDetails(url, error);
    }
    return placeholderDetails();
}

std::shared_ptr<DocumentItemDetails> DocumentItemDetailsHelper::loadMetadataOnlyForDocument(const URL& url) const {
    const std::string extension = url.pathExtension();
    if (extension == FIFlashcardsDocument::flashcardsDocumentFileExtension()) {
        return _documentItemDetails(std::nullopt, std::nullopt, nullptr, url);
    }
    if (extension == FILegacyDeckDocument::legacyDeckDocumentPathExtension()) {
        Error error;
        if (!PromisedItems::startDownloadingUbiquitousItemAtURL(url, &error)) {
            logLine(
                "Error starting download for legacy document: " + url.description() + ". Error: " + error.description(),
                TWLogger::LevelWarning, "loadMetadataOnlyForDocument(at:)", __LINE__);
        }
    }
    return placeholderDetails();
}

std::shared_ptr<DocumentItemDetails> DocumentItemDetailsHelper::_documentItemDetailsForFlashcardsDocumentAtURL(
    const URL& url, Error* error) const {
    Error::clear(error);
    logLine("Loading document item details for: " + url.description(), TWLogger::LevelDebug,
            "_documentItemDetailsForFlashcardsDocumentAtURL(_:)", __LINE__);
    FCZipBackedBinaryDocumentPersistence persistence;
    auto deck = persistence.readDeckMetadataFromURL(url, error);
    if (!deck) return nullptr;
    logLine("Fetched document item details for: " + url.lastPathComponent(), TWLogger::LevelDebug,
            "_documentItemDetailsForFlashcardsDocumentAtURL(_:)", __LINE__);
    return _documentItemDetails(deck->studyCardsCount(), deck->studyProgress(), deck->coverStyle(), url);
}

std::shared_ptr<DocumentItemDetails> DocumentItemDetailsHelper::legacyDocumentItemDetails(const URL& url,
                                                                                          Error* error) const {
    Error::clear(error);
    auto preview = FCCDeckDocumentPersistence::previewForDeckAtURL(url, error);
    if (!preview) return nullptr;
    // A preview without a cover style gets the placeholder and no background.
    std::shared_ptr<Image> cover = coverStyleIcon(preview->coverStyle(), kCoverStyleIconSize);
    if (!cover) cover = placeholderImage_;
    return std::make_shared<DocumentItemDetails>(cover, preview->studyCardsCount(), preview->studyProgress(),
                                                 backgroundColor(preview->coverStyle()), preview->title());
}

std::shared_ptr<DocumentItemDetails> DocumentItemDetailsHelper::_documentItemDetails(
    std::optional<std::int64_t> studyCardCount, std::optional<double> studyProgress,
    const std::shared_ptr<FCCoverStyle>& coverStyle, const URL& url) const {
    const char* function = "_documentItemDetails(studyCardCount:studyProgress:coverStyle:url:)";
    std::shared_ptr<Image> cover;
    if (auto thumbnail = fileThumbnail(url)) {
        cover = redrawn(*thumbnail, coverImageSize_);
        if (cover) {
            logLine("Using scaled thumbnail for: " + url.lastPathComponent(), TWLogger::LevelDebug, function, __LINE__);
        }
    }
    if (!cover && coverStyle) {
        cover = coverStyleIcon(coverStyle, kCoverStyleIconSize);
        if (cover) {
            logLine("No cover image. Using coverStyle for: " + url.lastPathComponent(), TWLogger::LevelDebug, function,
                    __LINE__);
        }
    }
    if (!cover) {
        logLine("No thumbnail or cover style. Using placeholder thumbnail for: " + url.lastPathComponent(),
                TWLogger::LevelDebug, function, __LINE__);
        return std::make_shared<DocumentItemDetails>(placeholderImage_, studyCardCount, studyProgress, std::nullopt,
                                                     std::nullopt);
    }
    return std::make_shared<DocumentItemDetails>(cover, studyCardCount, studyProgress, backgroundColor(coverStyle),
                                                 std::nullopt);
}

std::shared_ptr<DocumentItemDetails> DocumentItemDetailsHelper::coverStyleImage(
    const std::shared_ptr<FCCoverStyle>& coverStyle, Size size) const {
    std::shared_ptr<Image> cover = coverStyleIcon(coverStyle, Size{size.height, size.height});
    if (!cover) cover = placeholderImage_;
    return std::make_shared<DocumentItemDetails>(cover, std::nullopt, std::nullopt, backgroundColor(coverStyle),
                                                 std::nullopt);
}

std::shared_ptr<DocumentItemDetails> DocumentItemDetailsHelper::documentItemDetails(
    const FIDeckDocument& openDocument) const {
    auto deck = openDocument.deck();
    if (!deck) return openDocumentDetails(openDocument.fileURL(), std::nullopt, std::nullopt, nullptr);
    return openDocumentDetails(openDocument.fileURL(), deck->studyCardsCount(), deck->studyProgress(),
                               deck->coverStyle());
}

std::shared_ptr<DocumentItemDetails> DocumentItemDetailsHelper::openDocumentDetails(
    const URL& fileURL, std::optional<std::int64_t> count, std::optional<double> progress,
    const std::shared_ptr<FCCoverStyle>& coverStyle) const {
    if (auto thumbnail = fileThumbnail(fileURL)) {
        return std::make_shared<DocumentItemDetails>(thumbnail, count, progress, std::nullopt, std::nullopt);
    }
    auto large = coverStyleImage(coverStyle, kOpenDocumentCoverSize);
    return std::make_shared<DocumentItemDetails>(large->coverImage(), count, progress, backgroundColor(coverStyle),
                                                 std::nullopt);
}

std::shared_ptr<DocumentItemDetails> DocumentItemDetailsHelper::documentItemDetailsAtOnce(
    const FIDeckDocument& openDocument, std::function<void(std::shared_ptr<DocumentItemDetails>)> completion) const {
    auto deck = openDocument.deck();
    std::optional<std::int64_t> count;
    std::optional<double> progress;
    std::shared_ptr<FCCoverStyle> coverStyle;
    if (deck) {
        count = deck->studyCardsCount();
        progress = deck->studyProgress();
        // A copy: the deck's own style stays the main thread's.
        if (deck->coverStyle()) coverStyle = std::make_shared<FCCoverStyle>(*deck->coverStyle());
    }
    const Size iconSize{kOpenDocumentCoverSize.height, kOpenDocumentCoverSize.height};
    auto cover = keptCoverStyleIcon(coverStyle, iconSize);
    auto details = std::make_shared<DocumentItemDetails>(cover ? cover : placeholderImage_, count, progress,
                                                         backgroundColor(coverStyle), std::nullopt);
    DispatchQueue::global().async(
        [this, url = openDocument.fileURL(), count, progress, coverStyle, completion = std::move(completion)] {
            auto full = openDocumentDetails(url, count, progress, coverStyle);
            DispatchQueue::main().async([full, completion] { completion(full); });
        });
    return details;
}
