#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/ui/View.h"

enum ControlEvents : unsigned {
    ControlEventTouchDown = 1u << 0,
    ControlEventTouchDownRepeat = 1u << 1,
    ControlEventTouchDragInside = 1u << 2,
    ControlEventTouchDragOutside = 1u << 3,
    ControlEventTouchDragEnter = 1u << 4,
    ControlEventTouchDragExit = 1u << 5,
    ControlEventTouchUpInside = 1u << 6,
    ControlEventTouchUpOutside = 1u << 7,
    ControlEventTouchCancel = 1u << 8,
    ControlEventValueChanged = 1u << 12,
    ControlEventPrimaryActionTriggered = 1u << 13,
    ControlEventEditingDidBegin = 1u << 16,
    ControlEventEditingChanged = 1u << 17,
    ControlEventEditingDidEnd = 1u << 18,
    ControlEventEditingDidEndOnExit = 1u << 19,
    ControlEventAllEvents = 0xFFFFFFFFu,
};

enum ControlState : unsigned {
    ControlStateNormal = 0,
    ControlStateHighlighted = 1u << 0,
    ControlStateDisabled = 1u << 1,
    ControlStateSelected = 1u << 2,
};

// A control: enabled, selected and highlighted states, and actions sent for
// control events (the platform's target-action pairs, as blocks).
class Control : public View {
public:
    using Action = std::function<void(Control& sender)>;

    using View::View;

    bool isEnabled() const { return enabled_; }
    virtual void setEnabled(bool enabled);
    bool isSelected() const { return selected_; }
    virtual void setSelected(bool selected);
    bool isHighlighted() const { return highlighted_; }
    virtual void setHighlighted(bool highlighted);
    unsigned state() const;

    // Returns an identifier for removeTarget.
    std::uint64_t addTarget(Action action, unsigned events);
    void removeTarget(std::uint64_t identifier);
    std::size_t numberOfTargets() const { return targets_.size(); }
    void sendActionsForControlEvents(unsigned events);

    // A tap of the user's finger: highlighted while down, then the touch-up
    // actions. Nothing for a disabled control.
    virtual void performTap();
    // A tap that lands at a point of the control (in its own coordinates):
    // performTap, unless the control answers differently where the finger
    // lands (the segments of a segmented control).
    virtual void performTapAtPoint(Point /*point*/) { performTap(); }

private:
    struct Target {
        std::uint64_t identifier;
        Action action;
        unsigned events;
    };
    bool enabled_ = true;
    bool selected_ = false;
    bool highlighted_ = false;
    std::uint64_t nextTarget_ = 1;
    std::vector<Target> targets_;
};
