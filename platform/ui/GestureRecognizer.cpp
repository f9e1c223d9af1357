#include "platform/ui/GestureRecognizer.h"

#include <algorithm>

#include "platform/ui/View.h"

GestureRecognizer::GestureRecognizer(Action action) {
    addTarget(std::move(action));
}

std::uint64_t GestureRecognizer::addTarget(Action action) {
    targets_.push_back({nextTarget_, std::move(action)});
    return nextTarget_++;
}

void GestureRecognizer::removeTarget(std::uint64_t identifier) {
    targets_.erase(
        std::remove_if(targets_.begin(), targets_.end(), [&](const Target& t) { return t.identifier == identifier; }),
        targets_.end());
}

void GestureRecognizer::setState(GestureRecognizerState state) {
    state_ = state;
    if (state == GestureRecognizerState::Possible || state == GestureRecognizerState::Failed) return;
    auto keep = weak_from_this().lock();
    auto targets = targets_;
    for (auto& target : targets)
        if (target.action) target.action(*this);
}

Point GestureRecognizer::locationInView(const View* view) const {
    if (!view_) return location_;
    return view_->convertPointToView(location_, view);
}

Point PanGestureRecognizer::translationInView(const View*) const {
    return translation_;
}

void PanGestureRecognizer::setTranslation(Point translation, const View*) {
    translation_ = translation;
}

Point PanGestureRecognizer::velocityInView(const View*) const {
    return velocity_;
}
