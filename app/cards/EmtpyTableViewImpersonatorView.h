#pragma once

#include "platform/ui/Color.h"
#include "platform/ui/View.h"

// The footer of the card list: it continues the row separators below the
// last row, so that a short list looks like a full table. Lines are half a
// point high, `rowHeight` apart, from `leftInset` to the right edge. Whoever
// changes a field asks for a redraw (setNeedsDisplay).
class EmtpyTableViewImpersonatorView : public View {
public:
    explicit EmtpyTableViewImpersonatorView(const Rect& frame = Rect());
    explicit EmtpyTableViewImpersonatorView(const Coder& coder);

    // Start one row lower (while the table is editing).
    bool skipFirstSeparator() const { return skipFirstSeparator_; }
    void setSkipFirstSeparator(bool skip) { skipFirstSeparator_ = skip; }
    const Color& separatorColor() const { return separatorColor_; }
    void setSeparatorColor(const Color& color) { separatorColor_ = color; }
    double leftInset() const { return leftInset_; }
    void setLeftInset(double inset) { leftInset_ = inset; }
    double rowHeight() const { return rowHeight_; }
    void setRowHeight(double height) { rowHeight_ = height; }

    // Fills the dirty rectangle with the system background, then draws the
    // lines that cross it. The first line is always considered, also in a
    // view lower than one row.
    void drawRect(const Rect& rect) override;

private:
    bool skipFirstSeparator_ = false;
    Color separatorColor_ = Color::lightGrayColor();
    double leftInset_ = 42;
    double rowHeight_ = 44;
};
