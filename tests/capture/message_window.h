#pragma once
// A window of the test's own that receives the library's posted messages (X11
// ClientMessages under Xvfb, Win32 messages under Wine), and a reader of the frame
// description a frame message points at.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "OrvixSdk_K62DT4.h"
#include "platform/window_handle.h"

namespace orvix::test {

struct Message {
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

class MessageWindow {
public:
    MessageWindow();
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    bool ok() const;
    platform::WindowHandle handle() const;
    // Collects messages until `done(received)` holds or `timeoutMs` have passed.
    std::vector<Message> collect(const std::function<bool(const std::vector<Message>&)>& done, int timeoutMs);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The frame description as the library stores it field by field while the next
// frame may be written.
inline FrameInfo readFrameInfo(const FrameInfo* info) {
    FrameInfo copy{};
    copy.size = __atomic_load_n(&info->size, __ATOMIC_RELAXED);
    copy.width = __atomic_load_n(&info->width, __ATOMIC_RELAXED);
    copy.height = __atomic_load_n(&info->height, __ATOMIC_RELAXED);
    copy.bitsPerPixel = __atomic_load_n(&info->bitsPerPixel, __ATOMIC_RELAXED);
    copy.frameRate = __atomic_load_n(&info->frameRate, __ATOMIC_RELAXED);
    copy.reserved = __atomic_load_n(&info->reserved, __ATOMIC_RELAXED);
    return copy;
}

} // namespace orvix::test
