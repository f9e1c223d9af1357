#include "app/views/MultilineButton.h"

MultilineButton::MultilineButton(const Rect& frame) : Button(frame) {
    titleLabel()->setNumberOfLines(0);
    titleLabel()->setLineBreakMode(LineBreakMode::WordWrapping);
}

MultilineButton::MultilineButton(const Coder& coder) : Button(coder) {
    titleLabel()->setNumberOfLines(0);
    titleLabel()->setLineBreakMode(LineBreakMode::WordWrapping);
}

Size MultilineButton::intrinsicContentSize() const {
    if (!titleLabel()) return {20, 17};
    return titleLabel()->intrinsicContentSize();
}

void MultilineButton::layoutSubviews() {
    Button::layoutSubviews();
    titleLabel()->setPreferredMaxLayoutWidth(titleLabel()->frame().size.width);
    Button::layoutSubviews();
}
