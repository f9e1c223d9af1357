#include "platform/ui/Switch.h"

#include "platform/ui/GraphicsContext.h"

Switch::Switch() : Switch(Rect(0, 0, kSize.width, kSize.height)) {}

Switch::Switch(const Rect& frame) : Control(frame) {
    setOpaque(false);
}

Switch::Switch(const Coder& coder) : Switch(coder.frame) {}

void Switch::setOn(bool on, bool) {
    if (on == on_) return;
    on_ = on;
    setNeedsDisplay();
}

void Switch::setOnTintColor(std::optional<Color> color) {
    onTintColor_ = std::move(color);
    setNeedsDisplay();
}

void Switch::performTap() {
    if (!isEnabled()) return;
    auto keep = weak_from_this().lock();
    setOn(!on_, true);
    sendActionsForControlEvents(ControlEventValueChanged);
}

void Switch::drawRect(const Rect&) {
    GraphicsContext* context = GraphicsContext::current();
    if (!context) return;
    const Rect b = bounds();
    const double height = std::min(b.size.height, kSize.height);
    const Rect track(b.origin.x, b.origin.y + (b.size.height - height) / 2, std::min(b.size.width, kSize.width),
                     height);
    Path path;
    path.addRoundedRect(track, height / 2);
    context->setFillColor(on_ ? onTintColor_.value_or(Color::rgb(0x34C759)) : Color::white(0.9));
    context->fillPath(path);
    const double inset = 2;
    const double thumb = height - 2 * inset;
    const double x = on_ ? track.maxX() - inset - thumb : track.minX() + inset;
    context->setFillColor(Color::whiteColor());
    context->fillEllipseInRect(Rect(x, track.minY() + inset, thumb, thumb));
}
