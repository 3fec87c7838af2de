#include "platform/device_file.h"

#include <windows.h>

namespace orvix::platform {

// Either a file of the real driver or one of the device backend's; while a backend
// is active the real driver is never asked.
struct DeviceFile::Impl {
    HANDLE native = nullptr;
    std::unique_ptr<DeviceChannel> channel;

    ~Impl() {
        if (native) CloseHandle(native);
    }
};

DeviceFile::DeviceFile() = default;
DeviceFile::~DeviceFile() = default;
DeviceFile::DeviceFile(DeviceFile&&) noexcept = default;
DeviceFile& DeviceFile::operator=(DeviceFile&&) noexcept = default;

DeviceFile DeviceFile::open(const char* path, std::uint32_t access, std::uint32_t shareMode,
                            std::uint32_t disposition) {
    DeviceFile file;
    if (DeviceBackend* backend = activeDeviceBackend()) {
        auto channel = backend->open(path, access, shareMode, disposition);
        if (channel) {
            file.impl_ = std::make_unique<Impl>();
            file.impl_->channel = std::move(channel);
        }
        return file;
    }
    HANDLE handle = CreateFileA(path, access, shareMode, nullptr, disposition, 0, nullptr);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return file;
    file.impl_ = std::make_unique<Impl>();
    file.impl_->native = handle;
    return file;
}

bool DeviceFile::isOpen() const { return impl_ != nullptr; }

bool DeviceFile::ioControl(std::uint32_t code, const void* input, std::uint32_t inputLength, void* output,
                           std::uint32_t outputLength, std::uint32_t* bytesReturned) {
    if (bytesReturned) *bytesReturned = 0;
    if (!impl_) return false;
    if (impl_->channel)
        return impl_->channel->ioControl(code, input, inputLength, output, outputLength, bytesReturned);
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(impl_->native, code, const_cast<void*>(input), inputLength, output, outputLength,
                                    &returned, nullptr);
    if (bytesReturned) *bytesReturned = returned;
    return ok != FALSE;
}

void DeviceFile::close() { impl_.reset(); }

} // namespace orvix::platform
