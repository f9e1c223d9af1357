#include "platform/ui/GraphicsContext.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <cmath>

#include "platform/ui/Image.h"
#include "platform/ui/ScratchCairo.h"

namespace {

thread_local GraphicsContext* currentContext = nullptr;

struct Segment {
    Point from, to;
    bool startsSubpath;
};

// The path as straight segments.
std::vector<Segment> flatten(const Path& path) {
    ScratchCairo scratch;
    path.appendTo(scratch.cr);
    cairo_path_t* flat = cairo_copy_path_flat(scratch.cr);
    std::vector<Segment> segments;
    Point current, subpathStart;
    bool newSubpath = true;
    for (int i = 0; i < flat->num_data; i += flat->data[i].header.length) {
        const cairo_path_data_t* data = &flat->data[i];
        switch (data->header.type) {
            case CAIRO_PATH_MOVE_TO:
                current = subpathStart = {data[1].point.x, data[1].point.y};
                newSubpath = true;
                break;
            case CAIRO_PATH_LINE_TO: {
                Point next{data[1].point.x, data[1].point.y};
                segments.push_back({current, next, newSubpath});
                newSubpath = false;
                current = next;
                break;
            }
            case CAIRO_PATH_CLOSE_PATH:
                if (current != subpathStart) segments.push_back({current, subpathStart, newSubpath});
                newSubpath = false;
                current = subpathStart;
                break;
            case CAIRO_PATH_CURVE_TO:  // not produced by a flat copy
                break;
        }
    }
    cairo_path_destroy(flat);
    return segments;
}

double segmentLength(const Segment& s) {
    return std::hypot(s.to.x - s.from.x, s.to.y - s.from.y);
}

Point lerp(Point a, Point b, double t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

std::vector<std::string> splitLines(const std::string& text, const Font& font, double maxWidth, bool wraps) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find('\n', start);
        std::string paragraph = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!wraps || maxWidth <= 0) {
            lines.push_back(paragraph);
        } else {
            std::string line;
            std::size_t pos = 0;
            while (pos <= paragraph.size()) {
                std::size_t space = paragraph.find(' ', pos);
                std::string word = paragraph.substr(pos, space == std::string::npos ? std::string::npos : space - pos);
                std::string candidate = line.empty() ? word : line + " " + word;
                if (!line.empty() && font.sizeOfText(candidate).width > maxWidth) {
                    lines.push_back(line);
                    line = word;
                } else {
                    line = candidate;
                }
                if (space == std::string::npos) break;
                pos = space + 1;
            }
            lines.push_back(line);
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

}  // namespace

// --- Path ---

namespace {
Path::Element element(Path::Element::Type type, std::vector<Point> points = {}) {
    Path::Element e;
    e.type = type;
    e.points = std::move(points);
    return e;
}
}  // namespace

void Path::moveTo(Point p) {
    elements_.push_back(element(Element::Type::MoveTo, {p}));
}
void Path::lineTo(Point p) {
    elements_.push_back(element(Element::Type::LineTo, {p}));
}
void Path::curveTo(Point c1, Point c2, Point end) {
    elements_.push_back(element(Element::Type::CurveTo, {c1, c2, end}));
}

void Path::addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise) {
    Element e;
    e.type = Element::Type::Arc;
    e.center = center;
    e.radius = radius;
    e.startAngle = startAngle;
    e.endAngle = endAngle;
    e.clockwise = clockwise;
    elements_.push_back(e);
}

void Path::addRect(const ::Rect& rect) {
    Element e;
    e.type = Element::Type::Rect;
    e.rect = rect;
    elements_.push_back(e);
}

void Path::addEllipseInRect(const ::Rect& rect) {
    Element e;
    e.type = Element::Type::Ellipse;
    e.rect = rect;
    elements_.push_back(e);
}

void Path::addRoundedRect(const ::Rect& rect, double r) {
    if (r <= 0) {
        addRect(rect);
        return;
    }
    r = std::min({r, rect.width() / 2, rect.height() / 2});
    const double pi = M_PI;
    moveTo({rect.minX() + r, rect.minY()});
    addArc({rect.maxX() - r, rect.minY() + r}, r, -pi / 2, 0, true);
    addArc({rect.maxX() - r, rect.maxY() - r}, r, 0, pi / 2, true);
    addArc({rect.minX() + r, rect.maxY() - r}, r, pi / 2, pi, true);
    addArc({rect.minX() + r, rect.minY() + r}, r, pi, 3 * pi / 2, true);
    closeSubpath();
}

void Path::closeSubpath() {
    elements_.push_back(element(Element::Type::Close));
}

Path Path::rect(const ::Rect& r) {
    Path p;
    p.addRect(r);
    return p;
}

Path Path::ellipseInRect(const ::Rect& r) {
    Path p;
    p.addEllipseInRect(r);
    return p;
}

::Rect Path::boundingBox() const {
    if (elements_.empty()) return ::Rect();
    ScratchCairo scratch;
    appendTo(scratch.cr);
    double x1, y1, x2, y2;
    cairo_path_extents(scratch.cr, &x1, &y1, &x2, &y2);
    return ::Rect(x1, y1, x2 - x1, y2 - y1);
}

double Path::length() const {
    double total = 0;
    for (const auto& s : flatten(*this)) total += segmentLength(s);
    return total;
}

void Path::appendTo(cairo_t* cr) const {
    for (const auto& e : elements_) {
        switch (e.type) {
            case Element::Type::MoveTo:
                cairo_move_to(cr, e.points[0].x, e.points[0].y);
                break;
            case Element::Type::LineTo:
                cairo_line_to(cr, e.points[0].x, e.points[0].y);
                break;
            case Element::Type::CurveTo:
                cairo_curve_to(cr, e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y, e.points[2].x,
                               e.points[2].y);
                break;
            case Element::Type::Arc:
                // With y downwards, cairo's increasing angles turn clockwise on screen.
                if (e.clockwise)
                    cairo_arc(cr, e.center.x, e.center.y, e.radius, e.startAngle, e.endAngle);
                else
                    cairo_arc_negative(cr, e.center.x, e.center.y, e.radius, e.startAngle, e.endAngle);
                break;
            case Element::Type::Rect:
                cairo_rectangle(cr, e.rect.origin.x, e.rect.origin.y, e.rect.size.width, e.rect.size.height);
                break;
            case Element::Type::Ellipse: {
                if (e.rect.width() <= 0 || e.rect.height() <= 0) break;
                cairo_save(cr);
                cairo_translate(cr, e.rect.midX(), e.rect.midY());
                cairo_scale(cr, e.rect.width() / 2, e.rect.height() / 2);
                cairo_new_sub_path(cr);
                cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
                cairo_close_path(cr);
                cairo_restore(cr);
                break;
            }
            case Element::Type::Close:
                cairo_close_path(cr);
                break;
        }
    }
}

void Path::appendSegmentTo(cairo_t* cr, double from, double to) const {
    auto segments = flatten(*this);
    double total = 0;
    for (const auto& s : segments) total += segmentLength(s);
    from = std::clamp(from, 0.0, 1.0) * total;
    to = std::clamp(to, 0.0, 1.0) * total;
    if (to <= from) return;
    double at = 0;
    bool drawing = false;
    Point last;
    for (const auto& s : segments) {
        double length = segmentLength(s);
        double segStart = at, segEnd = at + length;
        at = segEnd;
        if (segEnd < from || segStart > to || length == 0) continue;
        Point a = lerp(s.from, s.to, std::max(0.0, (from - segStart) / length));
        Point b = lerp(s.from, s.to, std::min(1.0, (to - segStart) / length));
        if (!drawing || s.startsSubpath || a != last) cairo_move_to(cr, a.x, a.y);
        cairo_line_to(cr, b.x, b.y);
        drawing = true;
        last = b;
    }
}

bool Path::operator==(const Path& other) const {
    if (elements_.size() != other.elements_.size()) return false;
    for (std::size_t i = 0; i < elements_.size(); ++i) {
        const auto &a = elements_[i], &b = other.elements_[i];
        if (a.type != b.type || a.points != b.points || a.center != b.center || a.radius != b.radius ||
            a.startAngle != b.startAngle || a.endAngle != b.endAngle || a.clockwise != b.clockwise || a.rect != b.rect)
            return false;
    }
    return true;
}

// --- GraphicsContext ---

GraphicsContext::GraphicsContext(cairo_t* cr) : cr_(cr), states_(1) {}

GraphicsContext::~GraphicsContext() = default;

GraphicsContext* GraphicsContext::current() {
    return currentContext;
}

GraphicsContext::Scope::Scope(GraphicsContext& context) : previous_(currentContext) {
    currentContext = &context;
}

GraphicsContext::Scope::~Scope() {
    currentContext = previous_;
}

void GraphicsContext::saveGState() {
    cairo_save(cr_);
    states_.push_back(states_.back());
}

void GraphicsContext::restoreGState() {
    if (states_.size() <= 1) return;
    cairo_restore(cr_);
    states_.pop_back();
}

void GraphicsContext::translate(double dx, double dy) {
    cairo_translate(cr_, dx, dy);
}
void GraphicsContext::scale(double sx, double sy) {
    cairo_scale(cr_, sx, sy);
}

void GraphicsContext::concat(const AffineTransform& t) {
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    cairo_transform(cr_, &m);
}

void GraphicsContext::clipToRect(const Rect& rect) {
    cairo_new_path(cr_);
    cairo_rectangle(cr_, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_clip(cr_);
}

void GraphicsContext::clipToPath(const Path& path) {
    cairo_new_path(cr_);
    path.appendTo(cr_);
    cairo_clip(cr_);
}

void GraphicsContext::setFillColor(const Color& color) {
    states_.back().fill = color.resolvedColor(TraitCollection::current());
}

void GraphicsContext::setStrokeColor(const Color& color) {
    states_.back().stroke = color.resolvedColor(TraitCollection::current());
}

void GraphicsContext::setAlpha(double alpha) {
    states_.back().alpha = alpha;
}
void GraphicsContext::setLineWidth(double width) {
    cairo_set_line_width(cr_, width);
}

void GraphicsContext::setLineCap(LineCap cap) {
    cairo_set_line_cap(cr_, cap == LineCap::Round    ? CAIRO_LINE_CAP_ROUND
                            : cap == LineCap::Square ? CAIRO_LINE_CAP_SQUARE
                                                     : CAIRO_LINE_CAP_BUTT);
}

void GraphicsContext::setLineJoin(LineJoin join) {
    cairo_set_line_join(cr_, join == LineJoin::Round   ? CAIRO_LINE_JOIN_ROUND
                             : join == LineJoin::Bevel ? CAIRO_LINE_JOIN_BEVEL
                                                       : CAIRO_LINE_JOIN_MITER);
}

void GraphicsContext::setLineDash(double phase, const std::vector<double>& lengths) {
    cairo_set_dash(cr_, lengths.empty() ? nullptr : lengths.data(), static_cast<int>(lengths.size()), phase);
}

void GraphicsContext::applyColor(const Color& color) {
    Color c = color.resolvedColor(TraitCollection::current());
    cairo_set_source_rgba(cr_, c.red(), c.green(), c.blue(), c.alpha() * states_.back().alpha);
}

void GraphicsContext::fillPath(const Path& path, bool evenOdd) {
    cairo_new_path(cr_);
    path.appendTo(cr_);
    cairo_set_fill_rule(cr_, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    applyColor(states_.back().fill);
    cairo_fill(cr_);
}

void GraphicsContext::strokePath(const Path& path) {
    cairo_new_path(cr_);
    path.appendTo(cr_);
    applyColor(states_.back().stroke);
    cairo_stroke(cr_);
}

void GraphicsContext::strokePath(const Path& path, double from, double to) {
    if (from <= 0 && to >= 1) {
        strokePath(path);
        return;
    }
    cairo_new_path(cr_);
    path.appendSegmentTo(cr_, from, to);
    applyColor(states_.back().stroke);
    cairo_stroke(cr_);
}

void GraphicsContext::fillRect(const Rect& rect) {
    fillPath(Path::rect(rect));
}
void GraphicsContext::strokeRect(const Rect& rect) {
    strokePath(Path::rect(rect));
}
void GraphicsContext::fillEllipseInRect(const Rect& rect) {
    fillPath(Path::ellipseInRect(rect));
}
void GraphicsContext::strokeEllipseInRect(const Rect& rect) {
    strokePath(Path::ellipseInRect(rect));
}

void GraphicsContext::drawLinearGradient(const std::vector<Color>& colors, const std::vector<double>& locations,
                                         Point start, Point end) {
    if (colors.empty()) return;
    cairo_pattern_t* pattern = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
    for (std::size_t i = 0; i < colors.size(); ++i) {
        double at = i < locations.size() ? locations[i]
                    : colors.size() == 1 ? 0
                                         : static_cast<double>(i) / static_cast<double>(colors.size() - 1);
        Color c = colors[i].resolvedColor(TraitCollection::current());
        cairo_pattern_add_color_stop_rgba(pattern, at, c.red(), c.green(), c.blue(), c.alpha());
    }
    cairo_set_source(cr_, pattern);
    cairo_paint_with_alpha(cr_, states_.back().alpha);
    cairo_pattern_destroy(pattern);
}

void GraphicsContext::drawImage(const Image& image, const Rect& rect, const std::optional<Color>& tint) {
    if (image.pixelWidth() <= 0 || image.pixelHeight() <= 0 || rect.isEmpty()) return;
    cairo_save(cr_);
    cairo_translate(cr_, rect.origin.x, rect.origin.y);
    cairo_scale(cr_, rect.size.width / image.pixelWidth(), rect.size.height / image.pixelHeight());
    if (image.renderingMode() == ImageRenderingMode::AlwaysTemplate && tint) {
        applyColor(*tint);
        cairo_mask_surface(cr_, image.surface(), 0, 0);
    } else {
        cairo_set_source_surface(cr_, image.surface(), 0, 0);
        cairo_paint_with_alpha(cr_, states_.back().alpha);
    }
    cairo_restore(cr_);
}

void GraphicsContext::drawText(const std::string& text, const Rect& rect, const Font& font, TextAlignment alignment,
                               bool wraps) {
    const double ascent = font.ascender();
    const double lineHeight = font.lineHeight();
    double y = rect.origin.y + ascent;
    applyColor(states_.back().fill);
    for (const auto& line : splitLines(text, font, rect.size.width, wraps)) {
        PangoLayout* layout = font.layoutLine(cr_, line);
        PangoRectangle logical;
        pango_layout_get_extents(layout, nullptr, &logical);
        const double advance = double(logical.width) / PANGO_SCALE;
        double x = rect.origin.x;
        if (alignment == TextAlignment::Center) x += (rect.size.width - advance) / 2;
        if (alignment == TextAlignment::Right) x += rect.size.width - advance;
        // Pango places a layout by its top-left corner; the line's baseline goes at y.
        cairo_move_to(cr_, x, y - double(pango_layout_get_baseline(layout)) / PANGO_SCALE);
        pango_cairo_show_layout(cr_, layout);
        g_object_unref(layout);
        y += lineHeight;
    }
    cairo_new_path(cr_);
}

Size measureText(const std::string& text, const Font& font, double maxWidth, bool wraps) {
    auto lines = splitLines(text, font, maxWidth, wraps);
    double width = 0;
    for (const auto& line : lines) width = std::max(width, font.sizeOfText(line).width);
    return {width, std::ceil(font.lineHeight() * static_cast<double>(lines.size()))};
}

// --- BezierPath ---

void BezierPath::fill() const {
    if (auto* context = GraphicsContext::current()) context->fillPath(path_);
}

void BezierPath::stroke() const {
    auto* context = GraphicsContext::current();
    if (!context) return;
    context->saveGState();
    context->setLineWidth(lineWidth_);
    context->setLineCap(lineCap_);
    context->setLineJoin(lineJoin_);
    context->strokePath(path_);
    context->restoreGState();
}

void setFillColor(const Color& color) {
    if (auto* context = GraphicsContext::current()) context->setFillColor(color);
}

void setStrokeColor(const Color& color) {
    if (auto* context = GraphicsContext::current()) context->setStrokeColor(color);
}
