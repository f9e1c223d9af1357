#include "platform/ui/Geometry.h"

#include "platform/foundation/Format.h"

Rect AffineTransform::apply(const Rect& r) const {
    Point corners[] = {apply(Point{r.minX(), r.minY()}), apply(Point{r.maxX(), r.minY()}),
                       apply(Point{r.minX(), r.maxY()}), apply(Point{r.maxX(), r.maxY()})};
    double minX = corners[0].x, maxX = corners[0].x, minY = corners[0].y, maxY = corners[0].y;
    for (const auto& p : corners) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    return Rect(minX, minY, maxX - minX, maxY - minY);
}

std::string describe(const Point& p) {
    return stringWithFormat("{%g, %g}", p.x, p.y);
}
std::string describe(const Size& s) {
    return stringWithFormat("{%g, %g}", s.width, s.height);
}
std::string describe(const Rect& r) {
    return "{" + describe(r.origin) + ", " + describe(r.size) + "}";
}
