#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Touches.h"
#include "platform/ui/View.h"

class DialPadButtonView;
class TextInputDialButtonView;

class DialPadButtonDelegate {
public:
    virtual ~DialPadButtonDelegate() = default;
    virtual void dialPadButtonPressed(DialPadButtonView& button) = 0;
};

class TextInputDialButtonDelegate {
public:
    virtual ~TextInputDialButtonDelegate() = default;
    // One insertion of typed or pasted text; it never holds CR or LF.
    virtual void textInputDialButtonDidInsertText(TextInputDialButtonView& button, const std::string& text) = 0;
    virtual void textInputDialButtonDidDeleteBackward(TextInputDialButtonView& button) = 0;
};

// A round key of the remote's keypad: a white ring, filled while highlighted.
// Its label and image view live in the screen's label layer and are restyled
// with it (white, or light grey on older devices, while highlighted; the
// label's weight regular while highlighted and thin otherwise). A touch highlights it; lifting the finger on it presses it (tells
// the delegate); dragging off an unselected key takes the highlight away, so
// lifting outside sends nothing. A selected key stays highlighted.
class DialPadButtonView : public View, public TouchHandling {
public:
    DialPadButtonView();
    explicit DialPadButtonView(const Rect& frame);

    // The process-wide older-device flag: highlighted labels and images are
    // light grey instead of white.
    static bool isOlderDevice();
    static void setOlderDevice(bool older);

    std::shared_ptr<Label> label() const { return label_.lock(); }
    void setLabel(const std::shared_ptr<Label>& label) { label_ = label; }
    std::shared_ptr<ImageView> imageView() const { return imageView_.lock(); }
    // Also tints the image for the current state.
    void setImageView(const std::shared_ptr<ImageView>& imageView);
    std::shared_ptr<DialPadButtonDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<DialPadButtonDelegate> delegate) { delegate_ = std::move(delegate); }
    const std::optional<Color>& originalLabelTextColor() const { return originalLabelTextColor_; }
    void setOriginalLabelTextColor(std::optional<Color> color) { originalLabelTextColor_ = std::move(color); }
    const std::string& command() const { return command_; }
    void setCommand(std::string command) { command_ = std::move(command); }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected) { selected_ = selected; }
    bool isHighlighted() const { return highlighted_; }
    // A real change restyles the key.
    void setHighlighted(bool highlighted);

    // A button to a screen reader, selected while it is.
    AccessibilityTraits accessibilityTraits() const override;

    void drawRect(const Rect& rect) override;
    void touchesBegan(Point point) override;
    void touchesMoved(Point point) override;
    void touchesEnded(Point point) override;
    void touchesCancelled() override;

protected:
    virtual void press();
    void restyle();

private:
    std::weak_ptr<Label> label_;
    std::weak_ptr<ImageView> imageView_;
    std::weak_ptr<DialPadButtonDelegate> delegate_;
    std::optional<Color> originalLabelTextColor_;
    std::string command_;
    bool selected_ = false;
    bool highlighted_ = false;
};

// A filled disc (the rating keys), darkened while highlighted.
class SolidDialPadButtonView : public DialPadButtonView {
public:
    using DialPadButtonView::DialPadButtonView;
    const Color& fillColor() const { return fillColor_; }
    void setFillColor(const Color& color);
    void drawRect(const Rect& rect) override;

private:
    Color fillColor_ = Color(120.0 / 255, 200.0 / 255, 27.0 / 255, 0.98);
};

// The keyboard key: a press shows the keyboard (it becomes first responder)
// and what is typed goes to its text-input delegate, one insertion at a time.
// The Done key ("\n" alone) hides the keyboard. CR and LF inside inserted text
// become blanks, so that one insertion stays one command line.
class TextInputDialButtonView : public DialPadButtonView, public KeyInput {
public:
    enum class AutocorrectionType { Default, No, Yes };
    enum class ReturnKeyType { Default, Done };

    TextInputDialButtonView();
    // Made in code only: from an archive it stops with "Not supported. Use init()".
    explicit TextInputDialButtonView(const Coder& coder);

    std::shared_ptr<TextInputDialButtonDelegate> textInputDelegate() const { return textInputDelegate_.lock(); }
    void setTextInputDelegate(std::weak_ptr<TextInputDialButtonDelegate> delegate) {
        textInputDelegate_ = std::move(delegate);
    }
    AutocorrectionType autocorrectionType() const { return AutocorrectionType::No; }
    ReturnKeyType returnKeyType() const { return ReturnKeyType::Done; }

    bool canBecomeFirstResponder() const override { return true; }
    void insertText(const std::string& text) override;
    void deleteBackward() override;
    bool hasText() const override { return true; }

protected:
    void press() override;

private:
    std::weak_ptr<TextInputDialButtonDelegate> textInputDelegate_;
};
