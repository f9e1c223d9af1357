#include "app/study/FICardRatingHistoryView.h"

#include "app/views/CompatibleColor.h"
#include "app/views/UIViewSnapshot.h"

std::shared_ptr<FICardRatingHistoryView> FICardRatingHistoryView::create(const Rect& frame) {
    auto view = std::make_shared<FICardRatingHistoryView>(frame);
    view->initialize();
    return view;
}

void FICardRatingHistoryView::initialize() {
    setBackgroundColor(CompatibleColor::secondarySystemBackground());
    ratingsHistoryLabel_ = std::make_shared<Label>();
    ratingsHistoryLabel_->setTextAlignment(TextAlignment::Right);
    ratingsHistoryLabel_->setLineBreakMode(LineBreakMode::TruncatingHead);
    ratingsHistoryLabel_->setUserInteractionEnabled(false);
    ratingsHistoryLabel_->setTranslatesAutoresizingMaskIntoConstraints(false);
    currentRatingIndicatorView_ = std::make_shared<Label>();
    currentRatingIndicatorView_->setUserInteractionEnabled(false);
    currentRatingIndicatorView_->setTranslatesAutoresizingMaskIntoConstraints(false);
    addSubview(ratingsHistoryLabel_);
    addSubview(currentRatingIndicatorView_);
    const std::map<std::string, std::shared_ptr<View>> views{
        {"_ratingsHistoryLabel", ratingsHistoryLabel_}, {"_currentRatingIndicatorView", currentRatingIndicatorView_}};
    twAddConstraintsWithVisualFormat(*this, "H:|[_ratingsHistoryLabel]-4-[_currentRatingIndicatorView(4)]|", views);
    twAddConstraintsWithVisualFormat(*this, "V:|[_ratingsHistoryLabel]|", views);
    twAddConstraintsWithVisualFormat(*this, "V:|[_currentRatingIndicatorView]|", views);
}

void FICardRatingHistoryView::setCurrentRatingColor(const Color& color) {
    currentRatingIndicatorView_->setBackgroundColor(color);
}

bool FICardRatingHistoryView::hasRatings() const {
    auto text = ratingsHistoryLabel_->text();
    return text && !text->empty();
}
