#include "app/views/SelectionButton.h"

#include <cmath>

#include "platform/ui/GraphicsContext.h"

void SelectionButton::drawRect(const Rect&) {
    const Rect b = bounds();
    const double w = b.size.width, h = b.size.height;
    if (isSelected()) {
        setFillColor(tintColor());
        BezierPath::ovalInRect(b).fill();
        BezierPath tick;
        tick.moveTo({std::round(0.22 * w), std::round(0.55 * h)});
        tick.lineTo({std::round(0.36 * w), std::round(0.68 * h)});
        tick.lineTo({std::round(0.72 * w), std::round(0.32 * h)});
        tick.setLineWidth(1);
        tick.setLineCapStyle(LineCap::Square);
        setStrokeColor(Color::whiteColor());
        tick.stroke();
    } else {
        BezierPath ring = BezierPath::ovalInRect(b.insetBy(1, 1));
        ring.setLineWidth(1);
        setStrokeColor(Color::lightGrayColor());
        ring.stroke();
    }
}
