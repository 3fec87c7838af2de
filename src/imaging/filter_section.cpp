// The filter section over bands of rows.
//
// A band [a0, a1) goes through the demosaic, hue and saturation and the map before
// sharpen in place in the output (stage A), which also copies the band's rows into
// the window of unsharpened rows. Sharpening row y reads unsharpened rows y - 2..y + 1,
// so once stage A has reached row a1 - 1, rows up to a1 - 2 are sharpened from the
// window and mapped by the map after sharpen (stage S); the window then keeps only
// the three rows the next stage S still reads.

#include "imaging/filter_section.h"

#include <algorithm>
#include <cstring>

#include "imaging/demosaic.h"
#include "imaging/filter_kernels.h"
#include "imaging/hue_saturation.h"
#include "imaging/sample_map.h"
#include "imaging/sharpen_rows.h"
#include "imaging/simd_target.h"
#include "imaging/surface.h"
#include "imaging/tone_filters.h"

namespace orvix {
namespace {

inline constexpr std::int32_t kGammaOff = 100;
inline constexpr std::uint32_t kBandBytes = 64 * 1024;

struct SectionPlan {
    SectionPlan(Surface& image, SampleDepth depth) : output(image), before(depth), after(depth) {}

    Surface& output;
    const BandDemosaic* demosaic = nullptr;
    ToneKernels kernels;
    bool hue = false;
    HlsAdjust adjust;
    bool sharpen = false;
    FilterStepParams sharpenParams;
    detail::SampleMap before; // gamma, contrast, and brightness when sharpen is off
    detail::SampleMap after;  // brightness after sharpen
    bool mapInDemosaic = false;           // the demosaic applies `before` to what it writes
    bool wideLookups = false;             // ... looking it up with the AVX-512 rows
    bool sharpenRowsAvx2 = false;         // stage S runs the AVX2 rows itself
    bool sharpenRowsAvx512 = false;       // ... or, for 16-bit samples, the AVX-512 ones
    detail::FoldedBrightness folded;     // `after` folded into those rows
    int samplesPerPixel = 1;
    int channels = 1;
    bool vectors = true;
    bool wideVectors = true;
    std::uint8_t* window = nullptr; // unsharpened rows from windowBase on
    std::int32_t windowBase = 0;
    std::int32_t ringRows = 1;      // the AVX2 path keeps row y in ring slot y % ringRows

    // The demosaic's rows [firstRow, endRow) of `call`, with `before` applied.
    void demosaicMapped(const detail::DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow,
                        bool fourthFree) const {
        const detail::RowMap map{before.words(), before.bytePlanes()};
        (wideLookups ? detail::demosaicExactRowsAvx512Mapped : detail::demosaicExactRowsAvx2Mapped)(
            call, firstRow, endRow, map, fourthFree);
    }
};

SampleDepth depthOf(const Surface& image) {
    return image.bitsPerPixel() == 16 || image.bitsPerPixel() >= 48 ? SampleDepth::Bits10 : SampleDepth::Bits8;
}

std::uint8_t* rowOf(Surface& image, std::int32_t y) {
    return image.bits() + static_cast<std::ptrdiff_t>(y) * static_cast<std::ptrdiff_t>(image.stride());
}

// Runs a kernel in place over output rows [first, end), as a whole-image blit in place
// runs it on those rows.
template <typename Record>
void runOnRows(PixelKernel kernel, Surface& image, std::int32_t first, std::int32_t end, Record& record) {
    Record* pointer = &record;
    const KernelRect rect{0, first, image.width(), end};
    kernel(image.bits(), image.bits(), &rect, 0, first, image.bytesPerPixel(), image.bytesPerPixel(), image.stride(),
           image.stride(), &pointer, 0);
}

void mapRows(const SectionPlan& plan, const detail::SampleMap& map, std::int32_t first, std::int32_t end) {
    if (map.isIdentity()) return;
    for (std::int32_t y = first; y < end; ++y) {
        std::uint8_t* row = rowOf(plan.output, y);
        detail::mapRow(map, row, row, plan.output.width(), plan.samplesPerPixel, plan.channels, plan.vectors,
                       plan.wideVectors);
    }
}

// The unsharpened row y in the ring of the AVX2 sharpen path.
std::uint8_t* ringRow(const SectionPlan& plan, std::int32_t y) {
    return plan.window + static_cast<std::size_t>(y % plan.ringRows) * plan.output.stride();
}

// Pixels [first, end) of a row from `in` to `out` through a map (copied when it is
// the identity).
void mapOrCopy(const SectionPlan& plan, const detail::SampleMap& map, const std::uint8_t* in, std::uint8_t* out,
               std::int32_t first, std::int32_t end) {
    if (first >= end) return;
    const std::ptrdiff_t pixelBytes = plan.output.bytesPerPixel();
    if (map.isIdentity()) {
        if (in != out) std::memcpy(out + first * pixelBytes, in + first * pixelBytes, static_cast<std::size_t>((end - first) * pixelBytes));
        return;
    }
    detail::mapRow(map, in + first * pixelBytes, out + first * pixelBytes, end - first, plan.samplesPerPixel,
                   plan.channels, plan.vectors && end - first > 4, plan.wideVectors);
}

// `before` on the pixels of rows [a0, a1) that the demosaic does not write: outside
// columns 2..W - 3 of its rows 2..H - 3.
// From the output row into `target(y)` (the output row itself, or its ring row).
template <typename Target>
void mapAroundDemosaic(const SectionPlan& plan, std::int32_t a0, std::int32_t a1, Target target) {
    const detail::DemosaicCall& call = plan.demosaic->call;
    const std::int32_t width = plan.output.width();
    const std::int32_t left = std::clamp(call.dstX + 2, 0, width);
    const std::int32_t right = std::clamp(call.dstX + call.rect.width() - 2, left, width);
    for (std::int32_t y = a0; y < a1; ++y) {
        std::uint8_t* row = rowOf(plan.output, y);
        std::uint8_t* out = target(y);
        const std::int32_t j = y - call.dstY;
        if (j < 2 || j > call.rect.height() - 3 || left == right) {
            mapOrCopy(plan, plan.before, row, out, 0, width);
            continue;
        }
        mapOrCopy(plan, plan.before, row, out, 0, left);
        mapOrCopy(plan, plan.before, row, out, right, width);
    }
}

// The mapped demosaic of output rows [a0, a1) written straight into their ring rows,
// one call per run of consecutive ring slots.
void demosaicIntoRing(const SectionPlan& plan, std::int32_t a0, std::int32_t a1) {
    const detail::DemosaicCall& call = plan.demosaic->call;
    for (std::int32_t y0 = a0; y0 < a1;) {
        const std::int32_t y1 = std::min(a1, y0 + plan.ringRows - y0 % plan.ringRows);
        detail::DemosaicCall toRing = call;
        toRing.dstBits = plan.window;
        toRing.dstStride = plan.output.stride();
        toRing.dstY = call.dstY - (y0 - y0 % plan.ringRows); // output row y lands in slot y % ringRows
        // Nothing reads the fourth word of a ring pixel the demosaic writes.
        plan.demosaicMapped(toRing, y0 - call.dstY, y1 - call.dstY, true);
        y0 = y1;
    }
}

void stageA(SectionPlan& plan, std::int32_t a0, std::int32_t a1) {
    if (plan.mapInDemosaic && plan.sharpenRowsAvx2) {
        demosaicIntoRing(plan, a0, a1);
        mapAroundDemosaic(plan, a0, a1, [&plan](std::int32_t y) { return ringRow(plan, y); });
        return;
    }
    if (plan.mapInDemosaic) {
        const detail::DemosaicCall& call = plan.demosaic->call;
        plan.demosaicMapped(call, a0 - call.dstY, a1 - call.dstY, false);
        mapAroundDemosaic(plan, a0, a1, [&plan](std::int32_t y) { return rowOf(plan.output, y); });
    } else {
        if (plan.demosaic) {
            const detail::DemosaicCall& call = plan.demosaic->call;
            detail::demosaicRows(plan.demosaic->kernel, call, a0 - call.dstY, a1 - call.dstY);
        }
        if (plan.hue) {
            runOnRows(plan.kernels.hueSaturation, plan.output, a0, a1, plan.adjust);
        }
            if (plan.sharpenRowsAvx2) {
            // `before` straight into the ring; the output row is finished from there.
            for (std::int32_t y = a0; y < a1; ++y) {
                mapOrCopy(plan, plan.before, rowOf(plan.output, y), ringRow(plan, y), 0, plan.output.width());
            }
            return;
        }
        mapRows(plan, plan.before, a0, a1);
    }
    if (plan.sharpenRowsAvx2) {
        for (std::int32_t y = a0; y < a1; ++y) {
            std::memcpy(ringRow(plan, y), rowOf(plan.output, y), plan.output.stride());
        }
        return;
    }
    if (plan.sharpen) {
        const std::size_t stride = plan.output.stride();
        std::memcpy(plan.window + static_cast<std::size_t>(a0 - plan.windowBase) * stride, rowOf(plan.output, a0),
                    static_cast<std::size_t>(a1 - a0) * stride);
    }
}

// Rows [s0, s1) with the AVX2 sharpen rows, from the ring of unsharpened rows:
// interior pixels of rows 2..H - 3 sharpened (the brightness folded in when it can
// be), every other pixel through `after`.
void stageSRows(SectionPlan& plan, std::int32_t s0, std::int32_t s1) {
    Surface& output = plan.output;
    const std::int32_t width = output.width();
    const int sampleBytes = output.bytesPerPixel() / plan.samplesPerPixel;
    const std::int32_t left = std::min(width, 2);
    const std::int32_t right = std::max(width - 2, left);
    for (std::int32_t y = s0; y < s1; ++y) {
        std::uint8_t* row = rowOf(output, y);
        const std::uint8_t* unsharpened = ringRow(plan, y);
        if (y < 2 || y > output.height() - 3) {
            mapOrCopy(plan, plan.after, unsharpened, row, 0, width);
            continue;
        }
        const std::uint8_t* rows[4] = {ringRow(plan, y - 2), ringRow(plan, y - 1), unsharpened, ringRow(plan, y + 1)};
        if (plan.sharpenRowsAvx512) {
            // The ring's rows went through `before`, a table, so every sample of theirs
            // is within the range.
            detail::sharpenRowAvx512(rows, row, width, plan.samplesPerPixel, plan.channels, plan.sharpenParams.setting,
                                     plan.folded, !plan.before.isIdentity());
        } else {
            detail::sharpenRowAvx2(rows, row, width, plan.samplesPerPixel, plan.channels, plan.sharpenParams.setting,
                                   sampleBytes, plan.folded);
        }
        // The columns sharpen leaves alone: 0, 1 and W - 2, W - 1.
        mapOrCopy(plan, plan.after, unsharpened, row, 0, left);
        mapOrCopy(plan, plan.after, unsharpened, row, right, width);
        if (!plan.folded.active && !plan.after.isIdentity()) {
            mapOrCopy(plan, plan.after, row, row, left, right);
        }
    }
}

void stageS(SectionPlan& plan, std::int32_t s0, std::int32_t s1) {
    if (plan.sharpenRowsAvx2) {
        stageSRows(plan, s0, s1);
        return;
    }
    Surface& output = plan.output;
    const std::int32_t first = std::max(s0, 2);
    const std::int32_t end = std::min(s1, output.height() - 2);
    if (first < end) {
        // The window's rows first - 2..end - 1 as the source; the kernel writes rows first..end - 1.
        const KernelRect rect{0, first - 2 - plan.windowBase, output.width(), end + 2 - plan.windowBase};
        FilterStepParams* pointer = &plan.sharpenParams;
        plan.kernels.sharpen(output.bits(), plan.window, &rect, 0, first - 2, output.bytesPerPixel(),
                             output.bytesPerPixel(), output.stride(), output.stride(), &pointer, 0);
    }
    mapRows(plan, plan.after, s0, s1);
}

// Keeps the window's rows from `base` to `end` (exclusive), moved to its start.
void slideWindow(SectionPlan& plan, std::int32_t base, std::int32_t end) {
    if (base <= plan.windowBase) return;
    const std::size_t stride = plan.output.stride();
    std::memmove(plan.window, plan.window + static_cast<std::size_t>(base - plan.windowBase) * stride,
                 static_cast<std::size_t>(end - base) * stride);
    plan.windowBase = base;
}

void buildMaps(SectionPlan& plan, const FilterSettings& settings, FilterTableCache& tables, SampleDepth depth) {
    if (settings.gamma != kGammaOff) {
        plan.before.appendTable(*tables.gamma(settings.gamma, depth));
    }
    if (settings.contrast != 0) {
        plan.before.appendTable(*tables.contrast(settings.contrast, depth));
    }
    if (settings.brightness != 0) {
        (plan.sharpen ? plan.after : plan.before).appendBrightness(settings.brightness);
    }
}

// The AVX2 sharpen rows where the processor has them and they are exact for this
// sharpness and layout; brightness folded into them when a fixed-point factor gives
// its table exactly.
void chooseSharpenRows(SectionPlan& plan, std::int32_t brightness) {
#if ORVIX_HAVE_X86_SIMD
    const std::int64_t maxValue = plan.before.maxValue();
    const std::int64_t sharpness = plan.sharpenParams.setting;
    const bool layoutFits = plan.channels == 1 ? plan.samplesPerPixel == 1 : plan.samplesPerPixel >= 3;
    plan.sharpenRowsAvx2 = plan.sharpen && plan.vectors && layoutFits && detail::avx2Usable() &&
                           (sharpness < 0 ? -sharpness : sharpness) * maxValue <= 32767;
    plan.sharpenRowsAvx512 = plan.sharpenRowsAvx2 && maxValue == 1023 && plan.wideVectors && detail::avx512VbmiUsable();
    if (plan.sharpenRowsAvx2 && !plan.after.isIdentity()) {
        detail::foldBrightness(plan.after, brightnessFactor(brightness), plan.after.maxValue(), plan.folded);
    }
#endif
    (void)brightness;
}

void runBands(SectionPlan& plan, std::int32_t bandRows) {
    const std::int32_t height = plan.output.height();
    std::int32_t sharpened = 0; // rows [0, sharpened) are finished
    for (std::int32_t a0 = 0; a0 < height; a0 += bandRows) {
        const std::int32_t a1 = std::min(a0 + bandRows, height);
        stageA(plan, a0, a1);
        if (!plan.sharpen) continue;
        const std::int32_t ready = a1 == height ? height : a1 - 1;
        if (ready > sharpened) {
            stageS(plan, sharpened, ready);
            sharpened = ready;
        }
        if (!plan.sharpenRowsAvx2) slideWindow(plan, std::max(sharpened - 2, 0), a1);
    }
}

// The demosaic's band form, or (a kernel without one) the kernel over the whole frame
// at once; true when the bands are to run it.
bool demosaicByBands(const BandDemosaic* demosaic) {
    if (!demosaic || !demosaic->kernel) return false;
    if (detail::demosaicRows(demosaic->kernel, demosaic->call, 0, 0)) return true;
    const detail::DemosaicCall& c = demosaic->call;
    const DemosaicParams* params = &c.params;
    KernelRect rect = c.rect;
    demosaic->kernel(c.dstBits, c.srcBits, &rect, c.dstX, c.dstY, c.dstBytesPerPixel, c.srcBytesPerPixel, c.dstStride,
                     c.srcStride, &params, 0);
    return false;
}

void planSteps(SectionPlan& plan, const FilterSettings& settings, FilterTableCache& tables, const Surface* work,
               SampleDepth depth) {
    Surface& output = plan.output;
    plan.hue = plan.kernels.hueSaturation && (settings.hue != 0 || settings.saturation != 0);
    plan.adjust.hueShift = settings.hue;
    plan.adjust.lightnessOffset = 0;
    plan.adjust.saturationOffset = settings.saturation;
    plan.sharpen = settings.sharpness != 0 && sharpenWorkFits(output, work);
    plan.sharpenParams = FilterStepParams{settings.sharpness, &tables};
    plan.samplesPerPixel = output.bytesPerPixel() / (depth == SampleDepth::Bits8 ? 1 : 2);
    plan.channels = std::min(plan.samplesPerPixel, 3);
    buildMaps(plan, settings, tables, depth);
    chooseSharpenRows(plan, settings.brightness);
#if ORVIX_HAVE_X86_SIMD
    // A 10-bit frame with no hue step between: the demosaic's lanes go through the
    // table before they are stored.
    plan.mapInDemosaic = plan.demosaic && plan.demosaic->kernel == demosaic16To48Sse2 &&
                         plan.demosaic->call.srcBytesPerPixel == 2 && depth == SampleDepth::Bits10 && !plan.hue &&
                         !plan.before.isIdentity() && plan.vectors && detail::avx2Usable();
    plan.wideLookups = plan.mapInDemosaic && plan.wideVectors && detail::avx512VbmiUsable();
#endif
}

} // namespace

void applyFilterBands(Surface& output, Surface* work, const FilterSettings& settings, FilterTableCache& tables,
                      const BandDemosaic* demosaic, const SectionOptions& options) {
    if (output.isEmpty()) return;
    const SampleDepth depth = depthOf(output);
    SectionPlan plan(output, depth);
    plan.kernels = toneKernelsFor(output.bitsPerPixel());
    plan.vectors = options.vectors;
    plan.wideVectors = options.wideVectors;
    if (demosaicByBands(demosaic)) plan.demosaic = demosaic;
    if (!plan.kernels.gamma) {
        if (plan.demosaic) detail::demosaicRows(demosaic->kernel, demosaic->call, 0, demosaic->call.rect.height());
        return;
    }
    planSteps(plan, settings, tables, work, depth);

    std::int32_t bandRows = options.bandRows > 0
                                ? options.bandRows
                                : static_cast<std::int32_t>(std::clamp<std::uint32_t>(kBandBytes / output.stride(), 4, 64));
    if (plan.sharpen) {
        plan.window = work->bits();
        // The window holds a band and three more rows; a frame too low for that is one band.
        if (bandRows + 3 > output.height()) bandRows = output.height();
        plan.ringRows = std::min(bandRows + 3, output.height());
    }
    runBands(plan, bandRows);
}

} // namespace orvix
