// Stopping capture: ending the capture thread and the continuous transfer, and taking
// the preview window down.
//
// No stop can hang. The thread is waited for only when it was started, and at most
// kStopWaitMs: the preview loop's wait between polls ends at once when a stop wakes
// it, and the rest of a pass is one frame's work; the trigger loop's pass is bounded
// by the one-shot transfer's time-out, inside which the driver ends every frame read;
// an unplugged camera or a failed transfer ends its requests at once.

#include "capture/capture_engine.h"
#include "device/device_link.h"

namespace orvix {

bool CaptureEngine::endThread() {
    threadRun_.store(kThreadStop);
    wake_.set();
    if (!thread_) return true;
    if (thread_->running()) {
        // Should the thread not end in time, it keeps everything it uses: nothing is
        // freed or prepared again under it, and a later stop waits again.
        if (!done_.wait(kStopWaitMs)) return false;
        thread_->join(); // an instant after the event: it is the thread's last act
    }
    thread_.reset();
    return true;
}

int CaptureEngine::stopLocked() {
    if (!endThread()) return host_.reportError(ERR_THREAD), 0;
    if (state_.load() != kCaptureIdle) {
        state_.store(kCaptureIdle);
        (void)link_.setNoWait(0);
        if (link_.stopContinuousTransfer() != kLinkOk) return host_.reportError(ERR_DEVICE_IO), 0;
    }
    return 1;
}

int CaptureEngine::stopPreview() {
    MutexLock control(controlMutex_);
    return stopLocked();
}

int CaptureEngine::closeLocked() {
    window_.close();
    sessionTarget_ = DeliveryTarget{};
    sessionWindow_.store(0);
    (void)stopLocked();
    return 1;
}

int CaptureEngine::close() {
    MutexLock control(controlMutex_);
    return closeLocked();
}

bool CaptureEngine::shutDown() {
    MutexLock control(controlMutex_);
    (void)closeLocked();
    return !thread_;
}

} // namespace orvix
