#include "capture/capture_engine.h"

#include "device/device_link.h"
#include "platform/clock.h"

namespace orvix {

CaptureEngine::CaptureEngine(DeviceLink& link, CaptureHost& host, const ProcessorInfo& cpu)
    : link_(link), host_(host), pipeline_(cpu), rateTime_(platform::multimediaTime()) {}

CaptureEngine::~CaptureEngine() { (void)close(); }

bool CaptureEngine::allocate() {
    bool made = false;
    {
        MutexLock lock(surfaceMutex_);
        made = surfaces_.allocate();
    }
    return made && window_.allocateDisplay();
}

bool CaptureEngine::whileIdle(const std::function<void()>& change) {
    MutexLock control(controlMutex_);
    if (state_.load() != kCaptureIdle || threadRunning()) return false;
    change();
    return true;
}

std::int32_t CaptureEngine::holdForDialog() {
    MutexLock control(controlMutex_);
    const std::int32_t held = state_.load();
    if (held == kCapturePreview || held == kCaptureSnapshotReady)
        (void)stopLocked();
    else if (held == kCaptureTrigger)
        threadRun_.store(kThreadHold);
    return held;
}

void CaptureEngine::resumeAfterDialog(std::int32_t heldState, const CaptureConfig& config) {
    if (heldState == kCapturePreview) {
        (void)startPreview(config);
    } else if (heldState == kCaptureSnapshotReady) {
        (void)capture(config);
    } else if (heldState == kCaptureTrigger) {
        // Only a thread still held is released; one stopped meanwhile stays stopped.
        std::int32_t expected = kThreadHold;
        (void)threadRun_.compare_exchange_strong(expected, kThreadRun);
    }
}

} // namespace orvix
