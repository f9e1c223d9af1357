#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/ui/AttributedString.h"
#include "platform/ui/Control.h"
#include "platform/ui/Font.h"
#include "platform/ui/GraphicsContext.h"

class TextField;
class TextInputAssistantItem;
class Timer;

// Every method is optional; the defaults are the platform's answers.
class TextFieldDelegate {
public:
    virtual ~TextFieldDelegate() = default;
    virtual bool textFieldShouldBeginEditing(TextField& /*textField*/) { return true; }
    virtual void textFieldDidBeginEditing(TextField& /*textField*/) {}
    virtual bool textFieldShouldEndEditing(TextField& /*textField*/) { return true; }
    virtual void textFieldDidEndEditing(TextField& /*textField*/) {}
    // The range counts UTF-16 code units of the current text.
    virtual bool textFieldShouldChangeCharactersInRange(TextField& /*textField*/, Range /*range*/,
                                                        const std::string& /*replacement*/) {
        return true;
    }
    virtual bool textFieldShouldClear(TextField& /*textField*/) { return true; }
    virtual bool textFieldShouldReturn(TextField& /*textField*/) { return true; }
};

// A position in a text field's text, in UTF-16 code units.
struct TextPosition {
    std::size_t offset = 0;
};

enum class TextBorderStyle { None, Line, Bezel, RoundedRect };

// When a text field shows its clear button.
enum class TextFieldViewMode { Never, WhileEditing, UnlessEditing, Always };

// What the return key of the keyboard says.
enum class ReturnKeyType { Default, Done };

// A one-line editable text. Editing begins when it becomes first responder
// (in a window) and ends when it resigns; while editing, the input view (a
// keyboard unless one is set) is what the user types with. A tap on the
// field begins editing (when the delegate lets it). Typing and the return key
// come from UIDriver (typeText, pressReturn).
//
// It draws its border style, its text (or the placeholder in grey) cut with
// an ellipsis where it does not fit, and while editing the selection and a
// blinking caret at the insertion point, the clear button as its mode says
// (a tap on it clears the text when the delegate agrees) and its input
// accessory view across the bottom of the window.
class TextField : public Control {
public:
    TextField();
    explicit TextField(const Rect& frame);
    explicit TextField(const Coder& coder);
    ~TextField() override;

    // Setting the text drops an attributed text, and the other way round;
    // both read back the plain text.
    std::optional<std::string> text() const;
    void setText(std::optional<std::string> text);
    const std::optional<AttributedString>& attributedText() const { return attributedText_; }
    void setAttributedText(std::optional<AttributedString> text);
    const std::optional<std::string>& placeholder() const { return placeholder_; }
    void setPlaceholder(std::optional<std::string> placeholder) { placeholder_ = std::move(placeholder); }
    const Font& font() const { return font_; }
    void setFont(const Font& font) { font_ = font; }
    const Color& textColor() const { return textColor_; }
    void setTextColor(const Color& color) { textColor_ = color; }
    TextAlignment textAlignment() const { return textAlignment_; }
    void setTextAlignment(TextAlignment alignment) { textAlignment_ = alignment; }
    TextBorderStyle borderStyle() const { return borderStyle_; }
    void setBorderStyle(TextBorderStyle style) { borderStyle_ = style; }
    TextFieldViewMode clearButtonMode() const { return clearButtonMode_; }
    void setClearButtonMode(TextFieldViewMode mode);
    // The selection in UTF-16 code units; empty, it is the insertion point.
    // Setting the text puts the insertion point at its end.
    Range selectedRange() const { return selectedRange_; }
    // Clamped to the text.
    void setSelectedRange(Range range);
    ReturnKeyType returnKeyType() const { return returnKeyType_; }
    void setReturnKeyType(ReturnKeyType type) { returnKeyType_ = type; }

    const std::weak_ptr<TextFieldDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<TextFieldDelegate> delegate) { delegate_ = std::move(delegate); }
    // Shown instead of the keyboard while editing.
    const std::shared_ptr<View>& inputView() const { return inputView_; }
    void setInputView(std::shared_ptr<View> view) { inputView_ = std::move(view); }

    // Shown above where the keyboard would be while editing (InputAccessory.h).
    const std::shared_ptr<View>& inputAccessoryView() const { return inputAccessoryView_; }
    void setInputAccessoryView(std::shared_ptr<View> view);

    // The shortcut bar above the input view while editing (made on first use).
    TextInputAssistantItem& inputAssistantItem();

    bool isEditing() const { return editing_; }
    // Where the caret is drawn for a position.
    virtual Rect caretRectForPosition(TextPosition position) const;
    // Where the text is drawn within the bounds (inside the border, before
    // the clear button).
    virtual Rect textRectForBounds(const Rect& bounds) const;
    // Where the clear button is drawn; empty while it is not shown.
    Rect clearButtonRect() const;
    // Whether the caret shows now (it blinks while editing).
    bool isCaretVisible() const { return editing_ && caretOn_; }

    bool canBecomeFirstResponder() const override { return isEnabled(); }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    // The touch actions, then editing begins.
    void performTap() override;
    // A tap on the clear button clears the text; elsewhere as performTap.
    void performTapAtPoint(Point point) override;

    // What the keyboard does: replaces a range (UTF-16) when the delegate
    // agrees, then sends "editing changed". False when refused.
    bool replaceCharacters(Range range, const std::string& replacement);
    // The return key: asks the delegate; true when it agreed.
    bool returnKeyPressed();

    void drawRect(const Rect& rect) override;
    Size intrinsicContentSize() const override;
    // Room for the text (or the placeholder) with the border's padding, the
    // caret and the clear button where it shows (sizeToFit).
    Size sizeThatFits(Size size) const override;

private:
    std::optional<std::string> text_;
    std::optional<AttributedString> attributedText_;
    std::optional<std::string> placeholder_;
    Font font_ = Font::systemFont(17);
    Color textColor_ = Color::labelColor();
    TextAlignment textAlignment_ = TextAlignment::Natural;
    TextBorderStyle borderStyle_ = TextBorderStyle::None;
    ReturnKeyType returnKeyType_ = ReturnKeyType::Default;
    std::weak_ptr<TextFieldDelegate> delegate_;
    std::shared_ptr<View> inputView_;
    std::shared_ptr<TextInputAssistantItem> inputAssistantItem_;
    std::shared_ptr<View> inputAccessoryView_;
    TextFieldViewMode clearButtonMode_ = TextFieldViewMode::Never;
    Range selectedRange_{0, 0};
    std::shared_ptr<Timer> caretTimer_;
    bool caretOn_ = true;
    bool editing_ = false;

    void startCaret();
    void stopCaret();
    bool showsClearButton() const;
    std::size_t textLength() const;
};
