// The entry points of the three settings dialogs. Each runs its dialog with the
// platform's dialog host in the system's language; the dialog functions hold the
// link rule, the one-dialog-per-kind rule and the result.

#include "camera/camera.h"
#include "camera/dialog_runs.h"
#include "camera/camera_dialog.h"
#include "dialogs/analog_gain_dialog.h"
#include "dialogs/image_filter_dialog.h"

namespace orvix {

namespace {

// Capture running when the camera dialog opens is stopped (preview, single-frame
// capture) and restarted afterwards with the settings the dialog stored.
CaptureRestart captureRestart() {
    return CaptureRestart{
        [](Camera& camera) { camera.stopPreview(); },
        [](Camera& camera) { camera.startPreview(); },
        [](Camera& camera) { camera.capture(); },
    };
}

} // namespace

int Camera::setCameraDlg(platform::WindowHandle owner) { return runCameraDialog(*this, owner, captureRestart()); }

int Camera::showImageDialog(platform::WindowHandle owner) { return runImageFilterDialog(*this, owner); }

int Camera::showAnalogDialog(platform::WindowHandle owner) { return runAnalogGainDialog(*this, owner); }

} // namespace orvix
