#include "app/cards/EmtpyTableViewImpersonatorView.h"

#include "platform/ui/GraphicsContext.h"

namespace {

bool intersects(const Rect& a, const Rect& b) {
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() && b.minY() < a.maxY();
}

}  // namespace

EmtpyTableViewImpersonatorView::EmtpyTableViewImpersonatorView(const Rect& frame) : View(frame) {}

EmtpyTableViewImpersonatorView::EmtpyTableViewImpersonatorView(const Coder& coder) : View(coder) {}

void EmtpyTableViewImpersonatorView::drawRect(const Rect& rect) {
    auto* context = GraphicsContext::current();
    if (!context) return;
    context->saveGState();
    context->setFillColor(Color::systemBackgroundColor());
    context->fillRect(rect);
    context->setFillColor(separatorColor_);
    const Rect own = bounds();
    double y = skipFirstSeparator_ ? rowHeight_ : 0;
    // A row height of 0 or less would never leave the loop: one line then.
    do {
        const Rect line(leftInset_, y, own.size.width - leftInset_, 0.5);
        if (intersects(line, rect)) context->fillRect(line);
        if (rowHeight_ <= 0) break;
        y += rowHeight_;
    } while (y < own.size.height);
    context->restoreGState();
}
