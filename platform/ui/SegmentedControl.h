#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Control.h"
#include "platform/ui/Font.h"

// A row of titled segments of which at most one is selected. The segments
// share the width equally while every title fits its share; where one does
// not, each segment gets the room its title needs and the rest is shared
// equally; where the titles do not fit even so, their font shrinks (all
// alike) down to a minimum scale, and only then are titles cut with an
// ellipsis. A user's tap on a segment (UIDriver::tap where it is drawn, or
// userSelectSegment) selects it and sends the value-changed actions; setting
// the selection in code sends nothing.
class SegmentedControl : public Control {
public:
    static constexpr std::int64_t kNoSegment = -1;

    SegmentedControl() = default;
    explicit SegmentedControl(std::vector<std::string> titles);

    std::int64_t numberOfSegments() const { return static_cast<std::int64_t>(titles_.size()); }
    // The segment's title, or none for an index outside the control.
    std::optional<std::string> titleForSegmentAtIndex(std::int64_t index) const;
    void setTitle(std::string title, std::int64_t index);
    // Appends when the index is past the end.
    void insertSegmentWithTitle(std::string title, std::int64_t index);

    // kNoSegment when none is selected.
    std::int64_t selectedSegmentIndex() const { return selected_; }
    // An index outside the control selects none.
    void setSelectedSegmentIndex(std::int64_t index);

    // A tap on the segment: nothing when the control is disabled or the
    // index lies outside it; otherwise the segment is selected and the
    // value-changed actions are sent (also when it was selected already).
    bool userSelectSegment(std::int64_t index);
    // The segment drawn at a point (in the control's coordinates), or
    // kNoSegment outside them.
    std::int64_t segmentIndexAtPoint(Point point) const;
    // Where the segment is drawn (in the control's coordinates); empty for
    // an index outside the control.
    Rect rectForSegmentAtIndex(std::int64_t index) const;
    // The segment's title as drawn: whole, or cut with an ellipsis where it
    // does not fit at the smallest font.
    std::optional<std::string> displayedTitleForSegmentAtIndex(std::int64_t index) const;
    // The font the segment's title is drawn in (the regular size, or smaller
    // where the titles do not fit).
    Font titleFontForSegmentAtIndex(std::int64_t index) const;
    // Where the segment's drawn title lies (in the control's coordinates).
    Rect titleRectForSegmentAtIndex(std::int64_t index) const;
    // Whether the title is drawn cut.
    bool isTitleCutForSegmentAtIndex(std::int64_t index) const;

    // The smallest share of the regular title size the font shrinks to.
    static constexpr double kMinimumTitleScale = 0.7;

    // A tap selects the segment under the finger.
    void performTapAtPoint(Point point) override;

    void drawRect(const Rect& rect) override;

private:
    struct SegmentLayout {
        Rect frame;
        Rect titleRect;
        std::string shownTitle;
        bool cut = false;
    };
    // The segments laid out in the bounds, and the title size they share.
    std::vector<SegmentLayout> layoutSegments(double* titleSize = nullptr) const;
    Font titleFont(double size, bool selected) const;

    std::vector<std::string> titles_;
    std::int64_t selected_ = kNoSegment;
};
