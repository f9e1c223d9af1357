#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/ui/Geometry.h"

class GraphicsContext;

// A PDF document opened for drawing its pages (poppler). Pages count from 1.
class PDFDocument {
public:
    // nullptr when the file or the bytes are not a readable PDF.
    static std::shared_ptr<PDFDocument> documentWithPath(const std::string& path);
    static std::shared_ptr<PDFDocument> documentWithData(const Data& data);

    ~PDFDocument();
    PDFDocument(const PDFDocument&) = delete;
    PDFDocument& operator=(const PDFDocument&) = delete;

    int pageCount() const;
    // The page's box in PDF units, origin at zero; nullopt for a page that
    // does not exist.
    std::optional<Rect> mediaBox(int page) const;
    // Draws the page with its box at the context's origin, one unit per PDF
    // unit, y downwards. Nothing for a page that does not exist.
    void drawPage(int page, GraphicsContext& context) const;

private:
    struct Impl;
    explicit PDFDocument(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};
