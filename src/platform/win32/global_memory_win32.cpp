#include "platform/global_memory.h"

#include <windows.h>

namespace orvix::platform {

LockedMemoryBlock LockedMemoryBlock::allocate(std::size_t size) {
    LockedMemoryBlock block;
    if (size == 0) return block;
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!handle) return block;
    void* memory = GlobalLock(handle);
    if (!memory) {
        GlobalFree(handle);
        return block;
    }
    block.handle_ = handle;
    block.data_ = static_cast<std::uint8_t*>(memory);
    block.size_ = size;
    return block;
}

void LockedMemoryBlock::release() {
    if (handle_) {
        GlobalUnlock(static_cast<HGLOBAL>(handle_));
        GlobalFree(static_cast<HGLOBAL>(handle_));
    }
    handle_ = nullptr;
    data_ = nullptr;
    size_ = 0;
}

} // namespace orvix::platform
