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

namespace {

constexpr double kTitleSize = 13;
// Room on either side of a title within its segment, at the regular title
// size (it shrinks with the font).
constexpr double kTitlePadding = 6;

double paddingFor(double size) {
    return kTitlePadding * size / kTitleSize;
}

double sum(const std::vector<double>& values) {
    double total = 0;
    for (double value : values) total += value;
    return total;
}

}  // namespace

Font SegmentedControl::titleFont(double size, bool selected) const {
    return Font::systemFont(size, selected ? FontWeight::Semibold : FontWeight::Regular);
}

std::vector<SegmentedControl::SegmentLayout> SegmentedControl::layoutSegments(double* titleSize) const {
    std::vector<SegmentLayout> segments(titles_.size());
    if (titleSize) *titleSize = kTitleSize;
    if (titles_.empty()) return segments;
    const Rect b = bounds();
    const double count = static_cast<double>(titles_.size());
    // What each segment needs for its title in the heavier, selected font,
    // so that selecting a segment moves nothing.
    auto needs = [&](double size) {
        const Font font = titleFont(size, true);
        std::vector<double> widths;
        for (const auto& title : titles_)
            widths.push_back(std::ceil(font.sizeOfText(title).width) + 2 * paddingFor(size));
        return widths;
    };
    double size = kTitleSize;
    std::vector<double> widths = needs(size);
    const double share = b.size.width / count;
    if (*std::max_element(widths.begin(), widths.end()) <= share) {
        widths.assign(titles_.size(), share);
    } else {
        const double smallest = kTitleSize * kMinimumTitleScale;
        while (sum(widths) > b.size.width && size - 0.5 >= smallest - 1e-9) widths = needs(size -= 0.5);
        const double total = sum(widths);
        if (total <= b.size.width) {
            for (double& width : widths) width += (b.size.width - total) / count;
        } else {
            // Too long even so: titles that need less than a fair share keep
            // what they need, the others share what is left and are cut.
            std::vector<bool> fixed(widths.size(), false);
            double left = b.size.width;
            std::size_t open = widths.size();
            for (bool changed = true; changed && open > 0;) {
                changed = false;
                const double fair = left / static_cast<double>(open);
                for (std::size_t i = 0; i < widths.size(); ++i)
                    if (!fixed[i] && widths[i] <= fair) {
                        fixed[i] = changed = true;
                        left -= widths[i];
                        --open;
                    }
            }
            for (std::size_t i = 0; i < widths.size(); ++i)
                if (!fixed[i]) widths[i] = std::max(0.0, left / static_cast<double>(open));
        }
    }
    if (titleSize) *titleSize = size;
    double x = b.origin.x;
    for (std::size_t i = 0; i < titles_.size(); ++i) {
        SegmentLayout& segment = segments[i];
        segment.frame = Rect(x, b.origin.y, widths[i], b.size.height);
        x += widths[i];
        const Font font = titleFont(size, static_cast<std::int64_t>(i) == selected_);
        const Rect area = segment.frame.insetBy(paddingFor(size), 0);
        const double room = std::max(0.0, area.size.width);
        segment.shownTitle = truncatedText(titles_[i], font, room);
        segment.cut = segment.shownTitle != titles_[i];
        const double textWidth = std::min(font.sizeOfText(segment.shownTitle).width, room);
        segment.titleRect = Rect(area.midX() - textWidth / 2, b.origin.y + (b.size.height - font.lineHeight()) / 2,
                                 textWidth, font.lineHeight());
    }
    return segments;
}

Rect SegmentedControl::rectForSegmentAtIndex(std::int64_t index) const {
    if (index < 0 || index >= numberOfSegments()) return {};
    return layoutSegments()[static_cast<std::size_t>(index)].frame;
}

std::optional<std::string> SegmentedControl::displayedTitleForSegmentAtIndex(std::int64_t index) const {
    if (index < 0 || index >= numberOfSegments()) return std::nullopt;
    return layoutSegments()[static_cast<std::size_t>(index)].shownTitle;
}

Font SegmentedControl::titleFontForSegmentAtIndex(std::int64_t index) const {
    double size = kTitleSize;
    layoutSegments(&size);
    return titleFont(size, index == selected_);
}

Rect SegmentedControl::titleRectForSegmentAtIndex(std::int64_t index) const {
    if (index < 0 || index >= numberOfSegments()) return {};
    return layoutSegments()[static_cast<std::size_t>(index)].titleRect;
}

bool SegmentedControl::isTitleCutForSegmentAtIndex(std::int64_t index) const {
    if (index < 0 || index >= numberOfSegments()) return false;
    return layoutSegments()[static_cast<std::size_t>(index)].cut;
}

std::int64_t SegmentedControl::segmentIndexAtPoint(Point point) const {
    const Rect b = bounds();
    if (titles_.empty() || b.size.width <= 0 || point.x < b.origin.x || point.x >= b.origin.x + b.size.width)
        return kNoSegment;
    const auto segments = layoutSegments();
    for (std::size_t i = 0; i < segments.size(); ++i)
        if (point.x < segments[i].frame.maxX()) return static_cast<std::int64_t>(i);
    return numberOfSegments() - 1;
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
    double size = kTitleSize;
    const auto segments = layoutSegments(&size);
    const Color textColor = isEnabled() ? Color::labelColor() : Color::secondaryLabelColor();
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const auto index = static_cast<std::int64_t>(i);
        const Rect segment = segments[i].frame;
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
        const Rect area = segment.insetBy(paddingFor(size), 0);
        context->setFillColor(textColor);
        context->drawText(segments[i].shownTitle,
                          Rect(area.origin.x, segments[i].titleRect.minY(), std::max(0.0, area.size.width),
                               segments[i].titleRect.height()),
                          titleFont(size, index == selected_), TextAlignment::Center);
    }
}
