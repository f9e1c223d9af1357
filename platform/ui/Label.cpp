#include "platform/ui/Label.h"

#include <algorithm>

#include <cmath>

#include "platform/ui/AttributedTextDrawing.h"
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
    return enabled_ ? textColor_ : Color::lightGrayColor();
}

const AttributedString* Label::styledText() const {
    return attributedText_ && hasStyledRuns(*attributedText_) ? &*attributedText_ : nullptr;
}

Size Label::measure(double maxWidth, bool wraps) const {
    if (const auto* styled = styledText()) return measureAttributedText(*styled, font_, maxWidth, wraps);
    return measureText(displayedText(), font_, maxWidth, wraps);
}

double Label::heightOfLines(std::int64_t count, double width) const {
    if (const auto* styled = styledText()) {
        double height = 0;
        for (const auto& line : attributedTextLines(*styled, font_, width, count != 1)) {
            if (count-- == 0) break;
            height += line.height;
        }
        return std::ceil(height);
    }
    return std::ceil(font_.lineHeight() * static_cast<double>(count));
}

Rect Label::textRectForBounds(const Rect& bounds, std::int64_t numberOfLines) const {
    const bool wraps = numberOfLines != 1;
    Size size = measure(bounds.size.width, wraps);
    if (numberOfLines > 0) size.height = std::min(size.height, heightOfLines(numberOfLines, bounds.size.width));
    size.height = std::min(size.height, bounds.size.height);
    return Rect(bounds.origin.x, bounds.origin.y + (bounds.size.height - size.height) / 2, bounds.size.width,
                size.height);
}

void Label::drawTextInRect(const Rect& rect) {
    auto* context = GraphicsContext::current();
    if (!context || displayedText().empty()) return;
    context->setFillColor(displayedColor());
    std::optional<TruncationPosition> truncation;
    if (numberOfLines_ == 1) {
        switch (lineBreakMode_) {
            case LineBreakMode::TruncatingHead:
                truncation = TruncationPosition::Head;
                break;
            case LineBreakMode::TruncatingMiddle:
                truncation = TruncationPosition::Middle;
                break;
            case LineBreakMode::TruncatingTail:
                truncation = TruncationPosition::Tail;
                break;
            default:
                // Clipped at the label's edge.
                context->clipToRect(bounds());
                break;
        }
    }
    if (const auto* styled = styledText()) {
        // Each run in its own font and colour; a disabled label greys them all.
        AttributedString shown = *styled;
        if (!enabled_) {
            AttributedString::Attributes grey;
            grey.foregroundColor = displayedColor();
            shown.addAttributes(grey, Range{0, shown.string().size()});
        }
        context->drawAttributedText(shown, rect, font_, textAlignment_, numberOfLines_ != 1, truncation);
        return;
    }
    std::string text = displayedText();
    if (truncation) text = truncatedText(text, font_, rect.size.width, *truncation);
    context->drawText(text, rect, font_, textAlignment_, numberOfLines_ != 1);
}

Rect Label::drawnTextRect() const {
    if (displayedText().empty()) return {};
    const Rect textRect = textRectForBounds(bounds(), numberOfLines_);
    Size measured = measure(bounds().size.width, numberOfLines_ != 1);
    // One line is cut at the label's width (with an ellipsis or clipped).
    if (numberOfLines_ == 1) measured.width = std::min(measured.width, textRect.size.width);
    double x = textRect.origin.x;
    if (textAlignment_ == TextAlignment::Center) x += (textRect.size.width - measured.width) / 2;
    if (textAlignment_ == TextAlignment::Right) x += textRect.size.width - measured.width;
    return Rect(x, textRect.origin.y, measured.width, measured.height);
}

bool Label::isTextCut() const {
    if (displayedText().empty()) return false;
    const Size measured = measure(bounds().size.width, numberOfLines_ != 1);
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
    return measure(maxWidth, numberOfLines_ != 1);
}

Size Label::sizeThatFits(Size size) const {
    if (displayedText().empty()) return {0, 0};
    return measure(numberOfLines_ != 1 ? size.width : 0, numberOfLines_ != 1);
}
