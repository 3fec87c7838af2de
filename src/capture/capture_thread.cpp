// The capture thread: the preview loop that takes the newest frame from the
// continuous transfer, and the trigger loop that arms one-shot transfers released by
// the camera's external trigger. Each delivered frame is fetched into the raw Surface,
// processed, painted, copied to the caller's buffer and announced with ORVIX_WM_FRAME
// (wParam = the address of frameInfo).
//
// A frame is fetched, processed and delivered under surfaceMutex, so exported calls
// never read or recreate a Surface half-way through a frame.

#include <mutex>

#include "camera/camera.h"
#include "imaging/surface.h"
#include "device/device_link.h"
#include "imaging/pixel_kernels.h"
#include "platform/clock.h"
#include "platform/messages.h"

namespace orvix {

namespace {

constexpr std::uint32_t kFrameMessage = ORVIX_WM_FRAME;
constexpr std::uint32_t kTriggerPollMs = 10;

// frameInfo is read by the application through the posted address while the next
// frame may be written; each field is stored whole.
void storeField(std::int32_t& field, std::int32_t value) { __atomic_store_n(&field, value, __ATOMIC_RELAXED); }

} // namespace

void captureThreadMain(Camera* camera) {
    if (camera->captureState.load() == kCaptureTrigger)
        camera->triggerLoop();
    else
        camera->previewLoop();
    camera->threadDoneEvent->set();
}

platform::WindowHandle Camera::frameMessageWindow() const {
    std::lock_guard<std::mutex> lock(surfaceMutex);
    return callbackWindow;
}

void Camera::reportFrameFailure(std::int32_t code) {
    if (const platform::WindowHandle window = frameMessageWindow())
        (void)platform::postWindowMessage(window, kFrameMessage, 0, code);
    errorQueue.push(code);
}

bool Camera::fetchFrame(bool fromRing) {
    Surface* raw = rawSurface();
    if (!raw || raw->isEmpty()) return false;
    // The link must copy exactly the raw Surface's geometry and sample width, or the
    // copy would not fit it.
    const WindowCopy window = link->windowCopy();
    const bool wordSamples = raw->bitsPerPixel() == 16;
    if (window.outputWidth() != raw->width() || window.outputHeight() != raw->height() ||
        (link->tenBitMode() != 0) != wordSamples)
        return false;

    const int copied = fromRing ? link->convertRingFrame(raw->bits(), 0, 0, 1) : link->convertFrame(raw->bits(), 0, 0, 1);
    if (copied != kLinkOk) return false;
    // The copy is packed row after row; spread the rows to the stride.
    const std::uint32_t packedRow = static_cast<std::uint32_t>(raw->width()) * raw->bytesPerPixel();
    if (raw->stride() != packedRow) raw->blit(wordSamples ? unpackRows16 : unpackRows8, raw, nullptr, 0, 0, nullptr, 0);
    return true;
}

void Camera::publishFrameInfo(std::int32_t rate) {
    const Surface* raw = rawSurface();
    storeField(frameInfo.size, static_cast<std::int32_t>(sizeof(FrameInfo)));
    storeField(frameInfo.width, raw ? raw->width() : 0);
    storeField(frameInfo.height, raw ? raw->height() : 0);
    storeField(frameInfo.bitsPerPixel, bitsPerPixelOfColorType(colorType));
    storeField(frameInfo.frameRate, rate);
    storeField(frameInfo.reserved, 0);
}

// Processes the fetched frame and hands it to the application. Called with
// surfaceMutex held.
void Camera::deliverFrame() {
    processFrame();
    paintPreview();
    if (callbackBuffer && callbackBufferSize != 0 &&
        !copyImageOut(outputSurface(), callbackTopDown, callbackBuffer, callbackBufferSize))
        return; // reported as a too-small buffer; no frame message
    if (callbackWindow)
        (void)platform::postWindowMessage(callbackWindow, kFrameMessage, reinterpret_cast<std::uintptr_t>(&frameInfo),
                                          0);
}

void Camera::previewLoop() {
    while (threadRun.load() != kThreadStop) {
        platform::sleepMs(static_cast<std::uint32_t>(waitTime));
        if (threadRun.load() != kThreadRun) continue;
        const int polled = link->pollFrame();
        if (polled == kPollFailed) {
            threadRun.store(kThreadStop);
            reportFrameFailure(ERR_TRANSFER_STOPPED);
            break;
        }
        if (polled != kPollNewFrame) continue;

        std::unique_lock<std::mutex> lock(surfaceMutex);
        if (!fetchFrame(true)) {
            lock.unlock();
            reportFrameFailure(ERR_FRAME_TRANSFER);
            continue;
        }
        ++frameCount;
        const std::uint32_t now = platform::multimediaTime();
        const std::uint32_t sinceRateTime = now - rateTime;
        if (sinceRateTime > 1000) {
            frameRate = static_cast<std::int32_t>(static_cast<double>(frameCount) * 10000.0 / sinceRateTime);
            frameCount = 0;
            rateTime = now;
        }
        publishFrameInfo(frameRate);
        deliverFrame();
    }
}

void Camera::triggerLoop() {
    const auto arm = [this] {
        if (link->startSingleTransfer() != kLinkOk) captureState.store(kCaptureIdle);
    };
    arm();
    while (threadRun.load() != kThreadStop) {
        if (threadRun.load() != kThreadRun) {
            platform::sleepMs(kTriggerPollMs);
            continue;
        }
        const int result = link->finishSingleTransfer();
        if (result == kLinkBusy) {
            platform::sleepMs(kTriggerPollMs);
            continue;
        }
        if (result == kLinkOk) {
            std::unique_lock<std::mutex> lock(surfaceMutex);
            if (fetchFrame(false)) {
                publishFrameInfo(0);
                deliverFrame();
            } else {
                lock.unlock();
                reportFrameFailure(ERR_FRAME_TRANSFER);
            }
        } else {
            // A transfer that failed at once (an unplugged camera) is not re-armed in a
            // tight loop.
            platform::sleepMs(kTriggerPollMs);
        }
        // Every completed transfer is handled once: whatever became of its frame, the
        // next one is armed now.
        if (threadRun.load() != kThreadStop) arm();
    }
}

} // namespace orvix
