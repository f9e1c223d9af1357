#pragma once

#include <memory>
#include <vector>

#include "app/study/FICardRatingHistoryView.h"
#include "app/views/FITableViewCellWithDrawer.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/View.h"

// The drawer of a study card's row: the rating history of the forward
// direction on top and, when there is one, of the reverse direction below;
// a grey 4-point strip at the right edge marks a selected card without any
// ratings. Made with make() or from an interface file (its constraints refer
// to the view itself, so the subviews are built once it exists).
class DoubleRatingsHistoryView : public View, public FITableViewCellSelectionObserver {
public:
    static std::shared_ptr<DoubleRatingsHistoryView> make(const Rect& frame = Rect());
    // Only for make(): the subviews are built afterwards.
    explicit DoubleRatingsHistoryView(const Rect& frame) : View(frame) {}
    // From an interface file: the subviews are built on waking.
    explicit DoubleRatingsHistoryView(const Coder& coder) : View(coder) {}
    void awakeFromNib() override;

    const std::shared_ptr<FICardRatingHistoryView>& topRatingsHistoryView() const { return top_; }
    const std::shared_ptr<FICardRatingHistoryView>& bottomRatingsHistoryView() const { return bottom_; }
    const std::vector<std::shared_ptr<LayoutConstraint>>& constraintsForTopViewOnly() const {
        return constraintsForTopViewOnly_;
    }
    const std::vector<std::shared_ptr<LayoutConstraint>>& constraintsForTopAndBottomView() const {
        return constraintsForTopAndBottomView_;
    }
    const std::shared_ptr<LayoutConstraint>& topViewHeightConstraint() const { return topViewHeightConstraint_; }
    const std::shared_ptr<View>& coverSelectionView() const { return coverSelectionView_; }

    // The top view takes the whole height (single) or half of it (double);
    // the bottom view the rest. The former height constraint is deactivated.
    void configureForSingleViewLayout();
    void configureForDoubleViewLayout();

    // The strip shows only for a selected card without any ratings outside
    // editing mode.
    void tableViewCellSelectionChanged(FITableViewCellWithDrawer& cell) override;

    // No constraint solver here: the frames follow the active constraints.
    void layoutSubviews() override;

private:
    void build();
    void activateTopViewHeight(double multiplier);

    std::shared_ptr<FICardRatingHistoryView> top_;
    std::shared_ptr<FICardRatingHistoryView> bottom_;
    std::vector<std::shared_ptr<LayoutConstraint>> constraintsForTopViewOnly_;
    std::vector<std::shared_ptr<LayoutConstraint>> constraintsForTopAndBottomView_;
    std::shared_ptr<LayoutConstraint> topViewHeightConstraint_;
    std::shared_ptr<View> coverSelectionView_;
};
