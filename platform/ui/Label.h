#pragma once

#include <optional>
#include <string>

#include "platform/ui/AttributedString.h"
#include "platform/ui/Font.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/View.h"

enum class LineBreakMode { WordWrapping, CharWrapping, Clipping, TruncatingHead, TruncatingTail, TruncatingMiddle };

// A label: text in one font and colour (an attributed text: each run in its
// own font and colours), drawn centred vertically in its bounds. Labels take
// no touches by default.
class Label : public View {
public:
    Label();
    explicit Label(const Rect& frame);
    explicit Label(const Coder& coder);

    // Setting the text drops an attributed text, and the other way round.
    const std::optional<std::string>& text() const { return text_; }
    void setText(std::optional<std::string> text);
    const std::optional<AttributedString>& attributedText() const { return attributedText_; }
    void setAttributedText(std::optional<AttributedString> text);
    // The system font of 17 points by default.
    const Font& font() const { return font_; }
    void setFont(const Font& font);
    // The label colour (black, or white in the dark style) by default.
    const Color& textColor() const { return textColor_; }
    void setTextColor(const Color& color);
    TextAlignment textAlignment() const { return textAlignment_; }
    void setTextAlignment(TextAlignment alignment);
    // 1 by default; 0 is unlimited.
    std::int64_t numberOfLines() const { return numberOfLines_; }
    void setNumberOfLines(std::int64_t lines);
    LineBreakMode lineBreakMode() const { return lineBreakMode_; }
    void setLineBreakMode(LineBreakMode mode) { lineBreakMode_ = mode; }
    double preferredMaxLayoutWidth() const { return preferredMaxLayoutWidth_; }
    void setPreferredMaxLayoutWidth(double width);
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }

    // The text's rectangle within the bounds (centred vertically).
    virtual Rect textRectForBounds(const Rect& bounds, std::int64_t numberOfLines) const;
    // Draws the text into the current context within the rectangle.
    virtual void drawTextInRect(const Rect& rect);
    // Where drawRect draws the text, in the bounds' coordinates: every line
    // at its measured width, placed as the alignment puts it, from the top of
    // the text rectangle; it reaches past the bounds when the text is cut
    // (isTextCut). Empty without text.
    Rect drawnTextRect() const;
    // Whether the bounds show less than the whole text: a line wider than
    // them, or more lines than the number of lines or the height lets show.
    bool isTextCut() const;

    void drawRect(const Rect& rect) override;
    Size intrinsicContentSize() const override;
    Size sizeThatFits(Size size) const override;

private:
    std::string displayedText() const;
    Color displayedColor() const;
    // The attributed text where a run of it sets a font or colour, else null
    // (the text shows in the label's font and colour).
    const AttributedString* styledText() const;
    // The lines of the text (styled or plain) measured as drawn.
    Size measure(double maxWidth, bool wraps) const;
    // The height the first `count` lines take at that width.
    double heightOfLines(std::int64_t count, double width) const;

    std::optional<std::string> text_;
    std::optional<AttributedString> attributedText_;
    Font font_ = Font::systemFont(17);
    Color textColor_ = Color::labelColor();
    TextAlignment textAlignment_ = TextAlignment::Natural;
    std::int64_t numberOfLines_ = 1;
    LineBreakMode lineBreakMode_ = LineBreakMode::TruncatingTail;
    double preferredMaxLayoutWidth_ = 0;
    bool enabled_ = true;
};
