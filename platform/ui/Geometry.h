#pragma once

#include <algorithm>
#include <cmath>
#include <string>

// The platform's geometry: points, sizes, rectangles, edge insets and affine
// transforms, in points with y growing downwards.

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    Point origin;
    Size size;

    constexpr Rect() = default;
    constexpr Rect(Point o, Size s) : origin(o), size(s) {}
    constexpr Rect(double x, double y, double width, double height) : origin{x, y}, size{width, height} {}

    static constexpr Rect zero() { return Rect(); }

    double minX() const { return std::min(origin.x, origin.x + size.width); }
    double maxX() const { return std::max(origin.x, origin.x + size.width); }
    double midX() const { return origin.x + size.width / 2; }
    double minY() const { return std::min(origin.y, origin.y + size.height); }
    double maxY() const { return std::max(origin.y, origin.y + size.height); }
    double midY() const { return origin.y + size.height / 2; }
    double width() const { return std::abs(size.width); }
    double height() const { return std::abs(size.height); }
    Point center() const { return {midX(), midY()}; }

    bool isEmpty() const { return size.width == 0 || size.height == 0; }
    // Whether the point lies inside; the maximum edges are outside, as on the platform.
    bool contains(Point p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }
    Rect insetBy(double dx, double dy) const {
        return Rect(minX() + dx, minY() + dy, width() - 2 * dx, height() - 2 * dy);
    }
    Rect offsetBy(double dx, double dy) const { return Rect(origin.x + dx, origin.y + dy, size.width, size.height); }

    bool operator==(const Rect&) const = default;
};

struct EdgeInsets {
    double top = 0;
    double left = 0;
    double bottom = 0;
    double right = 0;
    bool operator==(const EdgeInsets&) const = default;
};

inline Rect insetRect(const Rect& r, const EdgeInsets& i) {
    return Rect(r.origin.x + i.left, r.origin.y + i.top, r.size.width - i.left - i.right,
                r.size.height - i.top - i.bottom);
}

// x' = a x + c y + tx, y' = b x + d y + ty.
struct AffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    static AffineTransform identity() { return {}; }
    static AffineTransform translation(double x, double y) { return {1, 0, 0, 1, x, y}; }
    static AffineTransform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static AffineTransform rotation(double angle) {
        return {std::cos(angle), std::sin(angle), -std::sin(angle), std::cos(angle), 0, 0};
    }

    bool isIdentity() const { return *this == AffineTransform{}; }
    // This transform followed by `t`.
    AffineTransform concatenating(const AffineTransform& t) const {
        return {a * t.a + b * t.c, a * t.b + b * t.d,          c * t.a + d * t.c,
                c * t.b + d * t.d, tx * t.a + ty * t.c + t.tx, tx * t.b + ty * t.d + t.ty};
    }
    AffineTransform inverted() const {
        double det = a * d - b * c;
        if (det == 0) return *this;
        return {d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det};
    }
    Point apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    // The bounding box of the transformed rectangle.
    Rect apply(const Rect& r) const;

    bool operator==(const AffineTransform&) const = default;
};

std::string describe(const Point& p);
std::string describe(const Size& s);
std::string describe(const Rect& r);
