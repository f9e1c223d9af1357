#pragma once

#include <memory>

#include "platform/ui/View.h"

// A thin bar: a grey track with a coloured indicator from the left edge over
// the fraction done.
class FILineProgressView : public View {
public:
    explicit FILineProgressView(const Rect& frame);
    explicit FILineProgressView(const Coder& coder);

    double percentComplete() const { return percentComplete_; }
    // Lays the indicator out again at once.
    void setPercentComplete(double fraction);
    const std::shared_ptr<View>& progressIndicatorView() const { return progressIndicatorView_; }
    std::optional<Color> progressColor() const { return progressIndicatorView_->backgroundColor(); }
    void setProgressColor(const std::optional<Color>& color) { progressIndicatorView_->setBackgroundColor(color); }

    void layoutSubviews() override;

private:
    void _initialize();

    double percentComplete_ = 0;
    std::shared_ptr<View> progressIndicatorView_;
};
