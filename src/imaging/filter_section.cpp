// The filter section of the frame pipeline: turns the raw frame into the output image
// of the colour type and runs the user filters on it, in this order:
//   type 0: gray mode 1 (site gains, measured when asked) or gray mode 2 (demosaic
//           into surface24, then luminance back into surface8)
//   types 2..5: demosaic of the raw Surface into the output Surface
//   types 2..5: hue and saturation
//   all types: gamma, contrast, sharpen (reading a copy in workSurface), brightness
// Type 1 works on its 16-bit raw Surface as it is. Each frame works on one copy of
// `filter` taken under settingsMutex; measurements are written back under the lock.
// Nothing here allocates: the tables live in the Camera's cache.

#include <cstring>
#include <mutex>

#include "camera/camera.h"
#include "capture/surface.h"
#include "imaging/demosaic.h"
#include "imaging/image_filter_dialog.h"
#include "imaging/filter_kernels.h"
#include "imaging/gray_gains.h"
#include "imaging/hue_saturation.h"
#include "imaging/pixel_kernels.h"
#include "imaging/white_balance.h"

namespace orvix {

namespace {

inline constexpr std::int32_t kGrayModeSiteGains = 1;
inline constexpr std::int32_t kGrayModeLuminance = 2;
inline constexpr std::int32_t kGammaOff = 100;

// The kernels of the single-value steps for one output layout.
struct ToneKernels {
    PixelKernel gamma = nullptr;
    PixelKernel contrast = nullptr;
    PixelKernel sharpen = nullptr;
    PixelKernel brightness = nullptr;
    PixelKernel hueSaturation = nullptr; // colour layouts only
};

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

// Runs a kernel over the whole of `source` into `destination` with a parameter record.
template <typename Record>
void blitWith(Surface& destination, PixelKernel kernel, const Surface& source, Record& record) {
    Record* pointer = &record;
    destination.blit(kernel, &source, nullptr, 0, 0, &pointer, 0);
}

bool holdsImage(const Surface* surface) { return surface != nullptr && !surface->isEmpty(); }

bool sameGeometry(const Surface& a, const Surface& b) {
    return a.width() == b.width() && a.height() == b.height() && a.bitsPerPixel() == b.bitsPerPixel();
}

PixelKernel whiteBalanceKernelFor(int bitsPerPixel) {
    if (bitsPerPixel == 8) return measureWhiteBalance8;
    if (bitsPerPixel == 16) return measureWhiteBalance16;
    return nullptr;
}

} // namespace

int Camera::demosaicFrame(Surface* destination, Surface* raw, FilterSettings& settings) {
    if (!holdsImage(destination) || !holdsImage(raw)) return 1;
    if (settings.bayerGainAuto != 0) {
        if (const PixelKernel measure = whiteBalanceKernelFor(raw->bitsPerPixel())) {
            WhiteBalanceParams measured{};
            measured.bayerMode = settings.bayerMode;
            blitWith(*raw, measure, *raw, measured);
            {
                std::lock_guard<std::mutex> lock(settingsMutex);
                filter.storeWhiteBalance(measured);
            }
            settings.storeWhiteBalance(measured);
            reloadImageFilterDialog(*this);
        }
    }
    DemosaicParams params;
    params.bayerMode = settings.bayerMode;
    params.gainRed = settings.bayerGainRed;
    params.gainGreen = settings.bayerGainGreen;
    params.gainBlue = settings.bayerGainBlue;
    const PixelKernel kernel =
        chooseDemosaicKernel(cpuInfo, raw->bitsPerPixel(), destination->bitsPerPixel(), params);
    blitWith(*destination, kernel, *raw, params);
    return 1;
}

namespace {

// Gray mode 1 on the 8-bit frame: the measurement when its counter asks for one,
// then the site gains when any gain differs from 1.0.
template <typename StoreMeasured>
void applySiteGains(const ProcessorInfo& cpu, Surface& frame, FilterSettings& settings, StoreMeasured storeLive) {
    if (settings.grayGainAuto != 0) {
        // A site class without usable samples keeps the gain it has.
        GrayGainParams measured = grayGainParams(settings);
        blitWith(frame, measureGrayGains8, frame, measured);
        storeLive(measured);
        storeMeasuredGrayGains(settings, measured);
    }
    GrayGainParams params = grayGainParams(settings);
    if (grayGainsActive(params)) {
        blitWith(frame, chooseGrayGainKernel(cpu), frame, params);
    }
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
    if (!holdsImage(raw) || !holdsImage(output)) return;

    if (colorType == 0) {
        if (settings.grayMode == kGrayModeSiteGains && output->bitsPerPixel() == 8) {
            applySiteGains(cpuInfo, *output, settings, [this](const GrayGainParams& measured) {
                {
                    std::lock_guard<std::mutex> lock(settingsMutex);
                    storeMeasuredGrayGains(filter, measured);
                }
                reloadImageFilterDialog(*this);
            });
        } else if (settings.grayMode == kGrayModeLuminance && holdsImage(surface24.get())) {
            demosaicFrame(surface24.get(), output, settings);
            output->blit(convertBgrToGray8, surface24.get(), nullptr, 0, 0, nullptr, 0);
        }
    } else if (isColorDisplay()) {
        demosaicFrame(output, raw, settings);
    }

    const ToneKernels kernels = toneKernelsFor(output->bitsPerPixel());
    if (!kernels.gamma) return;
    if (isColorDisplay() && kernels.hueSaturation && (settings.hue != 0 || settings.saturation != 0)) {
        HlsAdjust adjust;
        adjust.hueShift = settings.hue;
        adjust.lightnessOffset = 0;
        adjust.saturationOffset = settings.saturation;
        blitWith(*output, kernels.hueSaturation, *output, adjust);
    }
    if (settings.gamma != kGammaOff) {
        FilterStepParams step{settings.gamma, &filterTables};
        blitWith(*output, kernels.gamma, *output, step);
    }
    if (settings.contrast != 0) {
        FilterStepParams step{settings.contrast, &filterTables};
        blitWith(*output, kernels.contrast, *output, step);
    }
    // The sharpen kernel reads the unsharpened frame from workSurface, which capture
    // start shapes like the output; without that copy the step cannot run.
    if (settings.sharpness != 0 && holdsImage(workSurface.get()) && sameGeometry(*workSurface, *output)) {
        std::memcpy(workSurface->bits(), output->bits(), output->byteCount());
        FilterStepParams step{settings.sharpness, &filterTables};
        blitWith(*output, kernels.sharpen, *workSurface, step);
    }
    if (settings.brightness != 0) {
        FilterStepParams step{settings.brightness, &filterTables};
        blitWith(*output, kernels.brightness, *output, step);
    }
}

} // namespace orvix
