#include "platform/global_memory.h"

#include <cstdlib>

namespace orvix::platform {

LockedMemoryBlock LockedMemoryBlock::allocate(std::size_t size) {
    LockedMemoryBlock block;
    if (size == 0) return block;
    void* memory = std::calloc(size, 1);
    if (!memory) return block;
    block.handle_ = memory;
    block.data_ = static_cast<std::uint8_t*>(memory);
    block.size_ = size;
    return block;
}

void LockedMemoryBlock::release() {
    std::free(handle_);
    handle_ = nullptr;
    data_ = nullptr;
    size_ = 0;
}

} // namespace orvix::platform
