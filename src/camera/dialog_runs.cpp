// Running the analog gain and image filter dialogs on a Camera's settings.

#include "camera/dialog_runs.h"

#include <mutex>

#include "camera/camera.h"
#include "device/device_link.h"

namespace orvix {

using namespace analog_dialog_ids;


int runAnalogGainDialog(Camera& camera, platform::WindowHandle owner, const dialogs::ModalRunner& runner) {
    if (!camera.link) {
        camera.errorQueue.push(ERR_NOT_INITIALIZED);
        return 0;
    }
    const dialogs::DialogClaim claim(dialogs::OpenDialog::AnalogGain);
    if (!claim) return 0;
    DeviceLink& link = *camera.link;
    GainBlock copy;
    {
        std::lock_guard<std::mutex> lock(camera.settingsMutex);
        camera.gains.globalGain = link.globalGain();
        camera.gains.colorGainGreen1 = camera.gains.colorGainRed = 0;
        camera.gains.colorGainBlue = camera.gains.colorGainGreen2 = 0;
        camera.gains.exposure = link.exposure();
        camera.gains.mirrorV = link.mirrorV();
        copy = camera.gains;
    }
    AnalogGainDialog dialog(GainAccess{link, camera.gains, camera.settingsMutex});
    {
        std::lock_guard<std::mutex> lock(dialogs::openDialogMutex());
        camera.analogDialog.store(&dialog);
    }
    const int result = runner(dialogs::DialogKind::AnalogFrame, owner, dialog);
    {
        std::lock_guard<std::mutex> lock(dialogs::openDialogMutex());
        camera.analogDialog.store(nullptr);
    }
    if (result != dialogs::kResultOk) {
        (void)link.setGlobalGain(copy.globalGain);
        (void)link.setExposure(copy.exposure);
        (void)link.setMirrorV(copy.mirrorV);
        std::lock_guard<std::mutex> lock(camera.settingsMutex);
        camera.gains = copy;
    }
    return 1;
}

int runAnalogGainDialog(Camera& camera, platform::WindowHandle owner) {
    return runAnalogGainDialog(camera, owner, dialogs::platformModalRunner());
}

void showGlobalGainInDialog(Camera& camera, int globalGain) {
    std::lock_guard<std::mutex> lock(dialogs::openDialogMutex());
    if (AnalogGainDialog* dialog = camera.analogDialog.load()) dialog->showGlobalGain(globalGain);
}

void showExposureInDialog(Camera& camera, int exposure) {
    std::lock_guard<std::mutex> lock(dialogs::openDialogMutex());
    if (AnalogGainDialog* dialog = camera.analogDialog.load()) dialog->showExposure(exposure);
}


int runImageFilterDialog(Camera& camera, platform::WindowHandle owner, const dialogs::ModalRunner& runner) {
    if (!camera.link) {
        camera.errorQueue.push(ERR_NOT_INITIALIZED);
        return 0;
    }
    const dialogs::DialogClaim claim(dialogs::OpenDialog::ImageFilter);
    if (!claim) return 0;
    FilterSettings backup;
    {
        std::lock_guard<std::mutex> lock(camera.settingsMutex);
        backup = camera.filter;
    }
    ImageFilterDialog dialog(FilterAccess{camera.filter, camera.settingsMutex},
                             FilterDialogFlags::forColorType(camera.colorType));
    {
        std::lock_guard<std::mutex> lock(dialogs::openDialogMutex());
        camera.imageDialog.store(&dialog);
    }
    const int result = runner(dialogs::DialogKind::FilterFrame, owner, dialog);
    {
        std::lock_guard<std::mutex> lock(dialogs::openDialogMutex());
        camera.imageDialog.store(nullptr);
    }
    if (result != dialogs::kResultOk) {
        std::lock_guard<std::mutex> lock(camera.settingsMutex);
        camera.filter = backup;
    }
    return 1;
}

int runImageFilterDialog(Camera& camera, platform::WindowHandle owner) {
    return runImageFilterDialog(camera, owner, dialogs::platformModalRunner());
}

void reloadImageFilterDialog(Camera& camera) {
    std::lock_guard<std::mutex> lock(dialogs::openDialogMutex());
    if (ImageFilterDialog* dialog = camera.imageDialog.load()) dialog->reload();
}

} // namespace orvix
