// Gray-mode site gains: settings helpers, reference kernel, measurement and choice.

#include "imaging/gray_gains.h"

#include <algorithm>

#include "imaging/demosaic.h"
#include "imaging/gray_gains_internal.h"
#include "imaging/simd_target.h"

namespace orvix {

GrayGainParams grayGainParams(const FilterSettings& settings) {
    GrayGainParams params;
    params.bayerMode = settings.bayerMode;
    params.gainR = settings.grayGainR;
    params.gainG1 = settings.grayGainG1;
    params.gainG2 = settings.grayGainG2;
    params.gainB = settings.grayGainB;
    params.offsetR = settings.grayOffsetR;
    params.offsetG1 = settings.grayOffsetG1;
    params.offsetG2 = settings.grayOffsetG2;
    params.offsetB = settings.grayOffsetB;
    return params;
}

bool grayGainsActive(const GrayGainParams& params) {
    return params.gainR != kUnityGrayGain || params.gainG1 != kUnityGrayGain || params.gainG2 != kUnityGrayGain ||
           params.gainB != kUnityGrayGain;
}

void storeMeasuredGrayGains(FilterSettings& settings, const GrayGainParams& measured) {
    settings.grayGainR = measured.gainR;
    settings.grayGainG1 = measured.gainG1;
    settings.grayGainG2 = measured.gainG2;
    settings.grayGainB = measured.gainB;
    if (settings.grayGainAuto != 0) {
        settings.grayGainAuto -= 1;
    }
}

namespace detail {

GrayRowSites grayRowSites(const GrayGainParams& params, std::int32_t row) {
    // Site of phase (a, b): (0,0) G1, (0,1) R, (1,0) B, (1,1) G2.
    const std::int32_t gains[4] = {params.gainG1, params.gainR, params.gainB, params.gainG2};
    const std::int32_t offsets[4] = {params.offsetG1, params.offsetR, params.offsetB, params.offsetG2};
    const int rowPhase = bayerRowPhase(params.bayerMode) ^ (row & 1);
    const int columnPhase = bayerColumnPhase(params.bayerMode);
    GrayRowSites sites;
    for (int k = 0; k < 2; ++k) {
        const int site = 2 * rowPhase + (columnPhase ^ k);
        sites.gain[k] = gains[site];
        sites.offset[k] = offsets[site];
    }
    return sites;
}

void applyGrayGainsRow(std::uint8_t* out, const std::uint8_t* in, std::int32_t firstColumn, std::int32_t endColumn,
                       std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel, const GrayRowSites& sites) {
    for (std::int32_t k = firstColumn; k < endColumn; ++k) {
        const int phase = k & 1;
        const std::int64_t scaled = static_cast<std::int64_t>(in[static_cast<std::ptrdiff_t>(k) * srcBytesPerPixel]) *
                                    sites.gain[phase] / kUnityGrayGain;
        const std::int64_t value = sites.offset[phase] + scaled;
        out[static_cast<std::ptrdiff_t>(k) * dstBytesPerPixel] =
            static_cast<std::uint8_t>(std::clamp<std::int64_t>(value, 0, 255));
    }
}

bool vectorGrayGainsApply(std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel,
                          const GrayGainParams& params) {
    auto inRange = [](std::int32_t gain) { return gain >= 0 && gain <= kVectorGrayGainMax; };
    return dstBytesPerPixel == 1 && srcBytesPerPixel == 1 && inRange(params.gainR) && inRange(params.gainG1) &&
           inRange(params.gainG2) && inRange(params.gainB);
}

} // namespace detail

std::int32_t applyGrayGains8(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                             std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                             std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                             void* context, std::int32_t /*extra*/) {
    const GrayGainParams* params = kernelParams<GrayGainParams>(context);
    if (!params) {
        return 1;
    }
    for (std::int32_t j = 0; j < rect->height(); ++j) {
        const std::uint8_t* in = srcBits + static_cast<std::ptrdiff_t>(rect->top + j) * srcStride +
                                 static_cast<std::ptrdiff_t>(rect->left) * srcBytesPerPixel;
        std::uint8_t* out = dstBits + static_cast<std::ptrdiff_t>(dstY + j) * dstStride +
                            static_cast<std::ptrdiff_t>(dstX) * dstBytesPerPixel;
        detail::applyGrayGainsRow(out, in, 0, rect->width(), dstBytesPerPixel, srcBytesPerPixel,
                                  detail::grayRowSites(*params, j));
    }
    return 1;
}

std::int32_t measureGrayGains8(std::uint8_t* /*dstBits*/, const std::uint8_t* srcBits, const KernelRect* rect,
                               std::int32_t /*dstX*/, std::int32_t /*dstY*/, std::uint16_t /*dstBytesPerPixel*/,
                               std::uint16_t srcBytesPerPixel, std::uint32_t /*dstStride*/, std::uint32_t srcStride,
                               void* context, std::int32_t /*extra*/) {
    GrayGainParams* params = kernelParams<GrayGainParams>(context);
    if (!params) {
        return 1;
    }
    // Indexed by site as in grayRowSites: 0 G1, 1 R, 2 B, 3 G2.
    std::uint64_t sum[4] = {0, 0, 0, 0};
    std::uint64_t count[4] = {0, 0, 0, 0};
    const int firstRowPhase = bayerRowPhase(params->bayerMode);
    const int firstColumnPhase = bayerColumnPhase(params->bayerMode);
    for (std::int32_t j = 0; j < rect->height(); ++j) {
        const int rowPhase = firstRowPhase ^ (j & 1);
        const std::uint8_t* in = srcBits + static_cast<std::ptrdiff_t>(rect->top + j) * srcStride +
                                 static_cast<std::ptrdiff_t>(rect->left) * srcBytesPerPixel;
        for (std::int32_t k = 0; k < rect->width(); ++k) {
            const std::uint8_t sample = in[static_cast<std::ptrdiff_t>(k) * srcBytesPerPixel];
            if (sample == 0 || sample == 255) {
                continue; // black and saturated samples say nothing about the gain
            }
            const int site = 2 * rowPhase + (firstColumnPhase ^ (k & 1));
            sum[site] += sample;
            count[site] += 1;
        }
    }
    if (count[0] == 0) {
        return 1;
    }
    const double meanG1 = static_cast<double>(sum[0]) / static_cast<double>(count[0]);
    auto gainFor = [&](int site, std::int32_t current) {
        if (count[site] == 0) {
            return current;
        }
        const double mean = static_cast<double>(sum[site]) / static_cast<double>(count[site]);
        const double ratio = meanG1 / mean;
        return static_cast<std::int32_t>(ratio * kUnityGrayGain);
    };
    params->gainG1 = kUnityGrayGain;
    params->gainR = gainFor(1, params->gainR);
    params->gainB = gainFor(2, params->gainB);
    params->gainG2 = gainFor(3, params->gainG2);
    return 1;
}

#if ORVIX_HAVE_X86_SIMD

std::int32_t applyGrayGains8Mmx(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                void* context, std::int32_t extra) {
#if ORVIX_USE_MMX_KERNELS
    return detail::applyGrayGains8MmxRegisters(dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel,
                                               srcBytesPerPixel, dstStride, srcStride, context, extra);
#else
    return applyGrayGains8Sse2(dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride,
                               srcStride, context, extra);
#endif
}

#else // no x86 vector units: the vectorised names run the reference kernel

std::int32_t applyGrayGains8Mmx(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                void* context, std::int32_t extra) {
    return applyGrayGains8(dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride,
                           srcStride, context, extra);
}
std::int32_t applyGrayGains8Sse2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                 std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                 std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                 void* context, std::int32_t extra) {
    return applyGrayGains8(dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride,
                           srcStride, context, extra);
}

#endif

PixelKernel chooseGrayGainKernel(const ProcessorInfo& cpu) {
    if (cpu.canUse(kFeatureSse2)) {
        return applyGrayGains8Sse2;
    }
    if (cpu.canUse(kFeatureMmx)) {
        return applyGrayGains8Mmx;
    }
    return applyGrayGains8;
}

} // namespace orvix
