#include "platform/display/DisplayFrame.h"

#include <png.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <thread>

#include <nlohmann/json.hpp>

namespace DisplayFrame {

namespace {

const unsigned char* rowOf(const Pixels& picture, int y) {
    return picture.data + static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.stride);
}

std::uint32_t pixelAt(const unsigned char* row, int x) {
    std::uint32_t pixel;
    std::memcpy(&pixel, row + static_cast<std::size_t>(x) * 4, sizeof pixel);
    return pixel;
}

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

void flushNothing(png_structp) {}

// The rows of an ARGB32 rectangle as RGBA, not premultiplied.
void straightRGBA(const unsigned char* row, int width, unsigned char* out) {
    for (int x = 0; x < width; ++x, out += 4) {
        const std::uint32_t pixel = pixelAt(row, x);
        const std::uint32_t alpha = pixel >> 24;
        const std::uint32_t channels[3] = {(pixel >> 16) & 0xff, (pixel >> 8) & 0xff, pixel & 0xff};
        for (int c = 0; c < 3; ++c)
            out[c] = static_cast<unsigned char>(alpha == 0 ? 0 : (channels[c] * 255 + alpha / 2) / alpha);
        out[3] = static_cast<unsigned char>(alpha);
    }
}

// libpng reports failure by a long jump back here; nothing in this frame has
// a destructor to skip.
bool writePNG(png_structp png, png_infop info, const Pixels& picture, const PixelRect& rect, bool opaque,
              unsigned char* rowBuffer) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(rect.width), static_cast<png_uint_32>(rect.height), 8,
                 opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_write_info(png, info);
    if (opaque) {
        // The surface's own rows: B, G, R, A in memory on a little-endian machine.
        if constexpr (std::endian::native == std::endian::little) {
            png_set_bgr(png);
            png_set_filler(png, 0, PNG_FILLER_AFTER);
        } else {
            png_set_filler(png, 0, PNG_FILLER_BEFORE);
        }
    }
    for (int y = rect.y; y < rect.y + rect.height; ++y) {
        const unsigned char* row = rowOf(picture, y) + static_cast<std::size_t>(rect.x) * 4;
        if (opaque) {
            png_write_row(png, row);
        } else {
            straightRGBA(row, rect.width, rowBuffer);
            png_write_row(png, rowBuffer);
        }
    }
    png_write_end(png, info);
    return true;
}

// Where a pixel of a line (a row or a column) differs from the one before
// it, keyed by both pixels.
struct Edge {
    std::uint64_t key;
    int at;
};

template <typename PixelOf>
std::vector<Edge> edgesOf(PixelOf pixel, int first, int last) {
    std::vector<Edge> edges;
    first = std::max(first, 1);
    if (first >= last) return edges;
    std::uint32_t previous = pixel(first - 1);
    for (int i = first; i < last; ++i) {
        const std::uint32_t current = pixel(i);
        if (current != previous) edges.push_back({(std::uint64_t{previous} << 32) | current, i});
        previous = current;
    }
    return edges;
}

// Each edge of the line after votes for its distance from every edge of the
// same line before with the same pixels on both sides; an edge that many
// share (a plain colour's) tells nothing and does not vote.
void voteForShifts(std::vector<Edge> before, const std::vector<Edge>& after, int length, std::vector<int>& votes) {
    constexpr std::ptrdiff_t kMaxAlike = 32;
    auto byKey = [](const Edge& a, const Edge& b) { return a.key < b.key; };
    std::sort(before.begin(), before.end(), byKey);
    for (const Edge& edge : after) {
        const auto [first, last] = std::equal_range(before.begin(), before.end(), edge, byKey);
        if (last - first > kMaxAlike) continue;
        for (auto it = first; it != last; ++it)
            if (it->at != edge.at) ++votes[static_cast<std::size_t>(edge.at - it->at + length)];
    }
}

// The shifts with the most votes (at least a few), best first.
std::vector<int> bestShifts(const std::vector<int>& votes, int length) {
    constexpr int kMinVotes = 8;
    constexpr std::size_t kCandidates = 2;
    std::vector<int> best;
    std::vector<int> left = votes;
    while (best.size() < kCandidates) {
        const auto top = std::max_element(left.begin(), left.end());
        if (*top < kMinVotes) break;
        best.push_back(static_cast<int>(top - left.begin()) - length);
        *top = 0;
    }
    return best;
}

// About how many of `count` pixels are the same in both: those of equal runs
// of 16 (a memcmp each), and of what is left.
std::int64_t samePixels(const unsigned char* a, const unsigned char* b, int count) {
    constexpr int kRun = 16;
    if (std::memcmp(a, b, static_cast<std::size_t>(count) * 4) == 0) return count;
    std::int64_t same = 0;
    int x = 0;
    for (; x + kRun <= count; x += kRun)
        if (std::memcmp(a + static_cast<std::size_t>(x) * 4, b + static_cast<std::size_t>(x) * 4, kRun * 4) == 0)
            same += kRun;
    for (; x < count; ++x) same += pixelAt(a, x) == pixelAt(b, x);
    return same;
}

// How well content shifted by (dx, dy) from the picture before fits the
// changed rectangle after: the copy over the rows it brings closer, and how
// many pixels more it gets right than leaving the picture as it was (every
// `step` rows looked at).
struct Fit {
    Copy copy;
    std::int64_t gain = 0;
};

Fit fitOfShift(const Pixels& before, const Pixels& after, const PixelRect& rect, int dx, int dy, int step) {
    Fit fit;
    const int left = std::max(rect.x, dx), right = std::min(rect.x + rect.width, after.width + dx);
    const int top = std::max(rect.y, dy), bottom = std::min(rect.y + rect.height, after.height + dy);
    if (right - left <= 0 || bottom <= top) return fit;
    const int width = right - left;
    int first = -1, last = -1;
    for (int y = top; y < bottom; y += step) {
        const unsigned char* now = rowOf(after, y) + static_cast<std::size_t>(left) * 4;
        const std::int64_t shifted =
            samePixels(now, rowOf(before, y - dy) + static_cast<std::size_t>(left - dx) * 4, width);
        const std::int64_t kept = samePixels(now, rowOf(before, y) + static_cast<std::size_t>(left) * 4, width);
        if (shifted <= kept) continue;
        fit.gain += (shifted - kept) * step;
        if (first < 0) first = y;
        last = y;
    }
    if (first < 0) return fit;
    last = std::min(last + step - 1, bottom - 1);
    fit.copy = {{left, first, width, last - first + 1}, left - dx, first - dy};
    return fit;
}

}  // namespace

std::vector<Copy> findCopies(const Pixels& before, const Pixels& after, const std::vector<PixelRect>& changed) {
    std::vector<PixelRect> large;
    for (const auto& rect : changed)
        if (rect.area() >= kMinMovedArea && rect.width >= 8 && rect.height >= 8) large.push_back(rect);
    if (large.empty()) return {};

    // Edges of sample rows vote for sideways shifts, those of sample columns
    // for shifts up or down.
    constexpr int kSamples = 16;
    std::int64_t rows = 0;
    int minX = after.width, maxX = 0, minY = after.height, maxY = 0;
    for (const auto& rect : large) {
        rows += rect.height;
        minX = std::min(minX, rect.x), maxX = std::max(maxX, rect.x + rect.width);
        minY = std::min(minY, rect.y), maxY = std::max(maxY, rect.y + rect.height);
    }
    std::vector<int> sideways(static_cast<std::size_t>(2 * after.width + 1));
    std::vector<int> upDown(static_cast<std::size_t>(2 * after.height + 1));
    for (int i = 0; i < kSamples; ++i) {
        // The sample rows spread over the changed rows of all rectangles.
        std::int64_t at = rows * (2 * i + 1) / (2 * kSamples);
        for (const auto& rect : large) {
            if (at >= rect.height) {
                at -= rect.height;
                continue;
            }
            const int y = rect.y + static_cast<int>(at);
            const unsigned char* was = rowOf(before, y);
            const unsigned char* now = rowOf(after, y);
            voteForShifts(edgesOf([was](int x) { return pixelAt(was, x); }, 0, after.width),
                          edgesOf([now](int x) { return pixelAt(now, x); }, rect.x, rect.x + rect.width),
                          after.width, sideways);
            break;
        }
        const int x = minX + (maxX - minX) * (2 * i + 1) / (2 * kSamples);
        voteForShifts(edgesOf([&](int y) { return pixelAt(rowOf(before, y), x); }, 0, after.height),
                      edgesOf([&](int y) { return pixelAt(rowOf(after, y), x); }, minY, maxY), after.height,
                      upDown);
    }
    std::vector<std::pair<int, int>> shifts;
    for (int dx : bestShifts(sideways, after.width)) shifts.emplace_back(dx, 0);
    for (int dy : bestShifts(upDown, after.height)) shifts.emplace_back(0, dy);
    if (shifts.empty()) return {};

    // Each rectangle takes the shift that fits it best (looked at on every
    // fourth row), if any brings it closer.
    constexpr int kLookStep = 4;
    std::vector<Copy> copies;
    for (const auto& rect : large) {
        std::optional<std::pair<int, int>> chosen;
        std::int64_t bestGain = 0;
        for (const auto& [dx, dy] : shifts) {
            const Fit fit = fitOfShift(before, after, rect, dx, dy, kLookStep);
            if (fit.gain > bestGain) bestGain = fit.gain, chosen = std::pair{dx, dy};
        }
        if (!chosen || bestGain < kMinMovedArea / 2) continue;
        const Fit fit = fitOfShift(before, after, rect, chosen->first, chosen->second, 1);
        if (fit.gain > 0) copies.push_back(fit.copy);
    }
    return copies;
}

void applyCopies(unsigned char* data, int stride, const std::vector<Copy>& copies) {
    std::vector<unsigned char> held;
    for (const Copy& copy : copies) {
        // Through a buffer: the rectangles may overlap.
        const std::size_t rowBytes = static_cast<std::size_t>(copy.rect.width) * 4;
        held.resize(rowBytes * static_cast<std::size_t>(copy.rect.height));
        auto at = [&](int x, int y) {
            return data + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(x) * 4;
        };
        for (int row = 0; row < copy.rect.height; ++row)
            std::memcpy(held.data() + rowBytes * static_cast<std::size_t>(row), at(copy.fromX, copy.fromY + row),
                        rowBytes);
        for (int row = 0; row < copy.rect.height; ++row)
            std::memcpy(at(copy.rect.x, copy.rect.y + row), held.data() + rowBytes * static_cast<std::size_t>(row),
                        rowBytes);
    }
}

std::vector<PixelRect> changedRects(const Pixels& before, const Pixels& after) {
    std::vector<PixelRect> rects;
    const std::size_t rowBytes = static_cast<std::size_t>(after.width) * 4;
    auto rowChanged = [&](int y) { return std::memcmp(rowOf(before, y), rowOf(after, y), rowBytes) != 0; };
    int y = 0;
    while (y < after.height) {
        if (!rowChanged(y)) {
            ++y;
            continue;
        }
        const int top = y;
        int bottom = y;
        int left = after.width, right = -1;
        for (; y < after.height && y - bottom <= kRowGap; ++y) {
            if (y != top && !rowChanged(y)) continue;
            bottom = y;
            const unsigned char* a = rowOf(before, y);
            const unsigned char* b = rowOf(after, y);
            int first = 0;
            while (pixelAt(a, first) == pixelAt(b, first)) ++first;
            int last = after.width - 1;
            while (pixelAt(a, last) == pixelAt(b, last)) --last;
            left = std::min(left, first);
            right = std::max(right, last);
        }
        rects.push_back({left, top, right - left + 1, bottom - top + 1});
    }
    return rects;
}

std::string png(const Pixels& picture, const PixelRect& rect) {
    bool opaque = true;
    for (int y = rect.y; opaque && y < rect.y + rect.height; ++y) {
        const unsigned char* row = rowOf(picture, y);
        for (int x = rect.x; x < rect.x + rect.width; ++x)
            if ((pixelAt(row, x) >> 24) != 0xff) {
                opaque = false;
                break;
            }
    }
    std::string bytes;
    std::vector<unsigned char> rowBuffer(opaque ? 0 : static_cast<std::size_t>(rect.width) * 4);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info) {
        png_set_write_fn(png, &bytes, appendBytes, flushNothing);
        if (!writePNG(png, info, picture, rect, opaque, rowBuffer.data())) bytes.clear();
    }
    png_destroy_write_struct(&png, &info);
    return bytes;
}

std::vector<Part> pngBands(const Pixels& picture, const PixelRect& rect) {
    // A band of fewer rows than this is made faster than a thread starts.
    constexpr int kMinBandRows = 96;
    constexpr int kMaxBands = 8;
    const int hardware = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int bands = std::clamp(rect.height / kMinBandRows, 1, std::min(kMaxBands, hardware));
    std::vector<Part> parts(static_cast<std::size_t>(bands));
    for (int i = 0; i < bands; ++i) {
        const int top = rect.y + rect.height * i / bands, bottom = rect.y + rect.height * (i + 1) / bands;
        parts[static_cast<std::size_t>(i)].rect = {rect.x, top, rect.width, bottom - top};
    }
    if (bands == 1) {
        parts[0].png = png(picture, rect);
        return parts;
    }
    std::vector<std::thread> workers;
    workers.reserve(parts.size() - 1);
    for (std::size_t i = 1; i < parts.size(); ++i)
        workers.emplace_back([&picture, &part = parts[i]] { part.png = png(picture, part.rect); });
    parts[0].png = png(picture, parts[0].rect);
    for (auto& worker : workers) worker.join();
    return parts;
}

std::string message(const std::string& header, bool full, const std::vector<Part>& parts,
                    const std::vector<Copy>& copies) {
    nlohmann::json list = nlohmann::json::array();
    std::size_t partBytes = 0;
    for (const auto& part : parts) {
        list.push_back({{"x", part.rect.x},
                        {"y", part.rect.y},
                        {"width", part.rect.width},
                        {"height", part.rect.height},
                        {"bytes", part.png.size()}});
        partBytes += part.png.size();
    }
    // The screen's object, closed again after the frame's own members.
    std::string text = header.substr(0, header.rfind('}'));
    if (text.find_first_not_of(" {") != std::string::npos) text += ',';
    text += std::string("\"full\":") + (full ? "true" : "false") + ",\"parts\":" + list.dump();
    if (!copies.empty()) {
        nlohmann::json moved = nlohmann::json::array();
        for (const auto& copy : copies)
            moved.push_back({{"x", copy.rect.x},
                             {"y", copy.rect.y},
                             {"width", copy.rect.width},
                             {"height", copy.rect.height},
                             {"fromX", copy.fromX},
                             {"fromY", copy.fromY}});
        text += ",\"copies\":" + moved.dump();
    }
    text += "}";
    const auto length = static_cast<std::uint32_t>(text.size());
    std::string bytes;
    bytes.reserve(4 + text.size() + partBytes);
    bytes = {static_cast<char>(length >> 24), static_cast<char>(length >> 16), static_cast<char>(length >> 8),
             static_cast<char>(length)};
    bytes += text;
    for (const auto& part : parts) bytes += part.png;
    return bytes;
}

}  // namespace DisplayFrame
