// The filter section of the frame pipeline: turns the raw frame into the output image
// of the colour type. Colour types 2..5 demosaic the raw Surface into their output
// Surface; types 0 and 1 work on the raw Surface itself.

#include "camera/camera.h"
#include "capture/surface.h"
#include "imaging/demosaic.h"

namespace orvix {

namespace {

DemosaicParams demosaicParamsOf(const FilterSettings& settings) {
    DemosaicParams params;
    params.bayerMode = settings.bayerMode;
    params.gainRed = settings.bayerGainRed;
    params.gainGreen = settings.bayerGainGreen;
    params.gainBlue = settings.bayerGainBlue;
    return params;
}

// Demosaics the whole of `raw` into `output` (same size, 24/32/48/64 bits).
void demosaicInto(const ProcessorInfo& cpu, Surface& output, const Surface& raw, const DemosaicParams& params) {
    const PixelKernel kernel = chooseDemosaicKernel(cpu, raw.bitsPerPixel(), output.bitsPerPixel(), params);
    const DemosaicParams* record = &params;
    output.blit(kernel, &raw, nullptr, 0, 0, &record, 0);
}

} // namespace

void Camera::applyFilterSection() {
    FilterSettings settings;
    {
        std::lock_guard<std::mutex> lock(settingsMutex);
        settings = filter;
    }
    Surface* raw = rawSurface();
    Surface* output = outputSurface();
    if (!raw || !output || raw->isEmpty() || output->isEmpty()) return;
    if (isColorDisplay()) demosaicInto(cpuInfo, *output, *raw, demosaicParamsOf(settings));
}

} // namespace orvix
