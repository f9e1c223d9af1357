#pragma once

#include "platform/ui/Button.h"

// A button whose title wraps onto as many lines as it needs.
class MultilineButton : public Button {
public:
    explicit MultilineButton(const Rect& frame);
    explicit MultilineButton(const Coder& coder);

    Size intrinsicContentSize() const override;
    void layoutSubviews() override;
};
