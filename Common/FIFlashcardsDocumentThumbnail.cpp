// The cover thumbnail a ".flashcards" document stores with its file: the
// cover's gradient with the custom cover image, or else the cover icon,
// centred on it.

#include <cairo.h>

#include <charconv>
#include <cmath>

#include "Common/FIFlashcardsDocument.h"
#include "model/FCCoverStyle.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"

namespace {

// Rounds to the nearest whole number, halves away from zero.
double N(double x) {
    return std::round(x);
}

// The app's hex colour reading: every "#" dropped, the rest one hexadecimal
// number (red in bits 16-23); text that is no hex number gives black.
std::optional<Color> colorFromHexString(const std::optional<std::string>& hex) {
    if (!hex) return std::nullopt;
    std::string digits;
    for (char c : *hex) {
        if (c != '#') digits += c;
    }
    unsigned int value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (ec != std::errc() || end != digits.data() + digits.size()) value = 0;
    return Color::rgb(value);
}

cairo_status_t appendToData(void* closure, const unsigned char* bytes, unsigned int length) {
    auto* data = static_cast<Data*>(closure);
    data->insert(data->end(), bytes, bytes + length);
    return CAIRO_STATUS_SUCCESS;
}

// The image of what the context's bitmap holds now.
std::shared_ptr<Image> imageFromContext(GraphicsContext& context) {
    cairo_surface_t* surface = cairo_get_target(context.cairo());
    if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_surface_flush(surface);
    Data png;
    if (cairo_surface_write_to_png_stream(surface, appendToData, &png) != CAIRO_STATUS_SUCCESS) return nullptr;
    return Image::imageWithData(png, 1);
}

}  // namespace

std::shared_ptr<Image> FIFlashcardsDocument::_makeThumbnailImageOfMaximumSize(
    Size maximumSize, const std::shared_ptr<FCCoverStyle>& coverStyle) {
    double width = std::trunc(maximumSize.width);
    double height = N(width * 320.0 / 455.0);
    if (width <= 0 || height <= 0) return nullptr;
    // RGB, 8 bits per component, alpha premultiplied.
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width), static_cast<int>(height));
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_t* cr = cairo_create(surface);
    std::shared_ptr<Image> image;
    if (cairo_status(cr) == CAIRO_STATUS_SUCCESS) {
        GraphicsContext context(cr);
        image = _drawThumbnailForCoverStyle(coverStyle, Size{width, height}, context);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return image;
}

std::shared_ptr<Image> FIFlashcardsDocument::_drawThumbnailForCoverStyle(
    const std::shared_ptr<FCCoverStyle>& coverStyle, Size size, GraphicsContext& context) {
    const double W = size.width;
    const double H = size.height;
    if (coverStyle) {
        auto start = colorFromHexString(coverStyle->startHexColor());
        auto end = colorFromHexString(coverStyle->endHexColor());
        // Every deck's cover has both colours; a cover without them gets no gradient.
        if (start && end) {
            context.saveGState();
            context.clipToRect(Rect{{0, 0}, {W, H}});
            context.drawLinearGradient({*start, *end}, {0.0, 1.0}, Point{0, 0}, Point{0, H});
            context.restoreGState();
        }

        std::shared_ptr<Image> image;
        if (const auto& name = coverStyle->customImageName()) {
            if (auto data = dataForAttachmentWithName(*name)) {
                image = Image::imageWithData(*data, 1.0 / FCCoverStyle::coverImageScaleFactorForCardWidth(W));
            }
        }
        if (!image && coverStyle->iconName()) {
            std::string pdfName = FCCoverStyle::fileNameForIconName(*coverStyle->iconName()) + ".pdf";
            image = coverIconImage(pdfName, Size{N(0.9 * W), N(0.9 * H)});
        }
        if (image) {
            Size s = image->size();
            context.drawImage(*image, Rect{{N((W - s.width) * 0.5), N((H - s.height) * 0.5)}, s});
        }
    }
    return imageFromContext(context);
}
