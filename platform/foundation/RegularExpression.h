#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"

// Regular expressions with the platform's semantics (ICU syntax, matching over
// UTF-16). Results give ranges in UTF-8 byte offsets of the searched string and
// the captured texts. A compiled expression may be shared between threads.
class RegularExpression {
public:
    enum Options : unsigned {
        None = 0,
        CaseInsensitive = 1 << 0,
        AllowCommentsAndWhitespace = 1 << 1,
        IgnoreMetacharacters = 1 << 2,
        DotMatchesLineSeparators = 1 << 3,
        AnchorsMatchLines = 1 << 4,
        UseUnixLineSeparators = 1 << 5,
        UseUnicodeWordBoundaries = 1 << 6,
    };

    struct Match {
        // Group 0 is the whole match; an unmatched group has a not-found range.
        std::vector<Range> ranges;
        std::vector<std::optional<std::string>> groups;
        std::size_t numberOfRanges() const { return ranges.size(); }
        Range range(std::size_t group = 0) const { return group < ranges.size() ? ranges[group] : Range{}; }
        std::string group(std::size_t n = 0) const {
            return n < groups.size() && groups[n] ? *groups[n] : std::string();
        }
    };

    // Compiles the pattern; nullptr with an error for a bad pattern.
    static std::shared_ptr<RegularExpression> make(std::string_view pattern, unsigned options = None,
                                                   Error* error = nullptr);
    ~RegularExpression();

    const std::string& pattern() const { return pattern_; }
    std::optional<Match> firstMatch(std::string_view s) const;
    std::vector<Match> matches(std::string_view s) const;
    std::size_t numberOfMatches(std::string_view s) const;
    // Replaces every match by the template, where "$n" stands for group n and
    // a backslash takes the next character literally.
    std::string stringByReplacingMatches(std::string_view s, std::string_view replacementTemplate) const;

    static std::string escapedPattern(std::string_view s);
    static std::string escapedTemplate(std::string_view s);

private:
    struct Impl;
    RegularExpression(std::string pattern, std::unique_ptr<Impl> impl);
    std::string pattern_;
    std::unique_ptr<Impl> impl_;
};
