#pragma once

#include "platform/ui/Button.h"

// A button with a thin rounded border in its tint colour.
class FIBorderedButton : public Button {
public:
    explicit FIBorderedButton(const Rect& frame);
    explicit FIBorderedButton(const Coder& coder) : Button(coder) {}

    void awakeFromNib() override;
    void willMoveToWindow(Window* window) override;

private:
    void _setupBorder();
};
