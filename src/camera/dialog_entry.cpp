// The entry points of the three settings dialogs. Each runs its dialog with the
// platform's dialog host (or a runner given by a test) in the system's language:
// the camera settings dialog holds capture around itself and reloads the stored
// format after OK; the analog gain and image filter dialogs work on the Camera's live
// gain block and filter values, which they restore unless closed with OK. Only one
// dialog of each kind is open in the process: asking for a second one while the first
// is open returns 1 at once, as a dialog closed with Cancel would (waiting for the
// first could take as long as its user likes).

#include <mutex>

#include "camera/camera.h"
#include "camera/camera_dialog.h"
#include "device/device_link.h"
#include "dialogs/analog_gain_dialog.h"
#include "dialogs/image_filter_dialog.h"

namespace orvix {

int Camera::setCameraDlg(platform::WindowHandle owner) { return setCameraDlg(owner, dialogs::platformModalRunner()); }

int Camera::showImageDialog(platform::WindowHandle owner) {
    return showImageDialog(owner, dialogs::platformModalRunner());
}

int Camera::showAnalogDialog(platform::WindowHandle owner) {
    return showAnalogDialog(owner, dialogs::platformModalRunner());
}

// Capture running when the dialog opens is stopped (preview, single-frame capture)
// or held (trigger) and afterwards resumed with the settings the dialog stored.
int Camera::setCameraDlg(platform::WindowHandle owner, const DialogRunner& runner) {
    if (!requireLink()) return 0;
    const dialogs::DialogClaim claim(dialogs::OpenDialog::Camera);
    if (!claim) return 1; // another dialog of this kind is open: this one counts as cancelled
    const std::int32_t held = engine_->holdForDialog();
    CameraDialogState state;
    CameraDialog dialog(state);
    if (runner(dialogs::DialogKind::Camera, owner, dialog) == dialogs::kResultOk) {
        loadVideoFormat();
        loadStreamSettings();
    }
    engine_->resumeAfterDialog(held, captureConfig());
    return 1;
}

int Camera::showAnalogDialog(platform::WindowHandle owner, const DialogRunner& runner) {
    if (!requireLink()) return 0;
    const dialogs::DialogClaim claim(dialogs::OpenDialog::AnalogGain);
    if (!claim) return 1; // another dialog of this kind is open: this one counts as cancelled
    DeviceLink& link = *link_;
    GainBlock copy;
    {
        MutexLock lock(settingsMutex_);
        gains_.globalGain = link.globalGain();
        gains_.colorGainGreen1 = gains_.colorGainRed = 0;
        gains_.colorGainBlue = gains_.colorGainGreen2 = 0;
        gains_.exposure = link.exposure();
        gains_.mirrorV = link.mirrorV();
        copy = gains_;
    }
    AnalogGainDialog dialog(GainAccess{link, gainsForDialog(), settingsMutex_});
    {
        std::lock_guard<std::mutex> lock(dialogs::openDialogMutex());
        analogDialog_.store(&dialog);
    }
    const int result = runner(dialogs::DialogKind::AnalogFrame, owner, dialog);
    {
        std::lock_guard<std::mutex> lock(dialogs::openDialogMutex());
        analogDialog_.store(nullptr);
    }
    if (result != dialogs::kResultOk) {
        (void)link.setGlobalGain(copy.globalGain);
        (void)link.setExposure(copy.exposure);
        (void)link.setMirrorV(copy.mirrorV);
        MutexLock lock(settingsMutex_);
        gains_ = copy;
    }
    return 1;
}

int Camera::showImageDialog(platform::WindowHandle owner, const DialogRunner& runner) {
    if (!requireLink()) return 0;
    const dialogs::DialogClaim claim(dialogs::OpenDialog::ImageFilter);
    if (!claim) return 1; // another dialog of this kind is open: this one counts as cancelled
    FilterSettings backup;
    std::int32_t colorType = 0;
    {
        MutexLock lock(settingsMutex_);
        backup = filter_;
        colorType = colorType_;
    }
    ImageFilterDialog dialog(FilterAccess{filterForDialog(), settingsMutex_}, FilterDialogFlags::forColorType(colorType));
    {
        std::lock_guard<std::mutex> lock(dialogs::openDialogMutex());
        imageDialog_.store(&dialog);
    }
    const int result = runner(dialogs::DialogKind::FilterFrame, owner, dialog);
    {
        std::lock_guard<std::mutex> lock(dialogs::openDialogMutex());
        imageDialog_.store(nullptr);
    }
    if (result != dialogs::kResultOk) {
        MutexLock lock(settingsMutex_);
        filter_ = backup;
    }
    return 1;
}

void Camera::showGlobalGainInDialog(int globalGain) {
    std::lock_guard<std::mutex> lock(dialogs::openDialogMutex());
    if (AnalogGainDialog* dialog = analogDialog_.load()) dialog->showGlobalGain(globalGain);
}

void Camera::showExposureInDialog(int exposure) {
    std::lock_guard<std::mutex> lock(dialogs::openDialogMutex());
    if (AnalogGainDialog* dialog = analogDialog_.load()) dialog->showExposure(exposure);
}

void Camera::reloadImageFilterDialog() {
    std::lock_guard<std::mutex> lock(dialogs::openDialogMutex());
    if (ImageFilterDialog* dialog = imageDialog_.load()) dialog->reload();
}

// The dialogs get the guarded fields with the mutex that guards them, and take it
// for every access.
GainBlock& Camera::gainsForDialog() ORVIX_NO_THREAD_SAFETY_ANALYSIS { return gains_; }
FilterSettings& Camera::filterForDialog() ORVIX_NO_THREAD_SAFETY_ANALYSIS { return filter_; }

} // namespace orvix
