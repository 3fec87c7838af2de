#include "imaging/pixel_kernels.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/row_walk.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define ORVIX_SSE2_ROWS 1
#else
#define ORVIX_SSE2_ROWS 0
#endif

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


// ---- the fast paths of the display conversions ---------------------------------------
// Whole rows of one exact layout at a time, 16 bytes per step where the build has
// SSE2 (every 64-bit x86 build); the same bytes as the pixel-by-pixel walk above,
// which stays the reference and serves every other layout.

// Whether the pixels a pass writes and those it reads may share memory (a pass in
// place); the fast paths then leave the pass to the walk, which reads each pixel
// before it writes it.
bool mayOverlap(const KernelPass& pass, RowOrder order) {
    if (pass.rows() <= 0 || pass.columns() <= 0) return false;
    const auto span = [](const std::uint8_t* a, const std::uint8_t* b, std::int64_t rowBytes) {
        const auto first = reinterpret_cast<std::uintptr_t>(std::min(a, b));
        const auto last = reinterpret_cast<std::uintptr_t>(std::max(a, b)) + static_cast<std::uintptr_t>(rowBytes);
        return std::pair<std::uintptr_t, std::uintptr_t>{first, last};
    };
    const int lastRow = pass.rows() - 1;
    const auto written = span(pass.dstRow(0), pass.dstRow(lastRow), std::int64_t{pass.columns()} * pass.dstBytesPerPixel);
    const auto read = span(pass.srcRow(0, order), pass.srcRow(lastRow, order),
                           std::int64_t{pass.columns()} * pass.srcBytesPerPixel);
    return written.first < read.second && read.first < written.second;
}

// Runs row(source row, destination row, pixel count) over the pass.
template <typename Row>
void forEachWholeRow(const KernelPass& pass, RowOrder order, Row row) {
    const std::int32_t columns = pass.columns();
    if (columns <= 0) return;
    forEachRow(pass, order, [&](std::uint8_t* d, const std::uint8_t* s) { row(s, d, columns); });
}

#if ORVIX_SSE2_ROWS
// Eight 16-bit words per register → their bits 2..9, packed into bytes.
inline __m128i tenBitBytes(__m128i a, __m128i b) {
    const __m128i low = _mm_set1_epi16(0x00FF);
    return _mm_packus_epi16(_mm_and_si128(_mm_srli_epi16(a, 2), low), _mm_and_si128(_mm_srli_epi16(b, 2), low));
}

// Four 4-byte pixels → their first three bytes each, in bytes 0..11 (12..15 are 0).
inline __m128i firstThreeBytes(__m128i pixels) {
    const __m128i lowDwords = _mm_set_epi32(0, -1, 0, -1);
    const __m128i kept = _mm_and_si128(pixels, _mm_set1_epi32(0x00FFFFFF));
    // Each 64-bit half: its first pixel's 3 bytes, then its second pixel's.
    const __m128i halves =
        _mm_or_si128(_mm_and_si128(kept, lowDwords), _mm_srli_epi64(_mm_andnot_si128(lowDwords, kept), 8));
    const __m128i firstSix = _mm_set_epi32(0, 0, 0x0000FFFF, -1);
    const __m128i nextSix = _mm_set_epi32(0, -1, static_cast<int>(0xFFFF0000u), 0);
    return _mm_or_si128(_mm_and_si128(halves, firstSix), _mm_and_si128(_mm_srli_si128(halves, 2), nextSix));
}

inline __m128i load16(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store16(std::uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
#endif

// `count` 16-bit words → one byte each (bits 2..9).
void tenBitWordsToBytes(const std::uint8_t* s, std::uint8_t* d, std::int64_t count) {
    std::int64_t i = 0;
#if ORVIX_SSE2_ROWS
    for (; i + 16 <= count; i += 16) store16(d + i, tenBitBytes(load16(s + 2 * i), load16(s + 2 * i + 16)));
#endif
    for (; i < count; ++i) d[i] = tenBitToByte(loadWord(s + 2 * i));
}

// 4-byte pixels → their first 3 bytes. The vector steps write 16 bytes for 12, so
// they stop while the row still has room for the 4 extra bytes, which the next
// step or the tail overwrite.
void fourByteToThreeBytePixels(const std::uint8_t* s, std::uint8_t* d, std::int32_t count) {
    std::int32_t i = 0;
#if ORVIX_SSE2_ROWS
    for (; i + 6 <= count; i += 4) store16(d + 3 * i, firstThreeBytes(load16(s + 4 * i)));
#endif
    for (; i < count; ++i) std::memcpy(d + 3 * i, s + 4 * i, 3);
}

// 8-byte pixels of four 16-bit words → the first three words' bits 2..9.
void fourWordToThreeBytePixels(const std::uint8_t* s, std::uint8_t* d, std::int32_t count) {
    std::int32_t i = 0;
#if ORVIX_SSE2_ROWS
    for (; i + 6 <= count; i += 4)
        store16(d + 3 * i, firstThreeBytes(tenBitBytes(load16(s + 8 * i), load16(s + 8 * i + 16))));
#endif
    for (; i < count; ++i) {
        const std::uint8_t* p = s + 8 * std::int64_t{i};
        d[3 * i] = tenBitToByte(loadWord(p, 0));
        d[3 * i + 1] = tenBitToByte(loadWord(p, 1));
        d[3 * i + 2] = tenBitToByte(loadWord(p, 2));
    }
}

void threeByteRows(const std::uint8_t* s, std::uint8_t* d, std::int32_t count) {
    std::memcpy(d, s, static_cast<std::size_t>(count) * 3);
}

// The display conversions: a fast path for their usual layouts, else the walk.
void convertMono16To8Rows(const KernelPass& pass, RowOrder order) {
    if (pass.dstBytesPerPixel == 1 && pass.srcBytesPerPixel == 2 && !mayOverlap(pass, order))
        return forEachWholeRow(pass, order, [](const std::uint8_t* s, std::uint8_t* d, std::int32_t n) {
            tenBitWordsToBytes(s, d, n);
        });
    mono16To8(pass, order);
}

void convertColor16To8Rows(const KernelPass& pass, RowOrder order) {
    if (pass.dstBytesPerPixel == 3 && !mayOverlap(pass, order)) {
        if (pass.srcBytesPerPixel == 6)
            return forEachWholeRow(pass, order, [](const std::uint8_t* s, std::uint8_t* d, std::int32_t n) {
                tenBitWordsToBytes(s, d, std::int64_t{n} * 3);
            });
        if (pass.srcBytesPerPixel == 8) return forEachWholeRow(pass, order, fourWordToThreeBytePixels);
    }
    color16To8(pass, order);
}

void copyBgrRows(const KernelPass& pass, RowOrder order) {
    if (pass.dstBytesPerPixel == 3 && !mayOverlap(pass, order)) {
        if (pass.srcBytesPerPixel == 4) return forEachWholeRow(pass, order, fourByteToThreeBytePixels);
        if (pass.srcBytesPerPixel == 3) return forEachWholeRow(pass, order, threeByteRows);
    }
    bgr(pass, order);
}

// ---- stretching ---------------------------------------------------------------------

// The size of a stretch's destination and its two single-precision ratios.
struct StretchPlan {
    std::int32_t width = 0;
    std::int32_t height = 0;
    float xRatio = 0.0f;
    float yRatio = 0.0f;
};

// False when there is nothing to stretch.
bool planStretch(const KernelRect& to, const KernelRect& from, std::int32_t srcWidth, std::int32_t srcHeight,
                 StretchPlan& plan) {
    plan.width = to.width();
    plan.height = to.height();
    if (plan.width <= 0 || plan.height <= 0 || srcWidth <= 0 || srcHeight <= 0) return false;
    plan.xRatio = stretchRatio(from.width(), plan.width);
    plan.yRatio = stretchRatio(from.height(), plan.height);
    return true;
}

template <int PixelBytes>
void stretchFlipPlain(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect& to, const KernelRect& from,
                      std::int32_t srcWidth, std::int32_t srcHeight, std::uint16_t dstBytesPerPixel,
                      std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride) {
    StretchPlan plan;
    if (!planStretch(to, from, srcWidth, srcHeight, plan)) return;
    const std::int32_t width = plan.width;
    const std::int32_t height = plan.height;
    const float xRatio = plan.xRatio;
    const float yRatio = plan.yRatio;
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


// The source byte offset of every destination column of a stretch, kept per thread
// and grown only when a wider destination comes along, so frames of an unchanged
// size allocate nothing.
std::vector<std::int64_t>& columnOffsets(std::int32_t width) {
    thread_local std::vector<std::int64_t> offsets;
    if (offsets.size() < static_cast<std::size_t>(width)) offsets.resize(static_cast<std::size_t>(width));
    return offsets;
}

// The fast stretch gives the bytes of stretchFlipPlain: the same ratios, indices and
// clamps, but the source column of each destination column is worked out once per
// call instead of once per pixel. A destination row whose source row is that of
// the row above is a copy of that row; where the source columns follow one another
// (scale 1 across) a row is one copy from the source row.
template <int PixelBytes>
void stretchFlipFast(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect& to, const KernelRect& from,
                     std::int32_t srcWidth, std::int32_t srcHeight, std::uint16_t dstBytesPerPixel,
                     std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride) {
    StretchPlan plan;
    if (!planStretch(to, from, srcWidth, srcHeight, plan)) return;
    const std::int32_t width = plan.width;
    const std::int32_t height = plan.height;
    const float xRatio = plan.xRatio;
    const float yRatio = plan.yRatio;
    const bool packed = dstBytesPerPixel == PixelBytes && srcBytesPerPixel == PixelBytes;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * PixelBytes;

    std::vector<std::int64_t>& sourceOffset = columnOffsets(width);
    bool consecutive = packed;
    for (std::int32_t j = 0; j < width; ++j) {
        const std::int32_t sx = clampIndex(j * static_cast<double>(xRatio), srcWidth);
        sourceOffset[static_cast<std::size_t>(j)] = std::int64_t{sx} * srcBytesPerPixel;
        consecutive = consecutive && sourceOffset[static_cast<std::size_t>(j)] == sourceOffset[0] + std::int64_t{j} * PixelBytes;
    }

    std::int32_t previousSy = -1;
    const std::uint8_t* previousRow = nullptr;
    for (std::int32_t i = 0; i < height; ++i) {
        const std::int32_t sy = clampIndex(i * static_cast<double>(yRatio), srcHeight);
        std::uint8_t* d = kernel_detail::pixelAt(dstBits, to.left, std::int64_t{to.top} + i, dstBytesPerPixel, dstStride);
        if (packed && sy == previousSy) {
            std::memcpy(d, previousRow, rowBytes);
            continue;
        }
        const std::uint8_t* srcRow =
            kernel_detail::pixelAt(srcBits, 0, std::int64_t{from.bottom} - sy - 1, srcBytesPerPixel, srcStride);
        if (consecutive) {
            std::memcpy(d, srcRow + sourceOffset[0], rowBytes);
        } else {
            std::uint8_t* out = d;
            for (std::int32_t j = 0; j < width; ++j, out += dstBytesPerPixel)
                std::memcpy(out, srcRow + sourceOffset[static_cast<std::size_t>(j)], PixelBytes);
        }
        previousSy = sy;
        previousRow = d;
    }
}

// Whether a stretch writes where it reads (a Surface stretched into itself): then
// only the pixel-by-pixel order of the reference gives its result.
bool stretchMayOverlap(const std::uint8_t* dstBits, const KernelRect& to, std::uint32_t dstStride,
                       const std::uint8_t* srcBits, std::int32_t srcHeight, std::uint32_t srcStride) {
    const auto dstFirst = reinterpret_cast<std::uintptr_t>(dstBits) + std::uintptr_t{dstStride} * std::max(0, to.top);
    const auto dstLast = reinterpret_cast<std::uintptr_t>(dstBits) + std::uintptr_t{dstStride} * std::max(0, to.bottom);
    const auto srcFirst = reinterpret_cast<std::uintptr_t>(srcBits);
    const auto srcLast = srcFirst + std::uintptr_t{srcStride} * std::max(0, srcHeight);
    return dstFirst < srcLast && srcFirst < dstLast;
}

template <int PixelBytes>
void stretchFlip(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect& to, const KernelRect& from,
                 std::int32_t srcWidth, std::int32_t srcHeight, std::uint16_t dstBytesPerPixel,
                 std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride) {
    if (stretchMayOverlap(dstBits, to, dstStride, srcBits, srcHeight, srcStride))
        stretchFlipPlain<PixelBytes>(dstBits, srcBits, to, from, srcWidth, srcHeight, dstBytesPerPixel,
                                     srcBytesPerPixel, dstStride, srcStride);
    else
        stretchFlipFast<PixelBytes>(dstBits, srcBits, to, from, srcWidth, srcHeight, dstBytesPerPixel,
                                    srcBytesPerPixel, dstStride, srcStride);
}

} // namespace

float stretchRatio(std::int32_t sourceLength, std::int32_t destinationLength) {
    if (destinationLength == 0) return 0.0f;
    const long double ratio = static_cast<long double>(sourceLength) / static_cast<long double>(destinationLength);
    return static_cast<float>(ratio);
}

ORVIX_PIXEL_KERNEL(convertMono16To8) {
    convertMono16To8Rows(ORVIX_KERNEL_PASS, RowOrder::Same);
    return 1;
}

ORVIX_PIXEL_KERNEL(convertMono16To8Flip) {
    convertMono16To8Rows(ORVIX_KERNEL_PASS, RowOrder::Flip);
    return 1;
}

ORVIX_PIXEL_KERNEL(convertColor16To8) {
    convertColor16To8Rows(ORVIX_KERNEL_PASS, RowOrder::Same);
    return 1;
}

ORVIX_PIXEL_KERNEL(convertColor16To8Flip) {
    convertColor16To8Rows(ORVIX_KERNEL_PASS, RowOrder::Flip);
    return 1;
}

ORVIX_PIXEL_KERNEL(copyBgr) {
    copyBgrRows(ORVIX_KERNEL_PASS, RowOrder::Same);
    return 1;
}

ORVIX_PIXEL_KERNEL(copyBgrFlip) {
    copyBgrRows(ORVIX_KERNEL_PASS, RowOrder::Flip);
    return 1;
}

ORVIX_PIXEL_KERNEL(convertMono16To8Plain) {
    mono16To8(ORVIX_KERNEL_PASS, RowOrder::Same);
    return 1;
}

ORVIX_PIXEL_KERNEL(convertMono16To8FlipPlain) {
    mono16To8(ORVIX_KERNEL_PASS, RowOrder::Flip);
    return 1;
}

ORVIX_PIXEL_KERNEL(convertColor16To8Plain) {
    color16To8(ORVIX_KERNEL_PASS, RowOrder::Same);
    return 1;
}

ORVIX_PIXEL_KERNEL(convertColor16To8FlipPlain) {
    color16To8(ORVIX_KERNEL_PASS, RowOrder::Flip);
    return 1;
}

ORVIX_PIXEL_KERNEL(copyBgrPlain) {
    bgr(ORVIX_KERNEL_PASS, RowOrder::Same);
    return 1;
}

ORVIX_PIXEL_KERNEL(copyBgrFlipPlain) {
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

ORVIX_SCALE_KERNEL(stretchFlip8Plain) {
    stretchFlipPlain<1>(dstBits, srcBits, *dstRect, *srcRect, srcWidth, srcHeight, dstBytesPerPixel,
                        srcBytesPerPixel, dstStride, srcStride);
    return 1;
}

ORVIX_SCALE_KERNEL(stretchFlip24Plain) {
    stretchFlipPlain<3>(dstBits, srcBits, *dstRect, *srcRect, srcWidth, srcHeight, dstBytesPerPixel,
                        srcBytesPerPixel, dstStride, srcStride);
    return 1;
}

} // namespace orvix
