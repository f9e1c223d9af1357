#pragma once

#include <memory>
#include <optional>

#include "platform/ui/View.h"

enum class ActivityIndicatorViewStyle { WhiteLarge, White, Gray, Medium, Large };

class Timer;

// A spinner. It is hidden while it does not animate (hidesWhenStopped);
// while it animates, its spokes go round.
class ActivityIndicatorView : public View {
public:
    explicit ActivityIndicatorView(ActivityIndicatorViewStyle style = ActivityIndicatorViewStyle::White);
    explicit ActivityIndicatorView(const Coder& coder);
    ~ActivityIndicatorView() override;

    ActivityIndicatorViewStyle activityIndicatorViewStyle() const { return style_; }
    void setActivityIndicatorViewStyle(ActivityIndicatorViewStyle style) { style_ = style; }
    // White for the white styles, grey otherwise, unless set.
    Color color() const;
    void setColor(std::optional<Color> color) { color_ = std::move(color); }
    bool hidesWhenStopped() const { return hidesWhenStopped_; }
    void setHidesWhenStopped(bool hides);
    bool isAnimating() const { return animating_; }
    void startAnimating();
    void stopAnimating();

    void drawRect(const Rect& rect) override;
    Size intrinsicContentSize() const override;

private:
    ActivityIndicatorViewStyle style_;
    std::optional<Color> color_;
    bool hidesWhenStopped_ = true;
    bool animating_ = false;
    // The spoke drawn brightest, going round while animating.
    int step_ = 0;
    std::shared_ptr<Timer> spin_;
};
