#pragma once
// Device files of the camera driver: open a device by name, issue I/O control
// requests on it, close it.
//
// Windows: CreateFileA / DeviceIoControl (synchronous, no OVERLAPPED) / CloseHandle.
// While an installed device backend (the camera emulator) is active, every device
// name goes to it instead and the real driver is not tried: names the backend does
// not serve fail to open. Linux: the camera driver is the user-space USB one of
// usb_driver.h (cameras found as usb_cameras.h says), unless a backend is active.

#include <cstdint>
#include <memory>

namespace orvix::platform {

// One open file of a device backend.
class DeviceChannel {
public:
    virtual ~DeviceChannel() = default;
    virtual bool ioControl(std::uint32_t code, const void* input, std::uint32_t inputLength, void* output,
                           std::uint32_t outputLength, std::uint32_t* bytesReturned) = 0;
};

// Serves device names in place of the operating system's driver while it is active.
class DeviceBackend {
public:
    virtual bool active() const = 0;
    // The opened file, or null when the backend does not serve the name.
    virtual std::unique_ptr<DeviceChannel> open(const char* path, std::uint32_t access, std::uint32_t shareMode,
                                                std::uint32_t disposition) = 0;

protected:
    ~DeviceBackend() = default;
};

// Installs the process's device backend (null removes it). The backend must live
// until the process ends.
void installDeviceBackend(DeviceBackend* backend);
// The installed backend when it is active, else null.
DeviceBackend* activeDeviceBackend();

class DeviceFile {
public:
    DeviceFile();
    ~DeviceFile(); // closes an open file
    DeviceFile(DeviceFile&&) noexcept;
    DeviceFile& operator=(DeviceFile&&) noexcept;
    DeviceFile(const DeviceFile&) = delete;
    DeviceFile& operator=(const DeviceFile&) = delete;

    // Opens `path` with the given desired access, share mode and creation disposition
    // (no security attributes, flags 0, no template). The result is closed
    // (isOpen() false) when the open failed.
    static DeviceFile open(const char* path, std::uint32_t access, std::uint32_t shareMode,
                           std::uint32_t disposition);

    bool isOpen() const;
    explicit operator bool() const { return isOpen(); }

    // One synchronous request. True when the driver reported success; the number of
    // bytes it returned is stored in *bytesReturned (0 on failure).
    bool ioControl(std::uint32_t code, const void* input, std::uint32_t inputLength, void* output,
                   std::uint32_t outputLength, std::uint32_t* bytesReturned);

    void close();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace orvix::platform
