#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Color.h"
#include "platform/ui/Font.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/TextTruncation.h"

typedef struct _cairo cairo_t;
class AttributedString;
class Image;

enum class LineCap { Butt, Round, Square };
enum class LineJoin { Miter, Round, Bevel };
enum class TextAlignment { Natural, Left, Center, Right, Justified };

// A path as the platform's drawing keeps it: a list of elements that tests can
// read back, appended to a cairo context when drawn. Angles are in radians,
// measured from the x axis towards y (downwards); `clockwise` is as it looks
// on the screen.
class Path {
public:
    struct Element {
        enum class Type { MoveTo, LineTo, CurveTo, Arc, Rect, Ellipse, Close };
        Type type = Type::MoveTo;
        std::vector<Point> points;  // MoveTo, LineTo: one; CurveTo: control 1, control 2, end
        Point center;               // Arc
        double radius = 0, startAngle = 0, endAngle = 0;
        bool clockwise = true;
        ::Rect rect;  // Rect, Ellipse
    };

    void moveTo(Point p);
    void lineTo(Point p);
    void curveTo(Point control1, Point control2, Point end);
    // An arc; with a current point, a line first joins it to the arc's start.
    void addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise);
    void addRect(const ::Rect& rect);
    void addEllipseInRect(const ::Rect& rect);
    // A rectangle with rounded corners (plain when the radius is 0).
    void addRoundedRect(const ::Rect& rect, double cornerRadius);
    void closeSubpath();

    const std::vector<Element>& elements() const { return elements_; }
    bool isEmpty() const { return elements_.empty(); }
    // The smallest rectangle holding every point of the path, control points excluded.
    ::Rect boundingBox() const;
    // The length of the path's outline.
    double length() const;

    // Adds the path to the context's current path.
    void appendTo(cairo_t* cr) const;
    // Adds the part of the outline from fraction `from` to `to` of its length
    // (how a shape layer strokes between strokeStart and strokeEnd).
    void appendSegmentTo(cairo_t* cr, double from, double to) const;

    static Path rect(const ::Rect& r);
    static Path ellipseInRect(const ::Rect& r);

    bool operator==(const Path& other) const;

private:
    std::vector<Element> elements_;
};

// A drawing target backed by a cairo context (the platform's graphics context).
// Colours are resolved against the current traits when they are set. The
// context keeps a stack of states (colours, line attributes, alpha, clip,
// transform) alongside cairo's own.
class GraphicsContext {
public:
    // Draws into `cr`, which stays owned by the caller.
    explicit GraphicsContext(cairo_t* cr);
    ~GraphicsContext();
    GraphicsContext(const GraphicsContext&) = delete;
    GraphicsContext& operator=(const GraphicsContext&) = delete;

    cairo_t* cairo() const { return cr_; }

    // The context views draw into (drawRect), while one is current.
    static GraphicsContext* current();
    // Makes a context current for its lifetime.
    class Scope {
    public:
        explicit Scope(GraphicsContext& context);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        GraphicsContext* previous_;
    };

    void saveGState();
    void restoreGState();
    void translate(double dx, double dy);
    void scale(double sx, double sy);
    void concat(const AffineTransform& t);
    void clipToRect(const Rect& rect);
    void clipToPath(const Path& path);

    void setFillColor(const Color& color);
    void setStrokeColor(const Color& color);
    void setAlpha(double alpha);
    void setLineWidth(double width);
    void setLineCap(LineCap cap);
    void setLineJoin(LineJoin join);
    void setLineDash(double phase, const std::vector<double>& lengths);

    void fillPath(const Path& path, bool evenOdd = false);
    void strokePath(const Path& path);
    // Strokes the part of the outline from fraction `from` to `to` of its length.
    void strokePath(const Path& path, double from, double to);
    void fillRect(const Rect& rect);
    void strokeRect(const Rect& rect);
    void fillEllipseInRect(const Rect& rect);
    void strokeEllipseInRect(const Rect& rect);
    // Fills the current clip with a linear gradient between two points.
    void drawLinearGradient(const std::vector<Color>& colors, const std::vector<double>& locations, Point start,
                            Point end);
    // Draws an image scaled into the rectangle; a template image is drawn as
    // its shape filled with the tint colour.
    void drawImage(const Image& image, const Rect& rect, const std::optional<Color>& tint = std::nullopt);
    // Draws text from the top of the rectangle in the fill colour: lines break
    // at "\n" and, when `wraps`, at spaces before the rectangle's width.
    void drawText(const std::string& text, const Rect& rect, const Font& font, TextAlignment alignment,
                  bool wraps = false);
    // Draws attributed text as drawText does, each run in its own font and
    // colours (text a run leaves plain in `font` and the fill colour); with a
    // truncation, a line wider than the rectangle ends in an ellipsis where
    // it says. (AttributedTextDrawing.cpp)
    void drawAttributedText(const AttributedString& text, const Rect& rect, const Font& font, TextAlignment alignment,
                            bool wraps = false, std::optional<TruncationPosition> truncation = std::nullopt);

private:
    struct State {
        Color fill = Color::blackColor();
        Color stroke = Color::blackColor();
        double alpha = 1;
    };
    void applyColor(const Color& color);

    cairo_t* cr_;
    std::vector<State> states_;
};

// Measures the lines drawText makes of a text.
Size measureText(const std::string& text, const Font& font, double maxWidth, bool wraps);

// The platform's bezier path: a path with its own line attributes, filled or
// stroked into the current context.
class BezierPath {
public:
    BezierPath() = default;
    explicit BezierPath(Path path) : path_(std::move(path)) {}
    static BezierPath ovalInRect(const Rect& rect) { return BezierPath(Path::ellipseInRect(rect)); }
    static BezierPath rect(const Rect& r) { return BezierPath(Path::rect(r)); }

    Path& path() { return path_; }
    const Path& path() const { return path_; }
    void moveTo(Point p) { path_.moveTo(p); }
    void lineTo(Point p) { path_.lineTo(p); }
    void closePath() { path_.closeSubpath(); }

    double lineWidth() const { return lineWidth_; }
    void setLineWidth(double width) { lineWidth_ = width; }
    LineCap lineCapStyle() const { return lineCap_; }
    void setLineCapStyle(LineCap cap) { lineCap_ = cap; }
    LineJoin lineJoinStyle() const { return lineJoin_; }
    void setLineJoinStyle(LineJoin join) { lineJoin_ = join; }

    // Into the current context, in its fill or stroke colour; nothing without one.
    void fill() const;
    void stroke() const;

private:
    Path path_;
    double lineWidth_ = 1;
    LineCap lineCap_ = LineCap::Butt;
    LineJoin lineJoin_ = LineJoin::Miter;
};

// Sets the current context's fill or stroke colour (the platform's
// [color setFill] and [color setStroke]).
void setFillColor(const Color& color);
void setStrokeColor(const Color& color);
