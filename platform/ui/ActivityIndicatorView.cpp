#include "platform/ui/ActivityIndicatorView.h"

#include <cmath>

#include "platform/foundation/RunLoop.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/LiveAnimation.h"

namespace {

constexpr int kSpokes = 8;
// A turn of the spokes takes kSpokes steps of this many seconds.
constexpr double kStepInterval = 0.1;

}  // namespace

ActivityIndicatorView::ActivityIndicatorView(ActivityIndicatorViewStyle style)
    : View(Rect(0, 0, 20, 20)), style_(style) {
    setHidden(true);
}

ActivityIndicatorView::ActivityIndicatorView(const Coder& coder)
    : View(coder.frame), style_(ActivityIndicatorViewStyle::White) {
    setHidden(true);
}

Color ActivityIndicatorView::color() const {
    if (color_) return *color_;
    if (style_ == ActivityIndicatorViewStyle::White || style_ == ActivityIndicatorViewStyle::WhiteLarge)
        return Color::whiteColor();
    return Color::grayColor();
}

void ActivityIndicatorView::setHidesWhenStopped(bool hides) {
    hidesWhenStopped_ = hides;
    if (!animating_) setHidden(hides);
}

ActivityIndicatorView::~ActivityIndicatorView() {
    if (spin_) spin_->invalidate();
}

void ActivityIndicatorView::startAnimating() {
    animating_ = true;
    setHidden(false);
    if (spin_ || !LiveAnimation::isEnabled()) return;
    std::weak_ptr<View> weak = weak_from_this();
    spin_ = Timer::scheduledTimer(kStepInterval, true, [weak](Timer&) {
        auto self = std::static_pointer_cast<ActivityIndicatorView>(weak.lock());
        if (!self || !self->window()) return;
        self->step_ = (self->step_ + 1) % kSpokes;
        self->setNeedsDisplay();
    });
}

void ActivityIndicatorView::stopAnimating() {
    animating_ = false;
    if (spin_) spin_->invalidate();
    spin_.reset();
    if (hidesWhenStopped_) setHidden(true);
}

Size ActivityIndicatorView::intrinsicContentSize() const {
    bool large = style_ == ActivityIndicatorViewStyle::WhiteLarge || style_ == ActivityIndicatorViewStyle::Large;
    return large ? Size{37, 37} : Size{20, 20};
}

void ActivityIndicatorView::drawRect(const Rect&) {
    auto* context = GraphicsContext::current();
    if (!context) return;
    // Eight spokes around the centre, fading as they go round.
    const Rect b = bounds();
    const Size s = intrinsicContentSize();
    const double outer = std::min(s.width, s.height) / 2, inner = outer / 2;
    context->setLineWidth(outer / 5);
    context->setLineCap(LineCap::Round);
    for (int i = 0; i < kSpokes; ++i) {
        const double angle = (i + step_) * 2 * M_PI / kSpokes;
        Path spoke;
        spoke.moveTo({b.midX() + inner * std::cos(angle), b.midY() + inner * std::sin(angle)});
        spoke.lineTo({b.midX() + outer * std::cos(angle), b.midY() + outer * std::sin(angle)});
        context->setStrokeColor(color().withAlphaComponent(0.3 + 0.7 * i / 7.0));
        context->strokePath(spoke);
    }
}
