#pragma once
// A zero-initialised memory block locked in place for its whole life: a movable
// global memory block (GlobalAlloc with GMEM_MOVEABLE | GMEM_ZEROINIT, locked with
// GlobalLock at once, released with GlobalUnlock and GlobalFree) on Windows, zeroed
// heap memory elsewhere.

#include <cstddef>
#include <cstdint>

namespace orvix::platform {

class LockedMemoryBlock {
public:
    LockedMemoryBlock() = default;
    ~LockedMemoryBlock();
    LockedMemoryBlock(LockedMemoryBlock&& other) noexcept;
    LockedMemoryBlock& operator=(LockedMemoryBlock&& other) noexcept;
    LockedMemoryBlock(const LockedMemoryBlock&) = delete;
    LockedMemoryBlock& operator=(const LockedMemoryBlock&) = delete;

    // Allocates and locks `size` zeroed bytes; an empty block when that fails.
    static LockedMemoryBlock allocate(std::size_t size);

    std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    void release();

    void* handle_ = nullptr; // the allocation's handle (Windows) or the heap block
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace orvix::platform
