#include "sweep/capture_states.h"

#include <chrono>
#include <thread>

#include "emulator/emulator.h"
#include "support/test_environment.h"

namespace orvix::sweep {

namespace {

using namespace std::chrono_literals;

constexpr int kSlot = 0;
// A small capture window keeps every frame cheap while the sweep calls on.
constexpr int kWindowWidth = 64;
constexpr int kWindowHeight = 48;

emulator::Emulator& emulated() { return emulator::Emulator::instance(); }

bool check(bool ok, const char* what, std::string& failure) {
    if (!ok) failure = what;
    return ok;
}

} // namespace

const char* nameOf(CaptureState state) {
    switch (state) {
    case CaptureState::Idle: return "idle";
    case CaptureState::Preview: return "preview";
    case CaptureState::CallbackPreview: return "callback preview";
    case CaptureState::WindowlessPreview: return "window-less preview";
    case CaptureState::Trigger: return "trigger";
    case CaptureState::Capture: return "capture";
    case CaptureState::Unplugged: return "unplugged";
    case CaptureState::Released: return "released handle";
    }
    return "?";
}

bool needsDisplay(CaptureState state) {
    return state == CaptureState::Preview || state == CaptureState::CallbackPreview || state == CaptureState::Trigger;
}

CaptureStates::CaptureStates(const SweepWorld& world) : world_(world) {
    frameBuffer_ = frames_.block(kLargestImageBytes);
}

CaptureStates::~CaptureStates() { leave(); }

void CaptureStates::leave() {
    if (handle_ && handle_ != released_) (void)Orvix_Release(handle_);
    handle_ = nullptr;
    released_ = nullptr;
    if (unplugged_) {
        (void)emulated().replug(kSlot);
        unplugged_ = false;
    }
}

std::vector<int> CaptureStates::drainErrors() {
    std::vector<int> codes;
    if (!handle_) return codes;
    for (int code = Orvix_GetLastError(handle_); code != 0 && codes.size() < 64; code = Orvix_GetLastError(handle_))
        codes.push_back(code);
    return codes;
}

bool CaptureStates::startOver(std::string& failure) {
    leave();
    if (!settingsWiped_) test::resetSettings();
    settingsWiped_ = true;
    handle_ = Orvix_Initialize(0);
    if (!check(handle_ != nullptr, "Orvix_Initialize returned 0", failure)) return false;
    drainErrors();
    return restoreSettings(failure);
}

// Whether the stored capture window is the sweep's (setting it again would make the
// frame buffers anew, which costs more than the rest of a call).
bool hasSweepWindow(ORVIX_HANDLE h) {
    int v[6] = {};
    return Orvix_GetCaptureWindowEx(h, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) == 1 && v[0] == 1360 && v[1] == 0 &&
           v[2] == kWindowWidth && v[3] == 1024 && v[4] == 0 && v[5] == kWindowHeight;
}

bool CaptureStates::restoreSettings(std::string& failure) {
    const ORVIX_HANDLE h = handle_;
    if (!check(Orvix_Close(h) == 1, "Orvix_Close", failure)) return false;
    if (!hasSweepWindow(h) &&
        !check(Orvix_SetCaptureWindowEx(h, 1360, 0, kWindowWidth, 1024, 0, kWindowHeight) == 1,
               "Orvix_SetCaptureWindowEx", failure))
        return false;
    // Only slot 0 holds a camera, so the device stays selected whatever was called.
    return check(Orvix_SetColorMode(h, 24) == 1, "Orvix_SetColorMode", failure) &&
           check(Orvix_SetSubSample(h, 0) == 1, "Orvix_SetSubSample", failure) &&
           check(Orvix_SetWaitTime(h, 0) == 1, "Orvix_SetWaitTime", failure) &&
           check(Orvix_SetHalfClock(h, 0) == 1, "Orvix_SetHalfClock", failure) &&
           check(Orvix_SetAutoIris(h, 0) == 1, "Orvix_SetAutoIris", failure) &&
           check(Orvix_SetPreviewWindow(h, world_.liveWindow, 0, 0, kWindowWidth, kWindowHeight) == 1,
                 "Orvix_SetPreviewWindow", failure);
}

bool CaptureStates::holds(CaptureState state) const {
    if (state == CaptureState::Released) return handle_ != nullptr && handle_ == released_;
    if (state == CaptureState::Unplugged) return handle_ != nullptr && unplugged_;
    return false;
}

bool CaptureStates::enter(CaptureState state, std::string& failure) {
    if (holds(state)) return true;
    const bool fresh = !handle_ || handle_ == released_ || unplugged_ || state == CaptureState::Unplugged ||
                       state == CaptureState::Released;
    if (fresh ? !startOver(failure) : !restoreSettings(failure)) return false;

    const ORVIX_HANDLE h = handle_;
    bool entered = true;
    switch (state) {
    case CaptureState::Idle: break;
    case CaptureState::Preview: entered = check(Orvix_Preview(h) == 1, "Orvix_Preview", failure); break;
    case CaptureState::CallbackPreview:
        entered = check(Orvix_CallBackPreview(h, world_.liveWindow, frameBuffer_, kLargestImageBytes, 1) == 1,
                        "Orvix_CallBackPreview", failure);
        break;
    case CaptureState::WindowlessPreview:
        entered = check(Orvix_StartPreview(h) == 1, "Orvix_StartPreview", failure);
        break;
    case CaptureState::Trigger:
        entered = check(Orvix_Trigger(h, world_.liveWindow, frameBuffer_, kLargestImageBytes, 1) == 1,
                        "Orvix_Trigger", failure);
        break;
    case CaptureState::Capture: entered = check(Orvix_Capture(h) == 1, "Orvix_Capture", failure); break;
    case CaptureState::Unplugged: {
        if (!check(Orvix_StartPreview(h) == 1, "Orvix_StartPreview", failure)) return false;
        emulated().unplug(kSlot);
        unplugged_ = true;
        // The preview thread notices at its next frame and ends.
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        bool ended = false;
        while (!ended && std::chrono::steady_clock::now() < deadline) {
            for (int code : drainErrors()) ended = ended || code == ERR_TRANSFER_STOPPED;
            if (!ended) std::this_thread::sleep_for(2ms);
        }
        entered = check(ended, "no ERR_TRANSFER_STOPPED within 5 s of the unplug", failure);
        break;
    }
    case CaptureState::Released:
        entered = check(Orvix_Release(h) == 1, "Orvix_Release", failure);
        released_ = h;
        break;
    }
    if (state != CaptureState::Released) drainErrors();
    return entered;
}

} // namespace orvix::sweep
