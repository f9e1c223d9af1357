#include "app/cards/DoubleRatingsHistoryView.h"

#include <map>
#include <string>

#include "app/views/ColorAdditions.h"

std::shared_ptr<DoubleRatingsHistoryView> DoubleRatingsHistoryView::make(const Rect& frame) {
    auto view = std::make_shared<DoubleRatingsHistoryView>(frame);
    view->build();
    return view;
}

void DoubleRatingsHistoryView::awakeFromNib() {
    View::awakeFromNib();
    if (!top_) build();
}

void DoubleRatingsHistoryView::build() {
    top_ = FICardRatingHistoryView::create();
    bottom_ = FICardRatingHistoryView::create();
    coverSelectionView_ = std::make_shared<View>();
    for (const auto& view : std::initializer_list<std::shared_ptr<View>>{top_, bottom_, coverSelectionView_}) {
        view->setTranslatesAutoresizingMaskIntoConstraints(false);
        addSubview(view);
    }
    const std::map<std::string, std::shared_ptr<View>> views{
        {"topRatingsHistoryView", top_},
        {"bottomRatingsHistoryView", bottom_},
        {"coverSelectionView", coverSelectionView_},
    };
    for (const char* format : {"H:|[topRatingsHistoryView]|", "H:|[bottomRatingsHistoryView]|",
                               "V:|[topRatingsHistoryView][bottomRatingsHistoryView]|", "H:[coverSelectionView(4)]|",
                               "V:|[coverSelectionView]|"})
        LayoutConstraint::activateConstraints(LayoutConstraint::constraintsWithVisualFormat(format, 0, {}, views));
    coverSelectionView_->setHidden(true);
    coverSelectionView_->setBackgroundColor(twColorFromHexString(std::string("D0D0D0")));
    configureForSingleViewLayout();
}

void DoubleRatingsHistoryView::activateTopViewHeight(double multiplier) {
    if (topViewHeightConstraint_) topViewHeightConstraint_->setActive(false);
    topViewHeightConstraint_ =
        LayoutConstraint::constraintWithItem(top_, LayoutAttribute::Height, LayoutRelation::Equal, shared_from_this(),
                                             LayoutAttribute::Height, multiplier, 0);
    topViewHeightConstraint_->setActive(true);
    setNeedsLayout();
}

void DoubleRatingsHistoryView::configureForSingleViewLayout() {
    activateTopViewHeight(1.0);
}

void DoubleRatingsHistoryView::configureForDoubleViewLayout() {
    activateTopViewHeight(0.5);
}

void DoubleRatingsHistoryView::tableViewCellSelectionChanged(FITableViewCellWithDrawer& cell) {
    const bool hidden = cell.isEditing() || !cell.isSelected() || top_->hasRatings() || bottom_->hasRatings();
    coverSelectionView_->setHidden(hidden);
}

void DoubleRatingsHistoryView::layoutSubviews() {
    View::layoutSubviews();
    const Rect b = bounds();
    const double multiplier = topViewHeightConstraint_ ? topViewHeightConstraint_->multiplier() : 1.0;
    const double topHeight = b.size.height * multiplier;
    top_->setFrame(Rect(0, 0, b.size.width, topHeight));
    bottom_->setFrame(Rect(0, topHeight, b.size.width, b.size.height - topHeight));
    coverSelectionView_->setFrame(Rect(b.size.width - 4, 0, 4, b.size.height));
}
