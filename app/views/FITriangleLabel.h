#pragma once

#include "platform/ui/Label.h"

// A label over a dark triangle in its upper right half (the corner badge of
// a deck cover); the text sits 5 points right and 4 points up of where a
// label would put it.
class FITriangleLabel : public Label {
public:
    FITriangleLabel() = default;
    explicit FITriangleLabel(const Rect& frame) : Label(frame) {}
    explicit FITriangleLabel(const Coder& coder) : Label(coder) {}

    void drawRect(const Rect& rect) override;
    void drawTextInRect(const Rect& rect) override;
};
