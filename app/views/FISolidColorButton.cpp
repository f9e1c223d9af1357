#include "app/views/FISolidColorButton.h"

#include "app/views/ColorAdditions.h"

void FISolidColorButton::setBackgroundColor(const std::optional<Color>& color) {
    Button::setBackgroundColor(color);
    if (!originalBackgroundColor_) {
        originalBackgroundColor_ = color;
        darkerBackgroundColor_ = color ? twDarkerColor(*color, 0.1) : std::nullopt;
    }
}

void FISolidColorButton::setHighlighted(bool highlighted) {
    Button::setHighlighted(highlighted);
    setBackgroundColor(highlighted ? darkerBackgroundColor_ : originalBackgroundColor_);
}
