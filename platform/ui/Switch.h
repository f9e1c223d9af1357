#pragma once

#include <optional>

#include "platform/ui/Control.h"

// An on/off switch (51 x 31 points). A tap of the user's finger flips it and
// sends ValueChanged; setOn from code sends nothing, as on the platform.
// Drawn as a rounded track (the on tint when on) with a white thumb.
class Switch : public Control {
public:
    static constexpr Size kSize{51, 31};

    Switch();
    explicit Switch(const Rect& frame);
    explicit Switch(const Coder& coder);

    bool isOn() const { return on_; }
    void setOn(bool on) { setOn(on, false); }
    void setOn(bool on, bool animated);
    const std::optional<Color>& onTintColor() const { return onTintColor_; }
    void setOnTintColor(std::optional<Color> color);

    void performTap() override;
    Size intrinsicContentSize() const override { return kSize; }
    Size sizeThatFits(Size) const override { return kSize; }
    void drawRect(const Rect& rect) override;

private:
    bool on_ = false;
    std::optional<Color> onTintColor_;
};
