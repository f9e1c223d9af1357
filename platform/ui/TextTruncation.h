#pragma once

#include <string>

#include "platform/ui/Font.h"

// Where a line that does not fit loses its text to an ellipsis.
enum class TruncationPosition { Head, Middle, Tail };

// The text as one line of at most `width` points in the font: unchanged when
// it fits, else cut at whole characters with "…" where the text was cut
// (only the ellipsis, or nothing, when not even that fits).
std::string truncatedText(const std::string& text, const Font& font, double width,
                          TruncationPosition position = TruncationPosition::Tail);
