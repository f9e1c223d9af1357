#include "platform/media/BitmapContext.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"

BitmapContext::BitmapContext(Size size, double scale) : size_(size), scale_(scale > 0 ? scale : 1) {
    int w = std::max(1, static_cast<int>(std::ceil(size.width * scale_)));
    int h = std::max(1, static_cast<int>(std::ceil(size.height * scale_)));
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cr_ = cairo_create(surface_);
    cairo_scale(cr_, scale_, scale_);
    context_ = std::make_unique<GraphicsContext>(cr_);
}

BitmapContext::~BitmapContext() {
    context_.reset();
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
}

int BitmapContext::pixelWidth() const { return cairo_image_surface_get_width(surface_); }
int BitmapContext::pixelHeight() const { return cairo_image_surface_get_height(surface_); }

ImageBuffer BitmapContext::buffer() {
    cairo_surface_flush(surface_);
    return {cairo_image_surface_get_data(surface_), pixelWidth(), pixelHeight(),
            static_cast<std::size_t>(cairo_image_surface_get_stride(surface_))};
}

void BitmapContext::markDirty() { cairo_surface_mark_dirty(surface_); }

namespace {

// Sets the current path-free mask of the image stretched over the rectangle.
void maskWithImage(cairo_t* cr, const Image& mask, const Rect& rect) {
    cairo_translate(cr, rect.origin.x, rect.origin.y);
    cairo_scale(cr, rect.size.width / mask.pixelWidth(), rect.size.height / mask.pixelHeight());
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(mask.surface());
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_mask(cr, pattern);
    cairo_pattern_destroy(pattern);
}

}  // namespace

void BitmapContext::drawImageThroughMask(const Image& image, const Rect& rect, const Image& mask) {
    if (rect.isEmpty()) return;
    cairo_save(cr_);
    // The image becomes the source first, locked to the point space; then
    // the mask is laid over the rectangle.
    cairo_push_group(cr_);
    context_->drawImage(image, rect);
    cairo_pop_group_to_source(cr_);
    maskWithImage(cr_, mask, rect);
    cairo_restore(cr_);
}

void BitmapContext::fillShapeOfImage(const Image& shape, const Rect& rect, const Color& color, double alpha,
                                     BlendMode mode) {
    if (rect.isEmpty()) return;
    double r = 0, g = 0, b = 0, a = 0;
    color.getRed(&r, &g, &b, &a);
    cairo_save(cr_);
    cairo_set_operator(cr_, mode == BlendMode::Overlay ? CAIRO_OPERATOR_OVERLAY : CAIRO_OPERATOR_OVER);
    cairo_set_source_rgba(cr_, r, g, b, a * alpha);
    maskWithImage(cr_, shape, rect);
    cairo_restore(cr_);
}

std::shared_ptr<Image> BitmapContext::makeImage() const {
    cairo_surface_flush(surface_);
    return imageWithSurface(surface_, scale_);
}

std::shared_ptr<Image> imageWithSurface(cairo_surface_t* surface, double scale) {
    if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return nullptr;
    if (scale <= 0) scale = 1;
    const double w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
    if (w < 1 || h < 1) return nullptr;
    // A quarter pixel less, so rounding the size back up to pixels cannot add one.
    return Image::render({(w - 0.25) / scale, (h - 0.25) / scale}, scale, [&](GraphicsContext& context) {
        cairo_t* cr = context.cairo();
        cairo_identity_matrix(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, surface, 0, 0);
        cairo_paint(cr);
    });
}
