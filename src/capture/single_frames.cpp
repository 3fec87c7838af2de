// Single frames on demand (snapshot) and copies of the last processed image into the
// caller's buffer.

#include <cstring>
#include <mutex>

#include "camera/camera.h"
#include "imaging/surface.h"
#include "device/device_link.h"
#include "platform/messages.h"

namespace orvix {

bool Camera::copyImageOut(const Surface* surface, std::int32_t topDown, void* buffer, std::int32_t size) {
    if (!surface || surface->isEmpty()) return false;
    const std::size_t stride = surface->stride();
    const std::size_t rows = static_cast<std::size_t>(surface->height());
    // A negative size is no room at all.
    if (size < 0 || stride * rows > static_cast<std::size_t>(size)) {
        if (callbackWindow) (void)platform::postWindowMessage(callbackWindow, ORVIX_WM_FRAME, 0, ERR_MEMORY);
        errorQueue.push(ERR_MEMORY);
        return false;
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    const std::uint8_t* bits = surface->bits();
    if (topDown != 0) {
        std::memcpy(out, bits, stride * rows);
    } else {
        for (std::size_t i = 0; i < rows; ++i) std::memcpy(out + i * stride, bits + (rows - 1 - i) * stride, stride);
    }
    return true;
}

int Camera::snapShot(void* buffer, std::int32_t size, std::int32_t topDown) {
    std::lock_guard<std::recursive_mutex> control(captureControlMutex_);
    if (!requireLink()) return 0;
    const std::int32_t state = captureState.load();
    if (state == kCapturePreview || state == kCaptureTrigger || captureThreadRunning()) return 0;
    if (state == kCaptureIdle && !prepareCapture()) return 0;

    (void)link->setTriggerMode(0);
    if (link->startSingleTransfer() != kLinkOk) return 0;

    std::unique_lock<std::mutex> lock(surfaceMutex);
    if (!fetchFrame(false)) {
        const platform::WindowHandle window = callbackWindow;
        lock.unlock();
        if (window) (void)platform::postWindowMessage(window, ORVIX_WM_FRAME, 0, ERR_FRAME_TRANSFER);
        return errorQueue.push(ERR_FRAME_TRANSFER), 0;
    }
    processFrame();
    if (buffer && size != 0 && !copyImageOut(outputSurface(), topDown, buffer, size)) return 0;
    return 1;
}

int Camera::getImage(void* buffer, std::int32_t size, std::int32_t topDown) {
    if (!requireLink()) return 0;
    std::lock_guard<std::mutex> lock(surfaceMutex);
    const Surface* image = outputSurface();
    if (image && !image->isEmpty() && buffer) return copyImageOut(image, topDown, buffer, size) ? 1 : 0;
    errorQueue.push(image ? ERR_MEMORY : ERR_NOT_INITIALIZED);
    return 0;
}

} // namespace orvix
