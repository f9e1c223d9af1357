#pragma once

#include <optional>
#include <string>

#include "platform/ui/Color.h"

// Hex and CSS colour strings, blends and darkening: the app's additions to
// the platform's colour class. Deck covers, group rows, gauges and buttons
// keep their colours as hex strings.

// "#3996f9" or "3996f9" (every "#" is dropped) read as one hexadecimal number:
// red from bits 16-23, green 8-15, blue 0-7, alpha 1. Text that is no hex
// number gives black; nil gives nil. "fff" is the number 0xfff, not a
// shorthand.
std::optional<Color> twColorFromHexString(const std::optional<std::string>& hexString);

// The fraction is clamped to 0..1; each channel and the alpha move linearly.
Color twColorByInterpolating(double fraction, const Color& start, const Color& end);
// Below 0.5 between start and middle, from 0.5 on between middle and end.
Color twColorByInterpolating(double fraction, const Color& start, const Color& middle, const Color& end);

// Red, green and blue less the amount (not below 0); alpha unchanged.
std::optional<Color> twDarkerColor(const Color& color, double amount);

// "#rrggbb" in lower case, alpha ignored; nil for no colour.
std::optional<std::string> twRGBColorToHexString(const std::optional<Color>& color);

// Reads the colours a web view reports, "rgb(r, g, b)" and "rgba(r, g, b, a)":
// only digits, commas and full stops count (the notation's name plays no
// part). The first three components are whole numbers divided by 255, not
// clamped. A fourth component is the alpha, read as a decimal number and
// clamped to 0..1; exactly 0 gives the clear colour. Components after a
// fifth are ignored (alpha 1). Anything else gives nil.
std::optional<Color> parseCSSrgbColor(const std::optional<std::string>& text);

// Logs the message at level 1 through the app's logger.
void logError(const std::string& message, const char* file, const char* function, int line);
