// Device names, presence, selection with its defaults, and the device files.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "device/device_link.h"
#include "device/driver_protocol.h"
#include "platform/no_destructor.h"

namespace orvix {

namespace {

// The camera each live link of this process has selected. A link that start-up
// requests would go to checks here first, under the table's lock, and keeps that lock
// while it talks to the camera, so no other link selects the camera in between.
class Selections {
public:
    Mutex mutex;

    void record(const DeviceLink* link, int slot) ORVIX_REQUIRES(mutex) {
        for (Entry& entry : entries_)
            if (entry.link == link) return void(entry.slot = slot);
        try {
            entries_.push_back(Entry{link, slot});
        } catch (const std::bad_alloc&) {
            // Unrecorded, the link's camera only loses the start-ups' consideration.
        }
    }
    void forget(const DeviceLink* link) ORVIX_REQUIRES(mutex) {
        entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                      [link](const Entry& entry) { return entry.link == link; }),
                       entries_.end());
    }
    bool selectedByAnother(const DeviceLink* link, int slot) const ORVIX_REQUIRES(mutex) {
        return std::any_of(entries_.begin(), entries_.end(),
                           [&](const Entry& entry) { return entry.link != link && entry.slot == slot; });
    }

private:
    struct Entry {
        const DeviceLink* link;
        int slot;
    };
    std::vector<Entry> entries_ ORVIX_GUARDED_BY(mutex);
};

Selections& selections() {
    static NoDestructor<Selections> table;
    return *table;
}

} // namespace

DeviceLink::DeviceLink() {
    std::memcpy(devicePrefix_, protocol::kDevicePrefix, sizeof(devicePrefix_));
    enumerateDevices();
    (void)selectDeviceAtStartup(0);
    if (!talkIfCameraFree([this] {
            (void)setGlobalGain(0);
            (void)setExposure(0);
            (void)setOutputMode(0);
        }))
        rememberGains(0, 0);
}

DeviceLink::~DeviceLink() {
    // Transfer threads use the link's buffers: end them before the buffers go. Each
    // ends within the transfer time-out, at which the driver ends every frame read.
    if (ring_.stopped.load() == 0 || ringThread_.running()) {
        ring_.stopped.store(1);
        ringThread_.join();
    }
    singleThread_.join(); // a no-wait transfer ends at the transfer time-out at the latest
    Selections& table = selections();
    MutexLock lock(table.mutex);
    table.forget(this);
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
    bool talked = false;
    return takeSelection(index, false, talked);
}

int DeviceLink::takeSelection(int index, bool onlyIfFree, bool& talked) {
    // Selection sends 8-bit mode and rebuilds the buffers: a running transfer's frames
    // would no longer be what the camera sends, nor fit what it is copied into.
    if (transferRunning()) return kLinkBusy;
    restoreSelectionDefaults();
    if (index < 0 || index >= kDeviceCount) return kLinkBadIndex;
    Selections& table = selections();
    MutexLock lock(table.mutex);
    talked = !onlyIfFree || !table.selectedByAnother(this, index);
    table.record(this, index);
    applySelection(index, talked);
    return kLinkOk;
}

void DeviceLink::applySelection(int index, bool talk) {
    currentIndex_.store(index);
    {
        MutexLock lock(requestMutex_);
        formatDevicePath(devicePath_, sizeof(devicePath_), index);
    }
    if (talk) {
        setTenBitMode(0);
        sendDeviceSelect();
    }
    windowX_ = 0;
    windowY_ = 0;
    (void)buildFrameBuffers(protocol::kRawLineLength, protocol::kFirstActiveSample, protocol::kActiveWidth,
                            protocol::kRawLines, protocol::kFirstActiveLine, protocol::kActiveHeight, 10, talk);
    if (talk) setTriggerMode(0);
}

// ---- start-up ---------------------------------------------------------------------------

template <typename Talk>
bool DeviceLink::talkIfCameraFree(Talk&& talk) {
    Selections& table = selections();
    MutexLock lock(table.mutex);
    if (table.selectedByAnother(this, currentIndex_.load())) return false;
    talk();
    return true;
}

bool DeviceLink::selectDeviceAtStartup(int index) {
    bool talked = false;
    return takeSelection(index, true, talked) == kLinkOk && talked;
}

bool DeviceLink::sendStartupGains(int gain, int exposure) {
    if (talkIfCameraFree([&] {
            (void)setGlobalGain(gain);
            (void)setExposure(exposure);
        }))
        return true;
    rememberGains(gain, exposure);
    return false;
}

int DeviceLink::setCaptureWindowAtStartup(int x, int y, int width, int height, int subSample) {
    int result = kLinkOk;
    if (!talkIfCameraFree([&] { result = setCaptureWindow(x, y, width, height, subSample); }))
        result = applyCaptureWindow(x, y, width, height, subSample, false);
    return result;
}

} // namespace orvix
