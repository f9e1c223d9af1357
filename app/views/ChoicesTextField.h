#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/PickerView.h"
#include "platform/ui/TextField.h"

class ChoicesTextField;

class ChoicesTextFieldDelegate {
public:
    virtual ~ChoicesTextFieldDelegate() = default;
    // The user picked a choice.
    virtual void choicesTextFieldDidChange(ChoicesTextField& field) = 0;
};

// A text field that offers a fixed list of choices on a wheel instead of a
// keyboard, and shows no caret.
class ChoicesTextField : public TextField, public PickerViewDataSource, public PickerViewDelegate {
public:
    using TextFormatter = std::function<AttributedString(ChoicesTextField& field, const std::string& choice)>;

    using TextField::TextField;

    const std::vector<std::string>& choices() const { return choices_; }
    void setChoices(std::vector<std::string> choices) { choices_ = std::move(choices); }
    std::int64_t selectedChoiceIndex() const { return selectedChoiceIndex_; }
    void setSelectedChoiceIndex(std::int64_t index) { selectedChoiceIndex_ = index; }
    const TextFormatter& textFormatter() const { return textFormatter_; }
    void setTextFormatter(TextFormatter formatter) { textFormatter_ = std::move(formatter); }
    const std::weak_ptr<ChoicesTextFieldDelegate>& choicesDelegate() const { return choicesDelegate_; }
    void setChoicesDelegate(std::weak_ptr<ChoicesTextFieldDelegate> delegate) {
        choicesDelegate_ = std::move(delegate);
    }
    // Made in awakeFromNib.
    const std::shared_ptr<PickerView>& pickerView() const { return pickerView_; }

    // Shows the selected choice (nothing for an index out of range).
    void updateText();

    void awakeFromNib() override;
    Rect caretRectForPosition(TextPosition position) const override;
    bool becomeFirstResponder() override;

    std::int64_t numberOfComponentsInPickerView(PickerView& pickerView) override;
    std::int64_t numberOfRowsInComponent(PickerView& pickerView, std::int64_t component) override;
    std::optional<std::string> titleForRow(PickerView& pickerView, std::int64_t row, std::int64_t component) override;
    void didSelectRow(PickerView& pickerView, std::int64_t row, std::int64_t component) override;

private:
    std::vector<std::string> choices_;
    std::int64_t selectedChoiceIndex_ = 0;
    TextFormatter textFormatter_;
    std::weak_ptr<ChoicesTextFieldDelegate> choicesDelegate_;
    std::shared_ptr<PickerView> pickerView_;
};
