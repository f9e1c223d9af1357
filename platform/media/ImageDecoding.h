#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"

class Image;

// Decoding of downloaded images of every type the app accepts: PNG and JPEG
// through the app's own codecs, GIF, TIFF, BMP and ICO/CUR through
// gdk-pixbuf (only those loaders, chosen by the bytes' signature).
//
// Bytes come from the network and are not trusted: the dimensions an image
// declares are read before any pixel buffer is made, and an image whose
// pixels (all frames of an animation together) would exceed
// kMaxDecodedImagePixels is refused, as are damaged or truncated files that
// the decoders reject. Nothing is ever sized by a count the bytes do not back.
inline constexpr std::uint64_t kMaxDecodedImagePixels = 40'000'000;

struct DecodedImage {
    std::shared_ptr<Image> image;  // the first frame of an animation
    std::size_t frameCount = 1;    // more than 1 for an animated GIF
};

// The image of the bytes at that scale, or nullopt (unknown type, damaged
// bytes, too many pixels).
std::optional<DecodedImage> decodeImageData(const Data& data, double scale);
// The same with another bound on the pixels (the card editor takes larger photos).
std::optional<DecodedImage> decodeImageData(const Data& data, double scale, std::uint64_t maxPixels);

// The type the signature shows: "png", "jpeg", "gif", "tiff", "bmp", "ico" or empty.
std::string imageTypeOfData(const Data& data);
