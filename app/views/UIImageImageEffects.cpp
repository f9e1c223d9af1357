#include "app/views/UIImageImageEffects.h"

#include <cfloat>
#include <cmath>

#include "model/TWLogger.h"
#include "platform/foundation/Format.h"
#include "platform/media/BitmapContext.h"
#include "platform/media/ImageProcessing.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"

namespace {

std::string describeImage(const Image& image) {
    return stringWithFormat("<Image: %p>, %@", static_cast<const void*>(&image), describe(image.size()));
}

}  // namespace

std::shared_ptr<Image> applyLightEffect(const std::shared_ptr<Image>& image) {
    return applyBlurWithRadius(image, 30, Color::white(1.0, 0.3), 1.8, nullptr);
}

std::shared_ptr<Image> applyExtraLightEffect(const std::shared_ptr<Image>& image) {
    return applyBlurWithRadius(image, 20, Color::white(0.97, 0.82), 1.8, nullptr);
}

std::shared_ptr<Image> applyDarkEffect(const std::shared_ptr<Image>& image) {
    return applyBlurWithRadius(image, 20, Color::white(0.11, 0.73), 1.8, nullptr);
}

Color tintEffectColorForColor(const Color& tintColor) {
    // Every colour here answers in red, green and blue (a grey has equal
    // components), so its white level survives as it is.
    double r = 0, g = 0, b = 0, a = 0;
    if (tintColor.getRed(&r, &g, &b, &a)) return Color(r, g, b, 0.6);
    return tintColor;
}

std::shared_ptr<Image> applyTintEffectWithColor(const std::shared_ptr<Image>& image, const Color& tintColor) {
    return applyBlurWithRadius(image, 10, tintEffectColorForColor(tintColor), -1.0, nullptr);
}

std::uint32_t blurBoxSizeForPixelRadius(double pixelRadius) {
    auto size = static_cast<std::uint32_t>(std::floor(pixelRadius * 3.0 * std::sqrt(2 * M_PI) / 4 + 0.5));
    return size | 1;
}

void saturationMatrixForFactor(double s, std::int16_t matrix[16]) {
    const double floating[16] = {
        0.0722 + 0.9278 * s, 0.0722 - 0.0722 * s, 0.0722 - 0.0722 * s, 0,
        0.7152 - 0.7152 * s, 0.7152 + 0.2848 * s, 0.7152 - 0.7152 * s, 0,
        0.2126 - 0.2126 * s, 0.2126 - 0.2126 * s, 0.2126 + 0.7873 * s, 0,
        0,                   0,                   0,                   1,
    };
    for (int i = 0; i < 16; ++i) matrix[i] = static_cast<std::int16_t>(std::round(floating[i] * 256));
}

std::shared_ptr<Image> applyBlurWithRadius(const std::shared_ptr<Image>& image, double blurRadius,
                                           const std::optional<Color>& tintColor, double saturationDeltaFactor,
                                           const std::shared_ptr<Image>& maskImage) {
    if (!image) return nullptr;
    const Size size = image->size();
    if (size.width < 1 || size.height < 1) {
        TWLogError("*** error: invalid size: (%.2f x %.2f). Both dimensions must be >= 1: %@", size.width,
                   size.height, describeImage(*image));
        return nullptr;
    }
    const Rect imageRect{{0, 0}, size};
    const double scale = Screen::main().scale();
    const bool hasBlur = blurRadius > FLT_EPSILON;
    const bool hasSaturationChange = std::fabs(saturationDeltaFactor - 1.0) > FLT_EPSILON;

    std::shared_ptr<Image> effectImage;
    if (hasBlur || hasSaturationChange) {
        // Our contexts put the origin at the top left already, so the image
        // goes in upright without a flip.
        BitmapContext contextA(size, scale);
        contextA.context().drawImage(*image, imageRect);
        BitmapContext contextB(size, scale);
        ImageBuffer bufferA = contextA.buffer();
        ImageBuffer bufferB = contextB.buffer();
        BitmapContext* result = &contextA;

        if (hasBlur) {
            const std::uint32_t box = blurBoxSizeForPixelRadius(blurRadius * scale);
            const int k = static_cast<int>(box);
            boxConvolveARGB8888(bufferA, bufferB, k, k);
            boxConvolveARGB8888(bufferB, bufferA, k, k);
            boxConvolveARGB8888(bufferA, bufferB, k, k);
            result = &contextB;
        }
        if (hasSaturationChange) {
            std::int16_t matrix[16];
            saturationMatrixForFactor(saturationDeltaFactor, matrix);
            if (result == &contextB) {
                matrixMultiplyARGB8888(bufferB, bufferA, matrix, 256);
                result = &contextA;
            } else {
                matrixMultiplyARGB8888(bufferA, bufferB, matrix, 256);
                result = &contextB;
            }
        }
        contextA.markDirty();
        contextB.markDirty();
        effectImage = result->makeImage();
    }

    BitmapContext output(size, scale);
    GraphicsContext& context = output.context();
    context.drawImage(*image, imageRect);
    // The effect goes over the image whenever one was made, so a saturation
    // change without blur shows too.
    if (effectImage) {
        if (maskImage) {
            output.drawImageThroughMask(*effectImage, imageRect, *maskImage);
        } else {
            context.drawImage(*effectImage, imageRect);
        }
    }
    if (tintColor) {
        context.saveGState();
        context.setFillColor(*tintColor);
        context.fillRect(imageRect);
        context.restoreGState();
    }
    return output.makeImage();
}

std::shared_ptr<Image> twImageWithTintColor(const std::shared_ptr<Image>& image, const Color& tintColor,
                                            double intensity) {
    if (!image) return nullptr;
    const Size size = image->size();
    BitmapContext output(size, 2.0);
    output.fillShapeOfImage(*image, {{0, 0}, size}, tintColor, intensity, BlendMode::Overlay);
    return output.makeImage();
}
