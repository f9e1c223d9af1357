#include "platform/ui/TextTruncation.h"

#include <vector>

namespace {

constexpr const char* kEllipsis = "\u2026";

// The byte offsets where the text's characters start, and its size at the end.
std::vector<std::size_t> characterStarts(const std::string& text) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
    starts.push_back(text.size());
    return starts;
}

}  // namespace

std::string truncatedText(const std::string& text, const Font& font, double width, TruncationPosition position) {
    if (font.sizeOfText(text).width <= width) return text;
    if (font.sizeOfText(kEllipsis).width > width) return {};
    const auto starts = characterStarts(text);
    const std::size_t count = starts.size() - 1;
    // The text kept when `kept` characters stay beside the ellipsis.
    auto cut = [&](std::size_t kept) {
        switch (position) {
            case TruncationPosition::Head:
                return kEllipsis + text.substr(starts[count - kept]);
            case TruncationPosition::Middle: {
                const std::size_t head = (kept + 1) / 2, tail = kept - head;
                return text.substr(0, starts[head]) + kEllipsis + text.substr(starts[count - tail]);
            }
            case TruncationPosition::Tail:
                break;
        }
        std::string head = text.substr(0, starts[kept]);
        while (!head.empty() && head.back() == ' ') head.pop_back();
        return head + kEllipsis;
    };
    // The most characters that still fit, found by halving.
    std::size_t low = 0, high = count;
    while (low < high) {
        const std::size_t middle = (low + high + 1) / 2;
        if (font.sizeOfText(cut(middle)).width <= width)
            low = middle;
        else
            high = middle - 1;
    }
    return cut(low);
}
