#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// String helpers that follow the platform's string class. Strings are UTF-8;
// where the platform counts or cuts by characters, the UTF-16 helpers count as
// it does.

// integerValue: leading white space, an optional sign and decimal digits; stops
// at the first other character; 0 when there are no digits; clamps on overflow.
std::int64_t stringIntegerValue(std::string_view s);
// doubleValue: leading white space, then the longest decimal floating-point
// prefix; 0 when there is none.
double stringDoubleValue(std::string_view s);
// boolValue: YES for a leading "Y", "y", "T", "t" or a digit 1-9 (after white
// space, signs and zeros).
bool stringBoolValue(std::string_view s);

// Trimming with the platform's white space and new-line set (Unicode).
std::string stringByTrimmingWhitespaceAndNewlines(std::string_view s);
std::string stringByTrimmingWhitespace(std::string_view s);
bool isWhitespaceOrNewline(char32_t c);

std::string stringByReplacingOccurrences(std::string_view s, std::string_view target, std::string_view replacement);
std::vector<std::string> componentsSeparatedByString(std::string_view s, std::string_view separator);
std::string componentsJoinedByString(const std::vector<std::string>& parts, std::string_view separator);
bool stringContains(std::string_view s, std::string_view part);

std::string lowercaseString(std::string_view s);
std::string uppercaseString(std::string_view s);
// -1, 0 or 1, comparing case-insensitively (Unicode case folding).
int caseInsensitiveCompare(std::string_view a, std::string_view b);
// The string folded for searching as a user types: Unicode default case folding, then accents and
// other combining marks dropped, so that "Übung" and "übung" fold alike, and "ΣΟΦΙΑ" and "σοφία" too
// (capitals in Greek are written without their accents). Search a folded text for a folded query.
std::string foldedForSearch(std::string_view s);

// Paths, with the platform's rules: slashes fold, a trailing slash is dropped.
std::vector<std::string> pathComponents(std::string_view path);
std::string lastPathComponent(std::string_view path);
std::string pathExtension(std::string_view path);
std::string stringByDeletingLastPathComponent(std::string_view path);
std::string stringByDeletingPathExtension(std::string_view path);
std::string stringByAppendingPathComponent(std::string_view path, std::string_view component);
std::string stringByAppendingPathExtension(std::string_view path, std::string_view ext);

// UTF-16 views.
std::u16string toUTF16(std::string_view s);
std::string fromUTF16(std::u16string_view s);
// Number of UTF-16 code units (the platform's string length).
std::size_t utf16Length(std::string_view s);
// The first / last code points of the string that together take at most
// maxUnits UTF-16 code units: a cut that would split a surrogate pair keeps
// one unit fewer, so no character is ever torn.
std::string prefixWithinUTF16Length(std::string_view s, std::size_t maxUnits);
std::string suffixWithinUTF16Length(std::string_view s, std::size_t maxUnits);
// The string cut into composed character sequences (grapheme clusters).
std::vector<std::string> composedCharacterSequences(std::string_view s);
// Appends one code point, encoded as UTF-8.
void appendUTF8(std::string& out, char32_t c);
// Decodes UTF-8, replacing each invalid byte by U+FFFD.
std::string sanitizeUTF8(std::string_view bytes);
bool isValidUTF8(std::string_view bytes);
// A short, printable excerpt of text received from outside, for a log line or a terminal: at most
// maxBytes bytes of the input are shown (cut on a character boundary), control characters and
// escape sequences are written as \n, \r, \t or \xNN, invalid UTF-8 bytes as \xNN, a backslash
// as \\, and a cut ends with "… (N bytes)", N being the input's whole size. It never holds a line break.
std::string escapedExcerpt(std::string_view text, std::size_t maxBytes = 200);
