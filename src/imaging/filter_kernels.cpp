// Gamma, contrast, sharpen and brightness kernels for the four layouts.

#include "imaging/filter_kernels.h"

#include "imaging/sharpen_rows.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvix {
namespace {

template <typename Sample>
inline std::int32_t loadSample(const std::uint8_t* p) {
    Sample value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <typename Sample>
inline void storeSample(std::uint8_t* p, std::int32_t value) {
    const Sample sample = static_cast<Sample>(value);
    std::memcpy(p, &sample, sizeof sample);
}

template <typename Sample>
constexpr SampleDepth depthOf() {
    return sizeof(Sample) == 1 ? SampleDepth::Bits8 : SampleDepth::Bits10;
}

// Geometry of one kernel call.
struct Pass {
    std::uint8_t* dstBits;
    const std::uint8_t* srcBits;
    KernelRect rect;
    std::int32_t dstX;
    std::int32_t dstY;
    std::uint16_t dstBytesPerPixel;
    std::uint16_t srcBytesPerPixel;
    std::uint32_t dstStride;
    std::uint32_t srcStride;

    const std::uint8_t* sourceRow(std::int32_t j) const {
        return srcBits + static_cast<std::ptrdiff_t>(rect.top + j) * srcStride +
               static_cast<std::ptrdiff_t>(rect.left) * srcBytesPerPixel;
    }
    std::uint8_t* destinationRow(std::int32_t j) const {
        return dstBits + static_cast<std::ptrdiff_t>(dstY + j) * dstStride +
               static_cast<std::ptrdiff_t>(dstX) * dstBytesPerPixel;
    }
};

// s -> map(s) for the first `Channels` samples of every pixel.
template <typename Sample, int Channels, typename Map>
void mapSamples(const Pass& pass, Map map) {
    constexpr std::uint16_t packed = Channels * sizeof(Sample);
    const std::int32_t width = pass.rect.width();
    for (std::int32_t j = 0; j < pass.rect.height(); ++j) {
        const std::uint8_t* in = pass.sourceRow(j);
        std::uint8_t* out = pass.destinationRow(j);
        if (pass.srcBytesPerPixel == packed && pass.dstBytesPerPixel == packed) {
            // Pixels without a fourth channel: the row is one run of samples.
            const std::int32_t count = width * Channels;
            for (std::int32_t i = 0; i < count; ++i) {
                const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(i) * static_cast<std::ptrdiff_t>(sizeof(Sample));
                storeSample<Sample>(out + at, map(loadSample<Sample>(in + at)));
            }
            continue;
        }
        for (std::int32_t k = 0; k < width; ++k) {
            const std::uint8_t* pixelIn = in + static_cast<std::ptrdiff_t>(k) * pass.srcBytesPerPixel;
            std::uint8_t* pixelOut = out + static_cast<std::ptrdiff_t>(k) * pass.dstBytesPerPixel;
            for (int c = 0; c < Channels; ++c) {
                const std::ptrdiff_t at = c * static_cast<std::ptrdiff_t>(sizeof(Sample));
                storeSample<Sample>(pixelOut + at, map(loadSample<Sample>(pixelIn + at)));
            }
        }
    }
}

const FilterStepParams* stepParams(void* context) { return kernelParams<FilterStepParams>(context); }

// Runs a table lookup with the camera's cached table, or with one built for this call.
template <typename Sample, int Channels>
void mapThroughTable(const Pass& pass, const LookupTable& table) {
    static constexpr std::int32_t maxValue = maxSample(depthOf<Sample>());
    const std::uint16_t* values = table.values.data();
    mapSamples<Sample, Channels>(pass, [values](std::int32_t s) {
        return static_cast<std::int32_t>(values[std::min(s, maxValue)]);
    });
}

using CachedTable = FilterTableCache::Lease<LookupTable> (FilterTableCache::*)(std::int32_t, SampleDepth);
using TableBuilder = void (*)(std::int32_t, SampleDepth, LookupTable&);

template <typename Sample, int Channels>
std::int32_t tableStep(const Pass& pass, void* context, CachedTable cached, TableBuilder build) {
    const FilterStepParams* params = stepParams(context);
    if (!params) {
        return 1;
    }
    constexpr SampleDepth depth = depthOf<Sample>();
    if (params->tables) {
        const auto table = (params->tables->*cached)(params->setting, depth);
        mapThroughTable<Sample, Channels>(pass, *table);
    } else {
        LookupTable table;
        build(params->setting, depth, table);
        mapThroughTable<Sample, Channels>(pass, table);
    }
    return 1;
}

template <typename Sample, int Channels>
std::int32_t brightnessStep(const Pass& pass, void* context) {
    const FilterStepParams* params = stepParams(context);
    if (!params) {
        return 1;
    }
    constexpr SampleDepth depth = depthOf<Sample>();
    static constexpr std::int32_t maxValue = maxSample(depth);
    LookupTable table;
    buildBrightnessTable(params->setting, depth, table);
    const double factor = brightnessFactor(params->setting);
    const std::uint16_t* values = table.values.data();
    mapSamples<Sample, Channels>(pass, [values, factor](std::int32_t s) {
        if (s <= maxValue) {
            return static_cast<std::int32_t>(values[s]);
        }
        // A 16-bit word above the 10-bit range: the factor applied as it is.
        return static_cast<std::int32_t>(std::clamp(static_cast<double>(s) * factor, 0.0,
                                                    static_cast<double>(maxValue)));
    });
    return 1;
}

// Sharpen over rows and columns 2..H - 3 / 2..W - 3. Rows are done in runs of
// columns so that the column sums of four rows fit a fixed buffer.
// Whether the vector rows can take this pass: the same layout on both sides, pixels
// of 1 sample (mono) or of 3 or 4 samples (colour), and an exact sharpness.
template <typename Sample, int Channels>
bool vectorSharpenApplies(const Pass& pass, std::int32_t sharpness) {
    if (pass.srcBytesPerPixel != pass.dstBytesPerPixel || pass.srcBytesPerPixel % sizeof(Sample) != 0) {
        return false;
    }
    const int samplesPerPixel = pass.srcBytesPerPixel / static_cast<int>(sizeof(Sample));
    const bool layoutFits = Channels == 1 ? samplesPerPixel == 1 : (samplesPerPixel == 3 || samplesPerPixel == 4);
    return layoutFits && detail::sharpenRowsVectorised(sharpness, maxSample(depthOf<Sample>()));
}

template <typename Sample, int Channels>
void sharpenPass(const Pass& pass, const SharpenTable& table, std::int32_t sharpness) {
    if (vectorSharpenApplies<Sample, Channels>(pass, sharpness)) {
        const int samplesPerPixel = pass.srcBytesPerPixel / static_cast<int>(sizeof(Sample));
        for (std::int32_t y = 2; y <= pass.rect.height() - 3; ++y) {
            const std::uint8_t* rows[4] = {pass.sourceRow(y - 2), pass.sourceRow(y - 1), pass.sourceRow(y),
                                           pass.sourceRow(y + 1)};
            if (sizeof(Sample) == 1) {
                detail::sharpenRowVector8(rows, pass.destinationRow(y), pass.rect.width(), samplesPerPixel, Channels,
                                          sharpness);
            } else {
                detail::sharpenRowVector16(rows, pass.destinationRow(y), pass.rect.width(), samplesPerPixel,
                                           Channels, sharpness);
            }
        }
        return;
    }
    static constexpr std::int32_t maxValue = maxSample(depthOf<Sample>());
    constexpr std::int32_t runPixels = 256;
    const std::int32_t width = pass.rect.width();
    const std::int32_t height = pass.rect.height();
    const std::int32_t* correction = table.values.data();
    const std::ptrdiff_t srcStep = pass.srcBytesPerPixel;
    const std::ptrdiff_t dstStep = pass.dstBytesPerPixel;

    // Column sums of columns x0 - 2 .. x1 (runPixels + 3 columns) per channel.
    std::int32_t columnSums[(runPixels + 3) * Channels];
    auto sample = [](const std::uint8_t* p) { return std::min(loadSample<Sample>(p), maxValue); };

    for (std::int32_t y = 2; y <= height - 3; ++y) {
        const std::uint8_t* rows[4] = {pass.sourceRow(y - 2), pass.sourceRow(y - 1), pass.sourceRow(y),
                                       pass.sourceRow(y + 1)};
        std::uint8_t* out = pass.destinationRow(y);
        for (std::int32_t x0 = 2; x0 <= width - 3; x0 += runPixels) {
            const std::int32_t x1 = std::min(x0 + runPixels, width - 2); // exclusive
            for (std::int32_t x = x0 - 2; x <= x1; ++x) {
                for (int c = 0; c < Channels; ++c) {
                    const std::ptrdiff_t at = x * srcStep + c * static_cast<std::ptrdiff_t>(sizeof(Sample));
                    columnSums[(x - (x0 - 2)) * Channels + c] =
                        sample(rows[0] + at) + sample(rows[1] + at) + sample(rows[2] + at) + sample(rows[3] + at);
                }
            }
            for (std::int32_t x = x0; x < x1; ++x) {
                const std::int32_t* sums = columnSums + (x - x0) * Channels; // column x - 2
                for (int c = 0; c < Channels; ++c) {
                    const std::int32_t blur =
                        (sums[c] + sums[Channels + c] + sums[2 * Channels + c] + sums[3 * Channels + c]) >> 4;
                    const std::int32_t s =
                        sample(rows[2] + x * srcStep + c * static_cast<std::ptrdiff_t>(sizeof(Sample)));
                    const std::int32_t result = s + correction[s - blur + maxValue];
                    storeSample<Sample>(out + x * dstStep + c * static_cast<std::ptrdiff_t>(sizeof(Sample)),
                                        std::clamp(result, 0, maxValue));
                }
            }
        }
    }
}

template <typename Sample, int Channels>
std::int32_t sharpenStep(const Pass& pass, void* context) {
    const FilterStepParams* params = stepParams(context);
    if (!params) {
        return 1;
    }
    constexpr SampleDepth depth = depthOf<Sample>();
    if (params->tables) {
        const auto table = params->tables->sharpen(params->setting, depth);
        sharpenPass<Sample, Channels>(pass, *table, params->setting);
    } else {
        SharpenTable table;
        buildSharpenTable(params->setting, depth, table);
        sharpenPass<Sample, Channels>(pass, table, params->setting);
    }
    return 1;
}

} // namespace

#define ORVIX_PASS Pass{dstBits, srcBits, *rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride}
#define ORVIX_DEFINE_STEP(name, call) \
    ORVIX_PIXEL_KERNEL(name) {        \
        (void)extra;                  \
        return call;                  \
    }

ORVIX_DEFINE_STEP(applyGamma8, (tableStep<std::uint8_t, 1>(ORVIX_PASS, context, &FilterTableCache::gamma, buildGammaTable)))
ORVIX_DEFINE_STEP(applyGamma16, (tableStep<std::uint16_t, 1>(ORVIX_PASS, context, &FilterTableCache::gamma, buildGammaTable)))
ORVIX_DEFINE_STEP(applyGamma24, (tableStep<std::uint8_t, 3>(ORVIX_PASS, context, &FilterTableCache::gamma, buildGammaTable)))
ORVIX_DEFINE_STEP(applyGamma48, (tableStep<std::uint16_t, 3>(ORVIX_PASS, context, &FilterTableCache::gamma, buildGammaTable)))

ORVIX_DEFINE_STEP(applyContrast8, (tableStep<std::uint8_t, 1>(ORVIX_PASS, context, &FilterTableCache::contrast, buildContrastTable)))
ORVIX_DEFINE_STEP(applyContrast16, (tableStep<std::uint16_t, 1>(ORVIX_PASS, context, &FilterTableCache::contrast, buildContrastTable)))
ORVIX_DEFINE_STEP(applyContrast24, (tableStep<std::uint8_t, 3>(ORVIX_PASS, context, &FilterTableCache::contrast, buildContrastTable)))
ORVIX_DEFINE_STEP(applyContrast48, (tableStep<std::uint16_t, 3>(ORVIX_PASS, context, &FilterTableCache::contrast, buildContrastTable)))

ORVIX_DEFINE_STEP(sharpen8, (sharpenStep<std::uint8_t, 1>(ORVIX_PASS, context)))
ORVIX_DEFINE_STEP(sharpen16, (sharpenStep<std::uint16_t, 1>(ORVIX_PASS, context)))
ORVIX_DEFINE_STEP(sharpen24, (sharpenStep<std::uint8_t, 3>(ORVIX_PASS, context)))
ORVIX_DEFINE_STEP(sharpen48, (sharpenStep<std::uint16_t, 3>(ORVIX_PASS, context)))

ORVIX_DEFINE_STEP(applyBrightness8, (brightnessStep<std::uint8_t, 1>(ORVIX_PASS, context)))
ORVIX_DEFINE_STEP(applyBrightness16, (brightnessStep<std::uint16_t, 1>(ORVIX_PASS, context)))
ORVIX_DEFINE_STEP(applyBrightness24, (brightnessStep<std::uint8_t, 3>(ORVIX_PASS, context)))
ORVIX_DEFINE_STEP(applyBrightness48, (brightnessStep<std::uint16_t, 3>(ORVIX_PASS, context)))

} // namespace orvix
