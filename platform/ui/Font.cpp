#include "platform/ui/Font.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <map>
#include <mutex>
#include <set>
#include <tuple>
#include <unordered_map>

#include "platform/foundation/StringUtils.h"
#include "platform/ui/ScratchCairo.h"

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

namespace {

// The weight a font is drawn with: a thin face with the family's lightest
// installed weight.
PangoWeight weightOf(const Font& font) {
    return font.isBold()                           ? PANGO_WEIGHT_BOLD
           : stringContains(font.fontName(), "Thin") ? PANGO_WEIGHT_THIN
                                                     : PANGO_WEIGHT_NORMAL;
}

}  // namespace

PangoFontDescription* Font::pangoDescription() const {
    PangoFontDescription* description = pango_font_description_new();
    pango_font_description_set_family(description, cairoFamily().c_str());
    pango_font_description_set_weight(description, weightOf(*this));
    pango_font_description_set_absolute_size(description, size_ * PANGO_SCALE);
    return description;
}

PangoLayout* Font::layoutLine(cairo_t* cr, const std::string& text) const {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* description = pangoDescription();
    pango_layout_set_font_description(layout, description);
    pango_font_description_free(description);
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    return layout;
}

namespace {

// The font's ascent and descent, in points. Asking Pango shapes a sample
// text, so each family, weight and size is measured once.
std::pair<double, double> verticalMetrics(const Font& font) {
    static std::mutex mutex;
    static std::map<std::tuple<std::string, bool, double>, std::pair<double, double>> measured;
    auto key = std::make_tuple(font.cairoFamily(), font.isBold(), font.pointSize());
    {
        std::lock_guard lock(mutex);
        if (auto found = measured.find(key); found != measured.end()) return found->second;
    }
    ScratchCairo m;
    PangoLayout* layout = font.layoutLine(m.cr, "");
    PangoFontMetrics* metrics =
        pango_context_get_metrics(pango_layout_get_context(layout), pango_layout_get_font_description(layout), nullptr);
    const std::pair<double, double> result{double(pango_font_metrics_get_ascent(metrics)) / PANGO_SCALE,
                                           double(pango_font_metrics_get_descent(metrics)) / PANGO_SCALE};
    pango_font_metrics_unref(metrics);
    g_object_unref(layout);
    std::lock_guard lock(mutex);
    measured.emplace(std::move(key), result);
    return result;
}

}  // namespace

Size Font::sizeOfText(const std::string& text) const {
    // Laying a screen out measures the same few texts again and again (each
    // label, each time its table reloads), and Pango shapes the text each
    // time: the widths measured last are kept, by family, weight, size and
    // text. The fonts do not change while the program runs.
    static std::mutex mutex;
    static std::unordered_map<std::string, double> widths;
    constexpr std::size_t kMostKept = 4096;
    std::string key = cairoFamily();
    const PangoWeight weight = weightOf(*this);
    key.append(reinterpret_cast<const char*>(&weight), sizeof weight);
    key.append(reinterpret_cast<const char*>(&size_), sizeof size_);
    key += text;
    const double height = std::ceil(lineHeight());
    {
        std::lock_guard lock(mutex);
        if (auto found = widths.find(key); found != widths.end()) return {found->second, height};
    }
    ScratchCairo m;
    PangoLayout* layout = layoutLine(m.cr, text);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    g_object_unref(layout);
    const double width = std::ceil(double(logical.width) / PANGO_SCALE);
    std::lock_guard lock(mutex);
    if (widths.size() >= kMostKept) widths.clear();
    widths.emplace(std::move(key), width);
    return {width, height};
}

double Font::lineHeight() const {
    auto [ascent, descent] = verticalMetrics(*this);
    return ascent + descent;
}

double Font::ascender() const {
    return verticalMetrics(*this).first;
}
