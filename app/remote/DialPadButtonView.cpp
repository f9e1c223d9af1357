#include "app/remote/DialPadButtonView.h"

#include <algorithm>
#include <atomic>

#include "platform/foundation/FatalError.h"
#include "platform/ui/GraphicsContext.h"

namespace {

std::atomic<bool> olderDevice{false};

Color highlightedForegroundColor() {
    return olderDevice ? Color::lightGrayColor() : Color::whiteColor();
}

}  // namespace

// ---- DialPadButtonView ----

DialPadButtonView::DialPadButtonView() = default;

DialPadButtonView::DialPadButtonView(const Rect& frame) : View(frame) {}

bool DialPadButtonView::isOlderDevice() {
    return olderDevice;
}

void DialPadButtonView::setOlderDevice(bool older) {
    olderDevice = older;
}

void DialPadButtonView::setImageView(const std::shared_ptr<ImageView>& imageView) {
    imageView_ = imageView;
    if (imageView) imageView->setTintColor(highlighted_ ? highlightedForegroundColor() : Color::blackColor());
}

AccessibilityTraits DialPadButtonView::accessibilityTraits() const {
    return static_cast<AccessibilityTraits>(View::accessibilityTraits() | AccessibilityTraitButton |
                                            (selected_ ? AccessibilityTraitSelected : AccessibilityTraitNone));
}

void DialPadButtonView::setHighlighted(bool highlighted) {
    if (highlighted_ == highlighted) return;
    highlighted_ = highlighted;
    restyle();
}

void DialPadButtonView::restyle() {
    setNeedsDisplay();
    if (auto label = label_.lock()) {
        if (highlighted_)
            label->setTextColor(highlightedForegroundColor());
        else if (originalLabelTextColor_)
            label->setTextColor(*originalLabelTextColor_);
        label->setFont(
            Font::systemFont(label->font().pointSize(), highlighted_ ? FontWeight::Regular : FontWeight::Thin));
    }
    if (auto imageView = imageView_.lock())
        imageView->setTintColor(highlighted_ ? highlightedForegroundColor() : Color::blackColor());
}

void DialPadButtonView::drawRect(const Rect&) {
    auto* context = GraphicsContext::current();
    if (!context) return;
    const Rect b = bounds();
    const Rect ring(b.origin.x + 1, b.origin.y + 1, b.size.width - 2, b.size.height - 2);
    context->setStrokeColor(Color::whiteColor());
    context->setLineWidth(1.5);
    context->strokeEllipseInRect(ring);
    if (highlighted_) {
        context->setFillColor(Color::whiteColor());
        context->fillEllipseInRect(ring);
    }
}

void DialPadButtonView::touchesBegan(Point) {
    if (!isUserInteractionEnabled()) return;
    setHighlighted(true);
}

void DialPadButtonView::touchesMoved(Point point) {
    if (!isUserInteractionEnabled() || selected_) return;
    if (!bounds().contains(point)) setHighlighted(false);
}

void DialPadButtonView::touchesEnded(Point) {
    if (!isUserInteractionEnabled()) return;
    if (highlighted_) press();
    if (!selected_) setHighlighted(false);
}

void DialPadButtonView::touchesCancelled() {
    if (!isUserInteractionEnabled() || selected_) return;
    setHighlighted(false);
}

void DialPadButtonView::press() {
    if (auto delegate = delegate_.lock()) delegate->dialPadButtonPressed(*this);
}

// ---- SolidDialPadButtonView ----

void SolidDialPadButtonView::setFillColor(const Color& color) {
    fillColor_ = color;
    setNeedsDisplay();
}

void SolidDialPadButtonView::drawRect(const Rect&) {
    auto* context = GraphicsContext::current();
    if (!context) return;
    context->setFillColor(fillColor_);
    context->fillEllipseInRect(bounds());
    if (isHighlighted()) {
        context->setFillColor(Color(0, 0, 0, 0.3));
        context->fillEllipseInRect(bounds());
    }
}

// ---- TextInputDialButtonView ----

TextInputDialButtonView::TextInputDialButtonView() = default;

TextInputDialButtonView::TextInputDialButtonView(const Coder&) {
    fatalError("Not supported. Use init()", __FILE__, __LINE__);
}

void TextInputDialButtonView::press() {
    becomeFirstResponder();
}

void TextInputDialButtonView::insertText(const std::string& text) {
    if (text == "\n") {
        resignFirstResponder();
        return;
    }
    std::string line = text;
    std::replace_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    if (auto delegate = textInputDelegate_.lock()) delegate->textInputDialButtonDidInsertText(*this, line);
}

void TextInputDialButtonView::deleteBackward() {
    if (auto delegate = textInputDelegate_.lock()) delegate->textInputDialButtonDidDeleteBackward(*this);
}
