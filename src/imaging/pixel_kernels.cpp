#include "imaging/pixel_kernels.h"

#include <algorithm>
#include <cstring>

#include "imaging/row_walk.h"

namespace orvix {

using kernel_detail::forEachPixel;
using kernel_detail::forEachRow;
using kernel_detail::KernelPass;
using kernel_detail::loadWord;
using kernel_detail::RowOrder;
using kernel_detail::storeWord;
using kernel_detail::tenBitToByte;

// The geometry arguments of a PixelKernel, bundled for the row walk.
#define ORVIX_KERNEL_PASS                                                                                   \
    KernelPass { dstBits, srcBits, *rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride }

namespace {

void mono16To8(const KernelPass& pass, RowOrder order) {
    forEachPixel(pass, order, [](std::uint8_t* d, const std::uint8_t* s) { d[0] = tenBitToByte(loadWord(s)); });
}

void color16To8(const KernelPass& pass, RowOrder order) {
    forEachPixel(pass, order, [](std::uint8_t* d, const std::uint8_t* s) {
        const std::uint8_t b = tenBitToByte(loadWord(s, 0));
        const std::uint8_t g = tenBitToByte(loadWord(s, 1));
        const std::uint8_t r = tenBitToByte(loadWord(s, 2));
        d[0] = b;
        d[1] = g;
        d[2] = r;
    });
}

void bgr(const KernelPass& pass, RowOrder order) {
    forEachPixel(pass, order, [](std::uint8_t* d, const std::uint8_t* s) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    });
}

enum class Channels { Same, Swapped };
enum class Alpha { Keep, Opaque };

// Widens three 10-bit words by 6 bits, optionally reversing their order and
// adding an opaque fourth word.
void color10To16(const KernelPass& pass, Channels channels, Alpha alpha) {
    forEachPixel(pass, RowOrder::Same, [=](std::uint8_t* d, const std::uint8_t* s) {
        std::uint32_t w[3];
        for (int c = 0; c < 3; ++c) w[c] = (std::uint32_t{loadWord(s, c)} << 6) & 0xFFFFu;
        if (channels == Channels::Swapped) std::swap(w[0], w[2]);
        for (int c = 0; c < 3; ++c) storeWord(d, c, w[c]);
        if (alpha == Alpha::Opaque) storeWord(d, 3, 0xFFFFu);
    });
}

// Sums the samples of a w × h area at (x, y) of an image; `sample` reads one pixel.
template <typename SampleOf>
std::int32_t meanLevel(std::uint8_t* bits, const KernelRect& rect, std::int32_t x, std::int32_t y,
                       std::uint16_t bytesPerPixel, std::uint32_t stride, SampleOf sample) {
    const std::int32_t w = rect.width();
    const std::int32_t h = rect.height();
    if (w <= 0 || h <= 0) return 0;
    std::uint32_t sum = 0; // wraps like the 32-bit accumulator it stands for
    for (std::int32_t j = 0; j < h; ++j) {
        const std::uint8_t* p = kernel_detail::pixelAt(bits, x, std::int64_t{y} + j, bytesPerPixel, stride);
        for (std::int32_t k = 0; k < w; ++k, p += bytesPerPixel) sum += sample(p);
    }
    const std::uint32_t area = static_cast<std::uint32_t>(w) * static_cast<std::uint32_t>(h);
    return static_cast<std::int32_t>(sum / area);
}

// Moves rows written back to back to their stride positions, last row first; each
// row moves towards the end of the memory, so memmove keeps every pixel intact
// (the same result as moving pixel by pixel from the right).
void unpackRows(std::uint8_t* bits, const KernelRect& rect, std::uint16_t bytesPerPixel, std::uint32_t stride) {
    const std::int64_t rowBytes = std::int64_t{rect.right} * bytesPerPixel;
    if (rowBytes <= 0) return;
    for (std::int64_t r = std::int64_t{rect.bottom} - 1; r > 0; --r) {
        std::memmove(bits + r * stride, bits + r * rowBytes, static_cast<std::size_t>(rowBytes));
    }
}

std::int32_t clampIndex(double position, std::int32_t length) {
    const auto index = static_cast<std::int64_t>(position); // truncation toward zero
    if (index < 0) return 0;
    return index >= length ? length - 1 : static_cast<std::int32_t>(index);
}

template <int PixelBytes>
void stretchFlip(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect& to, const KernelRect& from,
                 std::int32_t srcWidth, std::int32_t srcHeight, std::uint16_t dstBytesPerPixel,
                 std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride) {
    const std::int32_t width = to.width();
    const std::int32_t height = to.height();
    if (width <= 0 || height <= 0 || srcWidth <= 0 || srcHeight <= 0) return;
    const float xRatio = stretchRatio(from.width(), width);
    const float yRatio = stretchRatio(from.height(), height);
    // The products are formed in double, where they are exact for any image size,
    // so each truncation sees i × ratio itself.
    for (std::int32_t i = 0; i < height; ++i) {
        const std::int32_t sy = clampIndex(i * static_cast<double>(yRatio), srcHeight);
        const std::int64_t sourceRow = std::int64_t{from.bottom} - sy - 1;
        const std::uint8_t* srcRow = kernel_detail::pixelAt(srcBits, 0, sourceRow, srcBytesPerPixel, srcStride);
        std::uint8_t* d =
            kernel_detail::pixelAt(dstBits, to.left, std::int64_t{to.top} + i, dstBytesPerPixel, dstStride);
        for (std::int32_t j = 0; j < width; ++j, d += dstBytesPerPixel) {
            const std::int32_t sx = clampIndex(j * static_cast<double>(xRatio), srcWidth);
            std::memcpy(d, srcRow + std::int64_t{sx} * srcBytesPerPixel, PixelBytes);
        }
    }
}

} // namespace

float stretchRatio(std::int32_t sourceLength, std::int32_t destinationLength) {
    if (destinationLength == 0) return 0.0f;
    const long double ratio = static_cast<long double>(sourceLength) / static_cast<long double>(destinationLength);
    return static_cast<float>(ratio);
}

ORVIX_PIXEL_KERNEL(convertMono16To8) {
    mono16To8(ORVIX_KERNEL_PASS, RowOrder::Same);
    return 1;
}

ORVIX_PIXEL_KERNEL(convertMono16To8Flip) {
    mono16To8(ORVIX_KERNEL_PASS, RowOrder::Flip);
    return 1;
}

ORVIX_PIXEL_KERNEL(convertColor16To8) {
    color16To8(ORVIX_KERNEL_PASS, RowOrder::Same);
    return 1;
}

ORVIX_PIXEL_KERNEL(convertColor16To8Flip) {
    color16To8(ORVIX_KERNEL_PASS, RowOrder::Flip);
    return 1;
}

ORVIX_PIXEL_KERNEL(copyBgr) {
    bgr(ORVIX_KERNEL_PASS, RowOrder::Same);
    return 1;
}

ORVIX_PIXEL_KERNEL(copyBgrFlip) {
    bgr(ORVIX_KERNEL_PASS, RowOrder::Flip);
    return 1;
}

ORVIX_PIXEL_KERNEL(swapRedBlue24) {
    forEachPixel(ORVIX_KERNEL_PASS, RowOrder::Same, [](std::uint8_t* d, const std::uint8_t* s) {
        const std::uint8_t b = s[0];
        const std::uint8_t g = s[1];
        const std::uint8_t r = s[2];
        d[0] = r;
        d[1] = g;
        d[2] = b;
    });
    return 1;
}

ORVIX_PIXEL_KERNEL(copyBgraInvertAlpha) {
    forEachPixel(ORVIX_KERNEL_PASS, RowOrder::Same, [](std::uint8_t* d, const std::uint8_t* s) {
        const std::uint8_t alpha = static_cast<std::uint8_t>(255 - s[3]);
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = alpha;
    });
    return 1;
}

ORVIX_PIXEL_KERNEL(scaleMono10To16) {
    forEachPixel(ORVIX_KERNEL_PASS, RowOrder::Same, [](std::uint8_t* d, const std::uint8_t* s) {
        storeWord(d, (std::uint32_t{loadWord(s)} << 4) & 0xFFFFu);
    });
    return 1;
}

ORVIX_PIXEL_KERNEL(scaleColor10To16) {
    color10To16(ORVIX_KERNEL_PASS, Channels::Same, Alpha::Keep);
    return 1;
}

ORVIX_PIXEL_KERNEL(scaleColor10To16Alpha) {
    color10To16(ORVIX_KERNEL_PASS, Channels::Same, Alpha::Opaque);
    return 1;
}

ORVIX_PIXEL_KERNEL(scaleColor10To16Swap) {
    color10To16(ORVIX_KERNEL_PASS, Channels::Swapped, Alpha::Keep);
    return 1;
}

ORVIX_PIXEL_KERNEL(scaleColor10To16SwapAlpha) {
    color10To16(ORVIX_KERNEL_PASS, Channels::Swapped, Alpha::Opaque);
    return 1;
}

ORVIX_PIXEL_KERNEL(convertBgrToGray8) {
    forEachPixel(ORVIX_KERNEL_PASS, RowOrder::Same, [](std::uint8_t* d, const std::uint8_t* s) {
        d[0] = static_cast<std::uint8_t>((59 * s[1] + 30 * s[2] + 11 * s[0]) / 100);
    });
    return 1;
}

ORVIX_PIXEL_KERNEL(copyFlipRows) {
    // Never copy past the end of a row: the part of each row from the first column on.
    const std::int64_t dstRemainder = std::int64_t{dstStride} - std::int64_t{dstX} * dstBytesPerPixel;
    const std::int64_t srcRemainder = std::int64_t{srcStride} - std::int64_t{rect->left} * srcBytesPerPixel;
    const std::int64_t length = std::min(dstRemainder, srcRemainder);
    if (length <= 0) return 1;
    forEachRow(ORVIX_KERNEL_PASS, RowOrder::Flip, [length](std::uint8_t* d, const std::uint8_t* s) {
        std::memmove(d, s, static_cast<std::size_t>(length));
    });
    return 1;
}

ORVIX_PIXEL_KERNEL(unpackRows8) {
    unpackRows(dstBits, *rect, dstBytesPerPixel, dstStride);
    return 1;
}

ORVIX_PIXEL_KERNEL(unpackRows16) {
    unpackRows(dstBits, *rect, dstBytesPerPixel, dstStride);
    return 1;
}

ORVIX_PIXEL_KERNEL(meanLevel8) {
    return meanLevel(dstBits, *rect, dstX, dstY, dstBytesPerPixel, dstStride,
                     [](const std::uint8_t* p) -> std::uint32_t { return p[0]; });
}

ORVIX_PIXEL_KERNEL(meanLevel16) {
    return meanLevel(dstBits, *rect, dstX, dstY, dstBytesPerPixel, dstStride,
                     [](const std::uint8_t* p) -> std::uint32_t { return tenBitToByte(loadWord(p)); });
}

ORVIX_SCALE_KERNEL(stretchFlip8) {
    stretchFlip<1>(dstBits, srcBits, *dstRect, *srcRect, srcWidth, srcHeight, dstBytesPerPixel, srcBytesPerPixel,
                   dstStride, srcStride);
    return 1;
}

ORVIX_SCALE_KERNEL(stretchFlip24) {
    stretchFlip<3>(dstBits, srcBits, *dstRect, *srcRect, srcWidth, srcHeight, dstBytesPerPixel, srcBytesPerPixel,
                   dstStride, srcStride);
    return 1;
}

} // namespace orvix
