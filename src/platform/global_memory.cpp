#include "platform/global_memory.h"

#include <utility>

namespace orvix::platform {

LockedMemoryBlock::~LockedMemoryBlock() { release(); }

LockedMemoryBlock::LockedMemoryBlock(LockedMemoryBlock&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

LockedMemoryBlock& LockedMemoryBlock::operator=(LockedMemoryBlock&& other) noexcept {
    if (this != &other) {
        release();
        handle_ = std::exchange(other.handle_, nullptr);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

} // namespace orvix::platform
