#pragma once

#include <memory>

#include "platform/media/ImageProcessing.h"
#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
class GraphicsContext;
class Image;

enum class BlendMode { Normal, Overlay };

// A non-opaque bitmap drawing context (the platform's image context): a
// premultiplied ARGB32 buffer of a size in points at a scale, starting clear.
// Its coordinates are points, the origin at the top left.
class BitmapContext {
public:
    // The pixel size is the point size times the scale, rounded up (at least 1 x 1).
    BitmapContext(Size size, double scale);
    ~BitmapContext();
    BitmapContext(const BitmapContext&) = delete;
    BitmapContext& operator=(const BitmapContext&) = delete;

    Size size() const { return size_; }
    double scale() const { return scale_; }
    int pixelWidth() const;
    int pixelHeight() const;

    cairo_t* cairo() const { return cr_; }
    GraphicsContext& context() { return *context_; }
    // The pixels, for the buffer operations; call markDirty() after changing them.
    ImageBuffer buffer();
    void markDirty();

    // Draws the image into the rectangle through a mask image stretched over
    // the same rectangle (its alpha lets the image through; the mask's edges
    // extend, so a stretched mask does not fade at its borders).
    void drawImageThroughMask(const Image& image, const Rect& rect, const Image& mask);
    // Fills the rectangle with the colour at the given alpha and blend mode,
    // only where the shape image (its alpha, stretched over the rectangle) lets it.
    void fillShapeOfImage(const Image& shape, const Rect& rect, const Color& color, double alpha, BlendMode mode);

    // A new image of the current pixels, at the context's scale.
    std::shared_ptr<Image> makeImage() const;

private:
    Size size_;
    double scale_;
    cairo_surface_t* surface_;
    cairo_t* cr_;
    std::unique_ptr<GraphicsContext> context_;
};

// A new image holding a copy of an ARGB32 surface's pixels at that scale.
std::shared_ptr<Image> imageWithSurface(cairo_surface_t* surface, double scale);
