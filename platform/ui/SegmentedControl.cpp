#include "platform/ui/SegmentedControl.h"

#include <algorithm>

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/TextTruncation.h"

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
    Path track;
    track.addRoundedRect(b, 8);
    context->setFillColor(Color(0.463, 0.463, 0.502, 0.12));
    context->fillPath(track);
    const double width = b.size.width / static_cast<double>(titles_.size());
    const Font font = Font::systemFont(13);
    const Font selectedFont = Font::systemFont(13, FontWeight::Semibold);
    const Color textColor = isEnabled() ? Color::labelColor() : Color::secondaryLabelColor();
    for (std::size_t i = 0; i < titles_.size(); ++i) {
        const auto index = static_cast<std::int64_t>(i);
        const Rect segment(b.origin.x + width * static_cast<double>(i), b.origin.y, width, b.size.height);
        if (index == selected_) {
            Path thumb;
            thumb.addRoundedRect(segment.insetBy(2, 2), 7);
            context->setFillColor(Color::dynamic(Color::whiteColor(), Color::rgb(0x636366)));
            context->fillPath(thumb);
            context->setLineWidth(0.5);
            context->setStrokeColor(Color(0, 0, 0, 0.04));
            context->strokePath(thumb);
        } else if (i > 0 && index - 1 != selected_) {
            // A divider between two segments that are not selected.
            context->setFillColor(Color(0.557, 0.557, 0.576, 0.3));
            context->fillRect(
                Rect(segment.minX() - 0.5, segment.minY() + 8, 1, std::max(0.0, segment.size.height - 16)));
        }
        const Font& shownFont = index == selected_ ? selectedFont : font;
        const Rect textArea = segment.insetBy(6, 0);
        context->setFillColor(textColor);
        context->drawText(truncatedText(titles_[i], shownFont, textArea.size.width),
                          Rect(textArea.origin.x, b.origin.y + (b.size.height - shownFont.lineHeight()) / 2,
                               textArea.size.width, shownFont.lineHeight()),
                          shownFont, TextAlignment::Center);
    }
}
