// Stopping capture: ending the capture thread and the continuous transfer, and taking
// the preview window down.
//
// No stop can hang. The thread is waited for only when it was started (a failed start
// leaves an event that nobody would set), and every pass of its loops is bounded:
// the preview loop by the wait time and one frame, the trigger loop by the transfer
// time-out, inside which the driver ends every frame read; an unplugged camera or a
// failed transfer ends its requests at once.

#include <mutex>

#include "camera/camera.h"
#include "device/device_link.h"

namespace orvix {

void Camera::endCaptureThread() {
    threadRun.store(kThreadStop);
    if (captureThreadRunning()) {
        if (threadDoneEvent && threadDoneEvent->valid()) (void)threadDoneEvent->wait(platform::kWaitForever);
        threadHandle->join(); // an instant after the event: it is the thread's last act
    }
    threadDoneEvent.reset();
    threadHandle.reset();
    threadId = 0;
}

int Camera::stopPreview() {
    std::lock_guard<std::recursive_mutex> control(captureControlMutex_);
    if (!requireLink()) return 0;
    endCaptureThread();
    if (captureState.load() != kCaptureIdle) {
        captureState.store(kCaptureIdle);
        (void)link->setNoWait(0);
        if (link->stopContinuousTransfer() != kLinkOk) return errorQueue.push(ERR_DEVICE_IO), 0;
    }
    return 1;
}

int Camera::close() {
    std::lock_guard<std::recursive_mutex> control(captureControlMutex_);
    closePreviewWindow();
    (void)stopPreview();
    return 1;
}

} // namespace orvix
