#include "app/views/FITriangleLabel.h"

#include "platform/ui/GraphicsContext.h"

void FITriangleLabel::drawRect(const Rect& rect) {
    if (auto* context = GraphicsContext::current()) {
        const Rect b = bounds();
        context->saveGState();
        Path triangle;
        triangle.moveTo({b.minX(), b.minY()});
        triangle.lineTo({b.maxX(), b.minY()});
        triangle.lineTo({b.maxX(), b.maxY()});
        triangle.closeSubpath();
        context->setFillColor(Color::blackColor().withAlphaComponent(0.4));
        context->fillPath(triangle);
        context->restoreGState();
    }
    Label::drawRect(rect);
}

void FITriangleLabel::drawTextInRect(const Rect& rect) {
    Label::drawTextInRect(rect.offsetBy(5, -4));
}
