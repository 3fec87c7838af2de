#pragma once
// The analog gain dialog: a frame with two pages. "Analog Gain" edits the Camera's
// gain block and sends global gain and exposure to the camera as the user types;
// "Monitor Control" works directly on the camera's monitor-output FPGA registers and
// keeps nothing on the host.


#include "device/gain_block.h"
#include "dialogs/dialog_support.h"
#include "platform/mutex.h"

namespace orvix {

class DeviceLink;

// The gain block and the lock that guards it against the capture thread.
struct GainAccess {
    DeviceLink& link;
    GainBlock& gains;
    Mutex& guard;
};

namespace analog_dialog_ids {
inline constexpr int kTab = 1001;
inline constexpr int kDefault = 3;
// Gain page rows: trackbar, edit, up-down.
inline constexpr int kGlobalTrack = 1014, kGlobalEdit = 1015, kGlobalUpDown = 1038;
inline constexpr int kExposureTrack = 1026, kExposureEdit = 1027, kExposureUpDown = 1043;
inline constexpr int kMirrorV = 1029;
inline constexpr int kIrisGain = 1036;
inline constexpr int kIrisExposure = 1037;
// Monitor page.
inline constexpr int kLive = 1100;
inline constexpr int kStill = 1099;
inline constexpr int kCameraClock = 1096;
inline constexpr int kMonitorSize = 1010;
inline constexpr int kColor = 1009;
inline constexpr int kAwb = 1035;
inline constexpr int kLock = 4515;
inline constexpr int kWrite = 1101;
} // namespace analog_dialog_ids

class AnalogGainPage final : public dialogs::DialogHandler {
public:
    explicit AnalogGainPage(const GainAccess& access) : access_(access) {}

    void init(dialogs::DialogControls& controls) override;
    void command(int id, int code) override;
    void scroll(int trackbarId) override;

    // Trackbars and edit boxes from the block (no edit change is taken over meanwhile).
    void reload();
    // The six edit boxes into the block's first six fields.
    void store();
    // Sets an edit box as typed input would (auto exposure from the capture thread,
    // carried over to the dialog's thread).
    void showValue(int editId, int value);

private:
    void setupRows();
    void editChanged(int editId);

    GainAccess access_;
    dialogs::DialogControls* controls_ = nullptr;
    bool initialized_ = false;
};

class MonitorControlPage final : public dialogs::DialogHandler {
public:
    MonitorControlPage(DeviceLink& link, const GainAccess& access) : link_(link), access_(access) {}

    void init(dialogs::DialogControls& controls) override;
    void command(int id, int code) override;
    void scroll(int trackbarId) override;

private:
    std::uint16_t read(std::uint8_t address);
    void write(std::uint8_t address, std::uint16_t value);
    void setGainControlsEnabled(bool enabled);
    void colorOrAwbClicked();
    void writeCameraGainAndExposure();
    void writeMonitorSize(int index);
    void writeCameraClock(int index);

    DeviceLink& link_;
    GainAccess access_;
    dialogs::DialogControls* controls_ = nullptr;
    bool initialized_ = false;
};

class AnalogGainDialog final : public dialogs::DialogHandler {
public:
    explicit AnalogGainDialog(const GainAccess& access)
        : access_(access), gainPage_(access), monitorPage_(access.link, access) {}

    void init(dialogs::DialogControls& controls) override;
    void command(int id, int code) override;
    void tabChanged(int tabId) override;
    void closing() override { postTarget_.detach(); }

    // From any thread: auto exposure changed the global gain or the exposure; the
    // gain page shows it as if typed (which sends it to the camera again).
    void showGlobalGain(int value);
    void showExposure(int value);

    AnalogGainPage& gainPage() { return gainPage_; }

private:
    GainAccess access_;
    AnalogGainPage gainPage_;
    MonitorControlPage monitorPage_;
    dialogs::DialogControls* controls_ = nullptr;
    dialogs::DialogControls* gainControls_ = nullptr;
    dialogs::DialogControls* monitorControls_ = nullptr;
    dialogs::PostTarget postTarget_;
};

} // namespace orvix
