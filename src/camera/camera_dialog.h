#pragma once
// The camera settings dialog: its model over the working copy of the stored formats
// and stream settings, and the run that holds capture around it and reloads the
// Camera after OK.

#include <functional>

#include "camera/camera_dialog_store.h"
#include "dialogs/dialog_support.h"

namespace orvix {

class Camera;

// Control ids of the dialog.
namespace camera_dialog_ids {
inline constexpr int kTab = 1001;
inline constexpr int kApply = 1002;
inline constexpr int kColor = 1009;
inline constexpr int kSize = 1010;
inline constexpr int kSubSample = 1012;
inline constexpr int kClock = 1014;
inline constexpr int kHTotal = 1039; // then vTotal, hEffective, vEffective, hStart, vStart
inline constexpr int kWaitTime = 1045;
} // namespace camera_dialog_ids

class CameraDialog final : public dialogs::DialogHandler {
public:
    explicit CameraDialog(CameraDialogState& state) : state_(state) {}

    void init(dialogs::DialogControls& controls) override;
    void command(int id, int code) override;

private:
    // Reads the controls into the working copy (adding a "Custom" record while there
    // is room for one) and disables Apply.
    void applyControls();
    void applyAndSave();
    void showRecord(int index);
    static std::string labelOf(const VideoFormat& format);

    CameraDialogState& state_;
    dialogs::DialogControls* controls_ = nullptr;
    // The selection last written to the store, kept when a new record is refused.
    std::int32_t storedSelection_ = 0;
};

// How capture running when the dialog opens is stopped and started again. Preview
// and single-frame capture are stopped before the dialog and restarted after it;
// trigger capture only holds its thread meanwhile.
struct CaptureRestart {
    std::function<void(Camera&)> stopPreview;
    std::function<void(Camera&)> startPreview;
    std::function<void(Camera&)> capture;
};

// Stops or holds capture by captureState and tells how to resume it.
struct HeldCapture {
    std::int32_t state = 0;
};
HeldCapture holdCapture(Camera& camera, const CaptureRestart& restart);
void resumeCapture(Camera& camera, const HeldCapture& held, const CaptureRestart& restart);

// The camera settings dialog owned by `owner`: without the device link
// ERR_NOT_INITIALIZED and 0; 0 without opening while another camera settings
// dialog is open; otherwise 1 once it closed, whatever closed it. After OK the
// Camera reloads its format and stream settings from the store.
int runCameraDialog(Camera& camera, platform::WindowHandle owner, const CaptureRestart& restart,
                    const dialogs::ModalRunner& runner);
// The same with the platform's dialog host, in the system's language.
int runCameraDialog(Camera& camera, platform::WindowHandle owner, const CaptureRestart& restart);

} // namespace orvix
