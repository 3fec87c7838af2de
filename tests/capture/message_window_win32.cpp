#include <windows.h>

#include <chrono>

#include "message_window.h"

namespace orvix::test {

struct MessageWindow::Impl {
    HWND window = nullptr;
};

MessageWindow::MessageWindow() : impl_(std::make_unique<Impl>()) {
    impl_->window = CreateWindowExA(0, "STATIC", "orvix test", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
}

MessageWindow::~MessageWindow() {
    if (impl_->window) DestroyWindow(impl_->window);
}

bool MessageWindow::ok() const { return impl_->window != nullptr; }
platform::WindowHandle MessageWindow::handle() const { return reinterpret_cast<platform::WindowHandle>(impl_->window); }

std::vector<Message> MessageWindow::collect(const std::function<bool(const std::vector<Message>&)>& done,
                                            int timeoutMs) {
    std::vector<Message> received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done(received) && std::chrono::steady_clock::now() < deadline) {
        MSG msg;
        while (!done(received) && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == impl_->window && msg.message >= 0x8000 && msg.message < 0x9000)
                received.push_back({msg.message, static_cast<std::uintptr_t>(msg.wParam),
                                    static_cast<std::intptr_t>(msg.lParam)});
            else
                DispatchMessageA(&msg);
        }
        Sleep(2);
    }
    return received;
}

} // namespace orvix::test
