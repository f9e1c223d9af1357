#pragma once

#include <cstddef>
#include <cstdint>

// The vector image library's operations on 8-bit, four-channel buffers, as
// the image effects use them. Channels are taken in memory order; with the
// platform's premultiplied ARGB32 pixels on a little-endian machine that is
// blue, green, red, alpha.
struct ImageBuffer {
    std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::size_t rowBytes = 0;
};

// Averages every pixel over a kernelWidth x kernelHeight box centred on it,
// extending the edge pixels outwards where the box leaves the buffer. Both
// kernel sizes must be odd and the buffers of one size and distinct; false
// otherwise. Each channel is rounded to the nearest integer.
bool boxConvolveARGB8888(const ImageBuffer& source, const ImageBuffer& destination, int kernelWidth,
                         int kernelHeight);

// Multiplies every pixel, as a row of four channels, with the 4x4 matrix
// (row-major: entry [i * 4 + j] weighs source channel i in result channel j)
// and divides by the divisor, truncating towards zero and clamping to 0..255.
// The buffers must be of one size; false otherwise or for a divisor of 0.
bool matrixMultiplyARGB8888(const ImageBuffer& source, const ImageBuffer& destination, const std::int16_t matrix[16],
                            std::int32_t divisor);
