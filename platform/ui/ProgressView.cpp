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
    // A rounded track, the progress filling it from the leading end.
    const Rect b = bounds();
    const double radius = b.size.height / 2;
    Path track;
    track.addRoundedRect(b, radius);
    context->setFillColor(trackTintColor_.value_or(Color::dynamic(Color::rgb(0xE5E5EA), Color::rgb(0x3A3A3C))));
    context->fillPath(track);
    if (progress_ <= 0) return;
    Path done;
    done.addRoundedRect(Rect(b.origin.x, b.origin.y, std::max(b.size.height, b.size.width * progress_), b.size.height),
                        radius);
    context->setFillColor(progressTintColor_.value_or(tintColor()));
    context->fillPath(done);
}
