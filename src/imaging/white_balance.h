#pragma once
// Automatic white balance: the mean of each Bayer site class of a raw frame gives
// red and blue gains that bring both to the green level.

#include <cstdint>

#include "imaging/kernel_types.h"

namespace orvix {

// Parameter record of the white-balance kernels: three outputs, then the input.
struct WhiteBalanceParams {
    std::int32_t gainBlue = 0;  // output, percent
    std::int32_t gainGreen = 0; // output, always 100
    std::int32_t gainRed = 0;   // output, percent
    std::int32_t bayerMode = 0; // input
};

// Written into an output gain the frame cannot determine: its site class has no
// samples or a mean of 0 (then there is no finite quotient), or the green class
// has (then all three outputs carry it). FilterSettings::storeWhiteBalance keeps
// the stored gain then.
inline constexpr std::int32_t kGainNotMeasured = -1;

// Largest Bayer gain a measurement stores.
inline constexpr std::int32_t kMaxMeasuredBayerGain = 400;

// Measure the rectangle of an 8-bit or 16-bit raw frame (samples read unsigned):
// gainBlue = 100 x mG / mB and gainRed = 100 x mG / mR (truncated; very large
// quotients saturate), gainGreen = 100. Reads only; returns 1.
std::int32_t measureWhiteBalance8(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                  std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                  std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                  void* context, std::int32_t extra);
std::int32_t measureWhiteBalance16(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                   std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                   std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                   void* context, std::int32_t extra);

} // namespace orvix
