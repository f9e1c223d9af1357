#include "platform/ui/TextField.h"

#include "platform/foundation/StringUtils.h"

TextField::TextField() : TextField(Rect()) {}

TextField::TextField(const Rect& frame) : Control(frame) {
    setOpaque(false);
}

TextField::TextField(const Coder& coder) : TextField(coder.frame) {}

std::optional<std::string> TextField::text() const {
    if (attributedText_) return attributedText_->string();
    return text_;
}

void TextField::setText(std::optional<std::string> text) {
    text_ = std::move(text);
    attributedText_.reset();
    setNeedsDisplay();
}

void TextField::setAttributedText(std::optional<AttributedString> text) {
    attributedText_ = std::move(text);
    text_.reset();
    setNeedsDisplay();
}

Rect TextField::caretRectForPosition(TextPosition position) const {
    std::u16string units = toUTF16(text().value_or(""));
    std::string prefix = fromUTF16(std::u16string_view(units).substr(0, std::min(position.offset, units.size())));
    const double lineHeight = font_.lineHeight();
    return Rect(font_.sizeOfText(prefix).width, (bounds().size.height - lineHeight) / 2, 2, lineHeight);
}

bool TextField::becomeFirstResponder() {
    if (editing_) return true;
    if (!canBecomeFirstResponder()) return false;
    auto keep = weak_from_this().lock();
    auto delegate = delegate_.lock();
    if (delegate && !delegate->textFieldShouldBeginEditing(*this)) return false;
    if (!Control::becomeFirstResponder()) return false;
    editing_ = true;
    sendActionsForControlEvents(ControlEventEditingDidBegin);
    if (delegate) delegate->textFieldDidBeginEditing(*this);
    return true;
}

bool TextField::resignFirstResponder() {
    if (!editing_) return Control::resignFirstResponder();
    auto keep = weak_from_this().lock();
    auto delegate = delegate_.lock();
    if (delegate && !delegate->textFieldShouldEndEditing(*this)) return false;
    editing_ = false;
    Control::resignFirstResponder();
    sendActionsForControlEvents(ControlEventEditingDidEnd);
    if (delegate) delegate->textFieldDidEndEditing(*this);
    return true;
}

void TextField::performTap() {
    if (!isEnabled()) return;
    auto keep = weak_from_this().lock();
    Control::performTap();
    becomeFirstResponder();
}

bool TextField::replaceCharacters(Range range, const std::string& replacement) {
    std::u16string units = toUTF16(text().value_or(""));
    if (range.location > units.size() || range.length > units.size() - range.location) return false;
    auto keep = weak_from_this().lock();
    if (auto delegate = delegate_.lock();
        delegate && !delegate->textFieldShouldChangeCharactersInRange(*this, range, replacement))
        return false;
    units.replace(range.location, range.length, toUTF16(replacement));
    setText(fromUTF16(units));
    sendActionsForControlEvents(ControlEventEditingChanged);
    return true;
}

bool TextField::returnKeyPressed() {
    auto keep = weak_from_this().lock();
    auto delegate = delegate_.lock();
    bool agreed = !delegate || delegate->textFieldShouldReturn(*this);
    if (agreed) sendActionsForControlEvents(ControlEventEditingDidEndOnExit);
    return agreed;
}

void TextField::drawRect(const Rect&) {
    auto* context = GraphicsContext::current();
    if (!context) return;
    auto shown = text().value_or("");
    Color color = textColor_;
    if (shown.empty() && placeholder_) {
        shown = *placeholder_;
        color = Color::secondaryLabelColor();
    }
    if (shown.empty()) return;
    const double lineHeight = font_.lineHeight();
    context->setFillColor(color);
    context->drawText(shown, Rect(0, (bounds().size.height - lineHeight) / 2, bounds().size.width, lineHeight), font_,
                      textAlignment_);
}

Size TextField::intrinsicContentSize() const {
    Size size = font_.sizeOfText(text().value_or(placeholder_.value_or("")));
    return {size.width, size.height};
}
