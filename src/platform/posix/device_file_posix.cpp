#include "platform/device_file.h"

#include "emulator/emulator.h"

namespace orvix::platform {

// No driver exists here: only the emulator's devices open.
struct DeviceFile::Impl {
    std::unique_ptr<emulator::EmulatedFile> emulated;
};

DeviceFile::DeviceFile() = default;
DeviceFile::~DeviceFile() = default;
DeviceFile::DeviceFile(DeviceFile&&) noexcept = default;
DeviceFile& DeviceFile::operator=(DeviceFile&&) noexcept = default;

DeviceFile DeviceFile::open(const char* path, std::uint32_t access, std::uint32_t shareMode,
                            std::uint32_t disposition) {
    DeviceFile file;
    emulator::Emulator& emulator = emulator::Emulator::instance();
    if (!emulator.active()) return file;
    auto emulated = emulator.open(path, access, shareMode, disposition);
    if (emulated) file.impl_ = std::make_unique<Impl>(Impl{std::move(emulated)});
    return file;
}

bool DeviceFile::isOpen() const { return impl_ != nullptr; }

bool DeviceFile::ioControl(std::uint32_t code, const void* input, std::uint32_t inputLength, void* output,
                           std::uint32_t outputLength, std::uint32_t* bytesReturned) {
    if (!impl_) {
        if (bytesReturned) *bytesReturned = 0;
        return false;
    }
    return impl_->emulated->ioControl(code, input, inputLength, output, outputLength, bytesReturned);
}

void DeviceFile::close() { impl_.reset(); }

} // namespace orvix::platform
