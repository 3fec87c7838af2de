// Device names, presence, selection with its defaults, and the device files.

#include <cstdio>
#include <cstring>

#include "device/device_link.h"
#include "device/driver_protocol.h"

namespace orvix {

DeviceLink::DeviceLink() {
    std::memcpy(devicePrefix_, protocol::kDevicePrefix, sizeof(devicePrefix_));
    enumerateDevices();
    selectDevice(0);
    setGlobalGain(0);
    setExposure(0);
    setOutputMode(0);
}

DeviceLink::~DeviceLink() {
    // Transfer threads use the link's buffers: end them before the buffers go. Each
    // ends within the transfer time-out, at which the driver ends every frame read.
    if (ring_.stopped.load() == 0 || ringThread_.running()) {
        ring_.stopped.store(1);
        ringThread_.join();
    }
    singleThread_.join(); // a no-wait transfer ends at the transfer time-out at the latest
}

void DeviceLink::formatDevicePath(char* out, std::size_t size, int index) const {
    std::snprintf(out, size, "\\\\.\\%s-%d", devicePrefix_, index);
}

int DeviceLink::openDevice(const char* path, DeviceHandle& handle) {
    handle = DeviceHandle::open(path, protocol::kGenericWrite, protocol::kFileShareWrite, protocol::kOpenExisting);
    return handle.isOpen() ? 1 : 0;
}

int DeviceLink::closeDevice(DeviceHandle& handle) {
    if (!handle.isOpen()) return 0;
    handle.close();
    return 1;
}

void DeviceLink::enumerateDevices() {
    for (int index = 0; index < kDeviceCount; ++index) {
        char path[32];
        formatDevicePath(path, sizeof(path), index);
        DeviceHandle handle;
        present_[index] = openDevice(path, handle);
        closeDevice(handle);
    }
    currentIndex_.store(0);
}

std::string DeviceLink::devicePath() const {
    MutexLock lock(requestMutex_);
    return devicePath_;
}

int DeviceLink::isDevicePresent(int index) const {
    return index >= 0 && index < kDeviceCount ? present_[index] : 0;
}

void DeviceLink::restoreSelectionDefaults() {
    tenBit_.store(0);
    transferTimeoutMs_.store(static_cast<std::int32_t>(protocol::kDefaultTransferTimeoutMs));
    noWait_.store(0);
    lastTransferMs_.store(0);
    subSample_ = 0;
    // Provisional geometry, replaced by the full-frame window at once.
    lineLength_ = 668;
    firstSample_ = 18;
    width_ = 640;
    rawLines_ = 496;
    firstLine_ = 6;
    height_ = 480;
}

int DeviceLink::selectDevice(int index) {
    // Selection sends 8-bit mode and rebuilds the buffers: a running transfer's frames
    // would no longer be what the camera sends, nor fit what it is copied into.
    if (transferRunning()) return kLinkBusy;
    restoreSelectionDefaults();
    if (index < 0 || index >= kDeviceCount) return kLinkBadIndex;
    currentIndex_.store(index);
    {
        MutexLock lock(requestMutex_);
        formatDevicePath(devicePath_, sizeof(devicePath_), index);
    }
    setTenBitMode(0);
    sendDeviceSelect();
    windowX_ = 0;
    windowY_ = 0;
    (void)setupFrameBuffers(protocol::kRawLineLength, protocol::kFirstActiveSample, protocol::kActiveWidth,
                            protocol::kRawLines, protocol::kFirstActiveLine, protocol::kActiveHeight, 10);
    setTriggerMode(0);
    return kLinkOk;
}

} // namespace orvix
