#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/URL.h"
#include "platform/ui/Geometry.h"

class Image;

// Images of PDF pages (the app's icons and cover symbols are single-page
// PDFs), rendered at the main screen's scale. Every rendering is kept as a
// PNG under <Caches>/__PDF_CACHE__, named after the document, the pixel size
// and the page, so each is paid once; an optional memory cache spares the
// decoding too. Pages count from 1. A missing name or URL gives nullptr.

// Names ending in ".pdf" render at the page's own size; others are the
// bundle's PNG images.
std::shared_ptr<Image> imageOrPDFNamed(const std::string& name);
std::shared_ptr<Image> imageOrPDFWithContentsOfFile(const std::string& path);

std::shared_ptr<Image> imageWithPDFNamedAtSize(const std::string& name, Size size, std::int64_t page = 1);
std::shared_ptr<Image> imageWithPDFNamedAtWidth(const std::string& name, double width, std::int64_t page = 1);
std::shared_ptr<Image> imageWithPDFNamedAtHeight(const std::string& name, double height, std::int64_t page = 1);
std::shared_ptr<Image> imageWithPDFNamedFitSize(const std::string& name, Size size, std::int64_t page = 1);
std::shared_ptr<Image> originalSizeImageWithPDFNamed(const std::string& name, std::int64_t page = 1);

// The page stretched to the size.
std::shared_ptr<Image> imageWithPDFURLAtSize(const std::optional<URL>& url, Size size, std::int64_t page = 1);
// The page scaled to fit inside the size, keeping its aspect ratio.
std::shared_ptr<Image> imageWithPDFURLFitSize(const std::optional<URL>& url, Size size, std::int64_t page = 1);
std::shared_ptr<Image> imageWithPDFURLAtWidth(const std::optional<URL>& url, double width, std::int64_t page = 1);
std::shared_ptr<Image> imageWithPDFURLAtHeight(const std::optional<URL>& url, double height, std::int64_t page = 1);
std::shared_ptr<Image> originalSizeImageWithPDFURL(const std::optional<URL>& url, std::int64_t page = 1);

// Cached on disk only.
std::shared_ptr<Image> imageWithPDFData(const Data& data, Size size, std::int64_t page = 1);
std::shared_ptr<Image> originalSizeImageWithPDFData(const Data& data);

// Turns the memory cache on or off for the whole process.
void setShouldCacheInMemory(bool shouldCache);

// The cache file paths (the cache folder is created on the way).
std::string cacheFilenameForData(const Data& data, Size size, double scaleFactor, std::int64_t page);
std::string cacheFilenameForURL(const URL& url, Size size, double scaleFactor, std::int64_t page);

// The sizes the width, height and fit forms render at, for a page box.
Size pdfSizeToFit(Size box, Size target);
Size pdfSizeAtWidth(Size box, double width);
Size pdfSizeAtHeight(Size box, double height);
