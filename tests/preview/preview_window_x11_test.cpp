// Preview windows on X11 as another client of the server sees them: placement,
// parent, titles and class, the top-level window's size and centring, failures
// without a display or with a bad parent, and a window manager's close request.
//
// With ORVIX_PREVIEW_SCREENSHOT=<file.ppm> the painted top-level window is also
// written out as a picture.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "camera/camera.h"
#include "capture/preview_window.h"
#include "imaging/surface.h"
#include "platform/preview_window.h"
#include "preview/started_camera.h"
#include "preview/window_probe.h"

// Last: Xlib's macros (None, Status, ...) would clash with names in the headers above.
#include "platform/posix/x11_connection.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace orvix {
namespace {

class X11Peer {
public:
    X11Peer() : display_(XOpenDisplay(nullptr)) {}
    ~X11Peer() {
        if (display_) XCloseDisplay(display_);
    }
    X11Peer(const X11Peer&) = delete;
    X11Peer& operator=(const X11Peer&) = delete;

    Display* display() const { return display_; }
    void sync() {
        XSync(platform::x11::sharedDisplay(), False);
        XSync(display_, False);
    }

    struct Placement {
        int x = 0, y = 0;
        unsigned width = 0, height = 0;
        Window parent = 0;
    };
    Placement placement(Window w) {
        sync();
        Placement p;
        Window root = 0;
        unsigned border = 0, depth = 0;
        XGetGeometry(display_, w, &root, &p.x, &p.y, &p.width, &p.height, &border, &depth);
        Window* children = nullptr;
        unsigned count = 0;
        XQueryTree(display_, w, &root, &p.parent, &children, &count);
        if (children) XFree(children);
        return p;
    }

    std::string wmName(Window w) {
        char* name = nullptr;
        std::string result;
        if (XFetchName(display_, w, &name) && name) {
            result = name;
            XFree(name);
        }
        return result;
    }

    std::string utf8Property(Window w, const char* property) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::string result;
        if (XGetWindowProperty(display_, w, XInternAtom(display_, property, False), 0, 1024, False,
                               XInternAtom(display_, "UTF8_STRING", False), &type, &format, &count, &after,
                               &data) == Success &&
            data) {
            result.assign(reinterpret_cast<char*>(data), count);
            XFree(data);
        }
        return result;
    }

    std::string windowClass(Window w) {
        XClassHint hint{};
        std::string result;
        if (XGetClassHint(display_, w, &hint)) {
            if (hint.res_class) result = hint.res_class;
            XFree(hint.res_name);
            XFree(hint.res_class);
        }
        return result;
    }

    bool hasDeleteProtocol(Window w) {
        Atom* protocols = nullptr;
        int count = 0;
        bool found = false;
        if (XGetWMProtocols(display_, w, &protocols, &count)) {
            const Atom deleteWindow = XInternAtom(display_, "WM_DELETE_WINDOW", False);
            for (int i = 0; i < count; ++i) found = found || protocols[i] == deleteWindow;
            XFree(protocols);
        }
        return found;
    }

private:
    Display* display_;
};

class PreviewWindowX11Test : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(peer.display(), nullptr) << "needs an X server (run under xvfb-run)"; }
    void TearDown() override { window.close(); }

    X11Peer peer;
    test::WindowProbe probe;
    PreviewWindow window;
};

TEST_F(PreviewWindowX11Test, ChildWindowSitsInTheParentWithItsTitleAndClass) {
    const platform::WindowHandle parent = probe.createAppWindow(800, 600);
    ASSERT_EQ(window.open(parent, PreviewRect{10, 20, 640, 480}, 1360, 1024), PreviewWindow::OpenResult::Opened);
    const platform::WindowHandle child = window.handle();
    ASSERT_NE(child, 0u);

    const X11Peer::Placement p = peer.placement(child);
    EXPECT_EQ(p.parent, parent);
    EXPECT_EQ(p.x, 10);
    EXPECT_EQ(p.y, 20);
    EXPECT_EQ(p.width, 640u);
    EXPECT_EQ(p.height, 480u);
    EXPECT_EQ(peer.wmName(child), "ActiveMovie Window");
    EXPECT_EQ(peer.utf8Property(child, "_NET_WM_NAME"), "ActiveMovie Window");
    EXPECT_EQ(peer.windowClass(child), window.className());

    EXPECT_TRUE(platform::isWindowVisible(child));
    std::int32_t width = 0, height = 0;
    EXPECT_TRUE(platform::clientSize(child, width, height));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);

    window.close();
    EXPECT_FALSE(probe.exists(child));
    probe.destroyWindow(parent);
}

TEST_F(PreviewWindowX11Test, ABadParentFailsAndItsClassWaitsForClose) {
    EXPECT_EQ(window.open(0x7FFFFFF0u, PreviewRect{0, 0, 64, 48}, 64, 48), PreviewWindow::OpenResult::NoWindow);
    EXPECT_FALSE(window.isOpen());
    const std::string name = window.className();
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(platform::isPreviewClassRegistered(name.c_str()));
    EXPECT_EQ(platform::WindowDC::acquire(0x7FFFFFF0u), nullptr);
    window.close();
    EXPECT_FALSE(platform::isPreviewClassRegistered(name.c_str()));
}

// A 24-bit frame of the given size: colour bars in the upper half (memory rows 0 to
// height / 2 - 1), a gray ramp from left to right in the lower half, so it shows at
// a glance which way up it is.
void loadBarsFrame(Surface& image, int width, int height) {
    static const test::Rgb kBars[] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                      {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    ASSERT_TRUE(image.create(width, height, 24));
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.bits() + static_cast<std::size_t>(y) * image.stride();
        for (int x = 0; x < width; ++x) {
            test::Rgb c = kBars[x * 8 / width];
            if (y >= height / 2) {
                const auto g = static_cast<std::uint8_t>(x * 255 / (width - 1));
                c = {g, g, g};
            }
            row[3 * x] = c.b;
            row[3 * x + 1] = c.g;
            row[3 * x + 2] = c.r;
        }
    }
}

TEST_F(PreviewWindowX11Test, WindowManagerCloseRequestDestroysTheWindow) {
    ASSERT_EQ(window.open(0, PreviewRect{}, 340, 256), PreviewWindow::OpenResult::Opened);
    const platform::WindowHandle shown = window.handle();

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(shown);
    event.xclient.message_type = XInternAtom(peer.display(), "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(peer.display(), "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(peer.display(), static_cast<Window>(shown), False, NoEventMask, &event);
    peer.sync();

    EXPECT_FALSE(platform::isWindowVisible(shown));
    EXPECT_FALSE(probe.exists(shown));
    // Frames into a window that is gone: nothing happens, at the window's size or not.
    Surface frame;
    loadBarsFrame(frame, 340, 256);
    EXPECT_FALSE(window.paint(frame, false, false));
    EXPECT_FALSE(window.paint(frame, false, true));
    const std::string name = window.className();
    window.close();
    EXPECT_FALSE(platform::isPreviewClassRegistered(name.c_str()));
}

void writePpm(const char* path, const std::vector<test::Rgb>& pixels, int width, int height) {
    FILE* f = std::fopen(path, "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fprintf(f, "P6\n%d %d\n255\n", width, height);
    for (const test::Rgb& p : pixels) {
        const unsigned char rgb[3] = {p.r, p.g, p.b};
        std::fwrite(rgb, 1, 3, f);
    }
    std::fclose(f);
}

TEST_F(PreviewWindowX11Test, TopLevelWindowShowsTheFrameTheRightWayUp) {
    // The window of a capture at sub-sample 1: 1360 x 1024 -> 680 x 512.
    ASSERT_EQ(window.open(0, PreviewRect{}, 680, 512), PreviewWindow::OpenResult::Opened);
    Surface frame;
    loadBarsFrame(frame, 680, 512);
    EXPECT_TRUE(window.paint(frame, false, false));

    const std::vector<test::Rgb> shown = probe.readClient(window.handle(), 680, 512);
    ASSERT_EQ(shown.size(), 680u * 512u);
    const auto at = [&](int x, int y) { return shown[static_cast<std::size_t>(y * 680 + x)]; };
    EXPECT_EQ(at(5, 5), (test::Rgb{255, 255, 255}));
    EXPECT_EQ(at(680 * 5 / 8 + 5, 100), (test::Rgb{255, 0, 0}));
    EXPECT_EQ(at(679, 300), (test::Rgb{255, 255, 255}));
    EXPECT_EQ(at(0, 511), (test::Rgb{0, 0, 0}));

    if (const char* path = std::getenv("ORVIX_PREVIEW_SCREENSHOT")) writePpm(path, shown, 680, 512);
}

// The window of the library's own that a preview opens, through the Camera and the
// emulated camera.
class CameraPreviewX11Test : public test::StartedCamera {
protected:
    void SetUp() override {
        ASSERT_NE(peer.display(), nullptr) << "needs an X server (run under xvfb-run)";
        StartedCamera::SetUp();
    }

    X11Peer peer;
    test::WindowProbe probe;
};

TEST_F(CameraPreviewX11Test, TopLevelWindowHasTheSubSampledImageSizeCentredOnTheScreen) {
    const int screenWidth = DisplayWidth(peer.display(), DefaultScreen(peer.display()));
    const int screenHeight = DisplayHeight(peer.display(), DefaultScreen(peer.display()));
    struct Case {
        int subSample, windowWidth, windowHeight, width, height;
    };
    // The image size comes from the capture window's effective size, not the totals.
    for (const Case c : {Case{1, 1360, 1024, 680, 512}, Case{2, 1360, 1024, 340, 256}, Case{0, 1360, 1024, 1360, 1024},
                         Case{1, 640, 480, 320, 240}}) {
        SCOPED_TRACE("sub-sample " + std::to_string(c.subSample) + ", window " + std::to_string(c.windowWidth));
        ASSERT_EQ(camera().setCaptureWindowEx(1360, 0, c.windowWidth, 1024, 0, c.windowHeight), 1);
        ASSERT_EQ(camera().setSubSample(c.subSample), 1);
        ASSERT_EQ(camera().preview(), 1);
        const platform::WindowHandle shown = camera().previewWindow();
        ASSERT_NE(shown, 0u);

        const X11Peer::Placement p = peer.placement(shown);
        EXPECT_EQ(p.parent, DefaultRootWindow(peer.display()));
        EXPECT_EQ(p.width, static_cast<unsigned>(c.width));
        EXPECT_EQ(p.height, static_cast<unsigned>(c.height));
        EXPECT_EQ(p.x, (screenWidth - c.width) / 2);
        EXPECT_EQ(p.y, (screenHeight - c.height) / 2);
        EXPECT_EQ(peer.wmName(shown), "Active Window");
        EXPECT_EQ(peer.utf8Property(shown, "_NET_WM_NAME"), "Active Window");
        EXPECT_TRUE(peer.hasDeleteProtocol(shown));
        EXPECT_TRUE(platform::isWindowVisible(shown));
        EXPECT_EQ(camera().close(), 1);
        EXPECT_EQ(camera().previewWindow(), 0u);
        EXPECT_FALSE(probe.exists(shown));
    }
}

TEST(PreviewWindowWithoutDisplay, CreationFails) {
    // Only meaningful before the library opened its connection, so the child is a
    // fresh run of this program rather than a fork of it.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            PreviewWindow window;
            const bool topLevelFails = window.open(0, PreviewRect{}, 1360, 1024) == PreviewWindow::OpenResult::NoWindow;
            const bool childFails =
                window.open(1234, PreviewRect{0, 0, 64, 48}, 64, 48) == PreviewWindow::OpenResult::NoWindow;
            const bool nothingRegistered = window.className().empty() && !window.isOpen();
            const bool noDc = platform::WindowDC::acquire(1234) == nullptr;
            std::exit(topLevelFails && childFails && nothingRegistered && noDc ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace orvix
