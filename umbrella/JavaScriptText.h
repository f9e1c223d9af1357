#pragma once

#include <string>
#include <string_view>

// Turning native values into script text for the scripts that native code
// evaluates in a page.

// A template literal holding the text: backslashes are doubled, then "${" and
// backticks each get a backslash in front; carriage returns are written as
// \r, since a template literal would read a raw one (or CR LF) as a line
// feed. The result is wrapped in backticks.
std::string javaScriptTemplateLiteral(std::string_view text);

// A string literal in double quotes, written as JSON writes strings (quotes,
// backslashes and control characters escaped; U+2028 and U+2029 too).
std::string javaScriptStringLiteral(std::string_view text);

// A number with four decimals ("%.4f"): 2.5 is 2.5000. Numbers that are not
// finite have no script text of that form and are written as null.
std::string javaScriptFourDecimalsNumber(double value);
