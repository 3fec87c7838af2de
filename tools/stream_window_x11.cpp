#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <thread>

#include "stream_window.h"

namespace {

// The library tags its messages with this atom.
constexpr const char* kMessageAtom = "ORVIX_WINDOW_MESSAGE";

class X11StreamWindow : public StreamWindow {
public:
    X11StreamWindow(Display* display, Window window) : display_(display), window_(window) {
        atom_ = XInternAtom(display_, kMessageAtom, False);
    }
    ~X11StreamWindow() override {
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }

    ORVIX_WINDOW handle() const override { return window_; }

    void pump(int milliseconds,
              const std::function<void(std::uint32_t, std::uintptr_t, std::intptr_t)>& receive) override {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        do {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type != ClientMessage || event.xclient.message_type != atom_) continue;
                const long* l = event.xclient.data.l;
                // 32-bit items: the upper half of wParam comes in item 3.
                const std::uint64_t wParam =
                    (std::uint64_t{static_cast<std::uint32_t>(l[3])} << 32) | static_cast<std::uint32_t>(l[1]);
                receive(static_cast<std::uint32_t>(l[0]), static_cast<std::uintptr_t>(wParam),
                        static_cast<std::intptr_t>(static_cast<std::int32_t>(l[2])));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        } while (std::chrono::steady_clock::now() < end);
    }

private:
    Display* display_;
    Window window_;
    Atom atom_ = None;
};

} // namespace

std::unique_ptr<StreamWindow> StreamWindow::open(int width, int height, const char* title) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0,
                                              static_cast<unsigned>(width), static_cast<unsigned>(height), 0, 0, 0);
    XStoreName(display, window, title);
    XMapWindow(display, window);
    XSync(display, False);
    return std::make_unique<X11StreamWindow>(display, window);
}
