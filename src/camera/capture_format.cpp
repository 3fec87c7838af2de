// How frames are to be captured: colour mode, sub-sample, wait time, half clock,
// mirror and auto iris, the capture window on the sensor and the preview placement.
// Most setters only store, for the next capture start; the capture-window requests
// also reach the device link, and are refused (0, nothing queued) while a capture is
// prepared or runs, since they rebuild the link's frame buffers.

#include "camera/camera.h"
#include "camera/settings_store.h"
#include "device/device_link.h"

namespace orvix {

namespace {

// Colour mode (bits per pixel) to colour type; -1 for an unknown mode.
int colorTypeOfBits(int bits) {
    for (int type = 0; type < 6; ++type)
        if (bitsPerPixelOfColorType(type) == bits) return type;
    return -1;
}

void setOk(int* ok, int value) {
    if (ok) *ok = value;
}

} // namespace

int Camera::width() const {
    MutexLock lock(settingsMutex_);
    return format_.hEffective;
}

int Camera::height() const {
    MutexLock lock(settingsMutex_);
    return format_.vEffective;
}

int Camera::getColorMode() const {
    MutexLock lock(settingsMutex_);
    const int bits = bitsPerPixelOfColorType(colorType_);
    return bits != 0 ? bits : -1;
}

int Camera::getSubSample() const {
    MutexLock lock(settingsMutex_);
    return subSample_;
}

int Camera::getWaitTime() const {
    MutexLock lock(settingsMutex_);
    return waitTime_;
}

int Camera::setColorMode(int bits) {
    const int type = colorTypeOfBits(bits);
    if (type < 0) return errors_.push(ERR_PARAMETER), 0;
    MutexLock lock(settingsMutex_);
    colorType_ = type;
    return 1;
}

int Camera::setSubSample(int mode) {
    if (mode < 0 || mode > 2) return 0;
    MutexLock lock(settingsMutex_);
    subSample_ = mode;
    return 1;
}

int Camera::setWaitTime(int milliseconds) {
    if (milliseconds < 0) return 0;
    MutexLock lock(settingsMutex_);
    waitTime_ = milliseconds;
    return 1;
}

int Camera::setHalfClock(int flag) {
    MutexLock lock(settingsMutex_);
    halfClock_ = flag != 0 ? 1 : 0;
    return 1;
}

int Camera::getHalfClock(int* ok) {
    int on = 0;
    if (!link_ || !link_->readHalfClock(&on)) {
        setOk(ok, 0);
        errors_.push(ERR_NOT_INITIALIZED);
        return 0;
    }
    setOk(ok, 1);
    return on;
}

int Camera::setMirrorV(int flag) {
    if (!requireLink()) return 0;
    const int mirror = flag != 0 ? 1 : 0;
    {
        MutexLock lock(settingsMutex_);
        gains_.mirrorV = mirror;
    }
    (void)link_->setMirrorV(mirror);
    return 1;
}

int Camera::getMirrorV() {
    if (!requireLink()) return 0;
    return link_->mirrorV();
}

int Camera::setAutoIris(int mode) {
    if (mode < 0 || mode > 2) return errors_.push(ERR_PARAMETER), 0;
    MutexLock lock(settingsMutex_);
    gains_.autoIris = mode;
    return 1;
}

int Camera::getAutoIris(int* ok) const {
    MutexLock lock(settingsMutex_);
    setOk(ok, 1);
    return gains_.autoIris;
}

bool Camera::formatIsValidLocked() const { return isGeometryValid(format_, subSample_); }

void Camera::resetToFullFrameLocked() {
    const std::int32_t keptBufferCount = format_.bufferCount;
    format_ = VideoFormat{};
    format_.bufferCount = keptBufferCount;
}

int Camera::setCaptureWindowEx(int hTotalValue, int hStartValue, int hEffectiveValue, int vTotalValue,
                               int vStartValue, int vEffectiveValue) {
    if (!requireLink()) return 0;
    int result = 0;
    (void)engine_->whileIdle([&] {
        VideoFormat format;
        std::int32_t subSample = 0;
        {
            MutexLock lock(settingsMutex_);
            format_.hTotal = hTotalValue;
            format_.hStart = hStartValue;
            format_.hEffective = hEffectiveValue;
            format_.vTotal = vTotalValue;
            format_.vStart = vStartValue;
            format_.vEffective = vEffectiveValue;
            // Rejected values stay stored, so the next capture start refuses them as well.
            if (!formatIsValidLocked()) return (void)errors_.push(ERR_GEOMETRY);
            format = format_;
            subSample = subSample_;
        }
        (void)link_->setCaptureWindow(format.hStart, format.vStart, format.hEffective, format.vEffective, subSample);
        result = 1;
    });
    return result;
}

int Camera::getCaptureWindowEx(int* hTotalOut, int* hStartOut, int* hEffectiveOut, int* vTotalOut, int* vStartOut,
                               int* vEffectiveOut) const {
    VideoFormat format;
    {
        MutexLock lock(settingsMutex_);
        format = format_;
    }
    if (hTotalOut) *hTotalOut = format.hTotal;
    if (hStartOut) *hStartOut = format.hStart;
    if (hEffectiveOut) *hEffectiveOut = format.hEffective;
    if (vTotalOut) *vTotalOut = format.vTotal;
    if (vStartOut) *vStartOut = format.vStart;
    if (vEffectiveOut) *vEffectiveOut = format.vEffective;
    return 1;
}

int Camera::setCaptureWindow(int width, int height) {
    if (!requireLink()) return 0;
    int result = 0;
    (void)engine_->whileIdle([&] {
        const platform::RegistryKey root = platform::RegistryKey::openCurrentUser(platform::kSettingsKeyPath);
        if (!root) return;
        // A value missing from a record reads as 0 rather than as whatever came before.
        const VideoFormat blank{0, 0, 0, 0, 0, 0, 0};
        VideoFormat records[settings::kMaxFormatRecords];
        const int count = settings::readFormatList(root, records, settings::kMaxFormatRecords, blank);
        const VideoFormat* chosen = nullptr;
        for (int n = 0; n < count && !chosen; ++n)
            if (records[n].hEffective == width && records[n].vEffective == height) chosen = &records[n];
        if (!chosen) return;

        VideoFormat format;
        std::int32_t subSample = 0;
        {
            MutexLock lock(settingsMutex_);
            format_ = *chosen;
            if (!formatIsValidLocked()) {
                errors_.push(ERR_GEOMETRY);
                resetToFullFrameLocked();
            }
            format = format_;
            subSample = subSample_;
        }
        (void)link_->setCaptureWindow(format.hStart, format.vStart, format.hEffective, format.vEffective, subSample);
        result = 1;
    });
    return result;
}

int Camera::setPreviewWindow(platform::WindowHandle parent, const PreviewRect& rect) {
    if (!requireLink()) return 0;
    MutexLock lock(settingsMutex_);
    previewParent_ = parent;
    previewRect_ = rect;
    return 1;
}

} // namespace orvix
