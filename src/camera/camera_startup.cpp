// Start-up and shutdown of a Camera: the exact order in which the processor is
// detected, the device link and the Surfaces are created, the stored settings are
// loaded and every present camera gets its own gain and exposure; and on release the
// order in which settings are saved and everything is freed.

#include <atomic>
#include <memory>
#include <mutex>
#include <new>

#include "camera/camera.h"
#include "camera/startup_faults.h"
#include "imaging/processor.h"
#include "imaging/surface.h"
#include "device/device_link.h"
#include "device/gain_store.h"
#include "emulator/emulator.h"
#include "imaging/filter_store.h"

namespace orvix {

namespace {

std::atomic<int> pendingAllocationFault{static_cast<int>(StartupAllocation::None)};

template <typename T>
std::unique_ptr<T> allocateOrNull(StartupAllocation which) {
    if (takeStartupAllocationFault(which)) return nullptr;
    try {
        return std::make_unique<T>();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

} // namespace

void failNextStartupAllocation(StartupAllocation which) { pendingAllocationFault.store(static_cast<int>(which)); }

bool takeStartupAllocationFault(StartupAllocation which) {
    int expected = static_cast<int>(which);
    if (pendingAllocationFault.load(std::memory_order_relaxed) != expected) return false;
    return pendingAllocationFault.compare_exchange_strong(expected, static_cast<int>(StartupAllocation::None));
}

void Camera::allocateSurfaces() {
    surface8 = allocateOrNull<Surface>(StartupAllocation::Surface8);
    surface16 = allocateOrNull<Surface>(StartupAllocation::Surface16);
    surface24 = allocateOrNull<Surface>(StartupAllocation::Surface24);
    surface32 = allocateOrNull<Surface>(StartupAllocation::Surface32);
    surface48 = allocateOrNull<Surface>(StartupAllocation::Surface48);
    surface64 = allocateOrNull<Surface>(StartupAllocation::Surface64);
    workSurface = allocateOrNull<Surface>(StartupAllocation::WorkSurface);
    displaySurface = allocateOrNull<Surface>(StartupAllocation::DisplaySurface);
}

// Every present camera gets the gain and exposure stored for its slot; slot 0 ends
// up selected, and its block is the one kept.
void Camera::sendStoredGainsToEveryCamera() {
    std::lock_guard<std::mutex> lock(settingsMutex);
    for (int slot = 0; slot < DeviceLink::maxDevices(); ++slot) {
        if (!link->isDevicePresent(slot)) continue;
        (void)link->selectDevice(slot);
        (void)loadGainSettings(*link, gains);
        (void)link->setGlobalGain(gains.globalGain);
        (void)link->setExposure(gains.exposure);
    }
    (void)link->selectDevice(0);
    (void)loadGainSettings(*link, gains);
    (void)link->setGlobalGain(gains.globalGain);
    (void)link->setExposure(gains.exposure);
    (void)link->setMirrorV(gains.mirrorV != 0 ? 1 : 0);
}

int Camera::initialize(platform::WindowHandle window) {
    (void)detectProcessor(&cpuInfo);
    pipeline = std::make_unique<FramePipeline>(cpuInfo);
    // The emulator reads its variable on first use and then serves the device names
    // when cameras are to be emulated; it must do so before the link enumerates them.
    (void)emulator::Emulator::instance();
    // The link's constructor enumerates the slots and selects slot 0.
    link = allocateOrNull<DeviceLink>(StartupAllocation::DeviceLink);
    allocateSurfaces();
    errorQueue.setNotifyWindow(window);

    const bool allocated = link && surface8 && surface16 && surface24 && surface32 && surface48 && surface64 &&
                           workSurface && displaySurface;
    if (!allocated) {
        errorQueue.push(ERR_MEMORY);
        // Without everything it needs the Camera must refuse every device operation,
        // exactly as one that never had a link.
        link.reset();
        return 0;
    }

    (void)loadVideoFormat();
    if (!isGeometryValid()) {
        errorQueue.push(ERR_GEOMETRY);
        resetToFullFrame();
    }
    // subSample still holds its default here; the stream settings come last.
    (void)link->setCaptureWindow(format.hStart, format.vStart, format.hEffective, format.vEffective, subSample);
    previewRect = PreviewRect{0, 0, format.hEffective, format.vEffective};

    {
        std::lock_guard<std::mutex> lock(settingsMutex);
        (void)loadFilterSettings(filter);
        (void)loadGraySettings(filter);
        filterLoaded_ = true;
    }
    sendStoredGainsToEveryCamera();
    (void)loadStreamSettings();
    return 1;
}

Camera::~Camera() {
    {
        std::lock_guard<std::mutex> lock(settingsMutex);
        // The gain record is named after the link's selected slot.
        if (link) (void)saveGainSettings(*link, gains);
        if (filterLoaded_) {
            (void)saveFilterSettings(filter);
            (void)saveGraySettings(filter);
        }
    }
    // Preview window, capture thread and transfers end before anything they use goes.
    (void)close();
    link.reset();
    surface8.reset();
    surface16.reset();
    surface24.reset();
    surface32.reset();
    surface48.reset();
    surface64.reset();
    workSurface.reset();
    displaySurface.reset();
}

} // namespace orvix
