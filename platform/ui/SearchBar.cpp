#include "platform/ui/SearchBar.h"

namespace {

constexpr double kMagnifierRoom = 28;
constexpr double kCancelGap = 8;

// The bar's field: a grey rounded field with a magnifier before the text.
class SearchTextField : public TextField {
public:
    using TextField::TextField;

    Rect textRectForBounds(const Rect& bounds) const override {
        Rect rect = TextField::textRectForBounds(bounds);
        const double shift = kMagnifierRoom - (rect.origin.x - bounds.origin.x);
        return Rect(rect.origin.x + shift, rect.origin.y, std::max(0.0, rect.size.width - shift), rect.size.height);
    }

    void drawRect(const Rect& rect) override {
        auto* context = GraphicsContext::current();
        if (!context) return;
        const Rect b = bounds();
        Path field;
        field.addRoundedRect(b, 10);
        context->setFillColor(Color(0.463, 0.463, 0.502, 0.12));
        context->fillPath(field);
        TextField::drawRect(rect);
        // The magnifier: a ring and its handle.
        const Point center{b.minX() + 14, b.midY() - 1.5};
        context->setLineWidth(1.8);
        context->setLineCap(LineCap::Round);
        context->setStrokeColor(Color::secondaryLabelColor());
        context->strokeEllipseInRect(Rect(center.x - 5.5, center.y - 5.5, 11, 11));
        Path handle;
        handle.moveTo({center.x + 4, center.y + 4});
        handle.lineTo({center.x + 8, center.y + 8});
        context->strokePath(handle);
    }
};

}  // namespace

// Passes the field's questions and notices on to the bar's delegate.
class SearchBar::FieldDelegate : public TextFieldDelegate {
public:
    explicit FieldDelegate(SearchBar& bar) : bar_(bar) {}

    bool textFieldShouldBeginEditing(TextField&) override {
        auto delegate = bar_.delegate_.lock();
        return !delegate || delegate->searchBarShouldBeginEditing(bar_);
    }
    void textFieldDidBeginEditing(TextField&) override {
        bar_.showCancelButton(true);
        if (auto delegate = bar_.delegate_.lock()) delegate->searchBarTextDidBeginEditing(bar_);
    }
    bool textFieldShouldEndEditing(TextField&) override {
        auto delegate = bar_.delegate_.lock();
        return !delegate || delegate->searchBarShouldEndEditing(bar_);
    }
    void textFieldDidEndEditing(TextField&) override {
        bar_.showCancelButton(false);
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
    field_ = std::make_shared<SearchTextField>(Rect(8, 10, std::max(0.0, bounds().size.width - 16), 36));
    field_->setClearButtonMode(TextFieldViewMode::WhileEditing);
    // What an empty bar shows until it is given a placeholder of its own.
    field_->setPlaceholder(std::string("Search"));
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
    cancelButton_ = std::make_shared<Button>(ButtonType::System);
    cancelButton_->setTitle(std::string("Cancel"), ControlStateNormal);
    cancelButton_->titleLabel()->setFont(Font::systemFont(17));
    cancelButton_->setHidden(true);
    cancelButton_->addTarget(
        [weak](Control&) {
            if (auto self = std::static_pointer_cast<SearchBar>(weak.lock())) self->cancel();
        },
        ControlEventTouchUpInside);
    addSubview(cancelButton_);
}

void SearchBar::showCancelButton(bool shows) {
    if (cancelButton_->isHidden() != shows) return;
    cancelButton_->setHidden(!shows);
    setNeedsLayout();
    layoutIfNeeded();
}

void SearchBar::cancel() {
    auto keep = shared_from_this();
    const bool hadText = !text().empty();
    field_->setText(std::string());
    if (hadText)
        if (auto delegate = delegate_.lock()) delegate->textDidChange(*this, "");
    field_->resignFirstResponder();
    if (auto delegate = delegate_.lock()) delegate->searchBarCancelButtonClicked(*this);
}

void SearchBar::layoutSubviews() {
    View::layoutSubviews();
    if (!field_) return;
    double width = std::max(0.0, bounds().size.width - 16);
    if (cancelButton_ && !cancelButton_->isHidden()) {
        const double cancelWidth = cancelButton_->intrinsicContentSize().width;
        width = std::max(0.0, width - cancelWidth - kCancelGap);
        cancelButton_->setFrame(Rect(8 + width + kCancelGap, 10, cancelWidth, bounds().size.height - 20));
    }
    field_->setFrame(Rect(8, 10, width, bounds().size.height - 20));
}
