#include "platform/media/PDFDocument.h"

#include <cairo.h>
#include <poppler.h>

#include "platform/ui/GraphicsContext.h"

struct PDFDocument::Impl {
    PopplerDocument* document = nullptr;
    // Poppler reads from the bytes for the document's lifetime.
    GBytes* bytes = nullptr;

    ~Impl() {
        if (document) g_object_unref(document);
        if (bytes) g_bytes_unref(bytes);
    }
};

PDFDocument::PDFDocument(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PDFDocument::~PDFDocument() = default;

std::shared_ptr<PDFDocument> PDFDocument::documentWithPath(const std::string& path) {
    GError* error = nullptr;
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, &error);
    if (!uri) {
        g_clear_error(&error);
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->document = poppler_document_new_from_file(uri, nullptr, &error);
    g_free(uri);
    g_clear_error(&error);
    if (!impl->document) return nullptr;
    return std::shared_ptr<PDFDocument>(new PDFDocument(std::move(impl)));
}

std::shared_ptr<PDFDocument> PDFDocument::documentWithData(const Data& data) {
    if (data.empty()) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->bytes = g_bytes_new(data.data(), data.size());
    GError* error = nullptr;
    impl->document = poppler_document_new_from_bytes(impl->bytes, nullptr, &error);
    g_clear_error(&error);
    if (!impl->document) return nullptr;
    return std::shared_ptr<PDFDocument>(new PDFDocument(std::move(impl)));
}

int PDFDocument::pageCount() const { return poppler_document_get_n_pages(impl_->document); }

std::optional<Rect> PDFDocument::mediaBox(int page) const {
    if (page < 1 || page > pageCount()) return std::nullopt;
    PopplerPage* p = poppler_document_get_page(impl_->document, page - 1);
    if (!p) return std::nullopt;
    double w = 0, h = 0;
    poppler_page_get_size(p, &w, &h);
    g_object_unref(p);
    return Rect{{0, 0}, {w, h}};
}

void PDFDocument::drawPage(int page, GraphicsContext& context) const {
    cairo_t* cr = context.cairo();
    if (page < 1 || page > pageCount()) return;
    PopplerPage* p = poppler_document_get_page(impl_->document, page - 1);
    if (!p) return;
    cairo_save(cr);
    poppler_page_render(p, cr);
    cairo_restore(cr);
    g_object_unref(p);
}
