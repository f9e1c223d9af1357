#include "app/views/FICardEntryView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/LayoutConstraint.h"

std::shared_ptr<FICardEntryView> FICardEntryView::make(const Rect& frame) {
    auto view = std::make_shared<FICardEntryView>(frame);
    view->_initialize();
    return view;
}

void FICardEntryView::awakeFromNib() {
    View::awakeFromNib();
    _initialize();
}

void FICardEntryView::_initialize() {
    auto makeLabel = [this](const Font& font) {
        auto label = std::make_shared<Label>();
        label->setTranslatesAutoresizingMaskIntoConstraints(false);
        label->setUserInteractionEnabled(false);
        label->setLineBreakMode(LineBreakMode::TruncatingTail);
        // A long text ends at the label's edge, clear of the card number.
        label->setClipsToBounds(true);
        label->setFont(font);
        addSubview(label);
        return label;
    };
    questionLabel_ = makeLabel(Font::boldSystemFont(17));
    answerLabel_ = makeLabel(Font::systemFont(17));
    cardNumberLabel_ = makeLabel(Font::systemFont(17));
    answerLabel_->setText(std::string());
    cardNumberLabel_->setContentHuggingPriority(750, LayoutConstraintAxis::Horizontal);
    questionLabel_->setContentHuggingPriority(250, LayoutConstraintAxis::Horizontal);

    const std::map<std::string, std::shared_ptr<View>> views{{"_questionLabel", questionLabel_},
                                                             {"_answerLabel", answerLabel_}};
    addConstraints(LayoutConstraint::constraintsWithVisualFormat("H:|-(16)-[_questionLabel]-16-|", 0, {}, views));
    addConstraint(LayoutConstraint::constraintWithItem(answerLabel_, LayoutAttribute::Left, LayoutRelation::Equal,
                                                       questionLabel_, LayoutAttribute::Left, 1, 0));
    addConstraint(LayoutConstraint::constraintWithItem(answerLabel_, LayoutAttribute::Right, LayoutRelation::Equal,
                                                       questionLabel_, LayoutAttribute::Right, 1, 0));
    addConstraints(
        LayoutConstraint::constraintsWithVisualFormat("V:|-8-[_questionLabel][_answerLabel]-8-|", 0, {}, views));
}

void FICardEntryView::layoutSubviews() {
    View::layoutSubviews();
    if (!questionLabel_) return;
    constexpr double kSide = 16, kVertical = 8, kSpacing = 8;
    const Rect content = bounds();
    const double width = std::max(0.0, content.size.width - 2 * kSide);
    const Size number = cardNumberLabel_->intrinsicContentSize();
    const double questionHeight = std::ceil(questionLabel_->font().lineHeight());
    const double questionWidth = std::max(0.0, width - (number.width > 0 ? number.width + kSpacing : 0));
    questionLabel_->setFrame(Rect(kSide, kVertical, questionWidth, questionHeight));
    cardNumberLabel_->setFrame(Rect(kSide + width - number.width, kVertical, number.width, questionHeight));
    answerLabel_->setFrame(Rect(kSide, kVertical + questionHeight, width,
                                std::max(0.0, content.size.height - 2 * kVertical - questionHeight)));
}
