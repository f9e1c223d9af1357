#include "platform/ui/Image.h"

#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Screen.h"
#include "platform/ui/SymbolIcons.h"

namespace {

// Every image keeps its pixels as ARGB32, whatever the PNG held.
cairo_surface_t* toARGB(cairo_surface_t* surface) {
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    if (cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32) return surface;
    int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
    cairo_surface_t* argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(argb);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return argb;
}

double scaleFromFileName(const std::string& path) {
    std::string base = stringByDeletingPathExtension(lastPathComponent(path));
    if (base.size() > 3 && base.compare(base.size() - 3, 3, "@3x") == 0) return 3;
    if (base.size() > 3 && base.compare(base.size() - 3, 3, "@2x") == 0) return 2;
    return 1;
}

cairo_status_t writeToData(void* closure, const unsigned char* bytes, unsigned int length) {
    auto* data = static_cast<Data*>(closure);
    data->insert(data->end(), bytes, bytes + length);
    return CAIRO_STATUS_SUCCESS;
}

struct Reader {
    const Data* data;
    std::size_t offset = 0;
};

cairo_status_t readFromData(void* closure, unsigned char* bytes, unsigned int length) {
    auto* reader = static_cast<Reader*>(closure);
    if (reader->data->size() - reader->offset < length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(bytes, reader->data->data() + reader->offset, length);
    reader->offset += length;
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

Image::Image(cairo_surface_t* surface, double scale, ImageRenderingMode mode)
    : surface_(surface), scale_(scale > 0 ? scale : 1), renderingMode_(mode) {
    size_ = {cairo_image_surface_get_width(surface) / scale_, cairo_image_surface_get_height(surface) / scale_};
}

Image::~Image() {
    cairo_surface_destroy(surface_);
}

std::shared_ptr<Image> Image::named(const std::string& name) {
    const int preferred = static_cast<int>(std::lround(Screen::main().scale()));
    std::vector<std::string> candidates;
    if (preferred >= 2) candidates.push_back(name + "@" + std::to_string(preferred) + "x");
    for (const char* suffix : {"@3x", "@2x", ""}) candidates.push_back(name + suffix);
    for (const auto& candidate : candidates) {
        if (auto path = Bundle::main().pathForResource(candidate, "png")) return imageWithContentsOfFile(*path);
    }
    return nullptr;
}

std::shared_ptr<Image> Image::imageWithContentsOfFile(const std::string& path) {
    cairo_surface_t* surface = toARGB(cairo_image_surface_create_from_png(path.c_str()));
    if (!surface) return nullptr;
    return std::shared_ptr<Image>(new Image(surface, scaleFromFileName(path), ImageRenderingMode::Automatic));
}

std::shared_ptr<Image> Image::imageWithData(const Data& png, double scale) {
    Reader reader{&png};
    cairo_surface_t* surface = toARGB(cairo_image_surface_create_from_png_stream(readFromData, &reader));
    if (!surface) return nullptr;
    return std::shared_ptr<Image>(new Image(surface, scale, ImageRenderingMode::Automatic));
}

std::shared_ptr<Image> Image::render(Size size, double scale, const std::function<void(GraphicsContext&)>& draw) {
    if (scale <= 0) scale = 1;
    int w = std::max(1, static_cast<int>(std::ceil(size.width * scale)));
    int h = std::max(1, static_cast<int>(std::ceil(size.height * scale)));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, scale, scale);
    {
        GraphicsContext context(cr);
        GraphicsContext::Scope scope(context);
        if (draw) draw(context);
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return std::shared_ptr<Image>(new Image(surface, scale, ImageRenderingMode::Automatic));
}

std::shared_ptr<Image> Image::imageWithRenderingMode(ImageRenderingMode mode) const {
    auto image = std::shared_ptr<Image>(new Image(cairo_surface_reference(surface_), scale_, mode));
    image->systemSymbolName_ = systemSymbolName_;
    return image;
}

std::shared_ptr<Image> Image::systemImageNamed(const std::string& name) {
    constexpr Size kSymbolSize{24, 24};
    constexpr double kSymbolInset = 2;
    const double scale = Screen::main().scale();
    // Drawn once per symbol and scale; images are immutable, so each caller
    // gets its own image over the same pixels.
    static std::mutex mutex;
    static std::map<std::pair<std::string, double>, std::shared_ptr<Image>> drawn;
    static std::set<std::string> unknown;
    std::shared_ptr<Image> image;
    {
        std::lock_guard lock(mutex);
        auto& cached = drawn[{name, scale}];
        if (!cached) {
            bool found = false;
            cached = render(kSymbolSize, scale, [&](GraphicsContext& context) {
                found = SymbolIcons::drawSymbol(context.cairo(), name,
                                                Rect(Point{}, kSymbolSize).insetBy(kSymbolInset, kSymbolInset));
            });
            if (!found && unknown.insert(name).second)
                std::fprintf(stderr, "Image: no icon for the system symbol \"%s\"; it shows blank\n",
                             escapedExcerpt(name, 80).c_str());
        }
        image = cached->imageWithRenderingMode(ImageRenderingMode::AlwaysTemplate);
    }
    image->systemSymbolName_ = name;
    return image;
}

int Image::pixelWidth() const {
    return cairo_image_surface_get_width(surface_);
}
int Image::pixelHeight() const {
    return cairo_image_surface_get_height(surface_);
}

Color Image::colorAtPoint(Point p) const {
    return colorAtPixel(static_cast<int>(std::floor(p.x * scale_)), static_cast<int>(std::floor(p.y * scale_)));
}

Color Image::colorAtPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= pixelWidth() || y >= pixelHeight()) return Color::clearColor();
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    int stride = cairo_image_surface_get_stride(surface_);
    std::uint32_t pixel;
    std::memcpy(&pixel, data + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 4, 4);
    double a = ((pixel >> 24) & 0xFF) / 255.0;
    if (a == 0) return Color::clearColor();
    // Premultiplied in the surface.
    return Color(((pixel >> 16) & 0xFF) / 255.0 / a, ((pixel >> 8) & 0xFF) / 255.0 / a, (pixel & 0xFF) / 255.0 / a, a);
}

void Image::drawInRect(const Rect& rect) const {
    GraphicsContext* context = GraphicsContext::current();
    if (!context || pixelWidth() <= 0 || pixelHeight() <= 0 || rect.isEmpty()) return;
    cairo_t* cr = context->cairo();
    cairo_save(cr);
    cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_clip(cr);
    cairo_translate(cr, rect.origin.x, rect.origin.y);
    cairo_scale(cr, rect.size.width / pixelWidth(), rect.size.height / pixelHeight());
    cairo_set_source_surface(cr, surface_, 0, 0);
    // The edge pixels extend, so a stretched image keeps its colour up to the
    // rectangle's border instead of fading into what lies outside it.
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_paint(cr);
    cairo_restore(cr);
}

std::optional<Data> Image::pngData() const {
    Data data;
    if (cairo_surface_write_to_png_stream(surface_, writeToData, &data) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    return data;
}

bool Image::writePNG(const std::string& path, Error* error) const {
    Error::clear(error);
    auto data = pngData();
    if (!data) {
        Error::set(error,
                   Error(NSCocoaErrorDomain, 512,
                         Value::dictionary({{NSLocalizedDescriptionKey, Value("The image could not be encoded.")}})));
        return false;
    }
    return writeDataAtomically(*data, path, error);
}
