#include "platform/ui/Control.h"

#include <algorithm>

void Control::setEnabled(bool enabled) {
    enabled_ = enabled;
    setNeedsDisplay();
}

void Control::setSelected(bool selected) {
    selected_ = selected;
    setNeedsDisplay();
}

void Control::setHighlighted(bool highlighted) {
    highlighted_ = highlighted;
    setNeedsDisplay();
}

unsigned Control::state() const {
    unsigned s = ControlStateNormal;
    if (highlighted_) s |= ControlStateHighlighted;
    if (!enabled_) s |= ControlStateDisabled;
    if (selected_) s |= ControlStateSelected;
    return s;
}

std::uint64_t Control::addTarget(Action action, unsigned events) {
    targets_.push_back({nextTarget_, std::move(action), events});
    return nextTarget_++;
}

void Control::removeTarget(std::uint64_t identifier) {
    targets_.erase(
        std::remove_if(targets_.begin(), targets_.end(), [&](const Target& t) { return t.identifier == identifier; }),
        targets_.end());
}

void Control::sendActionsForControlEvents(unsigned events) {
    auto keep = weak_from_this().lock();
    auto targets = targets_;
    for (auto& target : targets)
        if ((target.events & events) && target.action) target.action(*this);
}

void Control::performTap() {
    if (!enabled_) return;
    setHighlighted(true);
    sendActionsForControlEvents(ControlEventTouchDown);
    setHighlighted(false);
    sendActionsForControlEvents(ControlEventTouchUpInside | ControlEventPrimaryActionTriggered);
}
