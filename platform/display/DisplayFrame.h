#pragma once

// The frames the browser display sends: what changed between two pictures of
// the screen, and the message that carries it.
//
// A frame is one binary message: a 4-byte big-endian length, that many bytes
// of JSON header, then the PNGs of its parts one after the other. The header
// is the screen's ({"width", "height", "scale", "elements"}, see
// BrowserDisplay) with
//   "full":  true when the frame stands alone (its parts tile the whole
//            picture, bands from the top down, and together give the
//            picture's size in pixels); false when it updates the frame sent
//            just before it on the same connection;
//   "parts": [{"x", "y", "width", "height", "bytes"}], in device pixels, in
//            the order of the PNGs. Each part replaces the pixels of its
//            rectangle (alpha included).
//   "copies": (an update only, may be absent) [{"x", "y", "width", "height",
//            "fromX", "fromY"}]: before the parts, in this order, the pixels
//            of each rectangle are replaced (alpha included) by those of the
//            rectangle of the same size at (fromX, fromY), as the picture
//            stands when the copy comes (after the copies before it).
//
// The pictures are cairo ARGB32 surfaces (premultiplied, native byte order),
// as the platform renders them.

#include <cstdint>
#include <string>
#include <vector>

namespace DisplayFrame {

struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
    std::int64_t area() const { return std::int64_t{width} * height; }
    bool operator==(const PixelRect&) const = default;
};

// One ARGB32 picture in memory.
struct Pixels {
    const unsigned char* data = nullptr;
    int width = 0, height = 0, stride = 0;
};

// Changes are found in bands of rows rather than in tiles: what a pass
// changes here is mostly a table row or a bar (as wide as the screen) or a
// spot (a caret, a label): a band fits either closely in height, takes one
// memcmp per row to find, and makes one PNG where tiles would cut a row into
// many small ones (each with its own headers and a draw call in the page).
//
// Rows within this many of each other share a rectangle: one PNG for a
// label's lines and the space between them, not one each.
constexpr int kRowGap = 8;

// The rectangles holding every pixel that differs between two pictures of the
// same size: one per band of changed rows (bands closer than kRowGap merge),
// as wide as the changes in the band. Empty when nothing differs.
std::vector<PixelRect> changedRects(const Pixels& before, const Pixels& after);

// Content that moved in one piece (a list scrolled, rows shifted sideways to
// make room for their editing controls) is sent as a copy of what the page
// already has rather than as new pixels.
struct Copy {
    PixelRect rect;
    int fromX = 0, fromY = 0;
    bool operator==(const Copy&) const = default;
};

// Changed rectangles smaller than this are not looked at for moved content:
// their PNG costs little.
constexpr std::int64_t kMinMovedArea = 4096;

// Copies that, applied to `before` in order, leave fewer pixels that differ
// from `after` within the changed rectangles (changedRects of the two): for
// each rectangle of at least kMinMovedArea, the sideways or up-and-down shift
// its edges agree on, over the rows that it brings closer to `after`. Empty
// when nothing moved.
std::vector<Copy> findCopies(const Pixels& before, const Pixels& after, const std::vector<PixelRect>& changed);

// Applies the copies in order to the picture, as a page does.
void applyCopies(unsigned char* data, int stride, const std::vector<Copy>& copies);

// A rectangle of the picture as PNG, made for speed over size (zlib level 1,
// no filter: a screen is mostly flat colour): RGB when every pixel of it is
// opaque, else RGBA (not premultiplied, as PNG keeps it).
std::string png(const Pixels& picture, const PixelRect& rect);

struct Part {
    PixelRect rect;
    std::string png;
};

// A rectangle of the picture as parts: bands of rows of about equal height,
// their PNGs made side by side on threads of their own, so that a picture as
// big as the screen costs about the time of one band. A small rectangle is
// one part.
std::vector<Part> pngBands(const Pixels& picture, const PixelRect& rect);

// The message of a frame: `header` is the JSON object of the screen (without
// "full", "parts" and "copies"), dumped.
std::string message(const std::string& header, bool full, const std::vector<Part>& parts,
                    const std::vector<Copy>& copies = {});

}  // namespace DisplayFrame
