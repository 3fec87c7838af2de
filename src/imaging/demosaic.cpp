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

// Rows [firstRow, endRow) within 2..H - 3 and columns 2..W - 3 of the rectangle, for
// 8- or 16-bit samples.
template <typename Sample, std::int32_t MaxValue>
void demosaicReference(const detail::DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow) {
    const DemosaicParams& params = call.params;
    const std::int32_t width = call.rect.width();
    const std::int32_t height = call.rect.height();
    const std::int32_t gainRed = fixedPointGain(params.gainRed);
    const std::int32_t gainBlue = fixedPointGain(params.gainBlue);
    const int firstRowPhase = bayerRowPhase(params.bayerMode);
    const int firstColumnPhase = bayerColumnPhase(params.bayerMode);
    const std::ptrdiff_t step = call.srcBytesPerPixel;
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(call.srcStride);
    const std::uint16_t dstBytesPerPixel = call.dstBytesPerPixel;

    const std::int32_t endJ = std::min(endRow, height - 2);
    for (std::int32_t j = std::max(firstRow, 2); j < endJ; ++j) {
        const int rowPhase = firstRowPhase ^ (j & 1);
        const std::uint8_t* row = call.sourceRow(j);
        std::uint8_t* out = call.destinationRow(j);
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

detail::DemosaicCall makeCall(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                              std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                              std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                              void* context) {
    return detail::DemosaicCall{dstBits, srcBits, *rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel,
                                dstStride, srcStride, paramsOrDefault(context)};
}

std::int32_t wholeRows(const detail::DemosaicCall& call) { return call.rect.height(); }

} // namespace

namespace detail {

void demosaicReferenceRows(const DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow) {
    if (call.srcBytesPerPixel == 2) {
        demosaicReference<std::uint16_t, 1023>(call, firstRow, endRow);
    } else {
        demosaicReference<std::uint8_t, 255>(call, firstRow, endRow);
    }
}

void demosaicReferenceRows8(const DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow) {
    demosaicReference<std::uint8_t, 255>(call, firstRow, endRow);
}

void demosaicReferenceRows16(const DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow) {
    demosaicReference<std::uint16_t, 1023>(call, firstRow, endRow);
}

bool exactLanesApply(const DemosaicCall& call, std::int32_t lanes) {
    const bool eightBit = call.srcBytesPerPixel == 1 && (call.dstBytesPerPixel == 3 || call.dstBytesPerPixel == 4);
    const bool tenBit = call.srcBytesPerPixel == 2 && (call.dstBytesPerPixel == 6 || call.dstBytesPerPixel == 8);
    const std::int32_t maxGain = eightBit ? kExactMaxGain8 : kExactMaxGain16;
    return (eightBit || tenBit) && call.rect.width() - 4 >= lanes && fixedPointGain(call.params.gainRed) <= maxGain &&
           fixedPointGain(call.params.gainBlue) <= maxGain;
}

} // namespace detail

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
    const detail::DemosaicCall call =
        makeCall(dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride, context);
    demosaicReference<std::uint8_t, 255>(call, 0, wholeRows(call));
    return 1;
}

std::int32_t demosaic16To48(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                            std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                            std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                            void* context, std::int32_t /*extra*/) {
    const detail::DemosaicCall call =
        makeCall(dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride, context);
    demosaicReference<std::uint16_t, 1023>(call, 0, wholeRows(call));
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

} // namespace detail

namespace {

// The interpolated rows [firstRow, endRow) of a call as a call of their own: the
// rectangle cut to those rows and the two above and below them, the destination row
// moved with it and the mode's row phase kept for its new first row. False when the
// band holds no interpolated row.
bool interiorBand(const detail::DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow,
                  detail::DemosaicCall& band) {
    const std::int32_t first = std::max(firstRow, 2);
    const std::int32_t end = std::min(endRow, call.rect.height() - 2);
    if (first >= end) return false;
    band = call;
    band.rect.top = call.rect.top + first - 2;
    band.rect.bottom = call.rect.top + end + 2;
    band.dstY = call.dstY + first - 2;
    band.params.bayerMode = call.params.bayerMode ^ ((first - 2) & 1);
    return true;
}

// Columns 0, 1 and W - 1 of rows [firstRow, endRow) become black (only those inside
// the rectangle, for rectangles narrower than three pixels).
void blackenEdgeColumns(const detail::DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow) {
    const std::int32_t width = call.rect.width();
    for (std::int32_t j = std::max(firstRow, 0); j < std::min(endRow, call.rect.height()); ++j) {
        std::uint8_t* row = call.destinationRow(j);
        std::memset(row, 0, static_cast<std::size_t>(std::min(width, 2)) * 3);
        if (width > 0) {
            std::memset(row + static_cast<std::ptrdiff_t>(width - 1) * 3, 0, 3);
        }
    }
}

// The reference arithmetic on the columns a band call's rectangle is cut to; with
// `sse2`, through the exact SSE2 engine (the same bytes) where the cut is wide enough.
void referenceColumns(const detail::DemosaicCall& band, std::int32_t left, std::int32_t right, bool sse2) {
    detail::DemosaicCall cut = band;
    cut.rect.left = band.rect.left + left;
    cut.rect.right = band.rect.left + right;
    cut.dstX = band.dstX + left;
#if ORVIX_HAVE_X86_SIMD
    if (sse2 && detail::exactLanesApply(cut, detail::kExactLanesSse2)) {
        detail::demosaicExactRowsSse2(cut, 0, cut.rect.height());
        return;
    }
#endif
    (void)sse2;
    detail::demosaicReferenceRows8(cut, 0, cut.rect.height());
}

using RowsFunction = void (*)(std::uint8_t*, const std::uint8_t*, const KernelRect&, std::int32_t, std::int32_t,
                              std::uint32_t, std::uint32_t, std::int32_t, detail::VectorGains);

// The 16-pixel vector kernels on rows [firstRow, endRow): the vector loop, then
// columns 2..13 and m + 2..W - 3 with the reference arithmetic (m = 16 x ((W - 4) /
// 16); with no whole step, m = 0, that is every column 2..W - 3), then columns 0, 1
// and W - 1 black.
void vectorDemosaicRows(RowsFunction rows, const detail::DemosaicCall& call, std::int32_t firstRow,
                        std::int32_t endRow) {
    detail::DemosaicCall band;
    if (interiorBand(call, firstRow, endRow, band)) {
        const std::int32_t width = call.rect.width();
        if (rows) {
            rows(band.dstBits, band.srcBits, band.rect, band.dstX, band.dstY, band.dstStride, band.srcStride,
                 band.params.bayerMode, detail::vectorGains(band.params));
        }
        // The vector loop may start at column 3 and its first steps read on the left
        // edge. Every loop but the multimedia-register one implies SSE2.
#if ORVIX_HAVE_X86_SIMD
        const bool sse2 = rows != nullptr && rows != detail::demosaicRowsMmx;
#else
        const bool sse2 = false;
#endif
        referenceColumns(band, 0, std::min(width, 16), sse2);
        const std::int32_t m = 16 * ((width - 4) / 16);
        referenceColumns(band, m, width, sse2);
    }
    blackenEdgeColumns(call, firstRow, endRow);
}

std::int32_t runVectorDemosaic(RowsFunction rows, const detail::DemosaicCall& call) {
    if (!detail::vectorDemosaicApplies(call.dstBytesPerPixel, call.srcBytesPerPixel, call.params)) {
        detail::demosaicReferenceRows8(call, 0, wholeRows(call));
        return 1;
    }
    vectorDemosaicRows(rows, call, 0, wholeRows(call));
    return 1;
}

using ExactRowsFunction = void (*)(const detail::DemosaicCall&, std::int32_t, std::int32_t);

// The fastest exact engine this processor runs (AVX2 where it has it), or none.
ExactRowsFunction exactEngine() {
#if ORVIX_HAVE_X86_SIMD
    return detail::avx2Usable() ? detail::demosaicExactRowsAvx2 : detail::demosaicExactRowsSse2;
#else
    return nullptr;
#endif
}

// The exact engine on a call of 8-bit (sampleBytes 1, the bytes of demosaic8To24) or
// 16-bit samples (2, those of demosaic16To48); a source of the other depth, or no
// engine, goes to that reference.
void exactRows(ExactRowsFunction engine, const detail::DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow,
               int sampleBytes) {
    if (engine && call.srcBytesPerPixel == sampleBytes) {
        engine(call, firstRow, endRow);
    } else if (sampleBytes == 1) {
        detail::demosaicReferenceRows8(call, firstRow, endRow);
    } else {
        detail::demosaicReferenceRows16(call, firstRow, endRow);
    }
}

#define ORVIX_DEMOSAIC_CALL                                                                                         \
    makeCall(dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride, context)

} // namespace

std::int32_t demosaic8To24ExactSse2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                    std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                    std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                    void* context, std::int32_t /*extra*/) {
    const detail::DemosaicCall call = ORVIX_DEMOSAIC_CALL;
    exactRows(exactEngine(), call, 0, wholeRows(call), 1);
    return 1;
}

std::int32_t demosaic16To48Sse2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                void* context, std::int32_t /*extra*/) {
    const detail::DemosaicCall call = ORVIX_DEMOSAIC_CALL;
    exactRows(exactEngine(), call, 0, wholeRows(call), 2);
    return 1;
}

#if ORVIX_HAVE_X86_SIMD

std::int32_t detail::demosaicExactWithSse2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                           std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                           std::uint16_t srcBytesPerPixel, std::uint32_t dstStride,
                                           std::uint32_t srcStride, void* context, std::int32_t /*extra*/) {
    const DemosaicCall call = ORVIX_DEMOSAIC_CALL;
    demosaicExactRowsSse2(call, 0, wholeRows(call));
    return 1;
}

std::int32_t detail::demosaicExactWithAvx2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                           std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                           std::uint16_t srcBytesPerPixel, std::uint32_t dstStride,
                                           std::uint32_t srcStride, void* context, std::int32_t /*extra*/) {
    const DemosaicCall call = ORVIX_DEMOSAIC_CALL;
    demosaicExactRowsAvx2(call, 0, wholeRows(call));
    return 1;
}

std::int32_t detail::demosaic8To24MmxRegisters(std::uint8_t* dstBits, const std::uint8_t* srcBits,
                                               const KernelRect* rect, std::int32_t dstX, std::int32_t dstY,
                                               std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel,
                                               std::uint32_t dstStride, std::uint32_t srcStride, void* context,
                                               std::int32_t /*extra*/) {
    return runVectorDemosaic(detail::demosaicRowsMmx, ORVIX_DEMOSAIC_CALL);
}

#define ORVIX_KERNEL_WITH_ROWS(name, rows)                                                                         \
    std::int32_t detail::name(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,         \
                              std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,               \
                              std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,   \
                              void* context, std::int32_t /*extra*/) {                                            \
        return runVectorDemosaic(rows, ORVIX_DEMOSAIC_CALL);                                                      \
    }
ORVIX_KERNEL_WITH_ROWS(demosaic8To24WithRowsSse2, detail::demosaicRowsSse2)
ORVIX_KERNEL_WITH_ROWS(demosaic8To24WithRowsSse3, detail::demosaicRowsSse3)
ORVIX_KERNEL_WITH_ROWS(demosaic8To24WithRowsAvx2, detail::demosaicRowsAvx2)
#undef ORVIX_KERNEL_WITH_ROWS

namespace {

// The vector loop each 8-bit vector kernel runs on this build and processor.
RowsFunction mmxRows() { return ORVIX_USE_MMX_KERNELS ? detail::demosaicRowsMmx : nullptr; }
RowsFunction sse2Rows() { return detail::avx2Usable() ? detail::demosaicRowsAvx2 : detail::demosaicRowsSse2; }
RowsFunction sse3Rows() { return detail::avx2Usable() ? detail::demosaicRowsAvx2 : detail::demosaicRowsSse3; }

} // namespace

std::int32_t demosaic8To24Mmx(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                              std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                              std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                              void* context, std::int32_t /*extra*/) {
    // 64-bit builds have no multimedia-register loop: there it is the SSE2 one.
    return runVectorDemosaic(mmxRows() ? mmxRows() : sse2Rows(), ORVIX_DEMOSAIC_CALL);
}

// The SSE2 and SSE3 kernels run the 32-pixel loop where AVX2 is usable (it gives
// the same pixels); the processor record has no bit for it, so it is asked here.
std::int32_t demosaic8To24Sse2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                               std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                               std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                               void* context, std::int32_t /*extra*/) {
    return runVectorDemosaic(sse2Rows(), ORVIX_DEMOSAIC_CALL);
}

std::int32_t demosaic8To24Sse3(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                               std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                               std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                               void* context, std::int32_t /*extra*/) {
    return runVectorDemosaic(sse3Rows(), ORVIX_DEMOSAIC_CALL);
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

namespace detail {

bool demosaicRows(PixelKernel kernel, const DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow) {
    if (kernel == demosaic8To24 || kernel == demosaic16To48) {
        (kernel == demosaic8To24 ? demosaicReferenceRows8 : demosaicReferenceRows16)(call, firstRow, endRow);
        return true;
    }
    if (kernel == demosaic8To24ExactSse2 || kernel == demosaic16To48Sse2) {
        exactRows(exactEngine(), call, firstRow, endRow, kernel == demosaic8To24ExactSse2 ? 1 : 2);
        return true;
    }
#if ORVIX_HAVE_X86_SIMD
    if (kernel == demosaicExactWithSse2 || kernel == demosaicExactWithAvx2) {
        (kernel == demosaicExactWithSse2 ? demosaicExactRowsSse2 : demosaicExactRowsAvx2)(call, firstRow, endRow);
        return true;
    }
    RowsFunction rows = nullptr;
    if (kernel == demosaic8To24Mmx) rows = mmxRows() ? mmxRows() : sse2Rows();
    else if (kernel == demosaic8To24Sse2) rows = sse2Rows();
    else if (kernel == demosaic8To24Sse3) rows = sse3Rows();
    else if (kernel == demosaic8To24WithRowsSse2) rows = demosaicRowsSse2;
    else if (kernel == demosaic8To24WithRowsSse3) rows = demosaicRowsSse3;
    else if (kernel == demosaic8To24WithRowsAvx2) rows = demosaicRowsAvx2;
    else if (kernel == demosaic8To24MmxRegisters) rows = demosaicRowsMmx;
    if (rows) {
        if (vectorDemosaicApplies(call.dstBytesPerPixel, call.srcBytesPerPixel, call.params)) {
            vectorDemosaicRows(rows, call, firstRow, endRow);
        } else {
            demosaicReferenceRows8(call, firstRow, endRow);
        }
        return true;
    }
#else
    if (kernel == demosaic8To24Mmx || kernel == demosaic8To24Sse2 || kernel == demosaic8To24Sse3) {
        demosaicReferenceRows8(call, firstRow, endRow);
        return true;
    }
#endif
    return false;
}

} // namespace detail

PixelKernel chooseDemosaicKernel(const ProcessorInfo& cpu, int srcBitsPerPixel, int dstBitsPerPixel,
                                 const DemosaicParams& params) {
    const bool vectors = ORVIX_HAVE_X86_SIMD && cpu.canUse(kFeatureSse2);
    if (srcBitsPerPixel == 16) {
        return vectors ? demosaic16To48Sse2 : demosaic16To48;
    }
    if (!detail::vectorDemosaicApplies(dstBitsPerPixel == 24 ? 3 : 0, 1, params)) {
        return vectors ? demosaic8To24ExactSse2 : demosaic8To24;
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
