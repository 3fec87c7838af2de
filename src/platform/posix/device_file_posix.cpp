#include "platform/device_file.h"

#include "platform/posix/usb_driver.h"

namespace orvix::platform {

// The camera driver here is the USB one in user space (usb_driver.h); an active
// device backend (the camera emulator) takes its place.
struct DeviceFile::Impl {
    std::unique_ptr<DeviceChannel> channel;
};

DeviceFile::DeviceFile() = default;
DeviceFile::~DeviceFile() = default;
DeviceFile::DeviceFile(DeviceFile&&) noexcept = default;
DeviceFile& DeviceFile::operator=(DeviceFile&&) noexcept = default;

DeviceFile DeviceFile::open(const char* path, std::uint32_t access, std::uint32_t shareMode,
                            std::uint32_t disposition) {
    DeviceFile file;
    DeviceBackend* backend = activeDeviceBackend();
    auto channel = backend ? backend->open(path, access, shareMode, disposition) : usb::openCameraFile(path);
    if (channel) file.impl_ = std::make_unique<Impl>(Impl{std::move(channel)});
    return file;
}

bool DeviceFile::isOpen() const { return impl_ != nullptr; }

bool DeviceFile::ioControl(std::uint32_t code, const void* input, std::uint32_t inputLength, void* output,
                           std::uint32_t outputLength, std::uint32_t* bytesReturned) {
    if (!impl_) {
        if (bytesReturned) *bytesReturned = 0;
        return false;
    }
    return impl_->channel->ioControl(code, input, inputLength, output, outputLength, bytesReturned);
}

void DeviceFile::close() { impl_.reset(); }

} // namespace orvix::platform
