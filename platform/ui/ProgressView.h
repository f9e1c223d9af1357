#pragma once

#include <optional>

#include "platform/ui/View.h"

enum class ProgressViewStyle { Default, Bar };

// A bar filled to a fraction.
class ProgressView : public View {
public:
    explicit ProgressView(ProgressViewStyle style = ProgressViewStyle::Default);
    explicit ProgressView(const Rect& frame);
    explicit ProgressView(const Coder& coder);

    ProgressViewStyle progressViewStyle() const { return style_; }
    // 0 to 1 (clamped).
    float progress() const { return progress_; }
    void setProgress(float progress, bool animated = false);
    // The tint colour when unset.
    const std::optional<Color>& progressTintColor() const { return progressTintColor_; }
    void setProgressTintColor(std::optional<Color> color);
    const std::optional<Color>& trackTintColor() const { return trackTintColor_; }
    void setTrackTintColor(std::optional<Color> color);

    void drawRect(const Rect& rect) override;
    Size intrinsicContentSize() const override { return {kViewNoIntrinsicMetric, 4}; }

private:
    ProgressViewStyle style_ = ProgressViewStyle::Default;
    float progress_ = 0;
    std::optional<Color> progressTintColor_;
    std::optional<Color> trackTintColor_;
};
