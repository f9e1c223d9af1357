#include "app/views/FIBorderedButton.h"

FIBorderedButton::FIBorderedButton(const Rect& frame) : Button(frame) {
    _setupBorder();
}

void FIBorderedButton::awakeFromNib() {
    Button::awakeFromNib();
    _setupBorder();
}

void FIBorderedButton::_setupBorder() {
    layer().setCornerRadius(5);
    layer().setBorderWidth(1);
    layer().setBorderColor(tintColor());
    setContentEdgeInsets({10, 15, 10, 15});
}

void FIBorderedButton::willMoveToWindow(Window* window) {
    Button::willMoveToWindow(window);
    layer().setBorderColor(tintColor());
}
