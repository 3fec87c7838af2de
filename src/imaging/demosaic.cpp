// Reference demosaic kernels, the finishing pass of the vectorised ones and the
// kernel choice.

#include "imaging/demosaic.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "imaging/demosaic_internal.h"
#include "imaging/simd_target.h"

namespace orvix {
namespace {

// One raw sample of an 8- or 16-bit Surface (16-bit words are read unsigned).
template <typename Sample>
inline std::int32_t readSample(const std::uint8_t* p) {
    Sample value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <typename Sample>
inline void writeSample(std::uint8_t* p, std::int32_t value) {
    const Sample sample = static_cast<Sample>(value);
    std::memcpy(p, &sample, sizeof sample);
}

// Blue or red from a weighted sum (weights add up to 16) and a x128 gain.
inline std::int32_t scaleSum(std::int32_t sum, std::int32_t gain, std::int32_t maxValue) {
    const std::int64_t value = (static_cast<std::int64_t>(sum) * gain) >> 11;
    return static_cast<std::int32_t>(std::min<std::int64_t>(value, maxValue));
}

// Rows 2..H - 3 and columns 2..W - 3 of the rectangle, for 8- or 16-bit samples.
template <typename Sample, std::int32_t MaxValue>
void demosaicReference(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect& rect, std::int32_t dstX,
                       std::int32_t dstY, std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel,
                       std::uint32_t dstStride, std::uint32_t srcStride, const DemosaicParams& params) {
    const std::int32_t width = rect.width();
    const std::int32_t height = rect.height();
    const std::int32_t gainRed = fixedPointGain(params.gainRed);
    const std::int32_t gainBlue = fixedPointGain(params.gainBlue);
    const int firstRowPhase = bayerRowPhase(params.bayerMode);
    const int firstColumnPhase = bayerColumnPhase(params.bayerMode);
    const std::ptrdiff_t step = srcBytesPerPixel;
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(srcStride);

    for (std::int32_t j = 2; j <= height - 3; ++j) {
        const int rowPhase = firstRowPhase ^ (j & 1);
        const std::uint8_t* row = srcBits + static_cast<std::ptrdiff_t>(rect.top + j) * stride +
                                  static_cast<std::ptrdiff_t>(rect.left) * step;
        std::uint8_t* out = dstBits + static_cast<std::ptrdiff_t>(dstY + j) * dstStride +
                            static_cast<std::ptrdiff_t>(dstX) * dstBytesPerPixel;
        for (std::int32_t k = 2; k <= width - 3; ++k) {
            const int columnPhase = firstColumnPhase ^ (k & 1);
            const std::uint8_t* p = row + k * step;
            auto at = [&](int dx, int dy) { return readSample<Sample>(p + dx * step + dy * stride); };
            std::int32_t sumBlue;
            std::int32_t sumRed;
            std::int32_t green;
            if (rowPhase == columnPhase) {
                // Green site: the other colours lie on the row and on the column.
                const std::int32_t sumRow = 9 * at(-1, 0) + 3 * at(1, 0) + 3 * at(-1, -2) + at(1, -2);
                const std::int32_t sumColumn = 9 * at(0, -1) + 3 * at(-2, -1) + 3 * at(0, 1) + at(-2, 1);
                green = (at(-1, -1) + at(0, 0)) >> 1;
                sumBlue = rowPhase == 0 ? sumRow : sumColumn;
                sumRed = rowPhase == 0 ? sumColumn : sumRow;
            } else {
                // Blue or red site: the same colour on the site, the other diagonally.
                const std::int32_t sumSite = 9 * at(0, 0) + 3 * at(-2, 0) + 3 * at(0, -2) + at(-2, -2);
                const std::int32_t sumDiagonal = 9 * at(-1, -1) + 3 * at(-1, 1) + 3 * at(1, -1) + at(1, 1);
                green = (at(-1, 0) + at(0, -1)) >> 1;
                const bool blueSite = rowPhase == 0;
                sumBlue = blueSite ? sumSite : sumDiagonal;
                sumRed = blueSite ? sumDiagonal : sumSite;
            }
            std::uint8_t* pixel = out + static_cast<std::ptrdiff_t>(k) * dstBytesPerPixel;
            writeSample<Sample>(pixel, scaleSum(sumBlue, gainBlue, MaxValue));
            writeSample<Sample>(pixel + sizeof(Sample), std::min(green, MaxValue));
            writeSample<Sample>(pixel + 2 * sizeof(Sample), scaleSum(sumRed, gainRed, MaxValue));
        }
    }
}

const DemosaicParams& paramsOrDefault(void* context) {
    static const DemosaicParams defaults{};
    const DemosaicParams* params = kernelParams<DemosaicParams>(context);
    return params ? *params : defaults;
}

} // namespace

std::int32_t fixedPointGain(std::int32_t percent) {
    if (percent <= 0) {
        return 0;
    }
    const double scaled = static_cast<double>(percent) * 1.28;
    if (scaled >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(scaled);
}

std::int32_t demosaic8To24(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                           std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                           std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                           void* context, std::int32_t /*extra*/) {
    demosaicReference<std::uint8_t, 255>(dstBits, srcBits, *rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel,
                                         dstStride, srcStride, paramsOrDefault(context));
    return 1;
}

std::int32_t demosaic16To48(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                            std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                            std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                            void* context, std::int32_t /*extra*/) {
    demosaicReference<std::uint16_t, 1023>(dstBits, srcBits, *rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel,
                                           dstStride, srcStride, paramsOrDefault(context));
    return 1;
}

namespace detail {

VectorColumnPlan vectorColumnPlan(std::int32_t width, std::int32_t bayerMode) {
    VectorColumnPlan plan;
    plan.firstColumn = 2 + bayerColumnPhase(bayerMode);
    plan.vectorCount = width >= 4 ? (width - 4) / 16 : 0;
    return plan;
}

bool vectorDemosaicApplies(std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel,
                           const DemosaicParams& params) {
    auto inRange = [](std::int32_t gain) { return gain >= 0 && gain <= kVectorDemosaicMaxGain; };
    return dstBytesPerPixel == 3 && srcBytesPerPixel == 1 && inRange(params.gainRed) &&
           inRange(params.gainGreen) && inRange(params.gainBlue);
}

VectorGains vectorGains(const DemosaicParams& params) {
    VectorGains gains;
    gains.red = static_cast<std::uint16_t>(fixedPointGain(params.gainRed));
    gains.blue = static_cast<std::uint16_t>(fixedPointGain(params.gainBlue));
    return gains;
}

void finishVectorDemosaic(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect& rect,
                          std::int32_t dstX, std::int32_t dstY, std::uint32_t dstStride, std::uint32_t srcStride,
                          void* context) {
    const std::int32_t width = rect.width();
    const std::int32_t height = rect.height();

    // Columns 2..13: the vector loop may start at column 3 and its first steps
    // read on the left edge.
    KernelRect leftEdge = rect;
    leftEdge.right = rect.left + std::min(width, 16);
    demosaic8To24(dstBits, srcBits, &leftEdge, dstX, dstY, 3, 1, dstStride, srcStride, context, 0);

    // Columns m + 2..W - 3: what the whole vector steps do not reach. With no
    // whole step at all (m = 0, widths below 20) that is every column 2..W - 3.
    const std::int32_t m = width >= 4 ? 16 * ((width - 4) / 16) : 0;
    KernelRect rightEdge = rect;
    rightEdge.left = rect.left + m;
    demosaic8To24(dstBits, srcBits, &rightEdge, dstX + m, dstY, 3, 1, dstStride, srcStride, context, 0);

    // Columns 0, 1 and W - 1 of every row become black (only those inside the
    // rectangle, for rectangles narrower than three pixels).
    for (std::int32_t j = 0; j < height; ++j) {
        std::uint8_t* row = dstBits + static_cast<std::ptrdiff_t>(dstY + j) * dstStride +
                            static_cast<std::ptrdiff_t>(dstX) * 3;
        std::memset(row, 0, static_cast<std::size_t>(std::min(width, 2)) * 3);
        if (width > 0) {
            std::memset(row + static_cast<std::ptrdiff_t>(width - 1) * 3, 0, 3);
        }
    }
}

} // namespace detail

#if ORVIX_HAVE_X86_SIMD

namespace {

using RowsFunction = void (*)(std::uint8_t*, const std::uint8_t*, const KernelRect&, std::int32_t, std::int32_t,
                              std::uint32_t, std::uint32_t, std::int32_t, detail::VectorGains);

std::int32_t runVectorDemosaic(RowsFunction rows, std::uint8_t* dstBits, const std::uint8_t* srcBits,
                               const KernelRect* rect, std::int32_t dstX, std::int32_t dstY,
                               std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel,
                               std::uint32_t dstStride, std::uint32_t srcStride, void* context) {
    const DemosaicParams& params = paramsOrDefault(context);
    if (!detail::vectorDemosaicApplies(dstBytesPerPixel, srcBytesPerPixel, params)) {
        return demosaic8To24(dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride,
                             srcStride, context, 0);
    }
    rows(dstBits, srcBits, *rect, dstX, dstY, dstStride, srcStride, params.bayerMode, detail::vectorGains(params));
    detail::finishVectorDemosaic(dstBits, srcBits, *rect, dstX, dstY, dstStride, srcStride, context);
    return 1;
}

} // namespace

std::int32_t detail::demosaic8To24MmxRegisters(std::uint8_t* dstBits, const std::uint8_t* srcBits,
                                               const KernelRect* rect, std::int32_t dstX, std::int32_t dstY,
                                               std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel,
                                               std::uint32_t dstStride, std::uint32_t srcStride, void* context,
                                               std::int32_t /*extra*/) {
    return runVectorDemosaic(detail::demosaicRowsMmx, dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel,
                             srcBytesPerPixel, dstStride, srcStride, context);
}

#define ORVIX_KERNEL_WITH_ROWS(name, rows)                                                                   \
    std::int32_t detail::name(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,         \
                              std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,               \
                              std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,   \
                              void* context, std::int32_t /*extra*/) {                                            \
        return runVectorDemosaic(rows, dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel,    \
                                 dstStride, srcStride, context);                                                  \
    }
ORVIX_KERNEL_WITH_ROWS(demosaic8To24WithRowsSse2, detail::demosaicRowsSse2)
ORVIX_KERNEL_WITH_ROWS(demosaic8To24WithRowsSse3, detail::demosaicRowsSse3)
ORVIX_KERNEL_WITH_ROWS(demosaic8To24WithRowsAvx2, detail::demosaicRowsAvx2)
#undef ORVIX_KERNEL_WITH_ROWS

std::int32_t demosaic8To24Mmx(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                              std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                              std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                              void* context, std::int32_t extra) {
#if ORVIX_USE_MMX_KERNELS
    return detail::demosaic8To24MmxRegisters(dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel,
                                             srcBytesPerPixel, dstStride, srcStride, context, extra);
#else
    return demosaic8To24Sse2(dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride,
                             srcStride, context, extra);
#endif
}

// The SSE2 and SSE3 kernels run the 32-pixel loop where AVX2 is usable (it gives
// the same pixels); the processor record has no bit for it, so it is asked here.
std::int32_t demosaic8To24Sse2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                               std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                               std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                               void* context, std::int32_t /*extra*/) {
    return runVectorDemosaic(detail::avx2Usable() ? detail::demosaicRowsAvx2 : detail::demosaicRowsSse2, dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel,
                             srcBytesPerPixel, dstStride, srcStride, context);
}

std::int32_t demosaic8To24Sse3(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                               std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                               std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                               void* context, std::int32_t /*extra*/) {
    return runVectorDemosaic(detail::avx2Usable() ? detail::demosaicRowsAvx2 : detail::demosaicRowsSse3, dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel,
                             srcBytesPerPixel, dstStride, srcStride, context);
}

#else // no x86 vector units: the vectorised names run the reference kernel

std::int32_t demosaic8To24Mmx(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                              std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                              std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                              void* context, std::int32_t extra) {
    return demosaic8To24(dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride,
                         srcStride, context, extra);
}
std::int32_t demosaic8To24Sse2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                               std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                               std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                               void* context, std::int32_t extra) {
    return demosaic8To24(dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride,
                         srcStride, context, extra);
}
std::int32_t demosaic8To24Sse3(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                               std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                               std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                               void* context, std::int32_t extra) {
    return demosaic8To24(dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride,
                         srcStride, context, extra);
}

#endif

PixelKernel chooseDemosaicKernel(const ProcessorInfo& cpu, int srcBitsPerPixel, int dstBitsPerPixel,
                                 const DemosaicParams& params) {
    if (srcBitsPerPixel == 16) {
        return demosaic16To48;
    }
    if (!detail::vectorDemosaicApplies(dstBitsPerPixel == 24 ? 3 : 0, 1, params)) {
        return demosaic8To24;
    }
    if (cpu.canUse(kFeatureSse3)) {
        return demosaic8To24Sse3;
    }
    if (cpu.canUse(kFeatureSse2)) {
        return demosaic8To24Sse2;
    }
    if (cpu.canUse(kFeatureMmx)) {
        return demosaic8To24Mmx;
    }
    return demosaic8To24;
}

} // namespace orvix
