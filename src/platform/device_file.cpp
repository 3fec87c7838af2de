// The process's device backend, shared by the Win32 and POSIX device files.

#include "platform/device_file.h"

#include <atomic>

namespace orvix::platform {

namespace {

std::atomic<DeviceBackend*> installedBackend{nullptr};

} // namespace

void installDeviceBackend(DeviceBackend* backend) { installedBackend.store(backend); }

DeviceBackend* activeDeviceBackend() {
    DeviceBackend* backend = installedBackend.load();
    return backend && backend->active() ? backend : nullptr;
}

} // namespace orvix::platform
