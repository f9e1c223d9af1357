#include "platform/ui/AttributedTextDrawing.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/ScratchCairo.h"
#include "platform/ui/TraitCollection.h"

namespace {

// The stretches of [start, end) over which the attributes in force stay the
// same (runs may overlap; a later one wins where they do).
std::vector<std::pair<Range, AttributedString::Attributes>> segments(const AttributedString& text, std::size_t start,
                                                                     std::size_t end) {
    std::vector<std::size_t> cuts{start, end};
    for (const auto& run : text.runs())
        for (std::size_t at : {run.range.location, run.range.location + run.range.length})
            if (at > start && at < end) cuts.push_back(at);
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    std::vector<std::pair<Range, AttributedString::Attributes>> result;
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i)
        result.push_back({Range{cuts[i], cuts[i + 1] - cuts[i]}, text.attributesAtIndex(cuts[i])});
    return result;
}

guint16 channel(double value) {
    return static_cast<guint16>(std::lround(std::clamp(value, 0.0, 1.0) * 65535));
}

// The text of [start, end) as a Pango layout in the base font, each
// stretch in its own font and (where `alpha` is given, multiplied by it)
// colours. The caller releases it with g_object_unref.
PangoLayout* layoutOf(cairo_t* cr, const AttributedString& text, std::size_t start, std::size_t end, const Font& font,
                      std::optional<double> alpha) {
    PangoLayout* layout = font.layoutLine(cr, text.string().substr(start, end - start));
    PangoAttrList* list = pango_attr_list_new();
    auto add = [&](PangoAttribute* attribute, const Range& range) {
        attribute->start_index = static_cast<guint>(range.location - start);
        attribute->end_index = static_cast<guint>(range.location + range.length - start);
        pango_attr_list_insert(list, attribute);
    };
    for (const auto& [range, attributes] : segments(text, start, end)) {
        if (attributes.font) {
            PangoFontDescription* description = attributes.font->pangoDescription();
            add(pango_attr_font_desc_new(description), range);
            pango_font_description_free(description);
        }
        if (!alpha) continue;
        if (attributes.foregroundColor) {
            const Color c = attributes.foregroundColor->resolvedColor(TraitCollection::current());
            add(pango_attr_foreground_new(channel(c.red()), channel(c.green()), channel(c.blue())), range);
            add(pango_attr_foreground_alpha_new(std::max<guint16>(1, channel(c.alpha() * *alpha))), range);
        }
        if (attributes.backgroundColor) {
            const Color c = attributes.backgroundColor->resolvedColor(TraitCollection::current());
            add(pango_attr_background_new(channel(c.red()), channel(c.green()), channel(c.blue())), range);
            add(pango_attr_background_alpha_new(std::max<guint16>(1, channel(c.alpha() * *alpha))), range);
        }
    }
    pango_layout_set_attributes(layout, list);
    pango_attr_list_unref(list);
    return layout;
}

double advanceOf(PangoLayout* layout) {
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    return double(logical.width) / PANGO_SCALE;
}

// Measures one line: its width and the ascent and height of its fonts.
AttributedTextLine measureLine(cairo_t* cr, const AttributedString& text, std::size_t start, std::size_t end,
                               const Font& font) {
    AttributedTextLine line;
    line.range = Range{start, end - start};
    double descent = 0;
    auto take = [&](const Font& f) {
        line.ascent = std::max(line.ascent, f.ascender());
        descent = std::max(descent, f.lineHeight() - f.ascender());
    };
    const auto stretches = segments(text, start, end);
    if (stretches.empty()) take(start < text.string().size() ? text.attributesAtIndex(start).font.value_or(font) : font);
    for (const auto& [range, attributes] : stretches) take(attributes.font.value_or(font));
    line.height = line.ascent + descent;
    if (end > start) {
        PangoLayout* layout = layoutOf(cr, text, start, end, font, std::nullopt);
        line.width = std::ceil(advanceOf(layout));
        g_object_unref(layout);
    }
    return line;
}

// The text's underlines on one drawn line (its layout drawn at x, as wide as
// `width`, on the baseline), dotted where the style asks; `setColor` sets
// the colour they stroke in.
void drawUnderlines(cairo_t* cr_, const AttributedString& text, PangoLayout* layout, const Range& line, double x,
                    double width, double baseline, const Font& font, const Color& fill,
                    const std::function<void(const Color&)>& setColor) {
    const std::size_t start = line.location, end = line.location + line.length;
    for (const auto& run : text.underlineRuns()) {
        const std::size_t from = std::max(start, run.range.location);
        const std::size_t to = std::min(end, run.range.location + run.range.length);
        if (run.style == 0 || from >= to) continue;
        // Where the run's first and last characters lie on the line, as far
        // as the line shows.
        PangoRectangle first, last;
        pango_layout_index_to_pos(layout, static_cast<int>(from - start), &first);
        pango_layout_index_to_pos(layout, static_cast<int>(to - start), &last);
        double left = x + std::min(first.x, last.x) / double(PANGO_SCALE);
        double right = x + std::max(first.x, last.x) / double(PANGO_SCALE);
        if (to == end) right = x + advanceOf(layout);
        left = std::max(left, x);
        right = std::min(right, x + width);
        if (right <= left) continue;
        const Font runFont = text.attributesAtIndex(from).font.value_or(font);
        const double thickness = std::max(1.0, runFont.pointSize() / 14);
        const double at = baseline + std::max(1.5, runFont.pointSize() / 8) + thickness / 2;
        cairo_save(cr_);
        setColor(text.attributesAtIndex(from).foregroundColor.value_or(fill));
        cairo_set_line_width(cr_, thickness);
        if (run.style & AttributedString::UnderlinePatternDot) {
            const double dash[] = {thickness, thickness * 2};
            cairo_set_dash(cr_, dash, 2, 0);
        }
        cairo_move_to(cr_, left, at);
        cairo_line_to(cr_, right, at);
        cairo_stroke(cr_);
        cairo_restore(cr_);
    }
}

}  // namespace

std::vector<AttributedTextLine> attributedTextLines(const AttributedString& text, const Font& font, double maxWidth,
                                                    bool wraps) {
    ScratchCairo m;
    const std::string& string = text.string();
    std::vector<AttributedTextLine> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t found = string.find('\n', start);
        const std::size_t end = found == std::string::npos ? string.size() : found;
        std::vector<std::pair<std::size_t, std::size_t>> pieces;
        if (!wraps || maxWidth <= 0 || end == start) {
            pieces.push_back({start, end});
        } else {
            // Pango breaks the paragraph between words as its fonts need.
            PangoLayout* layout = layoutOf(m.cr, text, start, end, font, std::nullopt);
            pango_layout_set_width(layout, static_cast<int>(maxWidth * PANGO_SCALE));
            pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
            for (GSList* item = pango_layout_get_lines_readonly(layout); item; item = item->next) {
                const auto* line = static_cast<PangoLayoutLine*>(item->data);
                std::size_t from = start + static_cast<std::size_t>(line->start_index);
                std::size_t to = from + static_cast<std::size_t>(line->length);
                while (to > from && string[to - 1] == ' ') --to;
                pieces.push_back({from, to});
            }
            g_object_unref(layout);
        }
        for (const auto& [from, to] : pieces) lines.push_back(measureLine(m.cr, text, from, to, font));
        if (found == std::string::npos) break;
        start = found + 1;
    }
    return lines;
}

Size measureAttributedText(const AttributedString& text, const Font& font, double maxWidth, bool wraps) {
    double width = 0, height = 0;
    for (const auto& line : attributedTextLines(text, font, maxWidth, wraps)) {
        width = std::max(width, line.width);
        height += line.height;
    }
    return {width, std::ceil(height)};
}

bool hasStyledRuns(const AttributedString& text) {
    return std::any_of(text.runs().begin(), text.runs().end(),
                       [](const AttributedString::Run& run) {
                           return run.range.length > 0 && (run.attributes.font || run.attributes.foregroundColor ||
                                                            run.attributes.backgroundColor);
                       }) ||
           std::any_of(text.underlineRuns().begin(), text.underlineRuns().end(),
                       [](const AttributedString::UnderlineRun& run) { return run.range.length > 0 && run.style != 0; });
}

void GraphicsContext::drawAttributedText(const AttributedString& text, const Rect& rect, const Font& font,
                                         TextAlignment alignment, bool wraps,
                                         std::optional<TruncationPosition> truncation) {
    // Text without a colour of its own shows in the fill colour.
    applyColor(states_.back().fill);
    double y = rect.origin.y;
    for (const auto& line : attributedTextLines(text, font, rect.size.width, wraps)) {
        const std::size_t end = line.range.location + line.range.length;
        PangoLayout* layout = layoutOf(cr_, text, line.range.location, end, font, states_.back().alpha);
        if (truncation && line.width > rect.size.width && rect.size.width > 0) {
            pango_layout_set_width(layout, static_cast<int>(rect.size.width * PANGO_SCALE));
            pango_layout_set_ellipsize(layout, *truncation == TruncationPosition::Head     ? PANGO_ELLIPSIZE_START
                                               : *truncation == TruncationPosition::Middle ? PANGO_ELLIPSIZE_MIDDLE
                                                                                           : PANGO_ELLIPSIZE_END);
        }
        const double advance = std::min(advanceOf(layout), truncation ? rect.size.width : advanceOf(layout));
        double x = rect.origin.x;
        if (alignment == TextAlignment::Center) x += (rect.size.width - advance) / 2;
        if (alignment == TextAlignment::Right) x += rect.size.width - advance;
        // Pango places a layout by its top-left corner; the line's baseline goes at its ascent.
        cairo_move_to(cr_, x, y + line.ascent - double(pango_layout_get_baseline(layout)) / PANGO_SCALE);
        pango_cairo_show_layout(cr_, layout);
        drawUnderlines(cr_, text, layout, line.range, x, advance, y + line.ascent, font, states_.back().fill,
                       [this](const Color& color) { applyColor(color); });
        g_object_unref(layout);
        y += line.height;
    }
    cairo_new_path(cr_);
}

