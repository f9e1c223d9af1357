#include "platform/ui/Label.h"

#include <algorithm>

#include <cmath>

#include "platform/ui/TextTruncation.h"

Label::Label() : Label(Rect()) {}

Label::Label(const Rect& frame) : View(frame) {
    setUserInteractionEnabled(false);
    setOpaque(false);
}

Label::Label(const Coder& coder) : Label(coder.frame) {}

void Label::setText(std::optional<std::string> text) {
    text_ = std::move(text);
    attributedText_.reset();
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

void Label::setAttributedText(std::optional<AttributedString> text) {
    attributedText_ = std::move(text);
    if (attributedText_)
        text_ = attributedText_->string();
    else
        text_.reset();
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

void Label::setFont(const Font& font) {
    font_ = font;
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

void Label::setTextColor(const Color& color) {
    textColor_ = color;
    setNeedsDisplay();
}

void Label::setTextAlignment(TextAlignment alignment) {
    textAlignment_ = alignment;
    setNeedsDisplay();
}

void Label::setNumberOfLines(std::int64_t lines) {
    numberOfLines_ = lines;
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

void Label::setPreferredMaxLayoutWidth(double width) {
    preferredMaxLayoutWidth_ = width;
    invalidateIntrinsicContentSize();
}

std::string Label::displayedText() const {
    return text_.value_or("");
}

Color Label::displayedColor() const {
    if (!enabled_) return Color::lightGrayColor();
    if (attributedText_ && !attributedText_->string().empty()) {
        const auto attributes = attributedText_->attributesAtIndex(0);
        if (attributes.foregroundColor.has_value()) return attributes.foregroundColor.value();
    }
    return textColor_;
}

Rect Label::textRectForBounds(const Rect& bounds, std::int64_t numberOfLines) const {
    const bool wraps = numberOfLines != 1;
    Size size = measureText(displayedText(), font_, bounds.size.width, wraps);
    if (numberOfLines > 0) size.height = std::min(size.height, std::ceil(font_.lineHeight() * numberOfLines));
    size.height = std::min(size.height, bounds.size.height);
    return Rect(bounds.origin.x, bounds.origin.y + (bounds.size.height - size.height) / 2, bounds.size.width,
                size.height);
}

Font Label::displayedFont() const {
    if (attributedText_ && !attributedText_->string().empty())
        if (auto font = attributedText_->attributesAtIndex(0).font) return *font;
    return font_;
}

void Label::drawTextInRect(const Rect& rect) {
    auto* context = GraphicsContext::current();
    if (!context || displayedText().empty()) return;
    context->setFillColor(displayedColor());
    std::string shown = displayedText();
    if (numberOfLines_ == 1) {
        switch (lineBreakMode_) {
            case LineBreakMode::TruncatingHead:
                shown = truncatedText(shown, displayedFont(), rect.size.width, TruncationPosition::Head);
                break;
            case LineBreakMode::TruncatingMiddle:
                shown = truncatedText(shown, displayedFont(), rect.size.width, TruncationPosition::Middle);
                break;
            case LineBreakMode::TruncatingTail:
                shown = truncatedText(shown, displayedFont(), rect.size.width, TruncationPosition::Tail);
                break;
            default:
                // Clipped at the label's edge.
                context->clipToRect(bounds());
                break;
        }
    }
    context->drawText(shown, rect, displayedFont(), textAlignment_, numberOfLines_ != 1);
}

Rect Label::drawnTextRect() const {
    if (displayedText().empty()) return {};
    const Rect textRect = textRectForBounds(bounds(), numberOfLines_);
    Size measured = measureText(displayedText(), displayedFont(), bounds().size.width, numberOfLines_ != 1);
    // One line is cut at the label's width (with an ellipsis or clipped).
    if (numberOfLines_ == 1) measured.width = std::min(measured.width, textRect.size.width);
    double x = textRect.origin.x;
    if (textAlignment_ == TextAlignment::Center) x += (textRect.size.width - measured.width) / 2;
    if (textAlignment_ == TextAlignment::Right) x += textRect.size.width - measured.width;
    return Rect(x, textRect.origin.y, measured.width, measured.height);
}

bool Label::isTextCut() const {
    if (displayedText().empty()) return false;
    const Size measured = measureText(displayedText(), displayedFont(), bounds().size.width, numberOfLines_ != 1);
    // Half a point of slack for the rounding of measured widths.
    constexpr double kSlack = 0.5;
    const Rect shown = textRectForBounds(bounds(), numberOfLines_);
    return measured.width > bounds().size.width + kSlack || measured.height > shown.size.height + kSlack;
}

void Label::drawRect(const Rect&) {
    drawTextInRect(textRectForBounds(bounds(), numberOfLines_));
}

Size Label::intrinsicContentSize() const {
    double maxWidth = numberOfLines_ != 1 ? preferredMaxLayoutWidth_ : 0;
    if (displayedText().empty()) return {0, 0};
    return measureText(displayedText(), font_, maxWidth, numberOfLines_ != 1);
}

Size Label::sizeThatFits(Size size) const {
    if (displayedText().empty()) return {0, 0};
    return measureText(displayedText(), font_, numberOfLines_ != 1 ? size.width : 0, numberOfLines_ != 1);
}
