#pragma once
// The per-camera queue of recent failure codes. Entry 0 is the newest; 20 are kept,
// older ones are dropped. Every push is announced to the notification window with
// ORVIX_WM_ERROR (0x8003, wParam 0, lParam = code). Safe for the capture threads to
// push while the application pops.

#include <array>
#include <atomic>
#include <cstdint>

#include "platform/mutex.h"
#include "platform/window_handle.h"

namespace orvix {

class ErrorQueue {
public:
    static constexpr int kCapacity = 20;
    static constexpr std::uint32_t kErrorMessage = 0x8003;

    // Records a code and posts it to the notification window when one is set.
    // Always returns 1, so failing paths can `return errors.push(code), 0;`-style.
    int push(std::int32_t code);
    // Removes and returns the newest code; 0 when the queue is empty.
    std::int32_t pop();

    void setNotifyWindow(platform::WindowHandle window) { notifyWindow_.store(window); }
    platform::WindowHandle notifyWindow() const { return notifyWindow_.load(); }

    // The entries, newest first (for tests and diagnostics).
    std::array<std::int32_t, kCapacity> snapshot() const;

private:
    mutable Mutex mutex_;
    std::array<std::int32_t, kCapacity> entries_ ORVIX_GUARDED_BY(mutex_){};
    std::atomic<platform::WindowHandle> notifyWindow_{0};
};

} // namespace orvix
