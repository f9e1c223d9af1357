#include "platform/ui/PathAnimation.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

Point mix(Point a, Point b, double t) {
    return Point{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

}  // namespace

void KeyframePathAnimation::addQuadCurve(Path& path, Point from, Point control, Point end) {
    path.curveTo(mix(from, control, 2.0 / 3.0), mix(end, control, 2.0 / 3.0), end);
}

std::optional<Point> KeyframePathAnimation::pointAtFraction(double fraction) const {
    // The segments as (start, element) pairs.
    struct Segment {
        Point start;
        const Path::Element* element;
    };
    std::vector<Segment> segments;
    std::optional<Point> current;
    for (const auto& element : path_.elements()) {
        using Type = Path::Element::Type;
        if (element.type == Type::MoveTo && !element.points.empty()) {
            current = element.points[0];
        } else if ((element.type == Type::LineTo || element.type == Type::CurveTo) && !element.points.empty()) {
            const Point start = current.value_or(element.points[0]);
            segments.push_back({start, &element});
            current = element.points.back();
        }
    }
    if (segments.empty()) return current;
    const double clamped = std::clamp(fraction, 0.0, 1.0);
    const double scaled = clamped * static_cast<double>(segments.size());
    const std::size_t index = std::min(segments.size() - 1, static_cast<std::size_t>(std::floor(scaled)));
    const double t = scaled - static_cast<double>(index);
    const Segment& s = segments[index];
    const auto& p = s.element->points;
    if (s.element->type == Path::Element::Type::LineTo) return mix(s.start, p[0], t);
    // Cubic Bézier: start, p[0], p[1], p[2].
    const double u = 1 - t;
    const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    return Point{a * s.start.x + b * p[0].x + c * p[1].x + d * p[2].x,
                 a * s.start.y + b * p[0].y + c * p[1].y + d * p[2].y};
}

void KeyframePathAnimation::applyActive(const std::string&, double t, const std::optional<AnimationValue>&,
                                        std::optional<AnimationValue>& value) const {
    if (auto point = pointAtFraction(easedFraction(t))) value = *point;
}
