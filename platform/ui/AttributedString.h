#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/ui/Color.h"
#include "platform/ui/Font.h"

// Text with attributes over ranges of it (in bytes of the UTF-8 text): the
// font, the colours and underlines, as far as the interface shows them.
class AttributedString {
public:
    struct Attributes {
        std::optional<Font> font;
        std::optional<Color> foregroundColor;
        std::optional<Color> backgroundColor;
        bool operator==(const Attributes&) const = default;
    };
    struct Run {
        Range range;
        Attributes attributes;
        bool operator==(const Run&) const = default;
    };

    AttributedString() = default;
    explicit AttributedString(std::string string, Attributes attributes = {});

    const std::string& string() const { return string_; }
    const std::vector<Run>& runs() const { return runs_; }
    // Sets the attributes of a range (later runs win where they overlap).
    void addAttributes(const Attributes& attributes, Range range);
    // The attributes in force at a byte offset.
    Attributes attributesAtIndex(std::size_t index) const;

    // Underlines, kept apart from the other attributes: a line style
    // combined with a pattern, over a range.
    static constexpr std::int64_t UnderlineStyleSingle = 0x01;
    static constexpr std::int64_t UnderlinePatternDot = 0x0100;
    struct UnderlineRun {
        Range range;
        std::int64_t style = 0;
        bool operator==(const UnderlineRun&) const = default;
    };
    void addUnderlineStyle(std::int64_t style, Range range);
    const std::vector<UnderlineRun>& underlineRuns() const { return underlines_; }
    // The underline style at a byte offset (0: none).
    std::int64_t underlineStyleAtIndex(std::size_t index) const;

    bool operator==(const AttributedString&) const = default;

private:
    std::string string_;
    std::vector<Run> runs_;
    std::vector<UnderlineRun> underlines_;
};
