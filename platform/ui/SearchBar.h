#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/Button.h"
#include "platform/ui/TextField.h"
#include "platform/ui/View.h"

class SearchBar;

// Every method is optional; the defaults are the platform's answers.
class SearchBarDelegate {
public:
    virtual ~SearchBarDelegate() = default;
    virtual bool searchBarShouldBeginEditing(SearchBar& /*searchBar*/) { return true; }
    virtual void searchBarTextDidBeginEditing(SearchBar& /*searchBar*/) {}
    virtual bool searchBarShouldEndEditing(SearchBar& /*searchBar*/) { return true; }
    virtual void searchBarTextDidEndEditing(SearchBar& /*searchBar*/) {}
    // After the user changed the text (typing, deleting, clearing); not
    // when the text is set in code.
    virtual void textDidChange(SearchBar& /*searchBar*/, const std::string& /*searchText*/) {}
    virtual bool shouldChangeTextInRange(SearchBar& /*searchBar*/, Range /*range*/, const std::string& /*text*/) {
        return true;
    }
    // The keyboard's search key.
    virtual void searchBarSearchButtonClicked(SearchBar& /*searchBar*/) {}
    // The Cancel button, after the bar emptied its field and ended editing.
    virtual void searchBarCancelButtonClicked(SearchBar& /*searchBar*/) {}
};

// A search field in a bar. The user edits the text in its text field
// (searchTextField: make it first responder, then UIDriver::typeText, or
// replaceCharacters as the keyboard does); the bar's delegate hears of it.
// The bar is first responder while its field is.
//
// The field shows a magnifier before its text; while it edits, a Cancel
// button stands beside it: a tap on it empties the field (the delegate hears
// textDidChange when there was text), ends editing and tells the delegate.
class SearchBar : public View {
public:
    static constexpr double kHeight = 56;

    static std::shared_ptr<SearchBar> make(const Rect& frame = Rect(0, 0, 390, kHeight));
    // Only for make(): the field is set up afterwards.
    explicit SearchBar(const Rect& frame) : View(frame) {}

    const std::shared_ptr<TextField>& searchTextField() const { return field_; }
    // The Cancel button; hidden while the field does not edit.
    const std::shared_ptr<Button>& cancelButton() const { return cancelButton_; }
    // "" when there is none, as the platform answers.
    std::string text() const { return field_->text().value_or(""); }
    void setText(std::optional<std::string> text) { field_->setText(std::move(text)); }
    // "Search" until set.
    const std::optional<std::string>& placeholder() const { return field_->placeholder(); }
    void setPlaceholder(std::optional<std::string> placeholder) { field_->setPlaceholder(std::move(placeholder)); }

    const std::weak_ptr<SearchBarDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<SearchBarDelegate> delegate) { delegate_ = std::move(delegate); }

    bool canBecomeFirstResponder() const override { return field_->canBecomeFirstResponder(); }
    bool becomeFirstResponder() override { return field_->becomeFirstResponder(); }
    bool resignFirstResponder() override { return field_->resignFirstResponder(); }
    bool isFirstResponder() const override { return field_->isFirstResponder(); }

    void layoutSubviews() override;

private:
    class FieldDelegate;
    void setUp();
    void showCancelButton(bool shows);
    void cancel();

    std::shared_ptr<TextField> field_;
    std::shared_ptr<Button> cancelButton_;
    std::shared_ptr<FieldDelegate> fieldDelegate_;
    std::weak_ptr<SearchBarDelegate> delegate_;
};
