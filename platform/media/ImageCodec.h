#pragma once

#include <memory>
#include <optional>

#include "platform/foundation/Data.h"

class Image;

// Image file formats: PNG (through cairo) and JPEG (through libjpeg).

// The PNG bytes of the image (the platform's UIImagePNGRepresentation).
std::optional<Data> imagePNGRepresentation(const Image& image);
// The JPEG bytes of the image at a quality from 0 to 1 (clamped). JPEG keeps
// no alpha: transparent parts come out black, as on the platform.
std::optional<Data> imageJPEGRepresentation(const Image& image, double compressionQuality);

// Decodes PNG or JPEG bytes (told apart by their signature) into an image of
// that scale; nullptr for anything else or for damaged bytes.
std::shared_ptr<Image> imageWithEncodedData(const Data& data, double scale = 1);
std::shared_ptr<Image> imageWithJPEGData(const Data& data, double scale = 1);
