// The Camera's side of the frame pipeline: the frame's Surfaces and settings go to
// the pipeline, and what it measured comes back into the live settings: the
// white-balance and gray site gains, and an exposure correction, which reaches the
// camera at once and shows in an open analog gain dialog.

#include <mutex>

#include "camera/camera.h"
#include "camera/dialog_runs.h"
#include "device/device_link.h"
#include "imaging/surface.h"

namespace orvix {

namespace {

constexpr std::int32_t kAutoIrisExposure = 1;
constexpr std::int32_t kAutoIrisGain = 2;

} // namespace

void Camera::processFrame() {
    FrameSettings settings;
    {
        std::lock_guard<std::mutex> lock(settingsMutex);
        settings.filter = filter;
        settings.autoIris = gains.autoIris;
    }
    FrameSurfaces surfaces;
    surfaces.raw = rawSurface();
    surfaces.output = outputSurface();
    surfaces.luminance = surface24.get();
    surfaces.work = workSurface.get();
    if (!pipeline) return;
    const FrameMeasurements measured = pipeline->process(colorType, surfaces, settings);
    storeMeasurements(measured, settings.autoIris);
}

void Camera::storeMeasurements(const FrameMeasurements& measured, std::int32_t autoIris) {
    if (measured.whiteBalanceMeasured || measured.grayGainsMeasured) {
        {
            std::lock_guard<std::mutex> lock(settingsMutex);
            if (measured.whiteBalanceMeasured) filter.storeWhiteBalance(measured.whiteBalance);
            if (measured.grayGainsMeasured) storeMeasuredGrayGains(filter, measured.grayGains);
        }
        reloadImageFilterDialog(*this);
    }
    if (measured.exposureMetered && measured.exposure.change) applyExposureCorrection(autoIris, measured.exposure.factor);
}

void Camera::applyExposureCorrection(std::int32_t autoIris, double factor) {
    if (!link) return;
    if (autoIris == kAutoIrisGain) {
        std::int32_t v = static_cast<std::int32_t>(factor * link->globalGain());
        if (factor > 1.0 && v <= 4) v = 4;
        if (v < DeviceLink::globalGainMin()) v = DeviceLink::globalGainMin();
        if (v >= DeviceLink::globalGainMax()) v = DeviceLink::globalGainMax();
        (void)link->setGlobalGain(v);
        {
            std::lock_guard<std::mutex> lock(settingsMutex);
            gains.globalGain = v;
            gains.colorGainGreen1 = v;
            gains.colorGainRed = v;
            gains.colorGainBlue = v;
            gains.colorGainGreen2 = v;
        }
        showGlobalGainInDialog(*this, v);
    } else if (autoIris == kAutoIrisExposure) {
        std::int32_t v = static_cast<std::uint16_t>(static_cast<std::int32_t>(factor * link->exposure()));
        if (factor > 1.0 && v <= 4)
            v = 4;
        else if (v == 0)
            v = 1;
        (void)link->setExposure(v);
        {
            std::lock_guard<std::mutex> lock(settingsMutex);
            gains.exposure = v;
        }
        showExposureInDialog(*this, v);
    }
}

} // namespace orvix
