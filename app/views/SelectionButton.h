#pragma once

#include "platform/ui/Button.h"

// A round check box: a filled disc with a white tick when selected, a grey
// ring otherwise.
class SelectionButton : public Button {
public:
    using Button::Button;
    void drawRect(const Rect& rect) override;
};
