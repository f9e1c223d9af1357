#pragma once

#include <optional>

#include "platform/ui/Button.h"

// A button filled with one colour that darkens while highlighted. The first
// background colour given is the one it returns to.
class FISolidColorButton : public Button {
public:
    using Button::Button;

    const std::optional<Color>& originalBackgroundColor() const { return originalBackgroundColor_; }
    const std::optional<Color>& darkerBackgroundColor() const { return darkerBackgroundColor_; }

    void setBackgroundColor(const std::optional<Color>& color) override;
    void setHighlighted(bool highlighted) override;

private:
    std::optional<Color> originalBackgroundColor_;
    std::optional<Color> darkerBackgroundColor_;
};
