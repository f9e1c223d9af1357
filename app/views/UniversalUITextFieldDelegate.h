#pragma once

#include <functional>
#include <string>

#include "platform/ui/TextField.h"

// A text-field delegate whose every answer comes from a replaceable block;
// without a block the answer is yes (and ending editing does nothing).
class UniversalUITextFieldDelegate : public TextFieldDelegate {
public:
    using Question = std::function<bool(TextField& field)>;
    using ChangeQuestion = std::function<bool(TextField& field, Range range, const std::string& replacement)>;
    using Notice = std::function<void(TextField& field)>;

    // The blocks.
    const Question& textFieldShouldBeginEditing() const { return shouldBeginEditing_; }
    void setTextFieldShouldBeginEditing(Question block) { shouldBeginEditing_ = std::move(block); }
    const Question& textFieldShouldEndEditing() const { return shouldEndEditing_; }
    void setTextFieldShouldEndEditing(Question block) { shouldEndEditing_ = std::move(block); }
    const Question& textFieldShouldReturn() const { return shouldReturn_; }
    void setTextFieldShouldReturn(Question block) { shouldReturn_ = std::move(block); }
    const Notice& textFieldDidEndEditing() const { return didEndEditing_; }
    void setTextFieldDidEndEditing(Notice block) { didEndEditing_ = std::move(block); }
    const ChangeQuestion& textFieldShouldChangeCharactersInRange() const { return shouldChange_; }
    void setTextFieldShouldChangeCharactersInRange(ChangeQuestion block) { shouldChange_ = std::move(block); }

    // The delegate methods.
    bool textFieldShouldBeginEditing(TextField& field) override;
    bool textFieldShouldEndEditing(TextField& field) override;
    bool textFieldShouldReturn(TextField& field) override;
    void textFieldDidEndEditing(TextField& field) override;
    bool textFieldShouldChangeCharactersInRange(TextField& field, Range range, const std::string& replacement) override;

private:
    Question shouldBeginEditing_;
    Question shouldEndEditing_;
    Question shouldReturn_;
    Notice didEndEditing_;
    ChangeQuestion shouldChange_;
};
