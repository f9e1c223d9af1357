#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/ui/Color.h"

class Image;

// Frosted-glass copies of an image: blurred, saturated and tinted. A null
// image gives nullptr throughout.
std::shared_ptr<Image> applyLightEffect(const std::shared_ptr<Image>& image);
std::shared_ptr<Image> applyExtraLightEffect(const std::shared_ptr<Image>& image);
std::shared_ptr<Image> applyDarkEffect(const std::shared_ptr<Image>& image);
// Blurred and desaturated under the colour at alpha 0.6.
std::shared_ptr<Image> applyTintEffectWithColor(const std::shared_ptr<Image>& image, const Color& tintColor);
// The radius is in points. nullptr, after logging, when the image is
// smaller than one point either way. The result is at the main screen's scale.
std::shared_ptr<Image> applyBlurWithRadius(const std::shared_ptr<Image>& image, double blurRadius,
                                           const std::optional<Color>& tintColor, double saturationDeltaFactor,
                                           const std::shared_ptr<Image>& maskImage);

// The image's shape (its alpha) filled with the colour, blended as overlay at
// alpha = intensity (0..1), at scale 2 whatever the screen.
std::shared_ptr<Image> twImageWithTintColor(const std::shared_ptr<Image>& image, const Color& tintColor,
                                            double intensity);

// Exposed for tests: the odd box width of the blur passes for a radius in pixels.
std::uint32_t blurBoxSizeForPixelRadius(double pixelRadius);
// The colour applyTintEffectWithColor lays over the blur.
Color tintEffectColorForColor(const Color& tintColor);
// The saturation matrix of the effects, scaled by 256 (divisor 256).
void saturationMatrixForFactor(double saturationDeltaFactor, std::int16_t matrix[16]);
