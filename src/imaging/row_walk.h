#pragma once
// Internal helpers of the pixel kernels: little-endian sample access and the walk
// over a kernel rectangle that every conversion kernel shares.
//
// The walk follows the common addressing rule: for j = 0..H-1 and k = 0..W-1 it
// visits destination pixel (dstX + k, memory row dstY + j) and source pixel
// (left + k, memory row top + j), or memory row bottom - 1 - j of the source when
// flipping. Pixels advance by the bytes-per-pixel arguments and rows by the strides.

#include <cstddef>
#include <cstdint>

#include "imaging/kernel_types.h"

namespace orvix::kernel_detail {

inline std::uint16_t loadWord(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline void storeWord(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

// The i-th 16-bit word of a pixel.
inline std::uint16_t loadWord(const std::uint8_t* pixel, int i) { return loadWord(pixel + 2 * i); }
inline void storeWord(std::uint8_t* pixel, int i, std::uint32_t value) { storeWord(pixel + 2 * i, value); }

// Bits 2..9 of a 10-bit sample word: its 8-bit display value.
inline std::uint8_t tenBitToByte(std::uint16_t word) { return static_cast<std::uint8_t>(word >> 2); }

// Address of pixel (column, memory row) in an image.
inline const std::uint8_t* pixelAt(const std::uint8_t* bits, std::int64_t column, std::int64_t row,
                                   std::uint16_t bytesPerPixel, std::uint32_t stride) {
    return bits + static_cast<std::ptrdiff_t>(row * stride + column * bytesPerPixel);
}
inline std::uint8_t* pixelAt(std::uint8_t* bits, std::int64_t column, std::int64_t row,
                             std::uint16_t bytesPerPixel, std::uint32_t stride) {
    return bits + static_cast<std::ptrdiff_t>(row * stride + column * bytesPerPixel);
}

enum class RowOrder { Same, Flip };

// The geometry of one kernel call, as the kernel signature hands it over.
struct KernelPass {
    std::uint8_t* dstBits;
    const std::uint8_t* srcBits;
    const KernelRect& rect;
    std::int32_t dstX;
    std::int32_t dstY;
    std::uint16_t dstBytesPerPixel;
    std::uint16_t srcBytesPerPixel;
    std::uint32_t dstStride;
    std::uint32_t srcStride;

    std::int32_t columns() const { return rect.width(); }
    std::int32_t rows() const { return rect.height(); }

    std::uint8_t* dstRow(std::int32_t j) const {
        return pixelAt(dstBits, dstX, std::int64_t{dstY} + j, dstBytesPerPixel, dstStride);
    }
    const std::uint8_t* srcRow(std::int32_t j, RowOrder order) const {
        const std::int64_t row =
            order == RowOrder::Flip ? std::int64_t{rect.bottom} - 1 - j : std::int64_t{rect.top} + j;
        return pixelAt(srcBits, rect.left, row, srcBytesPerPixel, srcStride);
    }
};

// Calls op(destination row start, source row start) for each row of the pass.
template <typename RowOp>
void forEachRow(const KernelPass& pass, RowOrder order, RowOp op) {
    for (std::int32_t j = 0; j < pass.rows(); ++j) op(pass.dstRow(j), pass.srcRow(j, order));
}

// Calls op(destination pixel, source pixel) for each pixel of the pass. The op reads
// its source bytes before writing, so passes on one image in place stay correct.
template <typename PixelOp>
void forEachPixel(const KernelPass& pass, RowOrder order, PixelOp op) {
    const std::int32_t columns = pass.columns();
    forEachRow(pass, order, [&](std::uint8_t* d, const std::uint8_t* s) {
        for (std::int32_t k = 0; k < columns; ++k) {
            op(d, s);
            d += pass.dstBytesPerPixel;
            s += pass.srcBytesPerPixel;
        }
    });
}

} // namespace orvix::kernel_detail
