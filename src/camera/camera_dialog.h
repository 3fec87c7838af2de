#pragma once
// The camera settings dialog's model over the working copy of the stored formats and
// stream settings (Camera::setCameraDlg runs it).

#include "camera/camera_dialog_store.h"
#include "dialogs/dialog_support.h"

namespace orvix {

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

} // namespace orvix
