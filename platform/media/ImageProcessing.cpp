#include "platform/media/ImageProcessing.h"

#include <algorithm>
#include <vector>

namespace {

bool sameSize(const ImageBuffer& a, const ImageBuffer& b) {
    return a.data && b.data && a.width > 0 && a.height > 0 && a.width == b.width && a.height == b.height &&
           a.rowBytes >= static_cast<std::size_t>(a.width) * 4 && b.rowBytes >= static_cast<std::size_t>(b.width) * 4;
}

}  // namespace

bool boxConvolveARGB8888(const ImageBuffer& source, const ImageBuffer& destination, int kernelWidth,
                         int kernelHeight) {
    if (!sameSize(source, destination) || source.data == destination.data) return false;
    if (kernelWidth < 1 || kernelHeight < 1 || kernelWidth % 2 == 0 || kernelHeight % 2 == 0) return false;
    const int w = source.width, h = source.height;
    const int rx = kernelWidth / 2, ry = kernelHeight / 2;

    // Horizontal sums first (kept whole), then vertical sums of those, so the
    // result is the exact box average with a single rounding.
    std::vector<std::uint32_t> rows(static_cast<std::size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* in = source.data + static_cast<std::size_t>(y) * source.rowBytes;
        std::uint32_t* out = rows.data() + static_cast<std::size_t>(y) * w * 4;
        auto px = [&](int x, int c) -> std::uint32_t { return in[std::clamp(x, 0, w - 1) * 4 + c]; };
        for (int c = 0; c < 4; ++c) {
            std::uint32_t sum = 0;
            for (int k = -rx; k <= rx; ++k) sum += px(k, c);
            out[c] = sum;
            for (int x = 1; x < w; ++x) {
                sum += px(x + rx, c);
                sum -= px(x - rx - 1, c);
                out[x * 4 + c] = sum;
            }
        }
    }

    const std::uint64_t area = static_cast<std::uint64_t>(kernelWidth) * kernelHeight;
    std::vector<std::uint64_t> sums(static_cast<std::size_t>(w) * 4, 0);
    auto row = [&](int y) { return rows.data() + static_cast<std::size_t>(std::clamp(y, 0, h - 1)) * w * 4; };
    for (int k = -ry; k <= ry; ++k) {
        const std::uint32_t* r = row(k);
        for (int i = 0; i < w * 4; ++i) sums[i] += r[i];
    }
    for (int y = 0; y < h; ++y) {
        if (y > 0) {
            const std::uint32_t* add = row(y + ry);
            const std::uint32_t* sub = row(y - ry - 1);
            for (int i = 0; i < w * 4; ++i) sums[i] = sums[i] + add[i] - sub[i];
        }
        std::uint8_t* out = destination.data + static_cast<std::size_t>(y) * destination.rowBytes;
        for (int i = 0; i < w * 4; ++i) out[i] = static_cast<std::uint8_t>((sums[i] + area / 2) / area);
    }
    return true;
}

bool matrixMultiplyARGB8888(const ImageBuffer& source, const ImageBuffer& destination, const std::int16_t matrix[16],
                            std::int32_t divisor) {
    if (!sameSize(source, destination) || divisor == 0 || !matrix) return false;
    for (int y = 0; y < source.height; ++y) {
        const std::uint8_t* in = source.data + static_cast<std::size_t>(y) * source.rowBytes;
        std::uint8_t* out = destination.data + static_cast<std::size_t>(y) * destination.rowBytes;
        for (int x = 0; x < source.width; ++x) {
            std::int32_t px[4] = {in[x * 4], in[x * 4 + 1], in[x * 4 + 2], in[x * 4 + 3]};
            for (int j = 0; j < 4; ++j) {
                std::int32_t sum = 0;
                for (int i = 0; i < 4; ++i) sum += px[i] * matrix[i * 4 + j];
                out[x * 4 + j] = static_cast<std::uint8_t>(std::clamp(sum / divisor, 0, 255));
            }
        }
    }
    return true;
}
