// How frames are to be captured: colour mode, sub-sample, wait time, half clock,
// mirror and auto iris, the capture window on the sensor and the preview placement.
// Most setters only store; the capture-window requests also reach the device link.

#include <mutex>

#include "camera/camera.h"
#include "camera/settings_store.h"
#include "device/device_link.h"

namespace orvix {

namespace {

// Colour mode (bits per pixel) to colour type; -1 for an unknown mode.
int colorTypeOfBits(int bits) {
    for (int type = 0; type < 6; ++type)
        if (Camera::bitsPerPixelOfColorType(type) == bits) return type;
    return -1;
}

void setOk(int* ok, int value) {
    if (ok) *ok = value;
}

} // namespace

bool Camera::requireLink() {
    if (link) return true;
    errorQueue.push(ERR_NOT_INITIALIZED);
    return false;
}

int Camera::setColorMode(int bits) {
    const int type = colorTypeOfBits(bits);
    if (type < 0) return errorQueue.push(ERR_PARAMETER), 0;
    colorType = type;
    return 1;
}

int Camera::setSubSample(int mode) {
    if (mode < 0 || mode > 2) return 0;
    subSample = mode;
    return 1;
}

int Camera::setWaitTime(int milliseconds) {
    if (milliseconds < 0) return 0;
    waitTime = milliseconds;
    return 1;
}

int Camera::setHalfClock(int flag) {
    halfClock = flag != 0 ? 1 : 0;
    return 1;
}

int Camera::getHalfClock(int* ok) {
    int on = 0;
    if (!link || !link->readHalfClock(&on)) {
        setOk(ok, 0);
        errorQueue.push(ERR_NOT_INITIALIZED);
        return 0;
    }
    setOk(ok, 1);
    return on;
}

int Camera::setMirrorV(int flag) {
    if (!requireLink()) return 0;
    const int mirror = flag != 0 ? 1 : 0;
    {
        std::lock_guard<std::mutex> lock(settingsMutex);
        gains.mirrorV = mirror;
    }
    (void)link->setMirrorV(mirror);
    return 1;
}

int Camera::getMirrorV() {
    if (!requireLink()) return 0;
    return link->mirrorV();
}

int Camera::setAutoIris(int mode) {
    if (mode < 0 || mode > 2) return errorQueue.push(ERR_PARAMETER), 0;
    std::lock_guard<std::mutex> lock(settingsMutex);
    gains.autoIris = mode;
    return 1;
}

int Camera::getAutoIris(int* ok) const {
    std::lock_guard<std::mutex> lock(settingsMutex);
    setOk(ok, 1);
    return gains.autoIris;
}

bool Camera::isGeometryValid() const {
    const VideoFormat& f = format;
    if (f.hEffective < 0 || f.vEffective < 0 || f.hStart < 0 || f.vStart < 0) return false;
    if (f.hEffective > kSensorWidth || f.vEffective > kSensorHeight) return false;
    if (f.hStart > kSensorWidth || f.vStart > kSensorHeight) return false;
    // Each term is at most the sensor size here, so the sums cannot overflow.
    if (f.hStart + f.hEffective > kSensorWidth || f.vStart + f.vEffective > kSensorHeight) return false;
    return subSample >= 0 && subSample <= 2;
}

void Camera::resetToFullFrame() {
    const std::int32_t keptBufferCount = format.bufferCount;
    format = VideoFormat{};
    format.bufferCount = keptBufferCount;
}

int Camera::setCaptureWindowEx(int hTotalValue, int hStartValue, int hEffectiveValue, int vTotalValue,
                               int vStartValue, int vEffectiveValue) {
    if (!requireLink()) return 0;
    if (!captureIsIdle()) return 0;
    format.hTotal = hTotalValue;
    format.hStart = hStartValue;
    format.hEffective = hEffectiveValue;
    format.vTotal = vTotalValue;
    format.vStart = vStartValue;
    format.vEffective = vEffectiveValue;
    // Rejected values stay stored, so the next capture start refuses them as well.
    if (!isGeometryValid()) return errorQueue.push(ERR_GEOMETRY), 0;
    (void)link->setCaptureWindow(format.hStart, format.vStart, format.hEffective, format.vEffective, subSample);
    return 1;
}

int Camera::getCaptureWindowEx(int* hTotalOut, int* hStartOut, int* hEffectiveOut, int* vTotalOut, int* vStartOut,
                               int* vEffectiveOut) const {
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
    if (!captureIsIdle()) return 0;
    const platform::RegistryKey root = platform::RegistryKey::openCurrentUser(platform::kSettingsKeyPath);
    if (!root) return 0;
    // A value missing from a record reads as 0 rather than as whatever came before.
    const VideoFormat blank{0, 0, 0, 0, 0, 0, 0};
    VideoFormat records[settings::kMaxFormatRecords];
    const int count = settings::readFormatList(root, records, settings::kMaxFormatRecords, blank);
    const VideoFormat* chosen = nullptr;
    for (int n = 0; n < count && !chosen; ++n)
        if (records[n].hEffective == width && records[n].vEffective == height) chosen = &records[n];
    if (!chosen) return 0;

    format = *chosen;
    if (!isGeometryValid()) {
        errorQueue.push(ERR_GEOMETRY);
        resetToFullFrame();
    }
    (void)link->setCaptureWindow(format.hStart, format.vStart, format.hEffective, format.vEffective, subSample);
    return 1;
}

int Camera::setPreviewWindow(platform::WindowHandle parent, const PreviewRect& rect) {
    if (!requireLink()) return 0;
    previewParent = parent;
    previewRect = rect;
    return 1;
}

} // namespace orvix
