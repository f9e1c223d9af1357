#pragma once

#include <optional>
#include <string>

#include "platform/foundation/Data.h"

// The plain text of an RTF document, as reading it into an attributed
// string and taking its string gives it (UTF-8). A small reader of our own:
// groups, control words with their numeric parameter and delimiting space,
// control symbols (\\ \{ \} \~ \- \_), paragraph and line breaks (\par,
// \line, \sect, \page as "\n"), \tab, "\'hh" in the document's code page
// (Windows-1252, or \ansicpg1250-1258 read as 1252), \uN with its
// replacement characters (\ucN) skipped and surrogate pairs joined, and
// destinations that carry no text skipped whole (the font, colour and style
// tables, document information, pictures, headers and footers, fields'
// instructions and every "\*" destination). Raw line ends in the source are
// ignored, as RTF wants.
//
// Returns nullopt when the bytes are no RTF document: they do not start with
// "{\rtf", a group is left open or closed twice, or a "\'" lacks its two
// hexadecimal digits.
std::optional<std::string> plainTextFromRTF(const Data& rtf);
