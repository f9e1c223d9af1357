#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Control.h"

// A row of titled segments of equal width of which at most one is selected.
// A user's tap on a segment (UIDriver::tap where it is drawn, or
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
    // A tap selects the segment under the finger.
    void performTapAtPoint(Point point) override;

    void drawRect(const Rect& rect) override;

private:
    std::vector<std::string> titles_;
    std::int64_t selected_ = kNoSegment;
};
