#include "app/views/TableViewCellWithProgress.h"

#include "platform/ui/GraphicsContext.h"

void TableViewCellWithProgress::setProgress(double progress) {
    progress_ = progress;
    setNeedsDisplay();
}

void TableViewCellWithProgress::setProgressColor(std::optional<Color> color) {
    progressColor_ = std::move(color);
    setNeedsDisplay();
}

void TableViewCellWithProgress::drawRect(const Rect& rect) {
    TableViewCell::drawRect(rect);
    auto* context = GraphicsContext::current();
    if (!context || !progressColor_) return;
    const Rect b = bounds();
    context->setFillColor(*progressColor_);
    context->fillRect(
        Rect(b.minX() + b.size.width * (1 - progress_), b.minY(), b.size.width * progress_, b.size.height));
}
