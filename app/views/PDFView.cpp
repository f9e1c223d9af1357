#include "app/views/PDFView.h"


#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/media/PDFDocument.h"
#include "platform/ui/GraphicsContext.h"

namespace {

std::shared_ptr<PDFDocument> openDocument(const std::optional<URL>& url, const std::optional<Data>& data) {
    if (url) return PDFDocument::documentWithPath(url->path());
    if (data) return PDFDocument::documentWithData(*data);
    return nullptr;
}

}  // namespace

PDFView::PDFView(const Rect& frame) : View(frame) {}

void PDFView::setPage(std::int64_t page) {
    page_ = page;
    setNeedsDisplay();
}

void PDFView::setResourceName(std::optional<std::string> name) {
    resourceName_ = std::move(name);
    setResourceURL(resourceName_ ? resourceURLForName(*resourceName_) : std::nullopt);
}

void PDFView::setResourceURL(std::optional<URL> url) {
    resourceURL_ = std::move(url);
    setNeedsDisplay();
}

void PDFView::setResourceData(std::optional<Data> data) {
    resourceData_ = std::move(data);
    setNeedsDisplay();
}

void PDFView::drawRect(const Rect& rect) {
    GraphicsContext* context = GraphicsContext::current();
    if (!context) return;
    if (backgroundColor()) {
        context->saveGState();
        context->setFillColor(*backgroundColor());
        context->fillRect(rect);
        context->restoreGState();
    }
    renderIntoContext(*context, resourceURL_, resourceData_, bounds().size, page_);
}

std::optional<URL> PDFView::resourceURLForName(const std::string& name) {
    const Bundle& bundle = Bundle::main();
    if (auto path = bundle.pathForResource(name, "")) return URL::fileURLWithPath(*path);
    auto& files = FileManager::defaultManager();
    if (auto entries = files.contentsOfDirectoryAtPath(bundle.resourcePath())) {
        for (const auto& entry : *entries) {
            bool isDirectory = false;
            if (!files.fileExistsAtPath(bundle.resourcePath() + "/" + entry, &isDirectory) || !isDirectory) continue;
            if (auto path = bundle.pathForResource(name, "", entry)) return URL::fileURLWithPath(*path);
        }
    }
    return std::nullopt;
}

std::optional<Rect> PDFView::mediaRect(const std::string& name) { return mediaRectForURL(resourceURLForName(name)); }

std::optional<Rect> PDFView::mediaRectForURL(const std::optional<URL>& url, std::int64_t page) {
    if (!url) return std::nullopt;
    auto document = PDFDocument::documentWithPath(url->path());
    if (!document) return std::nullopt;
    return document->mediaBox(static_cast<int>(page));
}

std::optional<Rect> PDFView::mediaRectForData(const std::optional<Data>& data, std::int64_t page) {
    if (!data) return std::nullopt;
    auto document = PDFDocument::documentWithData(*data);
    if (!document) return std::nullopt;
    return document->mediaBox(static_cast<int>(page));
}

std::int64_t PDFView::pageCountForURL(const std::optional<URL>& url) {
    if (!url) return 1;
    auto document = PDFDocument::documentWithPath(url->path());
    return document ? document->pageCount() : 1;
}

void PDFView::renderIntoContext(GraphicsContext& context, const std::optional<URL>& url,
                                const std::optional<Data>& data, Size size, std::int64_t page) {
    if (!url && !data) return;
    auto document = openDocument(url, data);
    if (!document) return;
    auto box = document->mediaBox(static_cast<int>(page));
    if (!box || box->size.width <= 0 || box->size.height <= 0) return;
    // The page is drawn y-down like our contexts, so no flip is needed.
    context.saveGState();
    context.scale(size.width / box->size.width, size.height / box->size.height);
    context.translate(-box->origin.x, -box->origin.y);
    document->drawPage(static_cast<int>(page), context);
    context.restoreGState();
}
