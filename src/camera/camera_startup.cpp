// Start-up and shutdown of a Camera: the exact order in which the processor is
// detected, the device link and the Surfaces are created, the stored settings are
// loaded and every present camera gets its own gain and exposure; and on release the
// order in which settings are saved and everything is ended and freed.

#include <memory>
#include <new>

#include "camera/camera.h"
#include "capture/startup_faults.h"
#include "device/device_link.h"
#include "device/gain_store.h"
#include "emulator/emulator.h"
#include "imaging/filter_store.h"
#include "imaging/processor.h"

namespace orvix {

namespace {

std::unique_ptr<DeviceLink> allocateLink() {
    if (takeStartupAllocationFault(StartupAllocation::DeviceLink)) return nullptr;
    try {
        return std::make_unique<DeviceLink>();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

} // namespace

// Every present camera gets the gain and exposure stored for its slot; slot 0 ends
// up selected, and its block is the one kept. A camera another handle of this process
// has selected is left alone (the link's start-up calls send it nothing): it may be
// capturing for that handle.
void Camera::sendStoredGainsToEveryCamera() {
    GainBlock block;
    for (int slot = 0; slot < DeviceLink::maxDevices(); ++slot) {
        if (!link_->isDevicePresent(slot)) continue;
        (void)link_->selectDeviceAtStartup(slot);
        (void)loadGainSettings(*link_, block);
        (void)link_->sendStartupGains(block.globalGain, block.exposure);
    }
    (void)link_->selectDeviceAtStartup(0);
    (void)loadGainSettings(*link_, block);
    (void)link_->sendStartupGains(block.globalGain, block.exposure);
    (void)link_->setMirrorV(block.mirrorV != 0 ? 1 : 0);
    MutexLock lock(settingsMutex_);
    gains_ = block;
}

int Camera::initialize(platform::WindowHandle window) {
    (void)detectProcessor(&cpuInfo_);
    // The emulator reads its variable on first use and then serves the device names
    // when cameras are to be emulated; it must do so before the link enumerates them.
    (void)emulator::Emulator::instance();
    // The link's constructor enumerates the slots and selects slot 0.
    link_ = allocateLink();
    bool allocated = link_ != nullptr;
    if (link_) {
        CaptureHost& host = *this;
        engine_ = std::make_unique<CaptureEngine>(*link_, host, cpuInfo_);
        allocated = engine_->allocate();
    }
    errors_.setNotifyWindow(window);
    if (!allocated) {
        errors_.push(ERR_MEMORY);
        // Without everything it needs the Camera must refuse every device operation,
        // exactly as one that never had a link.
        engine_.reset();
        link_.reset();
        return 0;
    }

    loadVideoFormat();
    VideoFormat format;
    std::int32_t subSample = 0;
    {
        MutexLock lock(settingsMutex_);
        if (!formatIsValidLocked()) {
            errors_.push(ERR_GEOMETRY);
            resetToFullFrameLocked();
        }
        format = format_;
        subSample = subSample_; // still the default here; the stream settings come last
        previewRect_ = PreviewRect{0, 0, format_.hEffective, format_.vEffective};
        (void)loadFilterSettings(filter_);
        (void)loadGraySettings(filter_);
        filterLoaded_ = true;
    }
    (void)link_->setCaptureWindowAtStartup(format.hStart, format.vStart, format.hEffective, format.vEffective,
                                           subSample);
    sendStoredGainsToEveryCamera();
    loadStreamSettings();
    return 1;
}

bool Camera::shutDown() { return !engine_ || engine_->shutDown(); }

Camera::~Camera() {
    GainBlock gains;
    FilterSettings filter;
    {
        MutexLock lock(settingsMutex_);
        gains = gains_;
        filter = filter_;
    }
    // The gain record is named after the link's selected slot.
    if (link_) (void)saveGainSettings(*link_, gains);
    if (filterLoaded_) {
        (void)saveFilterSettings(filter);
        (void)saveGraySettings(filter);
    }
    // Preview window, capture thread and transfers end before anything they use goes.
    (void)shutDown();
    engine_.reset();
    link_.reset();
}

} // namespace orvix
