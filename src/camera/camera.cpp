// The Camera as the capture engine's host (frame settings, measurements, errors), and
// the capture operations, which hand the engine the capture settings as one value.

#include "camera/camera.h"

#include "device/device_link.h"
#include "device/exposure_correction.h"
#include "dialogs/analog_gain_dialog.h"
#include "dialogs/image_filter_dialog.h"

namespace orvix {

namespace {

constexpr std::int32_t kAutoIrisGain = 2;

} // namespace

Camera::Camera() = default;

CaptureConfig Camera::captureConfig() const {
    MutexLock lock(settingsMutex_);
    CaptureConfig config;
    config.colorType = colorType_;
    config.subSample = subSample_;
    config.waitTime = waitTime_;
    config.halfClock = halfClock_;
    config.window = format_;
    config.previewParent = previewParent_;
    config.previewRect = previewRect_;
    config.gains = StartGains{gains_.mirrorV, gains_.globalGain, gains_.exposure};
    return config;
}

GainBlock Camera::gainBlock() const {
    MutexLock lock(settingsMutex_);
    return gains_;
}

FilterSettings Camera::filterSettings() const {
    MutexLock lock(settingsMutex_);
    return filter_;
}

bool Camera::requireLink() {
    if (link_) return true;
    errors_.push(ERR_NOT_INITIALIZED);
    return false;
}

// ---- the capture engine's host ---------------------------------------------------------

FrameSettings Camera::frameSettings() {
    MutexLock lock(settingsMutex_);
    FrameSettings settings;
    settings.filter = filter_;
    settings.autoIris = gains_.autoIris;
    return settings;
}

void Camera::frameMeasured(const FrameMeasurements& measured, std::int32_t autoIris) {
    if (measured.whiteBalanceMeasured || measured.grayGainsMeasured) {
        {
            MutexLock lock(settingsMutex_);
            if (measured.whiteBalanceMeasured) filter_.storeWhiteBalance(measured.whiteBalance);
            if (measured.grayGainsMeasured) storeMeasuredGrayGains(filter_, measured.grayGains);
        }
        reloadImageFilterDialog();
    }
    if (measured.exposureMetered && measured.exposure.change) correctExposure(autoIris, measured.exposure.factor);
}

void Camera::correctExposure(std::int32_t autoIris, double factor) {
    if (!link_) return;
    const ExposureCorrection sent = applyExposureCorrection(*link_, autoIris, factor);
    if (sent.autoIris == 0) return;
    {
        MutexLock lock(settingsMutex_);
        storeExposureCorrection(gains_, sent);
    }
    if (sent.autoIris == kAutoIrisGain)
        showGlobalGainInDialog(sent.value);
    else
        showExposureInDialog(sent.value);
}

// ---- capture ------------------------------------------------------------------------------

int Camera::preview() { return callBackPreview(0, nullptr, 0, 0); }

int Camera::callBackPreview(platform::WindowHandle window, void* buffer, std::int32_t size, std::int32_t topDown) {
    if (!requireLink()) return 0;
    return engine_->preview(captureConfig(), DeliveryTarget{window, buffer, size, topDown});
}

int Camera::startPreview() {
    if (!requireLink()) return 0;
    return engine_->startPreview(captureConfig());
}

int Camera::stopPreview() {
    if (!requireLink()) return 0;
    return engine_->stopPreview();
}

int Camera::trigger(platform::WindowHandle window, void* buffer, std::int32_t size, std::int32_t topDown) {
    if (!requireLink()) return 0;
    return engine_->trigger(captureConfig(), DeliveryTarget{window, buffer, size, topDown});
}

int Camera::capture() {
    if (!requireLink()) return 0;
    return engine_->capture(captureConfig());
}

int Camera::snapShot(void* buffer, std::int32_t size, std::int32_t topDown) {
    if (!requireLink()) return 0;
    return engine_->snapShot(captureConfig(), buffer, size, topDown);
}

int Camera::getImage(void* buffer, std::int32_t size, std::int32_t topDown) {
    if (!requireLink()) return 0;
    // A colour type outside 0..5 has no output image at all.
    if (getColorMode() < 0) return errors_.push(ERR_NOT_INITIALIZED), 0;
    return engine_->getImage(buffer, size, topDown);
}

int Camera::saveImage(const char* path, std::int32_t format) {
    if (!link_ || getColorMode() < 0) return errors_.push(ERR_NOT_INITIALIZED), 0;
    return engine_->saveImage(path, format);
}

int Camera::close() {
    // Without a device link the stop part reports ERR_NOT_INITIALIZED; close itself
    // always succeeds.
    if (!requireLink()) return 1;
    return engine_->close();
}

std::int32_t Camera::captureState() const { return engine_ ? engine_->state() : kCaptureIdle; }

bool Camera::captureThreadRunning() const { return engine_ && engine_->captureThreadRunning(); }

platform::WindowHandle Camera::previewWindow() const { return engine_ ? engine_->previewWindowHandle() : 0; }

} // namespace orvix
