// Starting capture: preparing the Surfaces and the device for the colour type, and the
// preview, callback-preview, trigger and capture modes.
//
// A start while a capture thread still runs is refused (0, nothing queued): the
// thread keeps using the Surfaces and the device, so nothing may be prepared again
// under it. This covers a trigger thread whose transfer timed out (the state then
// reads idle although the thread goes on arming) and a second Orvix_Trigger.

#include <mutex>

#include "camera/camera.h"
#include "imaging/surface.h"
#include "device/device_link.h"
#include "platform/preview_window.h"

namespace orvix {

namespace {

// Image sizes shrink by 2 or 4 in each dimension for sub-sample modes 1 and 2.
std::int32_t subSampled(std::int32_t length, std::int32_t subSample) {
    switch (subSample) {
    case 1: return length / 2;
    case 2: return length / 4;
    case 3: return length / 8;
    default: return length;
    }
}

bool createSurface(std::unique_ptr<Surface>& surface, std::int32_t width, std::int32_t height, std::uint16_t bits) {
    return surface && surface->create(width, height, bits);
}

constexpr std::int32_t kTriggerTransferTimeoutMs = 3000;

} // namespace

bool Camera::captureThreadRunning() const { return threadHandle && threadHandle->running(); }

bool Camera::prepareCapture() {
    if (!link->isDevicePresent(link->currentDevice())) return errorQueue.push(ERR_NO_CAMERA), false;
    if (!isGeometryValid()) return errorQueue.push(ERR_GEOMETRY), false;
    const std::int32_t w = subSampled(format.hEffective, subSample);
    const std::int32_t h = subSampled(format.vEffective, subSample);
    const std::int32_t type = colorType;

    {
        std::lock_guard<std::mutex> lock(surfaceMutex);
        bool made = true;
        if (made && (type == 0 || type == 1 || type == 2 || type == 3)) {
            made = createSurface(surface8, w, h, 8);
            if (made) surface8->setColorTable(Surface::kColorTableModeGrayRamp, nullptr, 0, 0);
        }
        if (made && (type == 1 || type == 4 || type == 5)) made = createSurface(surface16, w, h, 16);
        if (made && type != 1) made = createSurface(surface24, w, h, 24);
        if (made && type == 3) made = createSurface(surface32, w, h, 32);
        if (made && type == 4) made = createSurface(surface48, w, h, 48);
        if (made && type == 5) made = createSurface(surface64, w, h, 64);
        if (made) made = workSurface && workSurface->createLike(outputSurface());
        if (!made) return errorQueue.push(ERR_MEMORY), false;
    }

    int currentHalfClock = 0;
    if (link->readHalfClock(&currentHalfClock) && currentHalfClock != halfClock) (void)link->setHalfClock(halfClock);
    (void)link->setCaptureWindow(format.hStart, format.vStart, format.hEffective, format.vEffective, subSample);
    (void)link->setTenBitMode(isWordTransfer() ? 1 : 0);
    GainBlock sent;
    {
        std::lock_guard<std::mutex> lock(settingsMutex);
        sent = gains;
    }
    (void)link->setMirrorV(sent.mirrorV);
    (void)link->setGlobalGain(sent.globalGain);
    (void)link->setExposure(sent.exposure);

    {
        std::lock_guard<std::mutex> lock(previewMutex);
        std::int32_t clientWidth = 0;
        std::int32_t clientHeight = 0;
        platform::clientSize(previewWindow, clientWidth, clientHeight);
        if (displaySurface && previewDC && platform::isWindowVisible(previewWindow) && clientWidth > 0 &&
            clientHeight > 0) {
            const bool mono = isMonoDisplay();
            if (displaySurface->create(clientWidth, clientHeight, mono ? 8 : 24) && mono)
                displaySurface->setColorTable(Surface::kColorTableModeGrayRamp, nullptr, 0, 0);
        }
    }
    return true;
}

bool Camera::startCaptureThread() {
    threadRun.store(kThreadRun);
    threadDoneEvent = std::make_unique<platform::Event>();
    threadHandle = std::make_unique<platform::Thread>();
    if (threadDoneEvent->valid()) (void)threadHandle->start([this] { captureThreadMain(this); });
    threadId = threadHandle->running() ? threadHandle->id() : 0;
    return threadDoneEvent->valid() && threadHandle->running() && threadId != 0;
}

int Camera::startPreview() {
    std::lock_guard<std::recursive_mutex> control(captureControlMutex_);
    if (!requireLink()) return 0;
    const std::int32_t state = captureState.load();
    if (state == kCapturePreview) return 1;
    if (state != kCaptureIdle || captureThreadRunning()) return 0;
    if (!prepareCapture()) return 0;
    if (!startCaptureThread()) {
        (void)stopPreview();
        return errorQueue.push(ERR_THREAD), 0;
    }
    (void)link->setTriggerMode(0);
    if (link->startContinuousTransfer() != kLinkOk) {
        (void)stopPreview();
        return errorQueue.push(ERR_DEVICE_IO), 0;
    }
    captureState.store(kCapturePreview);
    return 1;
}

bool Camera::openPreviewWindow(platform::WindowHandle window, void* buffer, std::int32_t size, std::int32_t topDown) {
    {
        // The capture thread reads the delivery target under the frame lock.
        std::lock_guard<std::mutex> lock(surfaceMutex);
        callbackWindow = window;
        callbackBuffer = buffer;
        callbackBufferSize = size;
        callbackTopDown = topDown;
    }
    const platform::WindowHandle made = createPreviewWindow(previewParent, previewRect);
    if (made == 0) return errorQueue.push(ERR_WINDOW), false;
    std::lock_guard<std::mutex> lock(previewMutex);
    previewWindow = made;
    previewDC = platform::WindowDC::acquire(made);
    if (!previewDC) return errorQueue.push(ERR_WINDOW), false;
    return true;
}

// Plain preview: no delivery target.
int Camera::preview() { return callBackPreview(0, nullptr, 0, 0); }

int Camera::callBackPreview(platform::WindowHandle window, void* buffer, std::int32_t size, std::int32_t topDown) {
    std::lock_guard<std::recursive_mutex> control(captureControlMutex_);
    // One preview window at a time: a second one would be stacked over the first.
    if (previewWindow != 0) return 0;
    if (!openPreviewWindow(window, buffer, size, topDown)) return 0;
    if (startPreview() == 1) return 1;
    (void)close();
    return 0;
}

int Camera::trigger(platform::WindowHandle window, void* buffer, std::int32_t size, std::int32_t topDown) {
    std::lock_guard<std::recursive_mutex> control(captureControlMutex_);
    if (!requireLink()) return 0;
    const std::int32_t state = captureState.load();
    if (state != kCaptureIdle || captureThreadRunning()) return 0;
    if (!openPreviewWindow(window, buffer, size, topDown)) return 0;
    if (!prepareCapture()) {
        (void)close();
        return 0;
    }
    captureState.store(kCaptureTrigger);
    link->setTransferTimeout(kTriggerTransferTimeoutMs);
    (void)link->setTriggerMode(1);
    if (!startCaptureThread()) {
        (void)close();
        return errorQueue.push(ERR_THREAD), 0;
    }
    return 1;
}

int Camera::capture() {
    std::lock_guard<std::recursive_mutex> control(captureControlMutex_);
    if (!requireLink()) return 0;
    const std::int32_t state = captureState.load();
    if (state == kCapturePreview || state == kCaptureTrigger || captureThreadRunning()) return 0;
    if (state == kCaptureSnapshotReady) return 1;
    if (!prepareCapture()) return 0;
    captureState.store(kCaptureSnapshotReady);
    return 1;
}

} // namespace orvix
