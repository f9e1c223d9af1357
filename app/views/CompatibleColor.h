#pragma once

#include "platform/ui/Color.h"

// The platform's semantic colours, for callers that name them through one class.
class CompatibleColor {
public:
    // The background of a plain view in the current interface style.
    static Color systemBackground() { return Color::systemBackgroundColor(); }
    static Color secondarySystemBackground() { return Color::secondarySystemBackgroundColor(); }
    static Color label() { return Color::labelColor(); }
    static Color secondaryLabel() { return Color::secondaryLabelColor(); }
    static Color separator() { return Color::separatorColor(); }
};
