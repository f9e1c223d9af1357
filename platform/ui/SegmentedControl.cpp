#include "platform/ui/SegmentedControl.h"

#include <algorithm>

#include "platform/ui/GraphicsContext.h"

SegmentedControl::SegmentedControl(std::vector<std::string> titles) : titles_(std::move(titles)) {}

std::optional<std::string> SegmentedControl::titleForSegmentAtIndex(std::int64_t index) const {
    if (index < 0 || index >= numberOfSegments()) return std::nullopt;
    return titles_[static_cast<std::size_t>(index)];
}

void SegmentedControl::setTitle(std::string title, std::int64_t index) {
    if (index < 0 || index >= numberOfSegments()) return;
    titles_[static_cast<std::size_t>(index)] = std::move(title);
    setNeedsDisplay();
}

void SegmentedControl::insertSegmentWithTitle(std::string title, std::int64_t index) {
    const auto at = static_cast<std::size_t>(std::clamp<std::int64_t>(index, 0, numberOfSegments()));
    titles_.insert(titles_.begin() + static_cast<std::ptrdiff_t>(at), std::move(title));
    if (selected_ != kNoSegment && selected_ >= static_cast<std::int64_t>(at)) ++selected_;
    setNeedsDisplay();
}

void SegmentedControl::setSelectedSegmentIndex(std::int64_t index) {
    selected_ = (index < 0 || index >= numberOfSegments()) ? kNoSegment : index;
    setNeedsDisplay();
}

bool SegmentedControl::userSelectSegment(std::int64_t index) {
    if (!isEnabled() || index < 0 || index >= numberOfSegments()) return false;
    auto keep = weak_from_this().lock();
    setSelectedSegmentIndex(index);
    sendActionsForControlEvents(ControlEventValueChanged);
    return true;
}

std::int64_t SegmentedControl::segmentIndexAtPoint(Point point) const {
    const Rect b = bounds();
    if (titles_.empty() || b.size.width <= 0 || point.x < b.origin.x || point.x >= b.origin.x + b.size.width)
        return kNoSegment;
    const double width = b.size.width / static_cast<double>(titles_.size());
    return std::min(numberOfSegments() - 1, static_cast<std::int64_t>((point.x - b.origin.x) / width));
}

void SegmentedControl::performTapAtPoint(Point point) {
    userSelectSegment(segmentIndexAtPoint(point));
}

void SegmentedControl::drawRect(const Rect&) {
    auto* context = GraphicsContext::current();
    if (!context || titles_.empty()) return;
    const Rect b = bounds();
    const double width = b.size.width / static_cast<double>(titles_.size());
    const Font font = Font::systemFont(13);
    for (std::size_t i = 0; i < titles_.size(); ++i) {
        const Rect segment(b.origin.x + width * static_cast<double>(i), b.origin.y, width, b.size.height);
        if (static_cast<std::int64_t>(i) == selected_) {
            context->setFillColor(Color::systemBackgroundColor());
            context->fillRect(segment);
        }
        context->setFillColor(isEnabled() ? Color::labelColor() : Color::secondaryLabelColor());
        context->drawText(titles_[i],
                          Rect(segment.origin.x, (b.size.height - font.lineHeight()) / 2, width, font.lineHeight()),
                          font, TextAlignment::Center);
    }
}
