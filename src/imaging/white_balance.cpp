// White-balance measurement and how its result is stored in the settings.

#include "imaging/white_balance.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "imaging/demosaic.h"
#include "imaging/filter_settings.h"

namespace orvix {
namespace {

struct SiteSums {
    // Indexed by 2 x row phase + column phase: (0,0) green, (0,1) blue,
    // (1,0) red, (1,1) green. 64-bit so that no frame size can overflow them.
    std::uint64_t sum[4] = {0, 0, 0, 0};
    std::uint64_t count[4] = {0, 0, 0, 0};
};

template <typename Sample>
SiteSums sumSites(const std::uint8_t* srcBits, const KernelRect& rect, std::uint16_t bytesPerPixel,
                  std::uint32_t stride, std::int32_t bayerMode) {
    SiteSums sums;
    const int firstRowPhase = bayerRowPhase(bayerMode);
    const int firstColumnPhase = bayerColumnPhase(bayerMode);
    const std::int32_t width = rect.width();
    const std::int32_t height = rect.height();
    for (std::int32_t j = 0; j < height; ++j) {
        const int rowPhase = firstRowPhase ^ (j & 1);
        const std::uint8_t* p = srcBits + static_cast<std::ptrdiff_t>(rect.top + j) * stride +
                                static_cast<std::ptrdiff_t>(rect.left) * bytesPerPixel;
        // Two running sums per row, one for each column phase.
        std::uint64_t rowSum[2] = {0, 0};
        for (std::int32_t k = 0; k < width; ++k, p += bytesPerPixel) {
            Sample sample;
            std::memcpy(&sample, p, sizeof sample);
            rowSum[k & 1] += sample;
        }
        for (int half = 0; half < 2; ++half) {
            const int site = 2 * rowPhase + (firstColumnPhase ^ half);
            sums.sum[site] += rowSum[half];
            sums.count[site] += static_cast<std::uint64_t>((width - half + 1) / 2);
        }
    }
    return sums;
}

// Truncation toward zero, saturating instead of overflowing.
std::int32_t truncateGain(double value) {
    if (!(value < static_cast<double>(std::numeric_limits<std::int32_t>::max()))) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

void deriveGains(const SiteSums& sums, WhiteBalanceParams& params) {
    const std::uint64_t sumGreen = sums.sum[0] + sums.sum[3];
    const std::uint64_t countGreen = sums.count[0] + sums.count[3];
    params.gainGreen = kGainNotMeasured;
    params.gainBlue = kGainNotMeasured;
    params.gainRed = kGainNotMeasured;
    if (countGreen == 0 || sumGreen == 0) {
        return;
    }
    params.gainGreen = 100;
    const double meanBlue = sums.count[1] ? static_cast<double>(sums.sum[1]) / static_cast<double>(sums.count[1]) : 0.0;
    const double meanRed = sums.count[2] ? static_cast<double>(sums.sum[2]) / static_cast<double>(sums.count[2]) : 0.0;
    const double meanGreen = static_cast<double>(sumGreen) / static_cast<double>(countGreen);
    const double total = meanBlue + meanGreen + meanRed;
    const double third = 1.0 / 3.0;
    const double greenShare = (total / meanGreen) * third;
    const double k = 1.0 / greenShare;
    if (meanBlue > 0.0) {
        const double blueShare = k * (total / meanBlue);
        const double thirds = blueShare * third;
        params.gainBlue = truncateGain(thirds * 100.0);
    }
    if (meanRed > 0.0) {
        const double redShare = k * (total / meanRed);
        const double thirds = redShare * third;
        params.gainRed = truncateGain(thirds * 100.0);
    }
}

template <typename Sample>
std::int32_t measureWhiteBalance(const std::uint8_t* srcBits, const KernelRect* rect,
                                 std::uint16_t srcBytesPerPixel, std::uint32_t srcStride, void* context) {
    WhiteBalanceParams* params = kernelParams<WhiteBalanceParams>(context);
    if (params) {
        deriveGains(sumSites<Sample>(srcBits, *rect, srcBytesPerPixel, srcStride, params->bayerMode), *params);
    }
    return 1;
}

} // namespace

std::int32_t measureWhiteBalance8(std::uint8_t* /*dstBits*/, const std::uint8_t* srcBits, const KernelRect* rect,
                                  std::int32_t /*dstX*/, std::int32_t /*dstY*/, std::uint16_t /*dstBytesPerPixel*/,
                                  std::uint16_t srcBytesPerPixel, std::uint32_t /*dstStride*/,
                                  std::uint32_t srcStride, void* context, std::int32_t /*extra*/) {
    return measureWhiteBalance<std::uint8_t>(srcBits, rect, srcBytesPerPixel, srcStride, context);
}

std::int32_t measureWhiteBalance16(std::uint8_t* /*dstBits*/, const std::uint8_t* srcBits, const KernelRect* rect,
                                   std::int32_t /*dstX*/, std::int32_t /*dstY*/, std::uint16_t /*dstBytesPerPixel*/,
                                   std::uint16_t srcBytesPerPixel, std::uint32_t /*dstStride*/,
                                   std::uint32_t srcStride, void* context, std::int32_t /*extra*/) {
    return measureWhiteBalance<std::uint16_t>(srcBits, rect, srcBytesPerPixel, srcStride, context);
}

void FilterSettings::storeWhiteBalance(const WhiteBalanceParams& measured) {
    auto store = [](std::int32_t& gain, std::int32_t value) {
        if (value != kGainNotMeasured) {
            gain = std::min(value, kMaxMeasuredBayerGain);
        }
    };
    store(bayerGainRed, measured.gainRed);
    store(bayerGainGreen, measured.gainGreen);
    store(bayerGainBlue, measured.gainBlue);
    if (bayerGainAuto != 0 && bayerGainOnce1 != 0 && bayerGainOnce2 != 0) {
        bayerGainAuto = 0;
        bayerGainOnce1 = 0;
        bayerGainOnce2 = 0;
    }
}

} // namespace orvix
