// Preview windows on X11 as another client of the server sees them: placement,
// parent, titles and class, the top-level window's size and centring, failures
// without a display or with a bad parent, and a window manager's close request.
//
// With ORVIX_PREVIEW_SCREENSHOT=<file.ppm> the painted top-level window is also
// written out as a picture.

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "camera/camera.h"
#include "imaging/surface.h"
#include "platform/posix/x11_connection.h"
#include "platform/preview_window.h"
#include "preview/window_probe.h"

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
        {
            platform::x11::RequestScope scope;
            XSync(scope.display(), False);
        }
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
    void TearDown() override { camera.closePreviewWindow(); }

    X11Peer peer;
    test::WindowProbe probe;
    Camera camera;
};

TEST_F(PreviewWindowX11Test, ChildWindowSitsInTheParentWithItsTitleAndClass) {
    const platform::WindowHandle parent = probe.createAppWindow(800, 600);
    const platform::WindowHandle window = camera.createPreviewWindow(parent, PreviewRect{10, 20, 640, 480});
    ASSERT_NE(window, 0u);

    const X11Peer::Placement p = peer.placement(window);
    EXPECT_EQ(p.parent, parent);
    EXPECT_EQ(p.x, 10);
    EXPECT_EQ(p.y, 20);
    EXPECT_EQ(p.width, 640u);
    EXPECT_EQ(p.height, 480u);
    EXPECT_EQ(peer.wmName(window), "ActiveMovie Window");
    EXPECT_EQ(peer.utf8Property(window, "_NET_WM_NAME"), "ActiveMovie Window");
    EXPECT_EQ(peer.windowClass(window), camera.previewClassName);

    EXPECT_TRUE(platform::isWindowVisible(window));
    std::int32_t width = 0, height = 0;
    EXPECT_TRUE(platform::clientSize(window, width, height));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);

    camera.previewWindow = window;
    camera.closePreviewWindow();
    probe.destroyWindow(parent);
}

TEST_F(PreviewWindowX11Test, TopLevelWindowHasTheSubSampledImageSizeCentredOnTheScreen) {
    const int screenWidth = DisplayWidth(peer.display(), DefaultScreen(peer.display()));
    const int screenHeight = DisplayHeight(peer.display(), DefaultScreen(peer.display()));
    struct Case {
        int subSample, width, height;
    };
    for (const Case c : {Case{1, 680, 512}, Case{2, 340, 256}, Case{0, 1360, 1024}}) {
        SCOPED_TRACE("sub-sample " + std::to_string(c.subSample));
        camera.subSample = c.subSample;
        camera.previewWindow = camera.createPreviewWindow(0, camera.previewRect);
        ASSERT_NE(camera.previewWindow, 0u);

        const X11Peer::Placement p = peer.placement(camera.previewWindow);
        EXPECT_EQ(p.parent, DefaultRootWindow(peer.display()));
        EXPECT_EQ(p.width, static_cast<unsigned>(c.width));
        EXPECT_EQ(p.height, static_cast<unsigned>(c.height));
        EXPECT_EQ(p.x, (screenWidth - c.width) / 2);
        EXPECT_EQ(p.y, (screenHeight - c.height) / 2);
        EXPECT_EQ(peer.wmName(camera.previewWindow), "Active Window");
        EXPECT_EQ(peer.utf8Property(camera.previewWindow, "_NET_WM_NAME"), "Active Window");
        EXPECT_TRUE(peer.hasDeleteProtocol(camera.previewWindow));
        EXPECT_TRUE(platform::isWindowVisible(camera.previewWindow));
        camera.closePreviewWindow();
    }
}

TEST_F(PreviewWindowX11Test, ABadParentFailsAndItsClassWaitsForClose) {
    EXPECT_EQ(camera.createPreviewWindow(0x7FFFFFF0u, PreviewRect{0, 0, 64, 48}), 0u);
    const std::string name = camera.previewClassName;
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(platform::isPreviewClassRegistered(name.c_str()));
    EXPECT_EQ(platform::WindowDC::acquire(0x7FFFFFF0u), nullptr);
    camera.closePreviewWindow();
    EXPECT_FALSE(platform::isPreviewClassRegistered(name.c_str()));
}

TEST_F(PreviewWindowX11Test, WindowManagerCloseRequestDestroysTheWindow) {
    camera.subSample = 2;
    camera.previewWindow = camera.createPreviewWindow(0, camera.previewRect);
    ASSERT_NE(camera.previewWindow, 0u);
    camera.previewDC = platform::WindowDC::acquire(camera.previewWindow);

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(camera.previewWindow);
    event.xclient.message_type = XInternAtom(peer.display(), "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(peer.display(), "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(peer.display(), static_cast<Window>(camera.previewWindow), False, NoEventMask, &event);
    peer.sync();

    EXPECT_FALSE(platform::isWindowVisible(camera.previewWindow));
    EXPECT_FALSE(probe.exists(camera.previewWindow));
    camera.paintPreview(); // into a window that is gone: nothing happens
    const std::string name = camera.previewClassName;
    camera.closePreviewWindow();
    EXPECT_FALSE(platform::isPreviewClassRegistered(name.c_str()));
}

// A frame that shows at a glance which way up it is: colour bars in the upper half
// (memory rows 0 to 255), a gray ramp from left to right in the lower half.
void loadBarsFrame(Camera& camera, int width, int height) {
    static const test::Rgb kBars[] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                      {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    camera.colorType = 2;
    camera.surface24 = std::make_unique<Surface>();
    ASSERT_TRUE(camera.surface24->create(width, height, 24));
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = camera.surface24->bits() + static_cast<std::size_t>(y) * camera.surface24->stride();
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
    camera.subSample = 1; // 1360 × 1024 → 680 × 512
    camera.previewWindow = camera.createPreviewWindow(0, camera.previewRect);
    ASSERT_NE(camera.previewWindow, 0u);
    camera.previewDC = platform::WindowDC::acquire(camera.previewWindow);
    ASSERT_NE(camera.previewDC, nullptr);
    loadBarsFrame(camera, 680, 512);
    camera.paintPreview();

    const std::vector<test::Rgb> shown = probe.readClient(camera.previewWindow, 680, 512);
    ASSERT_EQ(shown.size(), 680u * 512u);
    const auto at = [&](int x, int y) { return shown[static_cast<std::size_t>(y * 680 + x)]; };
    EXPECT_EQ(at(5, 5), (test::Rgb{255, 255, 255}));
    EXPECT_EQ(at(680 * 5 / 8 + 5, 100), (test::Rgb{255, 0, 0}));
    EXPECT_EQ(at(679, 300), (test::Rgb{255, 255, 255}));
    EXPECT_EQ(at(0, 511), (test::Rgb{0, 0, 0}));

    if (const char* path = std::getenv("ORVIX_PREVIEW_SCREENSHOT")) writePpm(path, shown, 680, 512);
}

TEST(PreviewWindowWithoutDisplay, CreationFails) {
    // Only meaningful before the library opened its connection, so the child is a
    // fresh run of this program rather than a fork of it.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            Camera camera;
            const bool topLevelFails = camera.createPreviewWindow(0, camera.previewRect) == 0;
            const bool childFails = camera.createPreviewWindow(1234, PreviewRect{0, 0, 64, 48}) == 0;
            const bool nothingRegistered = camera.previewClassName[0] == '\0';
            const bool noDc = platform::WindowDC::acquire(1234) == nullptr;
            std::exit(topLevelFails && childFails && nothingRegistered && noDc ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace orvix
