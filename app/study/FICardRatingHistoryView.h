#pragma once

#include <memory>

#include "platform/ui/Label.h"
#include "platform/ui/View.h"

// A card's rating history as text, right-aligned, with a 4-point coloured
// bar for the current rating on its right.
class FICardRatingHistoryView : public View {
public:
    static std::shared_ptr<FICardRatingHistoryView> create(const Rect& frame = {});

    const std::shared_ptr<Label>& ratingsHistoryLabel() const { return ratingsHistoryLabel_; }
    const std::shared_ptr<Label>& currentRatingIndicatorView() const { return currentRatingIndicatorView_; }
    void setCurrentRatingColor(const Color& color);
    // Whether the label shows any text.
    bool hasRatings() const;

    explicit FICardRatingHistoryView(const Rect& frame) : View(frame) {}

private:
    void initialize();

    std::shared_ptr<Label> ratingsHistoryLabel_;
    std::shared_ptr<Label> currentRatingIndicatorView_;
};
