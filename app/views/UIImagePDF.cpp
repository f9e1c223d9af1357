#include "app/views/UIImagePDF.h"

#include <cmath>
#include <map>
#include <mutex>

#include "app/views/PDFView.h"
#include "model/FCDigest.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"
#include "platform/media/BitmapContext.h"
#include "platform/media/ImageCodec.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"

namespace {

struct MemoryCache {
    std::mutex mutex;
    bool enabled = false;
    std::unique_ptr<std::map<std::string, std::shared_ptr<Image>>> images;
};

MemoryCache& memoryCache() {
    static MemoryCache* cache = new MemoryCache;
    return *cache;
}

std::shared_ptr<Image> memoryCachedImage(const std::string& path) {
    auto& cache = memoryCache();
    std::lock_guard lock(cache.mutex);
    if (!cache.enabled || !cache.images) return nullptr;
    auto it = cache.images->find(path);
    return it == cache.images->end() ? nullptr : it->second;
}

void storeInMemoryCache(const std::string& path, const std::shared_ptr<Image>& image) {
    auto& cache = memoryCache();
    std::lock_guard lock(cache.mutex);
    if (cache.enabled && cache.images && image) (*cache.images)[path] = image;
}

std::string cacheDirectory() {
    std::string dir = stringWithFormat("%@/__PDF_CACHE__", AppContainer::cachesDirectory());
    FileManager::defaultManager().createDirectoryAtPath(dir, true);
    return dir;
}

std::string pixelSizeText(Size size, double scaleFactor) {
    return describe(Size{size.width * scaleFactor, size.height * scaleFactor});
}

// A readable cache file, or nullptr; an unreadable one (cut short by a crash
// while it was written by an older version, say) is rendered again.
std::shared_ptr<Image> cachedImage(const std::string& path, double scale) {
    if (!FileManager::defaultManager().fileExistsAtPath(path)) return nullptr;
    auto data = dataWithContentsOfFile(path);
    return data ? Image::imageWithData(*data, scale) : nullptr;
}

std::shared_ptr<Image> renderAndCache(const std::optional<URL>& url, const std::optional<Data>& data, Size size,
                                      double scale, std::int64_t page, const std::string& path) {
    BitmapContext context(size, scale);
    PDFView::renderIntoContext(context.context(), url, data, size, page);
    auto image = context.makeImage();
    // Written beside and renamed: a cache file is whole or absent. Failures
    // only cost a later render.
    if (auto png = imagePNGRepresentation(*image)) writeDataAtomically(*png, path);
    return image;
}

std::optional<Size> mediaBoxSize(const std::optional<URL>& url, std::int64_t page) {
    auto box = PDFView::mediaRectForURL(url, page);
    if (!box) return std::nullopt;
    return box->size;
}

float ceil32(double value) { return std::ceil(static_cast<float>(value)); }

}  // namespace

Size pdfSizeToFit(Size box, Size target) {
    const float r = std::max(static_cast<float>(box.width / target.width), static_cast<float>(box.height / target.height));
    return {ceil32(box.width / r), ceil32(box.height / r)};
}

Size pdfSizeAtWidth(Size box, double width) { return {width, ceil32(width / (box.width / box.height))}; }

Size pdfSizeAtHeight(Size box, double height) { return {ceil32(box.width / box.height * height), height}; }

void setShouldCacheInMemory(bool shouldCache) {
    auto& cache = memoryCache();
    std::lock_guard lock(cache.mutex);
    cache.enabled = shouldCache;
    if (shouldCache && !cache.images) cache.images = std::make_unique<std::map<std::string, std::shared_ptr<Image>>>();
}

std::string cacheFilenameForData(const Data& data, Size size, double scaleFactor, std::int64_t page) {
    std::string key = stringWithFormat("%@ - %@ - %d", MD5(data), pixelSizeText(size, scaleFactor),
                                       static_cast<int>(page));
    return stringWithFormat("%@/%@.png", cacheDirectory(), MD5(std::string_view(key)));
}

std::string cacheFilenameForURL(const URL& url, Size size, double scaleFactor, std::int64_t page) {
    std::string fileSize, modificationDate;
    if (auto attributes = FileManager::defaultManager().attributesOfItemAtPath(url.path())) {
        fileSize = stringWithFormat("%llu", static_cast<unsigned long long>(attributes->size));
        modificationDate = attributes->modificationDate.description();
    }
    std::string key = stringWithFormat("%@ - %@ - %@ - %@ - %d", url.lastPathComponent(), fileSize,
                                       modificationDate, pixelSizeText(size, scaleFactor), static_cast<int>(page));
    return stringWithFormat("%@/%@.png", cacheDirectory(), MD5(std::string_view(key)));
}

std::shared_ptr<Image> imageWithPDFURLAtSize(const std::optional<URL>& url, Size size, std::int64_t page) {
    if (!url) return nullptr;
    const double scale = Screen::main().scale();
    const std::string path = cacheFilenameForURL(*url, size, scale, page);
    if (auto image = memoryCachedImage(path)) return image;
    auto image = cachedImage(path, scale);
    if (!image) image = renderAndCache(url, std::nullopt, size, scale, page, path);
    storeInMemoryCache(path, image);
    return image;
}

std::shared_ptr<Image> imageWithPDFData(const Data& data, Size size, std::int64_t page) {
    const double scale = Screen::main().scale();
    const std::string path = cacheFilenameForData(data, size, scale, page);
    if (auto image = cachedImage(path, scale)) return image;
    return renderAndCache(std::nullopt, data, size, scale, page, path);
}

std::shared_ptr<Image> imageWithPDFURLFitSize(const std::optional<URL>& url, Size size, std::int64_t page) {
    auto box = mediaBoxSize(url, page);
    if (!box) return nullptr;
    return imageWithPDFURLAtSize(url, pdfSizeToFit(*box, size), page);
}

std::shared_ptr<Image> imageWithPDFURLAtWidth(const std::optional<URL>& url, double width, std::int64_t page) {
    auto box = mediaBoxSize(url, page);
    if (!box) return nullptr;
    return imageWithPDFURLAtSize(url, pdfSizeAtWidth(*box, width), page);
}

std::shared_ptr<Image> imageWithPDFURLAtHeight(const std::optional<URL>& url, double height, std::int64_t page) {
    auto box = mediaBoxSize(url, page);
    if (!box) return nullptr;
    return imageWithPDFURLAtSize(url, pdfSizeAtHeight(*box, height), page);
}

std::shared_ptr<Image> originalSizeImageWithPDFURL(const std::optional<URL>& url, std::int64_t page) {
    auto box = mediaBoxSize(url, page);
    if (!box) return nullptr;
    return imageWithPDFURLAtSize(url, *box, page);
}

std::shared_ptr<Image> originalSizeImageWithPDFData(const Data& data) {
    auto box = PDFView::mediaRectForData(data, 1);
    if (!box) return nullptr;
    return imageWithPDFData(data, box->size, 1);
}

std::shared_ptr<Image> imageWithPDFNamedAtSize(const std::string& name, Size size, std::int64_t page) {
    return imageWithPDFURLAtSize(PDFView::resourceURLForName(name), size, page);
}

std::shared_ptr<Image> imageWithPDFNamedAtWidth(const std::string& name, double width, std::int64_t page) {
    return imageWithPDFURLAtWidth(PDFView::resourceURLForName(name), width, page);
}

std::shared_ptr<Image> imageWithPDFNamedAtHeight(const std::string& name, double height, std::int64_t page) {
    return imageWithPDFURLAtHeight(PDFView::resourceURLForName(name), height, page);
}

std::shared_ptr<Image> imageWithPDFNamedFitSize(const std::string& name, Size size, std::int64_t page) {
    return imageWithPDFURLFitSize(PDFView::resourceURLForName(name), size, page);
}

std::shared_ptr<Image> originalSizeImageWithPDFNamed(const std::string& name, std::int64_t page) {
    return originalSizeImageWithPDFURL(PDFView::resourceURLForName(name), page);
}

std::shared_ptr<Image> imageOrPDFNamed(const std::string& name) {
    const std::string extension = pathExtension(name);
    if (extension == "pdf") return originalSizeImageWithPDFNamed(name);
    return Image::named(extension == "png" ? stringByDeletingPathExtension(name) : name);
}

std::shared_ptr<Image> imageOrPDFWithContentsOfFile(const std::string& path) {
    if (pathExtension(path) == "pdf") return originalSizeImageWithPDFURL(URL::fileURLWithPath(path));
    if (auto image = Image::imageWithContentsOfFile(path)) return image;
    auto data = dataWithContentsOfFile(path);
    return data ? imageWithEncodedData(*data) : nullptr;
}
