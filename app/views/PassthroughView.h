#pragma once

#include "platform/ui/View.h"

// A view that only takes touches on its visible, interactive subviews;
// everything else passes through to what lies beneath.
class PassthroughView : public View {
public:
    using View::View;
    bool pointInside(Point point) const override;
};
