// Preview windows on Linux: X11 windows on the library's shared connection.
//
// The connection has no event mask on these windows, so the server queues nothing
// for them except a window manager's close request (WM_DELETE_WINDOW), which is
// answered the next time the painter asks whether the window is visible. Every
// request runs inside an x11::RequestScope: an application window that is gone
// fails the request quietly.

#include "platform/preview_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "platform/posix/x11_connection.h"
#include "platform/posix/x11_frame_image.h"
#include "platform/posix/x11_pixel_rows.h"

namespace orvix::platform {

namespace {

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

void describeTopLevel(Display* display, Window window, const WindowBox& box) {
    XSizeHints size{};
    size.flags = USPosition | USSize | PPosition | PSize;
    size.x = box.x;
    size.y = box.y;
    size.width = box.width;
    size.height = box.height;
    XSetWMNormalHints(display, window, &size);
    XWMHints wm{};
    wm.flags = InputHint | StateHint;
    wm.input = True;
    wm.initial_state = NormalState;
    XSetWMHints(display, window, &wm);
    Atom deleteWindow = atoms(display).wmDeleteWindow;
    XSetWMProtocols(display, window, &deleteWindow, 1);
}

// Creates a window with a black background below `parent` and maps it. The server's
// answer decides: a parent that went away in the meantime fails the creation.
Window createMappedWindow(Display* display, Window parent, const XWindowAttributes& parentAttributes,
                          const WindowBox& requested, const char* title, const char* className, bool topLevel) {
    const WindowBox box = clampedToX11(requested);
    x11::RequestScope scope;
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixelOfScreen(parentAttributes.screen);
    const Window window = XCreateWindow(display, parent, box.x, box.y, static_cast<unsigned>(box.width),
                                        static_cast<unsigned>(box.height), 0, CopyFromParent, InputOutput,
                                        CopyFromParent, CWBackPixel, &attributes);
    if (window == 0) return 0;
    describeWindow(display, window, title, className);
    if (topLevel) describeTopLevel(display, window, box);
    XMapWindow(display, window);
    if (scope.succeeded()) return window;
    XDestroyWindow(display, window); // in case only a later request failed
    return 0;
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
    x11::RequestScope scope;
    Display* display = scope.display();
    if (!display || !isPreviewClassRegistered(className)) return 0;
    XWindowAttributes parentAttributes;
    if (!attributesOf(display, toWindow(parent), parentAttributes)) return 0;
    return createMappedWindow(display, toWindow(parent), parentAttributes, box, kChildPreviewTitle, className,
                              false);
}

bool centredTopLevelBox(std::int32_t clientWidth, std::int32_t clientHeight, WindowBox& box) {
    x11::RequestScope scope;
    Display* display = scope.display();
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
    x11::RequestScope scope;
    Display* display = scope.display();
    if (!display || !isPreviewClassRegistered(className)) return 0;
    const Window root = DefaultRootWindow(display);
    XWindowAttributes rootAttributes;
    if (!attributesOf(display, root, rootAttributes)) return 0;
    return createMappedWindow(display, root, rootAttributes, box, kTopLevelPreviewTitle, className, true);
}

bool showPreviewWindow(WindowHandle window) {
    x11::RequestScope scope;
    Display* display = scope.display();
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
    x11::RequestScope scope;
    Display* display = scope.display();
    if (!display || window == 0) return;
    // Already gone with its parent, or destroyed at a window manager's request: the
    // request fails quietly.
    XDestroyWindow(display, toWindow(window));
    XSync(display, False);
}

bool isWindowVisible(WindowHandle window) {
    x11::RequestScope scope;
    Display* display = scope.display();
    if (!display || window == 0) return false;
    answerCloseRequests(display, toWindow(window));
    XWindowAttributes attributes;
    return attributesOf(display, toWindow(window), attributes) && attributes.map_state == IsViewable;
}

bool clientSize(WindowHandle window, std::int32_t& width, std::int32_t& height) {
    width = 0;
    height = 0;
    x11::RequestScope scope;
    Display* display = scope.display();
    XWindowAttributes attributes;
    if (!display || !attributesOf(display, toWindow(window), attributes)) return false;
    width = attributes.width;
    height = attributes.height;
    return true;
}

// ---- painting ---------------------------------------------------------------------------

namespace {

// A part of a window, in window coordinates.
struct Area {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool isEmpty() const { return width <= 0 || height <= 0; }
};

} // namespace

struct WindowDC::Impl {
    Display* display = nullptr;
    Window window = 0;
    Window root = 0;
    int screenWidth = 0;
    int screenHeight = 0;
    GC gc = nullptr;
    Visual* visual = nullptr;
    int depth = 0;
    bool paintable = false; // the visual is one we convert to
    x11::PixelRows rows;

    // The window's background: the last frame, on the server (0: black).
    Pixmap background = 0;
    // A pixmap of our own that holds the last frame, when the staging image cannot
    // be a pixmap itself.
    Pixmap ownFrame = 0;
    int ownFrameWidth = 0;
    int ownFrameHeight = 0;

    // Where frames are converted before they go to the server. Frames painted whole
    // into shared pixmaps take the two in turn: while the server paints the window
    // from one, the next frame is written into the other. Bands use the first.
    std::unique_ptr<x11::FrameImage> staging[2];
    int shownStaging = -1; // the one the window's background is, when painted whole

    ~Impl() {
        x11::RequestScope scope;
        setBackground(0);
        dropOwnFrame();
        for (auto& image : staging) image.reset();
        if (gc) XFreeGC(display, gc);
    }

    void setBackground(Pixmap pixmap) {
        if (pixmap == background) return;
        if (pixmap)
            XSetWindowBackgroundPixmap(display, window, pixmap);
        else
            XSetWindowBackground(display, window, BlackPixel(display, DefaultScreen(display)));
        background = pixmap;
    }

    void dropOwnFrame() {
        if (!ownFrame) return;
        if (background == ownFrame) setBackground(0);
        XFreePixmap(display, ownFrame);
        ownFrame = 0;
    }

    // A pixmap of our own of the image's size; false when the server cannot make it.
    bool keepOwnFrame(int width, int height) {
        if (ownFrame && ownFrameWidth == width && ownFrameHeight == height) return true;
        dropOwnFrame();
        x11::RequestScope made;
        const Pixmap pixmap = XCreatePixmap(display, window, static_cast<unsigned>(width),
                                            static_cast<unsigned>(height), static_cast<unsigned>(depth));
        if (!made.succeeded()) {
            XFreePixmap(display, pixmap);
            return false;
        }
        ownFrame = pixmap;
        ownFrameWidth = width;
        ownFrameHeight = height;
        return true;
    }

    // The part of a width x height image at the window's origin that can be seen: all
    // of it when it is no larger than the screen, else the part over the screen.
    Area visibleArea(int width, int height) {
        if (width <= screenWidth && height <= screenHeight) return {0, 0, width, height};
        int originX = 0, originY = 0;
        Window child = 0;
        if (!XTranslateCoordinates(display, window, root, 0, 0, &originX, &originY, &child)) return {};
        const int left = std::max(0, -originX);
        const int top = std::max(0, -originY);
        const int right = std::min(width, screenWidth - originX);
        const int bottom = std::min(height, screenHeight - originY);
        return {left, top, right - left, bottom - top};
    }

    // Converts rows [top, top + count) of the area into rows 0.. of the staging image.
    template <typename RowOf>
    void convertRows(x11::FrameImage& into, const DibView& view, const Area& area, int top, int count, RowOf rowOf) {
        XImage& image = into.image();
        const int bitCount = view.header->bitCount;
        const std::size_t firstByte = static_cast<std::size_t>(area.x) * static_cast<std::size_t>(bitCount / 8);
        for (int j = 0; j < count; ++j) {
            const std::uint8_t* source =
                view.bits + static_cast<std::size_t>(rowOf(area.y + top + j)) * view.stride + firstByte;
            if (bitCount == 8)
                rows.row8(image, j, source, area.width);
            else
                rows.row24(image, j, source, area.width);
        }
    }

    // An image this window can show: 8-bit with its colours, or 24-bit.
    bool canPaint(const DibView& view) const {
        if (!paintable || !view.header || !view.bits) return false;
        const int bitCount = view.header->bitCount;
        return bitCount == 24 || (bitCount == 8 && view.colors);
    }

    // Converts the whole width x height image into the pixmap after the one shown; its
    // index, or -1 when the server shares no pixmap that can hold it.
    template <typename RowOf>
    int convertIntoNextPixmap(const DibView& view, int width, int height, RowOf rowOf) {
        const int next = shownStaging == 0 ? 1 : 0;
        x11::FrameImage& frame = *staging[next];
        if (!frame.preparePixmap(visual, depth, width, height, window)) return -1;
        convertRows(frame, view, Area{0, 0, width, height}, 0, height, rowOf);
        return next;
    }

    // Makes pixmap `next`, its frame converted, the window's background and paints
    // the window from it. The caller has waited until the server handled every request
    // before: the server no longer paints from the other pixmap, which is free for the
    // frame after this one.
    void show(int next) {
        staging[1 - next]->serverHasRead();
        setBackground(staging[next]->pixmap());
        XClearWindow(display, window);
        staging[next]->serverReads();
        shownStaging = next;
    }

    // paint() of the whole image into the other pixmap, for a window that should
    // still be viewable at width x height, as it was painted last time: the frame is
    // converted first and the window asked after (a round trip, which also waits for
    // the server to finish painting the frame before). False, with nothing shown,
    // when the window has changed or the last paint did not go this way.
    template <typename RowOf>
    bool paintIfStill(const DibView& view, std::int32_t width, std::int32_t height, RowOf rowOf) {
        if (!canPaint(view) || shownStaging < 0) return false;
        // Only a window painted whole at this size last time: anything else would make
        // the other pixmap anew for nothing.
        const XImage& shown = staging[shownStaging]->image();
        if (shown.width != width || shown.height != height) return false;
        if (width <= 0 || height <= 0 || width > view.header->width || height > view.header->height ||
            width > screenWidth || height > screenHeight)
            return false;
        x11::RequestScope scope;
        if (view.header->bitCount == 8) rows.setColors(*view.colors);
        const int next = convertIntoNextPixmap(view, width, height, rowOf);
        if (next < 0) return false;
        answerCloseRequests(display, window);
        XWindowAttributes attributes;
        if (!attributesOf(display, window, attributes) || attributes.map_state != IsViewable ||
            attributes.width != width || attributes.height != height)
            return false;
        show(next);
        return true;
    }

    // Paints width x height pixels; window row y shows memory row rowOf(y).
    template <typename RowOf>
    void paint(const DibView& view, std::int32_t width, std::int32_t height, RowOf rowOf) {
        if (!canPaint(view)) return;
        width = std::min(width, view.header->width);
        height = std::min(height, view.header->height);
        if (width <= 0 || height <= 0) return;

        x11::RequestScope scope;
        const Area area = visibleArea(width, height);
        if (area.isEmpty()) return;
        if (view.header->bitCount == 8) rows.setColors(*view.colors);
        for (auto& image : staging)
            if (!image) image = std::make_unique<x11::FrameImage>(display);

        // A window that fits the screen keeps the frame as its background: at best
        // written straight into a pixmap the server shares with us.
        const bool whole = area.width == width && area.height == height;
        if (whole) {
            const int next = convertIntoNextPixmap(view, width, height, rowOf);
            if (next >= 0) {
                dropOwnFrame();
                XSync(display, False);
                show(next);
                return;
            }
        }
        shownStaging = -1;
        x11::FrameImage& bands = *staging[0];
        // Otherwise converted in bands and uploaded: into a pixmap of our own, or, for
        // a window larger than the screen, straight into the part that can be seen.
        Drawable target = window;
        if (whole && keepOwnFrame(width, height))
            target = ownFrame;
        else
            dropOwnFrame();
        const int bandRows =
            static_cast<int>(std::clamp<std::int64_t>(x11::kMaxFrameImagePixels / area.width, 1, area.height));
        for (int top = 0; top < area.height; top += bandRows) {
            if (!bands.prepare(visual, depth, area.width, bandRows)) return;
            const int count = std::min(bandRows, area.height - top);
            convertRows(bands, view, area, top, count, rowOf);
            bands.upload(target, gc, area.x, area.y + top, count);
        }
        if (target == ownFrame) {
            setBackground(ownFrame);
            XClearWindow(display, window); // shows the new background, the frame
        } else {
            setBackground(0);
        }
    }
};

std::unique_ptr<WindowDC> WindowDC::acquire(WindowHandle window) {
    x11::RequestScope scope;
    Display* display = scope.display();
    XWindowAttributes attributes;
    if (!display || !attributesOf(display, toWindow(window), attributes)) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->display = display;
    impl->window = toWindow(window);
    impl->root = attributes.root;
    impl->screenWidth = WidthOfScreen(attributes.screen);
    impl->screenHeight = HeightOfScreen(attributes.screen);
    impl->visual = attributes.visual;
    impl->depth = attributes.depth;
    impl->paintable = impl->rows.load(attributes.visual);
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

bool WindowDC::copyMirroredIfStill(const DibView& image, std::int32_t width, std::int32_t height) {
    return impl_->paintIfStill(image, width, height, [](std::int32_t y) { return y; });
}

void WindowDC::setBits(const DibView& image, std::int32_t width, std::int32_t height) {
    // A bottom-up bitmap set from its first scan line: the window's bottom row is
    // memory row 0.
    const std::int32_t rows = std::min(height, image.header ? image.header->height : 0);
    impl_->paint(image, width, height, [rows](std::int32_t y) { return rows - 1 - y; });
}

} // namespace orvix::platform
