#pragma once
// The capture states the sweep calls every export in, reached through the exported
// functions as an application reaches them, plus the emulator's unplug for the
// state after a camera went away.
//
// A call of the sweep starts from its state as it should be: enter() repairs
// whatever the calls before changed (a stopped preview, a refused setting, a
// released handle) by closing capture, putting the capture settings back and
// starting the state again; after an unplug, or when the handle is gone, it starts
// over with a new handle. The first entry of a state starts with no stored
// settings at all.

#include <string>
#include <vector>

#include "OrvixSdk_K62DT4.h"
#include "sweep/hostile_values.h"

namespace orvix::sweep {

enum class CaptureState {
    Idle,
    Preview,           // Orvix_Preview: a preview window, a child of the live window
    CallbackPreview,   // Orvix_CallBackPreview into a buffer, frames to the live window
    WindowlessPreview, // Orvix_StartPreview
    Trigger,           // Orvix_Trigger, the emulated camera triggering itself
    Capture,           // Orvix_Capture: ready for snapshots
    Unplugged,         // a window-less preview whose camera was unplugged
    Released,          // a handle that Orvix_Release ended
};

const char* nameOf(CaptureState state);
// Whether the state needs a display (a preview window).
bool needsDisplay(CaptureState state);

class CaptureStates {
public:
    explicit CaptureStates(const SweepWorld& world);
    ~CaptureStates();
    CaptureStates(const CaptureStates&) = delete;
    CaptureStates& operator=(const CaptureStates&) = delete;

    // Puts the handle into `state`; false with the reason when the library refuses.
    bool enter(CaptureState state, std::string& failure);
    // Whether the state, once entered, holds whatever is called in it: a released
    // handle stays released, an unplugged camera stays unplugged while the handle
    // lives.
    bool holds(CaptureState state) const;
    ORVIX_HANDLE handle() const { return handle_; }
    // The handle was released by the call under test.
    void forgetHandle() { handle_ = nullptr; }
    // Releases the handle and attaches the camera again.
    void leave();

    // The queued error codes, newest first; the queue is empty afterwards.
    std::vector<int> drainErrors();

private:
    bool startOver(std::string& failure);
    bool restoreSettings(std::string& failure);

    const SweepWorld& world_;
    ORVIX_HANDLE handle_ = nullptr;
    ORVIX_HANDLE released_ = nullptr;
    bool unplugged_ = false;
    bool settingsWiped_ = false;
    ArgumentMemory frames_; // the frame buffer of the callback and trigger states
    void* frameBuffer_ = nullptr;
};

// The emulation the sweep runs with: slot 0, 60 frames per second (the capture
// threads sleep between frames instead of competing with the sweep), a trigger
// every 20 ms.
inline constexpr const char* kSweepEmulation = "0;rate=60;trigger=20";

} // namespace orvix::sweep
