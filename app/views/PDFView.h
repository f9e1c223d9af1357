#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/URL.h"
#include "platform/ui/View.h"

class GraphicsContext;

// A view that draws one page of a PDF (a bundle resource, a file or bytes)
// scaled to its bounds. Pages count from 1. Its class operations are the
// page geometry and drawing that the PDF images share.
class PDFView : public View {
public:
    explicit PDFView(const Rect& frame);

    std::int64_t page() const { return page_; }
    void setPage(std::int64_t page);
    const std::optional<std::string>& resourceName() const { return resourceName_; }
    // Resolves the name in the main bundle and sets resourceURL.
    void setResourceName(std::optional<std::string> name);
    const std::optional<URL>& resourceURL() const { return resourceURL_; }
    void setResourceURL(std::optional<URL> url);
    const std::optional<Data>& resourceData() const { return resourceData_; }
    void setResourceData(std::optional<Data> data);

    void drawRect(const Rect& rect) override;

    // The file URL of the main bundle's resource of exactly that name
    // (extension included), or nullopt. Resources may sit in the bundle's
    // folder or in one of its subfolders, as a flattened app bundle has them.
    static std::optional<URL> resourceURLForName(const std::string& name);
    // The page's media box; nullopt (the null rectangle) without a document
    // or page.
    static std::optional<Rect> mediaRect(const std::string& name);
    static std::optional<Rect> mediaRectForURL(const std::optional<URL>& url, std::int64_t page = 1);
    static std::optional<Rect> mediaRectForData(const std::optional<Data>& data, std::int64_t page);
    // 1 for no URL (and for a file that cannot be read).
    static std::int64_t pageCountForURL(const std::optional<URL>& url);
    // Draws the page of the URL's document, or else the data's, stretched to
    // fill (0, 0, size) of the context. Nothing when both are missing.
    static void renderIntoContext(GraphicsContext& context, const std::optional<URL>& url,
                                  const std::optional<Data>& data, Size size, std::int64_t page);

private:
    std::int64_t page_ = 1;
    std::optional<std::string> resourceName_;
    std::optional<URL> resourceURL_;
    std::optional<Data> resourceData_;
};
