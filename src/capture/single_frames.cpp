// Single frames on demand (snapshots), copies of the last processed image into the
// caller's buffer, and saving it.

#include <cstring>

#include "capture/capture_engine.h"
#include "capture/image_saving.h"
#include "device/device_link.h"
#include "platform/messages.h"

namespace orvix {

bool CaptureEngine::copyImageOut(const Surface& image, std::int32_t topDown, void* buffer, std::int32_t size,
                                 platform::WindowHandle failureWindow) {
    if (image.isEmpty()) return false;
    const std::size_t stride = image.stride();
    const std::size_t rows = static_cast<std::size_t>(image.height());
    // A negative size is no room at all.
    if (size < 0 || stride * rows > static_cast<std::size_t>(size)) {
        if (failureWindow) (void)platform::postWindowMessage(failureWindow, ORVIX_WM_FRAME, 0, ERR_MEMORY);
        host_.reportError(ERR_MEMORY);
        return false;
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    const std::uint8_t* bits = image.bits();
    if (topDown != 0) {
        std::memcpy(out, bits, stride * rows);
    } else {
        for (std::size_t i = 0; i < rows; ++i) std::memcpy(out + i * stride, bits + (rows - 1 - i) * stride, stride);
    }
    return true;
}

int CaptureEngine::snapShot(const CaptureConfig& requested, void* buffer, std::int32_t size, std::int32_t topDown) {
    MutexLock control(controlMutex_);
    const std::int32_t state = state_.load();
    if (state == kCapturePreview || state == kCaptureTrigger || threadRunning()) return 0;
    // In the capture state the snapshot belongs to the capture prepared then.
    const CaptureConfig config = state == kCaptureSnapshotReady ? preparedConfig_ : requested;
    if (state == kCaptureIdle && !prepare(config)) return 0;

    (void)link_.setTriggerMode(0);
    if (link_.startSingleTransfer() != kLinkOk) return 0;

    const FrameSettings settings = host_.frameSettings();
    FrameMeasurements measured;
    bool processed = false;
    {
        MutexLock lock(surfaceMutex_);
        processed = processLocked(config, settings, false, measured, nullptr);
    }
    if (!processed) return reportFrameFailure(sessionTarget_.window, ERR_FRAME_TRANSFER), 0;
    host_.frameMeasured(measured, settings.autoIris);
    if (!buffer || size == 0) return 1;
    MutexLock lock(surfaceMutex_);
    const Surface* output = surfaces_.output(config.colorType);
    return output && copyImageOut(*output, topDown, buffer, size, sessionTarget_.window) ? 1 : 0;
}

int CaptureEngine::getImage(void* buffer, std::int32_t size, std::int32_t topDown) {
    MutexLock lock(surfaceMutex_);
    const Surface* image = imageReady_ ? surfaces_.output(imageType_) : nullptr;
    if (!image || !buffer) return host_.reportError(ERR_MEMORY), 0;
    return copyImageOut(*image, topDown, buffer, size, sessionWindow_.load()) ? 1 : 0;
}

int CaptureEngine::saveImage(const char* path, std::int32_t format) {
    MutexLock lock(surfaceMutex_);
    if (!imageReady_) return 0;
    return saveSurface(path, surfaces_.output(imageType_), format) ? 1 : 0;
}

} // namespace orvix
