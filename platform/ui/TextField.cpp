#include "platform/ui/TextField.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/RunLoop.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/AttributedTextDrawing.h"
#include "platform/ui/InputAccessory.h"
#include "platform/ui/LiveAnimation.h"
#include "platform/ui/TextTruncation.h"

namespace {

// The caret's blink: on and off for this long each (seconds).
constexpr double kCaretBlinkInterval = 0.5;
constexpr double kClearButtonSide = 16;
constexpr double kBorderPadding = 7;

Color placeholderColor() {
    return Color::dynamic(Color(0.235, 0.235, 0.263, 0.3), Color(0.922, 0.922, 0.961, 0.3));
}

}  // namespace

TextField::TextField() : TextField(Rect()) {}

TextField::TextField(const Rect& frame) : Control(frame) {
    setOpaque(false);
}

TextField::TextField(const Coder& coder) : TextField(coder.frame) {}

TextField::~TextField() {
    stopCaret();
}

std::size_t TextField::textLength() const {
    return toUTF16(text().value_or("")).size();
}

void TextField::setClearButtonMode(TextFieldViewMode mode) {
    clearButtonMode_ = mode;
    setNeedsDisplay();
}

void TextField::setSelectedRange(Range range) {
    const std::size_t length = textLength();
    const std::size_t location = std::min(range.location, length);
    selectedRange_ = {location, std::min(range.length, length - location)};
    caretOn_ = true;
    setNeedsDisplay();
}

void TextField::setInputAccessoryView(std::shared_ptr<View> view) {
    if (editing_) InputAccessory::hide(*this);
    inputAccessoryView_ = std::move(view);
    if (editing_ && inputAccessoryView_) InputAccessory::show(*this, inputAccessoryView_);
}

void TextField::startCaret() {
    stopCaret();
    caretOn_ = true;
    if (!LiveAnimation::isEnabled()) return;
    std::weak_ptr<View> weak = weak_from_this();
    caretTimer_ = Timer::scheduledTimer(kCaretBlinkInterval, true, [weak](Timer&) {
        auto self = std::static_pointer_cast<TextField>(weak.lock());
        if (!self) return;
        self->caretOn_ = !self->caretOn_;
        self->setNeedsDisplay();
    });
}

void TextField::stopCaret() {
    if (caretTimer_) caretTimer_->invalidate();
    caretTimer_.reset();
}

std::optional<std::string> TextField::text() const {
    if (attributedText_) return attributedText_->string();
    return text_;
}

void TextField::setText(std::optional<std::string> text) {
    text_ = std::move(text);
    attributedText_.reset();
    selectedRange_ = {textLength(), 0};
    setNeedsDisplay();
}

void TextField::setAttributedText(std::optional<AttributedString> text) {
    attributedText_ = std::move(text);
    text_.reset();
    selectedRange_ = {textLength(), 0};
    setNeedsDisplay();
}

Rect TextField::textRectForBounds(const Rect& bounds) const {
    const double padding = borderStyle_ == TextBorderStyle::None ? 0 : kBorderPadding;
    double right = padding;
    if (showsClearButton()) right = kClearButtonSide + 2 * 6;
    return Rect(bounds.origin.x + padding, bounds.origin.y, std::max(0.0, bounds.size.width - padding - right),
                bounds.size.height);
}

bool TextField::showsClearButton() const {
    if (textLength() == 0) return false;
    switch (clearButtonMode_) {
        case TextFieldViewMode::Never:
            return false;
        case TextFieldViewMode::WhileEditing:
            return editing_;
        case TextFieldViewMode::UnlessEditing:
            return !editing_;
        case TextFieldViewMode::Always:
            return true;
    }
    return false;
}

Rect TextField::clearButtonRect() const {
    if (!showsClearButton()) return Rect();
    const Rect b = bounds();
    return Rect(b.maxX() - 6 - kClearButtonSide, b.midY() - kClearButtonSide / 2, kClearButtonSide, kClearButtonSide);
}

Rect TextField::caretRectForPosition(TextPosition position) const {
    std::u16string units = toUTF16(text().value_or(""));
    std::string prefix = fromUTF16(std::u16string_view(units).substr(0, std::min(position.offset, units.size())));
    const Rect area = textRectForBounds(bounds());
    const double full = font_.sizeOfText(text().value_or("")).width;
    double x = area.origin.x + font_.sizeOfText(prefix).width;
    if (full > area.size.width) {
        // Text wider than the field scrolls so that its end shows.
        if (editing_) x -= full - area.size.width;
    } else if (textAlignment_ == TextAlignment::Center) {
        x += (area.size.width - full) / 2;
    } else if (textAlignment_ == TextAlignment::Right) {
        x += area.size.width - full;
    }
    const double lineHeight = font_.lineHeight();
    return Rect(x, (bounds().size.height - lineHeight) / 2, 2, lineHeight);
}

bool TextField::becomeFirstResponder() {
    if (editing_) return true;
    if (!canBecomeFirstResponder()) return false;
    auto keep = weak_from_this().lock();
    auto delegate = delegate_.lock();
    if (delegate && !delegate->textFieldShouldBeginEditing(*this)) return false;
    if (!Control::becomeFirstResponder()) return false;
    editing_ = true;
    startCaret();
    if (inputView_) InputAccessory::showInputView(*this, inputView_);
    if (inputAccessoryView_) InputAccessory::show(*this, inputAccessoryView_);
    setNeedsDisplay();
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
    stopCaret();
    InputAccessory::hide(*this);
    InputAccessory::hideInputView(*this);
    setNeedsDisplay();
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

void TextField::performTapAtPoint(Point point) {
    if (!isEnabled()) return;
    if (!clearButtonRect().insetBy(-6, -6).contains(point)) {
        performTap();
        return;
    }
    auto keep = weak_from_this().lock();
    if (auto delegate = delegate_.lock(); delegate && !delegate->textFieldShouldClear(*this)) return;
    setText(std::string());
    sendActionsForControlEvents(ControlEventEditingChanged);
    if (!editing_) becomeFirstResponder();
}

bool TextField::replaceCharacters(Range range, const std::string& replacement) {
    std::u16string units = toUTF16(text().value_or(""));
    if (range.location > units.size() || range.length > units.size() - range.location) return false;
    auto keep = weak_from_this().lock();
    if (auto delegate = delegate_.lock();
        delegate && !delegate->textFieldShouldChangeCharactersInRange(*this, range, replacement))
        return false;
    const std::u16string inserted = toUTF16(replacement);
    units.replace(range.location, range.length, inserted);
    setText(fromUTF16(units));
    selectedRange_ = {range.location + inserted.size(), 0};
    caretOn_ = true;
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
    const Rect b = bounds();
    switch (borderStyle_) {
        case TextBorderStyle::None:
            break;
        case TextBorderStyle::RoundedRect: {
            Path border;
            border.addRoundedRect(b.insetBy(0.5, 0.5), 5);
            context->setFillColor(Color::systemBackgroundColor());
            context->fillPath(border);
            context->setLineWidth(0.5);
            context->setStrokeColor(Color::dynamic(Color::rgb(0xC7C7CC), Color::rgb(0x48484A)));
            context->strokePath(border);
            break;
        }
        case TextBorderStyle::Line:
        case TextBorderStyle::Bezel:
            context->setLineWidth(borderStyle_ == TextBorderStyle::Bezel ? 1.5 : 1);
            context->setStrokeColor(borderStyle_ == TextBorderStyle::Bezel ? Color::systemGrayColor()
                                                                           : Color::labelColor());
            context->strokeRect(b.insetBy(0.75, 0.75));
            break;
    }
    const Rect area = textRectForBounds(b);
    const double lineHeight = font_.lineHeight();
    const Rect line(area.origin.x, (b.size.height - lineHeight) / 2, area.size.width, lineHeight);
    const std::string value = text().value_or("");
    context->saveGState();
    context->clipToRect(area);
    if (editing_ && selectedRange_.length > 0) {
        const double from = caretRectForPosition({selectedRange_.location}).minX();
        const double to = caretRectForPosition({selectedRange_.location + selectedRange_.length}).minX();
        context->setFillColor(tintColor().withAlphaComponent(0.25));
        context->fillRect(Rect(from, line.minY(), to - from, lineHeight));
    }
    const bool styled = attributedText_ && hasStyledRuns(*attributedText_);
    if (!value.empty()) {
        context->setFillColor(isEnabled() ? textColor_ : Color::secondaryLabelColor());
        const double full = styled ? measureAttributedText(*attributedText_, font_, 0, false).width
                                   : font_.sizeOfText(value).width;
        if (styled && !(editing_ && full > area.size.width)) {
            // Each run in its own font, colour and underline, as a label
            // draws it; a disabled field greys them all.
            AttributedString shown = *attributedText_;
            if (!isEnabled()) {
                AttributedString::Attributes grey;
                grey.foregroundColor = Color::secondaryLabelColor();
                shown.addAttributes(grey, Range{0, shown.string().size()});
            }
            context->drawAttributedText(shown, line, font_, textAlignment_, false, TruncationPosition::Tail);
        } else if (editing_ && full > area.size.width) {
            // Scrolled so that the end, where typing goes, shows.
            context->drawText(value, Rect(area.maxX() - full, line.minY(), full, lineHeight), font_,
                              TextAlignment::Left);
        } else {
            context->drawText(truncatedText(value, font_, area.size.width), line, font_, textAlignment_);
        }
    } else if (placeholder_ && !placeholder_->empty()) {
        context->setFillColor(placeholderColor());
        context->drawText(truncatedText(*placeholder_, font_, area.size.width), line, font_, textAlignment_);
    }
    if (isCaretVisible() && selectedRange_.length == 0) {
        const Rect caret = caretRectForPosition({selectedRange_.location});
        if (!caret.isEmpty()) {
            context->setFillColor(tintColor());
            context->fillRect(caret);
        }
    }
    context->restoreGState();
    if (const Rect clear = clearButtonRect(); !clear.isEmpty()) {
        context->setFillColor(Color::dynamic(Color::rgb(0xC7C7CC), Color::rgb(0x636366)));
        context->fillEllipseInRect(clear);
        Path cross;
        cross.moveTo({clear.minX() + 5, clear.minY() + 5});
        cross.lineTo({clear.maxX() - 5, clear.maxY() - 5});
        cross.moveTo({clear.maxX() - 5, clear.minY() + 5});
        cross.lineTo({clear.minX() + 5, clear.maxY() - 5});
        context->setLineWidth(1.5);
        context->setStrokeColor(Color::systemBackgroundColor());
        context->strokePath(cross);
    }
}

Size TextField::sizeThatFits(Size) const {
    const Size text = intrinsicContentSize();
    const bool bordered = borderStyle_ != TextBorderStyle::None;
    const double padding = bordered ? kBorderPadding : 0;
    const double right = showsClearButton() ? kClearButtonSide + 2 * 6 : padding;
    // A point more for the caret after the last character.
    return {std::ceil(text.width + padding + right + 1), std::ceil(text.height + (bordered ? 2 * 4 : 0))};
}

Size TextField::intrinsicContentSize() const {
    Size size = font_.sizeOfText(text().value_or(placeholder_.value_or("")));
    return {size.width, size.height};
}
