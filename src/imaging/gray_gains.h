#pragma once
// Gray mode "Bayer convert": every Bayer site class of a monochrome 8-bit frame gets
// its own gain and offset, so that the sites under the four filter colours can be
// equalised; the gains can be measured from the frame itself.
//
// Site names: the phase (0, 1) sites are "R", (0, 0) "G1", (1, 1) "G2" and (1, 0)
// "B" (the phases as in demosaic.h).

#include <cstdint>

#include "imaging/processor_info.h"
#include "imaging/filter_settings.h"
#include "imaging/kernel_types.h"

namespace orvix {

// Parameter record of the gray-gain kernels; gains are x128 (128 = 1.0).
struct GrayGainParams {
    std::int32_t bayerMode = 0;
    std::int32_t gainR = 128;
    std::int32_t gainG1 = 128;
    std::int32_t gainG2 = 128;
    std::int32_t gainB = 128;
    std::int32_t offsetR = 0;
    std::int32_t offsetG1 = 0;
    std::int32_t offsetG2 = 0;
    std::int32_t offsetB = 0;
};

inline constexpr std::int32_t kUnityGrayGain = 128;

// The record for one frame, from the settings.
GrayGainParams grayGainParams(const FilterSettings& settings);

// Whether the gain step changes the frame: some gain differs from 128 (offsets
// alone never start the step).
bool grayGainsActive(const GrayGainParams& params);

// Stores the four gains of a measurement in the settings and counts the
// measurement: 1 (measure once) becomes 0, a negative counter keeps decreasing.
void storeMeasuredGrayGains(FilterSettings& settings, const GrayGainParams& measured);

// In place on the 8-bit Surface: s -> offset + (s x gain) / 128 (integer division
// truncating toward zero), limited to 0..255, with the gain and offset of the
// pixel's site.
std::int32_t applyGrayGains8(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                             std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                             std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                             void* context, std::int32_t extra);

// Vectorised forms with the same result for every pixel. They work in 16-bit lanes
// (the product kept in 32 bits), which is exact for gains 0..16448 and any offset;
// outside that they hand the call to applyGrayGains8. 16 pixels per step with SSE2;
// 8 per step with the multimedia registers in 32-bit builds (64-bit builds run the
// SSE2 code instead, with identical output).
std::int32_t applyGrayGains8Mmx(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                void* context, std::int32_t extra);
std::int32_t applyGrayGains8Sse2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                 std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                 std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                 void* context, std::int32_t extra);

// Measures the 8-bit raw frame and writes the results into the record's gains:
// gainG1 = 128 and each other gain = truncation of mean(G1) / mean(site) x 128.
// Samples of 0 and 255 count nowhere. A site class without counted samples keeps
// its gain in the record; without counted G1 samples no gain changes. Reads only;
// returns 1.
std::int32_t measureGrayGains8(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                               std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                               std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                               void* context, std::int32_t extra);

// SSE2 when both processor masks have it, else MMX, else the reference.
PixelKernel chooseGrayGainKernel(const ProcessorInfo& cpu);

namespace detail {
// Largest gain the vector forms handle exactly.
inline constexpr std::int32_t kVectorGrayGainMax = 16448;
// The 8-pixel form with the multimedia registers whatever the word size (used by
// applyGrayGains8Mmx in 32-bit builds only); present on x86 builds.
std::int32_t applyGrayGains8MmxRegisters(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                         std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                         std::uint16_t srcBytesPerPixel, std::uint32_t dstStride,
                                         std::uint32_t srcStride, void* context, std::int32_t extra);
} // namespace detail

} // namespace orvix
