#include "camera/error_queue.h"

#include <algorithm>

#include "platform/messages.h"

namespace orvix {

int ErrorQueue::push(std::int32_t code) {
    {
        MutexLock lock(mutex_);
        std::copy_backward(entries_.begin(), entries_.end() - 1, entries_.end());
        entries_[0] = code;
    }
    // Posted outside the lock: the window system is never waited for while holding it.
    if (const platform::WindowHandle window = notifyWindow_.load()) {
        platform::postWindowMessage(window, kErrorMessage, 0, code);
    }
    return 1;
}

std::int32_t ErrorQueue::pop() {
    MutexLock lock(mutex_);
    const std::int32_t newest = entries_[0];
    std::copy(entries_.begin() + 1, entries_.end(), entries_.begin());
    entries_[kCapacity - 1] = 0;
    return newest;
}

std::array<std::int32_t, ErrorQueue::kCapacity> ErrorQueue::snapshot() const {
    MutexLock lock(mutex_);
    return entries_;
}

} // namespace orvix
