#include "platform/ui/ProgressView.h"

#include <algorithm>

#include "platform/ui/GraphicsContext.h"

ProgressView::ProgressView(ProgressViewStyle style) : View(Rect(0, 0, 100, 4)), style_(style) {}

ProgressView::ProgressView(const Rect& frame) : View(frame) {}

ProgressView::ProgressView(const Coder& coder) : View(coder.frame) {}

void ProgressView::setProgress(float progress, bool) {
    progress_ = std::clamp(progress, 0.0f, 1.0f);
    setNeedsDisplay();
}

void ProgressView::setProgressTintColor(std::optional<Color> color) {
    progressTintColor_ = std::move(color);
    setNeedsDisplay();
}

void ProgressView::setTrackTintColor(std::optional<Color> color) {
    trackTintColor_ = std::move(color);
    setNeedsDisplay();
}

void ProgressView::drawRect(const Rect&) {
    auto* context = GraphicsContext::current();
    if (!context) return;
    const Rect b = bounds();
    context->setFillColor(trackTintColor_.value_or(Color(0.9, 0.9, 0.92)));
    context->fillRect(b);
    context->setFillColor(progressTintColor_.value_or(tintColor()));
    context->fillRect(Rect(b.origin.x, b.origin.y, b.size.width * progress_, b.size.height));
}
