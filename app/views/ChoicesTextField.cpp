#include "app/views/ChoicesTextField.h"

void ChoicesTextField::awakeFromNib() {
    TextField::awakeFromNib();
    auto self = std::static_pointer_cast<ChoicesTextField>(shared_from_this());
    pickerView_ = std::make_shared<PickerView>();
    pickerView_->setDataSource(std::weak_ptr<PickerViewDataSource>(self));
    pickerView_->setDelegate(std::weak_ptr<PickerViewDelegate>(self));
    setInputView(pickerView_);
}

Rect ChoicesTextField::caretRectForPosition(TextPosition) const {
    return Rect();
}

bool ChoicesTextField::becomeFirstResponder() {
    if (pickerView_) pickerView_->selectRow(selectedChoiceIndex_, 0, false);
    return TextField::becomeFirstResponder();
}

void ChoicesTextField::updateText() {
    const bool inRange = selectedChoiceIndex_ >= 0 && selectedChoiceIndex_ < static_cast<std::int64_t>(choices_.size());
    const std::string choice = inRange ? choices_[static_cast<std::size_t>(selectedChoiceIndex_)] : std::string();
    if (textFormatter_)
        setAttributedText(textFormatter_(*this, choice));
    else
        setText(choice);
}

std::int64_t ChoicesTextField::numberOfComponentsInPickerView(PickerView&) {
    return 1;
}

std::int64_t ChoicesTextField::numberOfRowsInComponent(PickerView&, std::int64_t) {
    return static_cast<std::int64_t>(choices_.size());
}

std::optional<std::string> ChoicesTextField::titleForRow(PickerView&, std::int64_t row, std::int64_t) {
    if (row < 0 || row >= static_cast<std::int64_t>(choices_.size())) return std::nullopt;
    return choices_[static_cast<std::size_t>(row)];
}

void ChoicesTextField::didSelectRow(PickerView&, std::int64_t row, std::int64_t) {
    auto keep = shared_from_this();
    selectedChoiceIndex_ = row;
    updateText();
    resignFirstResponder();
    if (auto delegate = choicesDelegate_.lock()) delegate->choicesTextFieldDidChange(*this);
}
