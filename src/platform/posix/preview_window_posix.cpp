// Preview windows on Linux: X11 windows on the library's shared connection.
//
// The connection has no event mask on these windows, so the server queues nothing
// for them except a window manager's close request (WM_DELETE_WINDOW), which is
// answered the next time the painter asks whether the window is visible.

#include "platform/preview_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/posix/x11_connection.h"

namespace orvix::platform {

namespace {

// The X protocol carries window sizes as 16-bit values and refuses 0.
constexpr std::int32_t kMaxWindowSide = 32767;

unsigned windowSide(std::int32_t side) { return static_cast<unsigned>(std::clamp(side, 1, kMaxWindowSide)); }

Window toWindow(WindowHandle window) { return static_cast<Window>(window); }

// ---- class names --------------------------------------------------------------------

std::mutex classMutex;
std::set<std::string>& registeredClasses() {
    static std::set<std::string> names;
    return names;
}

// ---- atoms ----------------------------------------------------------------------------

struct Atoms {
    Atom wmProtocols = None;
    Atom wmDeleteWindow = None;
    Atom netWmName = None;
    Atom utf8String = None;
};

const Atoms& atoms(Display* display) {
    static const Atoms cached = [display] {
        Atoms a;
        a.wmProtocols = XInternAtom(display, "WM_PROTOCOLS", False);
        a.wmDeleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
        a.netWmName = XInternAtom(display, "_NET_WM_NAME", False);
        a.utf8String = XInternAtom(display, "UTF8_STRING", False);
        return a;
    }();
    return cached;
}

bool attributesOf(Display* display, Window window, XWindowAttributes& attributes) {
    return window != 0 && XGetWindowAttributes(display, window, &attributes) != 0;
}

// Titles and class of a new preview window.
void describeWindow(Display* display, Window window, const char* title, const char* className) {
    XStoreName(display, window, title);
    const Atoms& a = atoms(display);
    XChangeProperty(display, window, a.netWmName, a.utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title), static_cast<int>(std::strlen(title)));
    std::string instanceName = "orvix";
    std::string classCopy = className ? className : "";
    XClassHint hint;
    hint.res_name = instanceName.data();
    hint.res_class = classCopy.data();
    XSetClassHint(display, window, &hint);
}

// Creates a window with a black background below `parent`, maps it and confirms that
// the server made it (errors on the shared connection are swallowed, so a refused
// request would otherwise go unnoticed).
Window createMappedWindow(Display* display, Window parent, const XWindowAttributes& parentAttributes,
                          const WindowBox& box, const char* title, const char* className, bool topLevel) {
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixelOfScreen(parentAttributes.screen);
    const Window window = XCreateWindow(display, parent, box.x, box.y, windowSide(box.width),
                                        windowSide(box.height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                        CWBackPixel, &attributes);
    if (window == 0) return 0;
    describeWindow(display, window, title, className);
    if (topLevel) {
        XSizeHints size{};
        size.flags = USPosition | USSize | PPosition | PSize;
        size.x = box.x;
        size.y = box.y;
        size.width = static_cast<int>(windowSide(box.width));
        size.height = static_cast<int>(windowSide(box.height));
        XSetWMNormalHints(display, window, &size);
        XWMHints wm{};
        wm.flags = InputHint | StateHint;
        wm.input = True;
        wm.initial_state = NormalState;
        XSetWMHints(display, window, &wm);
        Atom deleteWindow = atoms(display).wmDeleteWindow;
        XSetWMProtocols(display, window, &deleteWindow, 1);
    }
    XMapWindow(display, window);
    XWindowAttributes made;
    if (!attributesOf(display, window, made)) return 0;
    return window;
}

// A window manager asked to close the window: do what the default window procedure
// does on Windows and destroy it. The library's teardown later finds it gone.
void answerCloseRequests(Display* display, Window window) {
    const Atoms& a = atoms(display);
    XEvent event;
    while (XCheckTypedWindowEvent(display, window, ClientMessage, &event)) {
        if (event.xclient.message_type == a.wmProtocols &&
            static_cast<Atom>(event.xclient.data.l[0]) == a.wmDeleteWindow) {
            XDestroyWindow(display, window);
            XFlush(display);
        }
    }
}

} // namespace

// ---- window classes ---------------------------------------------------------------------

bool registerPreviewClass(const char* name) {
    if (!name || !*name || !x11::sharedDisplay()) return false;
    std::lock_guard<std::mutex> lock(classMutex);
    return registeredClasses().insert(name).second;
}

void unregisterPreviewClass(const char* name) {
    if (!name) return;
    std::lock_guard<std::mutex> lock(classMutex);
    registeredClasses().erase(name);
}

bool isPreviewClassRegistered(const char* name) {
    if (!name) return false;
    std::lock_guard<std::mutex> lock(classMutex);
    return registeredClasses().count(name) != 0;
}

// ---- windows ----------------------------------------------------------------------------

WindowHandle createChildPreviewWindow(const char* className, WindowHandle parent, const WindowBox& box) {
    Display* display = x11::sharedDisplay();
    if (!display || !isPreviewClassRegistered(className)) return 0;
    XWindowAttributes parentAttributes;
    if (!attributesOf(display, toWindow(parent), parentAttributes)) return 0;
    return createMappedWindow(display, toWindow(parent), parentAttributes, box, kChildPreviewTitle, className,
                              false);
}

bool centredTopLevelBox(std::int32_t clientWidth, std::int32_t clientHeight, WindowBox& box) {
    Display* display = x11::sharedDisplay();
    if (!display) return false;
    // X11 windows carry no frame of their own: the outer box is the client area.
    const int screen = DefaultScreen(display);
    box.width = clientWidth;
    box.height = clientHeight;
    box.x = (DisplayWidth(display, screen) - clientWidth) / 2;
    box.y = (DisplayHeight(display, screen) - clientHeight) / 2;
    return true;
}

WindowHandle createTopLevelPreviewWindow(const char* className, const WindowBox& box) {
    Display* display = x11::sharedDisplay();
    if (!display || !isPreviewClassRegistered(className)) return 0;
    const Window root = DefaultRootWindow(display);
    XWindowAttributes rootAttributes;
    if (!attributesOf(display, root, rootAttributes)) return 0;
    return createMappedWindow(display, root, rootAttributes, box, kTopLevelPreviewTitle, className, true);
}

bool showPreviewWindow(WindowHandle window) {
    Display* display = x11::sharedDisplay();
    if (!display || window == 0) return false;
    XMapWindow(display, toWindow(window));
    XWindowAttributes attributes;
    if (!attributesOf(display, toWindow(window), attributes)) return false;
    // Focus moves only to a top-level window that is already viewable (with a window
    // manager the map may still be pending; the manager then decides about focus).
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, toWindow(window), &root, &parent, &children, &count)) {
        if (children) XFree(children);
        if (parent == root && attributes.map_state == IsViewable) {
            XSetInputFocus(display, toWindow(window), RevertToParent, CurrentTime);
        }
    }
    XSync(display, False);
    return true;
}

void destroyPreviewWindow(WindowHandle window) {
    Display* display = x11::sharedDisplay();
    if (!display || window == 0) return;
    XDestroyWindow(display, toWindow(window));
    XSync(display, False);
}

bool isWindowVisible(WindowHandle window) {
    Display* display = x11::sharedDisplay();
    if (!display || window == 0) return false;
    answerCloseRequests(display, toWindow(window));
    XWindowAttributes attributes;
    return attributesOf(display, toWindow(window), attributes) && attributes.map_state == IsViewable;
}

bool clientSize(WindowHandle window, std::int32_t& width, std::int32_t& height) {
    width = 0;
    height = 0;
    Display* display = x11::sharedDisplay();
    XWindowAttributes attributes;
    if (!display || !attributesOf(display, toWindow(window), attributes)) return false;
    width = attributes.width;
    height = attributes.height;
    return true;
}

// ---- painting ---------------------------------------------------------------------------

namespace {

// How 8-bit red, green and blue values become pixel values of a TrueColor visual.
class PixelFormat {
public:
    bool load(const Visual* visual) {
        if (!visual || visual->c_class != TrueColor) return false;
        return loadChannel(visual->red_mask, red_) && loadChannel(visual->green_mask, green_) &&
               loadChannel(visual->blue_mask, blue_);
    }
    std::uint32_t pixel(std::uint8_t r, std::uint8_t g, std::uint8_t b) const { return red_[r] | green_[g] | blue_[b]; }

private:
    using Channel = std::uint32_t[256];

    static bool loadChannel(unsigned long mask, Channel& channel) {
        if (mask == 0 || mask > 0xFFFFFFFFul) return false;
        unsigned shift = 0;
        while (((mask >> shift) & 1u) == 0) ++shift;
        const unsigned long maximum = mask >> shift;
        if ((maximum & (maximum + 1)) != 0) return false; // not one contiguous run of bits
        for (unsigned v = 0; v < 256; ++v) {
            channel[v] = static_cast<std::uint32_t>(((v * maximum + 127) / 255) << shift);
        }
        return true;
    }

    Channel red_{};
    Channel green_{};
    Channel blue_{};
};

bool hostIsLittleEndian() {
    const std::uint32_t probe = 1;
    std::uint8_t first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

} // namespace

struct WindowDC::Impl {
    Display* display = nullptr;
    Window window = 0;
    GC gc = nullptr;
    Visual* visual = nullptr;
    int depth = 0;
    bool paintable = false; // the visual is one we convert to
    PixelFormat format;

    // The last frame, on the server, also the window's background.
    Pixmap frame = 0;
    std::int32_t frameWidth = 0;
    std::int32_t frameHeight = 0;

    // Client-side image of the frame being painted; its pixels live in `buffer`.
    XImage* image = nullptr;
    std::vector<char> buffer;
    bool wordPixels = false; // 32 bits per pixel in host byte order: stored directly

    ~Impl() {
        destroyImage();
        if (frame) {
            XSetWindowBackground(display, window, BlackPixel(display, DefaultScreen(display)));
            XFreePixmap(display, frame);
        }
        if (gc) XFreeGC(display, gc);
        XFlush(display);
    }

    void destroyImage() {
        if (!image) return;
        image->data = nullptr; // the buffer is ours
        XDestroyImage(image);
        image = nullptr;
    }

    // An image and a server pixmap of width × height, reused while the size stays.
    bool prepare(std::int32_t width, std::int32_t height) {
        if (!image || image->width != width || image->height != height) {
            destroyImage();
            image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
            if (!image) return false;
            wordPixels = image->bits_per_pixel == 32;
            if (wordPixels) {
                image->byte_order = hostIsLittleEndian() ? LSBFirst : MSBFirst;
                XInitImage(image);
            }
            buffer.assign(static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(height), 0);
            image->data = buffer.data();
        }
        if (!frame || frameWidth != width || frameHeight != height) {
            if (frame) XFreePixmap(display, frame);
            frame = XCreatePixmap(display, window, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                  static_cast<unsigned>(depth));
            frameWidth = width;
            frameHeight = height;
            XSetWindowBackgroundPixmap(display, window, frame);
        }
        return true;
    }

    void store(std::int32_t x, std::int32_t y, std::uint32_t pixel) {
        if (wordPixels) {
            char* at = buffer.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(image->bytes_per_line) +
                       static_cast<std::size_t>(x) * 4;
            std::memcpy(at, &pixel, 4);
        } else {
            XPutPixel(image, x, y, pixel);
        }
    }

    // Paints width × height pixels; window row y shows memory row rowOf(y).
    template <typename RowOf>
    void paint(const DibView& view, std::int32_t width, std::int32_t height, RowOf rowOf) {
        if (!paintable || !view.header || !view.bits) return;
        const int bitCount = view.header->bitCount;
        if (bitCount != 8 && bitCount != 24) return;
        if (bitCount == 8 && !view.colors) return;
        width = std::min({width, view.header->width, kMaxWindowSide});
        height = std::min({height, view.header->height, kMaxWindowSide});
        if (width <= 0 || height <= 0 || !prepare(width, height)) return;

        if (bitCount == 8) {
            std::uint32_t palette[kColorTableEntries];
            for (int i = 0; i < kColorTableEntries; ++i) {
                const ColorEntry& e = (*view.colors)[static_cast<std::size_t>(i)];
                palette[i] = format.pixel(e.red, e.green, e.blue);
            }
            for (std::int32_t y = 0; y < height; ++y) {
                const std::uint8_t* row = view.bits + static_cast<std::size_t>(rowOf(y)) * view.stride;
                for (std::int32_t x = 0; x < width; ++x) store(x, y, palette[row[x]]);
            }
        } else {
            for (std::int32_t y = 0; y < height; ++y) {
                const std::uint8_t* row = view.bits + static_cast<std::size_t>(rowOf(y)) * view.stride;
                for (std::int32_t x = 0; x < width; ++x) {
                    const std::uint8_t* p = row + static_cast<std::size_t>(x) * 3;
                    store(x, y, format.pixel(p[2], p[1], p[0]));
                }
            }
        }
        XPutImage(display, frame, gc, image, 0, 0, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height));
        XClearWindow(display, window); // shows the new background, the frame
        XFlush(display);
    }
};

std::unique_ptr<WindowDC> WindowDC::acquire(WindowHandle window) {
    Display* display = x11::sharedDisplay();
    XWindowAttributes attributes;
    if (!display || !attributesOf(display, toWindow(window), attributes)) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->display = display;
    impl->window = toWindow(window);
    impl->visual = attributes.visual;
    impl->depth = attributes.depth;
    impl->paintable = impl->format.load(attributes.visual);
    XGCValues values{};
    values.graphics_exposures = False; // no NoExpose events piling up on our connection
    impl->gc = XCreateGC(display, impl->window, GCGraphicsExposures, &values);
    if (!impl->gc) return nullptr;
    return std::unique_ptr<WindowDC>(new WindowDC(std::move(impl)));
}

WindowDC::WindowDC(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
WindowDC::~WindowDC() = default;

WindowHandle WindowDC::window() const { return impl_->window; }

void WindowDC::copyMirrored(const DibView& image, std::int32_t width, std::int32_t height) {
    impl_->paint(image, width, height, [](std::int32_t y) { return y; });
}

void WindowDC::setBits(const DibView& image, std::int32_t width, std::int32_t height) {
    // A bottom-up bitmap set from its first scan line: the window's bottom row is
    // memory row 0.
    const std::int32_t rows = std::min(height, image.header ? image.header->height : 0);
    impl_->paint(image, width, height, [rows](std::int32_t y) { return rows - 1 - y; });
}

} // namespace orvix::platform
