#pragma once

#include <optional>
#include <vector>

#include "platform/ui/AttributedString.h"
#include "platform/ui/Font.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/TextTruncation.h"

// Text with attributes, laid out in lines as plain text is (measureText,
// GraphicsContext::drawText): lines break at "\n" and, when wrapping, between
// words before the width. Each run shows in its own font; text a run gives
// no font uses the base font. A line is as high as its tallest font needs,
// and its baseline sits below the highest ascent in it.
struct AttributedTextLine {
    Range range;          // bytes of the text on this line, without the spaces it breaks at
    double width = 0;     // measured, in points
    double ascent = 0;    // from the line's top to its baseline
    double height = 0;    // ascent and the deepest descent
};

std::vector<AttributedTextLine> attributedTextLines(const AttributedString& text, const Font& font, double maxWidth,
                                                    bool wraps);
// The lines' widest width and their heights together (rounded up), as
// measureText gives for plain text.
Size measureAttributedText(const AttributedString& text, const Font& font, double maxWidth, bool wraps);
// Whether any run sets a font or a colour (else the text draws as plain
// text in the label's or field's own font and colour).
bool hasStyledRuns(const AttributedString& text);
