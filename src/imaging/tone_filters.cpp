#include "imaging/tone_filters.h"

#include <cstring>

#include "imaging/filter_kernels.h"
#include "imaging/hue_saturation.h"
#include "imaging/pixel_kernels.h"
#include "imaging/surface.h"

namespace orvix {

namespace {

inline constexpr std::int32_t kGammaOff = 100;

// Runs a kernel over the whole of `source` into `destination` with a parameter record.
template <typename Record>
void blitWith(Surface& destination, PixelKernel kernel, const Surface& source, Record& record) {
    Record* pointer = &record;
    destination.blit(kernel, &source, nullptr, 0, 0, &pointer, 0);
}

} // namespace

ToneKernels toneKernelsFor(int bitsPerPixel) {
    switch (bitsPerPixel) {
    case 8: return {applyGamma8, applyContrast8, sharpen8, applyBrightness8, nullptr};
    case 16: return {applyGamma16, applyContrast16, sharpen16, applyBrightness16, nullptr};
    case 24:
    case 32: return {applyGamma24, applyContrast24, sharpen24, applyBrightness24, adjustHueSaturation24};
    case 48:
    case 64: return {applyGamma48, applyContrast48, sharpen48, applyBrightness48, adjustHueSaturation48};
    default: return {};
    }
}

bool sharpenWorkFits(const Surface& output, const Surface* work) {
    return work && !work->isEmpty() && work->width() == output.width() && work->height() == output.height() &&
           work->bitsPerPixel() == output.bitsPerPixel();
}

void applyToneFilters(Surface& output, Surface* work, const FilterSettings& settings, FilterTableCache& tables) {
    const ToneKernels kernels = toneKernelsFor(output.bitsPerPixel());
    if (!kernels.gamma || output.isEmpty()) return;
    if (kernels.hueSaturation && (settings.hue != 0 || settings.saturation != 0)) {
        HlsAdjust adjust;
        adjust.hueShift = settings.hue;
        adjust.lightnessOffset = 0;
        adjust.saturationOffset = settings.saturation;
        blitWith(output, kernels.hueSaturation, output, adjust);
    }
    if (settings.gamma != kGammaOff) {
        FilterStepParams step{settings.gamma, &tables};
        blitWith(output, kernels.gamma, output, step);
    }
    if (settings.contrast != 0) {
        FilterStepParams step{settings.contrast, &tables};
        blitWith(output, kernels.contrast, output, step);
    }
    if (settings.sharpness != 0 && sharpenWorkFits(output, work)) {
        std::memcpy(work->bits(), output.bits(), output.byteCount());
        FilterStepParams step{settings.sharpness, &tables};
        blitWith(output, kernels.sharpen, *work, step);
    }
    if (settings.brightness != 0) {
        FilterStepParams step{settings.brightness, &tables};
        blitWith(output, kernels.brightness, output, step);
    }
}

} // namespace orvix
