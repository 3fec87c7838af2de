#pragma once
// Device files of the camera driver: open a device by name, issue I/O control
// requests on it, close it.
//
// Windows: CreateFileA / DeviceIoControl (synchronous, no OVERLAPPED) / CloseHandle.
// While the camera emulator is active (ORVIX_K62DT4_EMULATE set, or configured by a
// test), every device name goes to the emulator instead and the real driver is not
// tried: names of slots that are not emulated fail to open.
// Linux has no driver for the camera, so only emulated devices open.

#include <cstdint>
#include <memory>

namespace orvix::platform {

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
