#include "platform/foundation/PropertyListLimits.h"

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

std::uint64_t readBigEndian(const Data& d, std::size_t at, std::size_t size) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < size; ++i) v = (v << 8) | d[at + i];
    return v;
}

bool xmlNestingWithinLimit(const Data& d) {
    std::size_t depth = 0;
    std::size_t i = 0;
    const std::size_t n = d.size();
    auto startsAt = [&](std::size_t at, const char* text) {
        const std::size_t len = std::strlen(text);
        return at + len <= n && std::memcmp(d.data() + at, text, len) == 0;
    };
    auto skipPast = [&](std::size_t from, const char* end) {
        const std::size_t len = std::strlen(end);
        for (std::size_t j = from; j + len <= n; ++j)
            if (std::memcmp(d.data() + j, end, len) == 0) return j + len;
        return n;
    };
    while (i < n) {
        if (d[i] != '<') {
            ++i;
            continue;
        }
        if (startsAt(i, "<!--")) {
            i = skipPast(i + 4, "-->");
        } else if (startsAt(i, "<![CDATA[")) {
            i = skipPast(i + 9, "]]>");
        } else if (startsAt(i, "<?") || startsAt(i, "<!")) {
            i = skipPast(i + 2, ">");
        } else if (startsAt(i, "</")) {
            if (depth > 0) --depth;
            i = skipPast(i + 2, ">");
        } else {
            const std::size_t end = skipPast(i + 1, ">");
            const bool selfClosing = end >= 2 && end <= n && d[end - 2] == '/';
            if (!selfClosing && ++depth > PropertyList::kMaxNestingDepth) return false;
            i = end;
        }
    }
    return true;
}

bool binaryNestingWithinLimit(const Data& d) {
    if (d.size() < 8 + 32) return true;
    const std::size_t trailer = d.size() - 32;
    const std::size_t offsetSize = d[trailer + 6], refSize = d[trailer + 7];
    const std::uint64_t count = readBigEndian(d, trailer + 8, 8);
    const std::uint64_t top = readBigEndian(d, trailer + 16, 8);
    const std::uint64_t table = readBigEndian(d, trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8 || count == 0 || top >= count) return false;
    if (table >= trailer || count > (trailer - table) / offsetSize) return false;

    // The references of a container object; false when it does not fit in the bytes.
    auto children = [&](std::uint64_t object, std::vector<std::uint64_t>& out) {
        out.clear();
        const std::uint64_t offset =
            readBigEndian(d, static_cast<std::size_t>(table + object * offsetSize), offsetSize);
        if (offset >= table) return false;
        const std::uint8_t marker = d[offset];
        const std::uint8_t kind = marker >> 4;
        if (kind != 0xA && kind != 0xC && kind != 0xD) return true;
        std::uint64_t items = marker & 0xF;
        std::size_t at = static_cast<std::size_t>(offset) + 1;
        if (items == 0xF) {
            if (at >= table || (d[at] >> 4) != 0x1) return false;
            const std::size_t size = std::size_t(1) << (d[at] & 0xF);
            if (size > 8 || at + 1 + size > table) return false;
            items = readBigEndian(d, at + 1, size);
            at += 1 + size;
        }
        const std::uint64_t refs = kind == 0xD ? items * 2 : items;
        if (items > table || refs > (table - at) / refSize) return false;
        for (std::uint64_t r = 0; r < refs; ++r) {
            const std::uint64_t ref = readBigEndian(d, static_cast<std::size_t>(at + r * refSize), refSize);
            if (ref >= count) return false;
            out.push_back(ref);
        }
        return true;
    };

    // Longest path from the top object, depth-first without recursion; each
    // object is measured once, a loop is refused.
    enum : std::uint8_t { Unseen, Open, Done };
    std::vector<std::uint8_t> state(static_cast<std::size_t>(count), Unseen);
    std::vector<std::uint32_t> height(static_cast<std::size_t>(count), 0);
    struct Frame {
        std::uint64_t object;
        std::vector<std::uint64_t> children;
        std::size_t next = 0;
    };
    std::vector<Frame> stack;
    stack.push_back({top, {}, 0});
    if (!children(top, stack.back().children)) return false;
    state[top] = Open;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next < frame.children.size()) {
            const std::uint64_t child = frame.children[frame.next++];
            if (state[child] == Open) return false;
            if (state[child] == Done) {
                height[frame.object] = std::max(height[frame.object], height[child] + 1);
                continue;
            }
            if (stack.size() > PropertyList::kMaxNestingDepth) return false;
            Frame next{child, {}, 0};
            if (!children(child, next.children)) return false;
            state[child] = Open;
            stack.push_back(std::move(next));
            continue;
        }
        const std::uint64_t object = frame.object;
        state[object] = Done;
        stack.pop_back();
        if (!stack.empty()) height[stack.back().object] = std::max(height[stack.back().object], height[object] + 1);
    }
    return height[top] <= PropertyList::kMaxNestingDepth;
}

}  // namespace

namespace PropertyList {

bool nestingWithinLimit(const Data& data) {
    if (data.size() >= 8 && std::memcmp(data.data(), "bplist00", 8) == 0) return binaryNestingWithinLimit(data);
    return xmlNestingWithinLimit(data);
}

}  // namespace PropertyList
