#include "platform/ui/SearchBar.h"

// Passes the field's questions and notices on to the bar's delegate.
class SearchBar::FieldDelegate : public TextFieldDelegate {
public:
    explicit FieldDelegate(SearchBar& bar) : bar_(bar) {}

    bool textFieldShouldBeginEditing(TextField&) override {
        auto delegate = bar_.delegate_.lock();
        return !delegate || delegate->searchBarShouldBeginEditing(bar_);
    }
    void textFieldDidBeginEditing(TextField&) override {
        if (auto delegate = bar_.delegate_.lock()) delegate->searchBarTextDidBeginEditing(bar_);
    }
    bool textFieldShouldEndEditing(TextField&) override {
        auto delegate = bar_.delegate_.lock();
        return !delegate || delegate->searchBarShouldEndEditing(bar_);
    }
    void textFieldDidEndEditing(TextField&) override {
        if (auto delegate = bar_.delegate_.lock()) delegate->searchBarTextDidEndEditing(bar_);
    }
    bool textFieldShouldChangeCharactersInRange(TextField&, Range range, const std::string& replacement) override {
        auto delegate = bar_.delegate_.lock();
        return !delegate || delegate->shouldChangeTextInRange(bar_, range, replacement);
    }
    bool textFieldShouldReturn(TextField&) override {
        if (auto delegate = bar_.delegate_.lock()) delegate->searchBarSearchButtonClicked(bar_);
        return true;
    }

private:
    SearchBar& bar_;
};

std::shared_ptr<SearchBar> SearchBar::make(const Rect& frame) {
    auto bar = std::make_shared<SearchBar>(frame);
    bar->setUp();
    return bar;
}

void SearchBar::setUp() {
    field_ = std::make_shared<TextField>(Rect(8, 10, std::max(0.0, bounds().size.width - 16), 36));
    field_->setBorderStyle(TextBorderStyle::RoundedRect);
    fieldDelegate_ = std::make_shared<FieldDelegate>(*this);
    field_->setDelegate(fieldDelegate_);
    std::weak_ptr<View> weak = weak_from_this();
    field_->addTarget(
        [weak](Control& sender) {
            auto self = std::static_pointer_cast<SearchBar>(weak.lock());
            if (!self) return;
            if (auto delegate = self->delegate_.lock())
                delegate->textDidChange(*self, static_cast<TextField&>(sender).text().value_or(""));
        },
        ControlEventEditingChanged);
    addSubview(field_);
}

void SearchBar::layoutSubviews() {
    View::layoutSubviews();
    if (field_) field_->setFrame(Rect(8, 10, std::max(0.0, bounds().size.width - 16), bounds().size.height - 20));
}
