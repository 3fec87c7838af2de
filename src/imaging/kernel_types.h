#pragma once
// Signatures of the pixel routines that Surface::blit and Surface::stretch run.
//
// PixelKernel: the rectangle is the clipped source rectangle in memory rows (left,
// top = first memory row; right and bottom exclusive); (dstX, dstY) is the
// destination column and memory row of its first pixel. Bytes per pixel are 16-bit
// values, strides are in bytes. `context` is kernel-specific: for the kernels that
// take a parameter record it is the address of a variable holding a pointer to the
// record. `extra` is 0 in every call. The result is 1, or the measured value for the
// metering kernels.
//
// ScaleKernel: the rectangles are in the caller's coordinates, unflipped and
// unclipped; tailA and tailB are 0 in every call.

#include <cstdint>

namespace orvix {

struct KernelRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
};

using PixelKernel = std::int32_t (*)(std::uint8_t* dstBits, const std::uint8_t* srcBits,
                                     const KernelRect* rect, std::int32_t dstX, std::int32_t dstY,
                                     std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel,
                                     std::uint32_t dstStride, std::uint32_t srcStride, void* context,
                                     std::int32_t extra);

using ScaleKernel = std::int32_t (*)(std::uint8_t* dstBits, const std::uint8_t* srcBits,
                                     const KernelRect* dstRect, const KernelRect* srcRect,
                                     std::int32_t dstWidth, std::int32_t dstHeight, std::int32_t srcWidth,
                                     std::int32_t srcHeight, std::uint16_t dstBytesPerPixel,
                                     std::uint16_t srcBytesPerPixel, std::uint32_t dstStride,
                                     std::uint32_t srcStride, std::int32_t tailA, std::int32_t tailB);

// Declares or defines a PixelKernel `name` (parameters may go unused).
#define ORVIX_KERNEL_ARG [[maybe_unused]]

#define ORVIX_PIXEL_KERNEL(name)                                                                             \
    std::int32_t name(ORVIX_KERNEL_ARG std::uint8_t* dstBits, ORVIX_KERNEL_ARG const std::uint8_t* srcBits,  \
                      ORVIX_KERNEL_ARG const KernelRect* rect, ORVIX_KERNEL_ARG std::int32_t dstX,           \
                      ORVIX_KERNEL_ARG std::int32_t dstY, ORVIX_KERNEL_ARG std::uint16_t dstBytesPerPixel,   \
                      ORVIX_KERNEL_ARG std::uint16_t srcBytesPerPixel, ORVIX_KERNEL_ARG std::uint32_t dstStride, \
                      ORVIX_KERNEL_ARG std::uint32_t srcStride, ORVIX_KERNEL_ARG void* context,              \
                      ORVIX_KERNEL_ARG std::int32_t extra)

// Reads the parameter record a kernel's context points to (the address of a
// variable holding a pointer to the record).
template <typename Record>
Record* kernelParams(void* context) {
    return context ? *static_cast<Record**>(context) : nullptr;
}

} // namespace orvix
