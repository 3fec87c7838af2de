#include <X11/Xlib.h>

#include <chrono>

#include "message_window.h"
#include "platform/messages.h"

namespace orvix::test {

namespace {

// A 64-bit value sent as two 32-bit items.
std::uintptr_t wideValue(long low, long high) {
    const std::uint64_t value = (std::uint64_t{static_cast<std::uint32_t>(high)} << 32) | static_cast<std::uint32_t>(low);
    return static_cast<std::uintptr_t>(value);
}

} // namespace

struct MessageWindow::Impl {
    Display* display = nullptr;
    Window window = 0;
    Atom atom = None;
};

MessageWindow::MessageWindow() : impl_(std::make_unique<Impl>()) {
    impl_->display = XOpenDisplay(nullptr);
    if (!impl_->display) return;
    impl_->window = XCreateSimpleWindow(impl_->display, DefaultRootWindow(impl_->display), 0, 0, 10, 10, 0, 0, 0);
    impl_->atom = XInternAtom(impl_->display, platform::kWindowMessageAtom, False);
    XSync(impl_->display, False);
}

MessageWindow::~MessageWindow() {
    if (!impl_->display) return;
    XDestroyWindow(impl_->display, impl_->window);
    XCloseDisplay(impl_->display);
}

bool MessageWindow::ok() const { return impl_->display != nullptr; }
platform::WindowHandle MessageWindow::handle() const { return impl_->window; }

std::vector<Message> MessageWindow::collect(const std::function<bool(const std::vector<Message>&)>& done,
                                            int timeoutMs) {
    std::vector<Message> received;
    if (!impl_->display) return received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done(received) && std::chrono::steady_clock::now() < deadline) {
        while (!done(received) && XPending(impl_->display) > 0) {
            XEvent event;
            XNextEvent(impl_->display, &event);
            if (event.type == ClientMessage && event.xclient.message_type == impl_->atom)
                received.push_back({static_cast<std::uint32_t>(event.xclient.data.l[0]),
                                    wideValue(event.xclient.data.l[1], event.xclient.data.l[3]),
                                    static_cast<std::intptr_t>(event.xclient.data.l[2])});
        }
        struct timespec pause = {0, 2000000};
        nanosleep(&pause, nullptr);
    }
    return received;
}

} // namespace orvix::test
