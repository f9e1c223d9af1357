#include "platform/ui/AttributedString.h"

AttributedString::AttributedString(std::string string, Attributes attributes) : string_(std::move(string)) {
    if (attributes != Attributes{}) runs_.push_back({Range{0, string_.size()}, std::move(attributes)});
}

void AttributedString::addAttributes(const Attributes& attributes, Range range) {
    if (range.location > string_.size()) return;
    range.length = std::min(range.length, string_.size() - range.location);
    runs_.push_back({range, attributes});
}

AttributedString::Attributes AttributedString::attributesAtIndex(std::size_t index) const {
    Attributes result;
    for (const auto& run : runs_) {
        if (index < run.range.location || index >= run.range.location + run.range.length) continue;
        if (run.attributes.font) result.font = run.attributes.font;
        if (run.attributes.foregroundColor) result.foregroundColor = run.attributes.foregroundColor;
        if (run.attributes.backgroundColor) result.backgroundColor = run.attributes.backgroundColor;
    }
    return result;
}

void AttributedString::addUnderlineStyle(std::int64_t style, Range range) {
    if (range.location > string_.size()) return;
    range.length = std::min(range.length, string_.size() - range.location);
    underlines_.push_back({range, style});
}

std::int64_t AttributedString::underlineStyleAtIndex(std::size_t index) const {
    std::int64_t style = 0;
    for (const auto& run : underlines_) {
        if (index >= run.range.location && index < run.range.location + run.range.length) style = run.style;
    }
    return style;
}
