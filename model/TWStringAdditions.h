#pragma once

// String helpers: HTML escaping and unescaping, URL parameter escaping and
// splitting, trimming and blank tests.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Replaces "&", the double quote, "'", ">" and "<" by their entities, ampersands
// first so the new entities are not escaped again.
std::string twStringByEscapingHTML(std::string_view s);

// Replaces character references (named, decimal and hexadecimal) by their
// characters in one pass from the end; see TWHTMLEntities.h for the names.
// A string without "&" is returned unchanged.
std::string twStringByUnescapingHTML(std::string_view s);

// Percent-escapes the UTF-8 bytes for use as a URL query value: everything but
// ASCII letters, digits and "-._~" becomes %XX (upper-case hex).
std::string twStringByEncodingAsUrlParameterValue(std::string_view s);

// Splits "scheme://a/b" into [scheme, a, b]. Anything but exactly one "://"
// gives an empty array.
std::vector<std::string> twSplitIntoURLComponents(std::string_view s);

// Trims white space and line breaks at both ends.
std::string twStringByTrimming(std::string_view s);

// True when the other string is not nil, not empty and occurs in the string
// (literal, case-sensitive).
bool twContainsString(std::string_view s, const std::optional<std::string_view>& other);

// The default when the value is nil or only white space and line breaks;
// otherwise the value unchanged (not trimmed).
std::optional<std::string> twUseValueIfNotEmpty(const std::optional<std::string>& value,
                                                const std::optional<std::string>& defaultValue);
