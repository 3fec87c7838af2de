#pragma once
// Hue and saturation step of the colour layouts, in a hue/lightness/saturation model
// with integer arithmetic (the hue sectors rise by 64 per unit of the channel
// difference, not 60).

#include <cstdint>

#include "imaging/kernel_types.h"

namespace orvix {

// Parameter record: shifts added to hue (degrees), lightness and saturation. The
// filter section passes filter.hue, 0 and filter.saturation.
struct HlsAdjust {
    std::int32_t hueShift = 0;
    std::int32_t lightnessOffset = 0;
    std::int32_t saturationOffset = 0;
};

// One pixel: (b, g, r) bytes -> adjusted bytes.
void adjustHls(std::int32_t& blue, std::int32_t& green, std::int32_t& red, const HlsAdjust& adjust);

// In place on 24/32-bit pixels (a fourth byte is untouched).
std::int32_t adjustHueSaturation24(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                   std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                   std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                   void* context, std::int32_t extra);

// In place on 48/64-bit pixels: each 16-bit channel >> 2 is the 8-bit input (a
// sample above 1023 counts as 1023) and each 8-bit result x 4 is written back.
std::int32_t adjustHueSaturation48(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                   std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                   std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                   void* context, std::int32_t extra);

namespace detail {
// The kernels' 16-pixel lane form on channels 0..255, in the baseline instruction set
// or (allowAvx2, where the processor has it) with AVX2, for checking both forms.
void adjustHueSaturationLanes(std::int32_t (&blue)[16], std::int32_t (&green)[16], std::int32_t (&red)[16],
                              const HlsAdjust& adjust, bool allowAvx2);
} // namespace detail

} // namespace orvix
