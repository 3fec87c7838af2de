#pragma once
// What the capture thread needs from an open analog gain dialog: showing a value that
// automatic exposure has just sent to the camera (control 1015 for the global gain,
// 1027 for the exposure) in the dialog's edit control.
//
// The call comes from the thread that processes frames, with the Camera's frame lock
// held; an implementation hands the value over to the dialog's own thread and returns
// without waiting for it.

namespace orvix {

class AnalogGainDialog {
public:
    static constexpr int kGlobalGainControl = 1015;
    static constexpr int kExposureControl = 1027;

    virtual ~AnalogGainDialog() = default;
    virtual void showAutoExposureValue(int controlId, int value) = 0;
};

} // namespace orvix
