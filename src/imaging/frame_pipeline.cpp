#include "imaging/frame_pipeline.h"

#include "imaging/demosaic.h"
#include "imaging/demosaic_internal.h"
#include "imaging/pixel_kernels.h"
#include "imaging/surface.h"
#include "imaging/tone_filters.h"
#include "platform/clock.h"

namespace orvix {

namespace {

inline constexpr std::int32_t kGrayModeSiteGains = 1;
inline constexpr std::int32_t kGrayModeLuminance = 2;
inline constexpr std::int32_t kAutoIrisExposure = 1;
inline constexpr std::int32_t kAutoIrisGain = 2;

// Runs a kernel over the whole of `source` into `destination` with a parameter record.
template <typename Record>
void blitWith(Surface& destination, PixelKernel kernel, const Surface& source, Record& record) {
    Record* pointer = &record;
    destination.blit(kernel, &source, nullptr, 0, 0, &pointer, 0);
}

bool holdsImage(const Surface* surface) { return surface != nullptr && !surface->isEmpty(); }

bool isColourType(std::int32_t colorType) { return colorType >= 2 && colorType <= 5; }

PixelKernel whiteBalanceKernelFor(int bitsPerPixel) {
    if (bitsPerPixel == 8) return measureWhiteBalance8;
    if (bitsPerPixel == 16) return measureWhiteBalance16;
    return nullptr;
}

} // namespace

FrameMeasurements FramePipeline::process(std::int32_t colorType, const FrameSurfaces& surfaces,
                                         const FrameSettings& settings) {
    FrameMeasurements measured;
    if (holdsImage(surfaces.raw) &&
        (settings.autoIris == kAutoIrisExposure || settings.autoIris == kAutoIrisGain)) {
        const autoexposure::Means means = autoexposure::meter(*surfaces.raw);
        measured.exposure = autoexposure::decide(autoexposure::correctionFactor(means),
                                                 autoexposure::elapsedSinceLastStep(platform::multimediaTime()));
        measured.exposureMetered = true;
    }
    const FrameMeasurements filtered = applyFilterSection(colorType, surfaces, settings.filter);
    measured.whiteBalanceMeasured = filtered.whiteBalanceMeasured;
    measured.whiteBalance = filtered.whiteBalance;
    measured.grayGainsMeasured = filtered.grayGainsMeasured;
    measured.grayGains = filtered.grayGains;
    return measured;
}

void FramePipeline::demosaic(Surface& destination, Surface& raw, FilterSettings& settings,
                             FrameMeasurements& measured) {
    BandDemosaic band;
    if (!prepareDemosaic(destination, raw, settings, measured, band)) return;
    detail::demosaicRows(band.kernel, band.call, 0, band.call.rect.height());
}

bool FramePipeline::prepareDemosaic(Surface& destination, Surface& raw, FilterSettings& settings,
                                    FrameMeasurements& measured, BandDemosaic& band) {
    if (!holdsImage(&destination) || !holdsImage(&raw)) return false;
    if (settings.bayerGainAuto != 0) {
        if (const PixelKernel measure = whiteBalanceKernelFor(raw.bitsPerPixel())) {
            WhiteBalanceParams gains{};
            gains.bayerMode = settings.bayerMode;
            blitWith(raw, measure, raw, gains);
            settings.storeWhiteBalance(gains);
            measured.whiteBalanceMeasured = true;
            measured.whiteBalance = gains;
        }
    }
    DemosaicParams params;
    params.bayerMode = settings.bayerMode;
    params.gainRed = settings.bayerGainRed;
    params.gainGreen = settings.bayerGainGreen;
    params.gainBlue = settings.bayerGainBlue;
    band.kernel = chooseDemosaicKernel(cpu_, raw.bitsPerPixel(), destination.bitsPerPixel(), params);
    // Clipped as a whole-frame blit is.
    KernelRect rect{0, 0, raw.width(), raw.height()};
    std::int32_t dstX = 0;
    std::int32_t dstY = 0;
    if (!destination.clip(raw, rect, dstX, dstY)) return false;
    band.call = detail::DemosaicCall{destination.bits(), raw.bits(), rect, dstX, dstY, destination.bytesPerPixel(),
                                     raw.bytesPerPixel(), destination.stride(), raw.stride(), params};
    return true;
}

// Gray mode 1 on the 8-bit frame: the measurement when its counter asks for one,
// then the site gains when any gain differs from 1.0.
void FramePipeline::applyGraySiteGains(Surface& frame, FilterSettings& settings, FrameMeasurements& measured) {
    if (settings.grayGainAuto != 0) {
        // A site class without usable samples keeps the gain it has.
        GrayGainParams gains = grayGainParams(settings);
        blitWith(frame, measureGrayGains8, frame, gains);
        measured.grayGainsMeasured = true;
        measured.grayGains = gains;
        storeMeasuredGrayGains(settings, gains);
    }
    GrayGainParams params = grayGainParams(settings);
    if (grayGainsActive(params)) blitWith(frame, chooseGrayGainKernel(cpu_), frame, params);
}

FrameMeasurements FramePipeline::applyFilterSection(std::int32_t colorType, const FrameSurfaces& surfaces,
                                                    FilterSettings settings) {
    FrameMeasurements measured;
    Surface* raw = surfaces.raw;
    Surface* output = surfaces.output;
    if (!holdsImage(raw) || !holdsImage(output)) return measured;

    if (colorType == 0) {
        if (settings.grayMode == kGrayModeSiteGains && output->bitsPerPixel() == 8) {
            applyGraySiteGains(*output, settings, measured);
        } else if (settings.grayMode == kGrayModeLuminance && holdsImage(surfaces.luminance)) {
            demosaic(*surfaces.luminance, *output, settings, measured);
            output->blit(convertBgrToGray8, surfaces.luminance, nullptr, 0, 0, nullptr, 0);
        }
    } else if (isColourType(colorType)) {
        BandDemosaic band;
        const bool demosaiced = prepareDemosaic(*output, *raw, settings, measured, band);
        applyFilterBands(*output, surfaces.work, settings, tables_, demosaiced ? &band : nullptr, options_);
        return measured;
    }
    applyFilterBands(*output, surfaces.work, settings, tables_, nullptr, options_);
    return measured;
}

} // namespace orvix
