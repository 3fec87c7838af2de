// Window probe on X11: a connection of the test's own, so what it reads is what the
// server shows, not what the library believes.

#include "preview/window_probe.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "platform/posix/x11_connection.h"

namespace orvix::test {

struct WindowProbe::Impl {
    Display* display = nullptr;
};

namespace {

Window toWindow(platform::WindowHandle w) { return static_cast<Window>(w); }

std::uint8_t channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    unsigned shift = 0;
    while (((mask >> shift) & 1u) == 0) ++shift;
    const unsigned long maximum = mask >> shift;
    return static_cast<std::uint8_t>((((pixel & mask) >> shift) * 255 + maximum / 2) / maximum);
}

} // namespace

WindowProbe::WindowProbe() : impl_(std::make_unique<Impl>()) { impl_->display = XOpenDisplay(nullptr); }

WindowProbe::~WindowProbe() {
    if (impl_->display) XCloseDisplay(impl_->display);
}

bool WindowProbe::ok() const { return impl_->display != nullptr; }

platform::WindowHandle WindowProbe::createAppWindow(int width, int height) {
    Display* d = impl_->display;
    const int screen = DefaultScreen(d);
    const Window w = XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0, static_cast<unsigned>(width),
                                         static_cast<unsigned>(height), 0, WhitePixel(d, screen),
                                         WhitePixel(d, screen));
    XMapWindow(d, w);
    XSync(d, False);
    return w;
}

void WindowProbe::destroyWindow(platform::WindowHandle window) {
    if (window == 0) return;
    XDestroyWindow(impl_->display, toWindow(window));
    XSync(impl_->display, False);
}

bool WindowProbe::exists(platform::WindowHandle window) {
    settle();
    XWindowAttributes attributes;
    // Asked on the library's connection, inside its error scope: a missing window
    // fails the request quietly there.
    platform::x11::RequestScope scope;
    return scope && XGetWindowAttributes(scope.display(), toWindow(window), &attributes) != 0;
}

void WindowProbe::settle() {
    platform::x11::RequestScope scope;
    if (Display* library = scope.display()) XSync(library, False);
    XSync(impl_->display, False);
}

std::vector<Rgb> WindowProbe::readClient(platform::WindowHandle window, int width, int height) {
    settle();
    std::vector<Rgb> pixels;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(impl_->display, toWindow(window), &attributes) || attributes.map_state != IsViewable) {
        return pixels;
    }
    XImage* image = XGetImage(impl_->display, toWindow(window), 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image) return pixels;
    const Visual* visual = attributes.visual;
    pixels.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            pixels.push_back({channel(p, visual->red_mask), channel(p, visual->green_mask),
                              channel(p, visual->blue_mask)});
        }
    }
    XDestroyImage(image);
    return pixels;
}

void WindowProbe::hide(platform::WindowHandle window) {
    XUnmapWindow(impl_->display, toWindow(window));
    settle();
}

void WindowProbe::show(platform::WindowHandle window) {
    XMapWindow(impl_->display, toWindow(window));
    settle();
}

void WindowProbe::resize(platform::WindowHandle window, int width, int height) {
    XResizeWindow(impl_->display, toWindow(window), static_cast<unsigned>(width), static_cast<unsigned>(height));
    settle();
}

platform::WindowHandle WindowProbe::firstChild(platform::WindowHandle parent) {
    settle();
    Window root = 0, parentOfParent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    platform::WindowHandle first = 0;
    if (XQueryTree(impl_->display, toWindow(parent), &root, &parentOfParent, &children, &count) && count > 0)
        first = children[0];
    if (children) XFree(children);
    return first;
}

bool WindowProbe::geometry(platform::WindowHandle window, int& x, int& y, int& width, int& height) {
    settle();
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(impl_->display, toWindow(window), &attributes)) return false;
    x = attributes.x;
    y = attributes.y;
    width = attributes.width;
    height = attributes.height;
    return true;
}

} // namespace orvix::test
