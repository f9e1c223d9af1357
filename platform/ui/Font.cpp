#include "platform/ui/Font.h"

#include <cairo.h>
#include <dlfcn.h>

#include <cstdlib>
#include <mutex>
#include <set>

#include "platform/foundation/StringUtils.h"

namespace {

const char* const kSystemRegular = ".SFUI-Regular";
const char* const kSystemBold = ".SFUI-Bold";

std::mutex& registryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::set<std::string>& registry() {
    static std::set<std::string> names = {
        ".SFUI-Regular",
        ".SFUI-Medium",
        ".SFUI-Semibold",
        ".SFUI-Bold",
        "HelveticaNeue",
        "HelveticaNeue-Bold",
        "HelveticaNeue-Medium",
        "HelveticaNeue-Light",
        "Helvetica",
        "Helvetica-Bold",
        "Arial",
        "Arial-BoldMT",
        "Georgia",
        "Georgia-Bold",
        "TimesNewRomanPSMT",
        "Courier",
        "Courier-Bold",
        "Menlo-Regular",
        "Menlo-Bold",
    };
    return names;
}

bool nameIsBold(const std::string& name) {
    return stringContains(name, "Bold") || stringContains(name, "Semibold") || stringContains(name, "Heavy") ||
           stringContains(name, "Black");
}

// cairo keeps the faces it found through fontconfig, and fontconfig its
// configuration, for the life of the process; releasing both at exit keeps
// leak checkers quiet. fontconfig comes with cairo, so its clean-up is looked
// up at run time rather than linked.
void releaseFontCachesAtExit() {
    static std::once_flag once;
    std::call_once(once, [] {
        std::atexit([] {
            cairo_debug_reset_static_data();
            if (auto fini = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "FcFini"))) fini();
        });
    });
}

// A scratch context for measuring.
struct Measurer {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(surface);
    ~Measurer() {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
};

}  // namespace

Font Font::systemFont(double size, FontWeight weight) {
    switch (weight) {
        case FontWeight::Regular:
            return Font(kSystemRegular, size, false);
        case FontWeight::Medium:
            return Font(".SFUI-Medium", size, false);
        case FontWeight::Semibold:
            return Font(".SFUI-Semibold", size, true);
        case FontWeight::Thin:
            return Font(".SFUI-Thin", size, false);
        case FontWeight::Bold:
            break;
    }
    return Font(kSystemBold, size, true);
}

Font Font::boldSystemFont(double size) {
    return systemFont(size, FontWeight::Bold);
}

std::optional<Font> Font::named(const std::string& name, double size) {
    if (!isFontNameRegistered(name)) return std::nullopt;
    return Font(name, size, nameIsBold(name));
}

void Font::registerFontName(const std::string& name) {
    std::lock_guard lock(registryMutex());
    registry().insert(name);
}

void Font::unregisterFontName(const std::string& name) {
    std::lock_guard lock(registryMutex());
    registry().erase(name);
}

bool Font::isFontNameRegistered(const std::string& name) {
    std::lock_guard lock(registryMutex());
    return registry().count(name) != 0;
}

bool Font::isSystemFont() const {
    return name_.rfind(".SFUI", 0) == 0;
}

std::string Font::cairoFamily() const {
    if (name_.rfind("Georgia", 0) == 0 || name_.rfind("Times", 0) == 0) return "serif";
    if (name_.rfind("Courier", 0) == 0 || name_.rfind("Menlo", 0) == 0) return "monospace";
    return "sans-serif";
}

void Font::selectInto(cairo_t* cr) const {
    releaseFontCachesAtExit();
    cairo_select_font_face(cr, cairoFamily().c_str(), CAIRO_FONT_SLANT_NORMAL,
                           bold_ ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size_);
}

Size Font::sizeOfText(const std::string& text) const {
    Measurer m;
    selectInto(m.cr);
    cairo_text_extents_t extents;
    cairo_text_extents(m.cr, text.c_str(), &extents);
    return {std::ceil(extents.x_advance), std::ceil(lineHeight())};
}

double Font::lineHeight() const {
    Measurer m;
    selectInto(m.cr);
    cairo_font_extents_t extents;
    cairo_font_extents(m.cr, &extents);
    return extents.ascent + extents.descent;
}

double Font::ascender() const {
    Measurer m;
    selectInto(m.cr);
    cairo_font_extents_t extents;
    cairo_font_extents(m.cr, &extents);
    return extents.ascent;
}
