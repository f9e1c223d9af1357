#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"

typedef struct _cairo_surface cairo_surface_t;
class GraphicsContext;

enum class ImageRenderingMode { Automatic, AlwaysOriginal, AlwaysTemplate };

// An immutable bitmap image: a size in points, a scale (pixels per point) and
// how it is rendered (a template image is drawn as its shape in the tint
// colour). The pixels live in a cairo image surface (ARGB, premultiplied).
class Image {
public:
    // The main bundle's PNG of that name ("name.png", "name@2x.png" or
    // "name@3x.png", the best for the screen first), or nullptr.
    static std::shared_ptr<Image> named(const std::string& name);
    // A PNG file; a "@2x" or "@3x" before the extension sets the scale.
    static std::shared_ptr<Image> imageWithContentsOfFile(const std::string& path);
    static std::shared_ptr<Image> imageWithData(const Data& png, double scale = 1);
    // Draws a new image of that size and scale (the platform's image renderer);
    // the context's coordinates are points.
    static std::shared_ptr<Image> render(Size size, double scale, const std::function<void(GraphicsContext&)>& draw);

    // A symbol of the system by name (the platform's system images): a
    // 24-point template image of the symbol's icon (SymbolIcons) at the main
    // screen's scale, keeping the name. An unknown symbol gives a blank image
    // (logged once per name).
    static std::shared_ptr<Image> systemImageNamed(const std::string& name);

    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    Size size() const { return size_; }
    double scale() const { return scale_; }
    ImageRenderingMode renderingMode() const { return renderingMode_; }
    // The name of a system symbol image; nullopt for other images.
    const std::optional<std::string>& systemSymbolName() const { return systemSymbolName_; }
    // The same pixels rendered another way.
    std::shared_ptr<Image> imageWithRenderingMode(ImageRenderingMode mode) const;

    int pixelWidth() const;
    int pixelHeight() const;
    // The colour of the pixel under a point, not premultiplied; clear outside.
    Color colorAtPoint(Point p) const;
    Color colorAtPixel(int x, int y) const;

    // Draws the whole image into the rectangle of the current graphics
    // context, stretched to the rectangle's size, as it is (a template image
    // too); nothing without a context.
    void drawInRect(const Rect& rect) const;

    std::optional<Data> pngData() const;
    bool writePNG(const std::string& path, Error* error = nullptr) const;

    cairo_surface_t* surface() const { return surface_; }

private:
    Image(cairo_surface_t* surface, double scale, ImageRenderingMode mode);
    cairo_surface_t* surface_;
    Size size_;
    double scale_;
    ImageRenderingMode renderingMode_;
    std::optional<std::string> systemSymbolName_;
};
