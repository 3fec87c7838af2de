// Preview windows on X11 as another client of the server sees them: placement,
// parent, titles and class, the top-level window's size and centring, failures
// without a display or with a bad parent, a window manager's close request, and
// frames painted through every upload path (a pixmap shared with the server, or an
// image sent over the connection when the server has no shared memory; a window
// larger than the screen painted where it can be seen), read back pixel for pixel.
//
// With ORVIX_PREVIEW_SCREENSHOT=<file.ppm> the painted top-level window is also
// written out as a picture.

#include <gtest/gtest.h>

#include <algorithm>
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
    void SetUp() override {
        ASSERT_NE(peer.display(), nullptr) << "needs an X server (run under xvfb-run)";
        ASSERT_TRUE(preview.allocateDisplay());
    }
    void TearDown() override { preview.close(); }

    X11Peer peer;
    test::WindowProbe probe;
    PreviewWindow preview;
};

TEST_F(PreviewWindowX11Test, ChildWindowSitsInTheParentWithItsTitleAndClass) {
    const platform::WindowHandle parent = probe.createAppWindow(800, 600);
    ASSERT_EQ(preview.open(parent, PreviewRect{10, 20, 640, 480}, 0, 0), PreviewWindow::OpenResult::Opened);
    const platform::WindowHandle window = preview.handle();

    const X11Peer::Placement p = peer.placement(window);
    EXPECT_EQ(p.parent, parent);
    EXPECT_EQ(p.x, 10);
    EXPECT_EQ(p.y, 20);
    EXPECT_EQ(p.width, 640u);
    EXPECT_EQ(p.height, 480u);
    EXPECT_EQ(peer.wmName(window), "ActiveMovie Window");
    EXPECT_EQ(peer.utf8Property(window, "_NET_WM_NAME"), "ActiveMovie Window");
    EXPECT_EQ(peer.windowClass(window), preview.className());

    EXPECT_TRUE(platform::isWindowVisible(window));
    std::int32_t width = 0, height = 0;
    EXPECT_TRUE(platform::clientSize(window, width, height));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);

    preview.close();
    EXPECT_FALSE(probe.exists(window));
    probe.destroyWindow(parent);
}

TEST_F(PreviewWindowX11Test, TopLevelWindowHasTheImageSizeCentredOnTheScreen) {
    const int screenWidth = DisplayWidth(peer.display(), DefaultScreen(peer.display()));
    const int screenHeight = DisplayHeight(peer.display(), DefaultScreen(peer.display()));
    struct Case {
        int width, height;
    };
    for (const Case c : {Case{680, 512}, Case{340, 256}, Case{1360, 1024}}) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        ASSERT_EQ(preview.open(0, PreviewRect{}, c.width, c.height), PreviewWindow::OpenResult::Opened);
        const platform::WindowHandle window = preview.handle();

        const X11Peer::Placement p = peer.placement(window);
        EXPECT_EQ(p.parent, DefaultRootWindow(peer.display()));
        EXPECT_EQ(p.width, static_cast<unsigned>(c.width));
        EXPECT_EQ(p.height, static_cast<unsigned>(c.height));
        EXPECT_EQ(p.x, (screenWidth - c.width) / 2);
        EXPECT_EQ(p.y, (screenHeight - c.height) / 2);
        EXPECT_EQ(peer.wmName(window), "Active Window");
        EXPECT_EQ(peer.utf8Property(window, "_NET_WM_NAME"), "Active Window");
        EXPECT_TRUE(peer.hasDeleteProtocol(window));
        EXPECT_TRUE(platform::isWindowVisible(window));
        preview.close();
    }
}

TEST_F(PreviewWindowX11Test, ABadParentMakesNoWindowAndCloseUnregistersTheClass) {
    EXPECT_EQ(preview.open(0x7FFFFFF0u, PreviewRect{0, 0, 64, 48}, 0, 0), PreviewWindow::OpenResult::NoWindow);
    EXPECT_FALSE(preview.isOpen());
    const std::string name = preview.className();
    EXPECT_EQ(platform::WindowDC::acquire(0x7FFFFFF0u), nullptr);
    preview.close();
    if (!name.empty()) {
        EXPECT_FALSE(platform::isPreviewClassRegistered(name.c_str()));
    }
    EXPECT_EQ(preview.className(), "");
}

// A frame that shows at a glance which way up it is: colour bars in the upper half
// (memory rows 0 to height / 2 - 1), a gray ramp from left to right in the lower half.
std::unique_ptr<Surface> barsFrame(int width, int height) {
    static const test::Rgb kBars[] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                      {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    auto made = std::make_unique<Surface>();
    Surface& image = *made;
    EXPECT_TRUE(image.create(width, height, 24));
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
    return made;
}

TEST_F(PreviewWindowX11Test, WindowManagerCloseRequestDestroysTheWindow) {
    ASSERT_EQ(preview.open(0, PreviewRect{}, 340, 256), PreviewWindow::OpenResult::Opened);
    const platform::WindowHandle window = preview.handle();

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(window);
    event.xclient.message_type = XInternAtom(peer.display(), "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(peer.display(), "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(peer.display(), static_cast<Window>(window), False, NoEventMask, &event);
    peer.sync();

    EXPECT_FALSE(platform::isWindowVisible(window));
    EXPECT_FALSE(probe.exists(window));
    // Frames into a window that is gone: nothing reaches it, at the window's size or not.
    EXPECT_FALSE(preview.paint(*barsFrame(340, 256), false, false));
    EXPECT_FALSE(preview.paint(*barsFrame(340, 256), false, true));
    const std::string name = preview.className();
    preview.close();
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
    ASSERT_EQ(preview.open(0, PreviewRect{}, 680, 512), PreviewWindow::OpenResult::Opened);
    preview.paint(*barsFrame(680, 512), false, false);

    const std::vector<test::Rgb> shown = probe.readClient(preview.handle(), 680, 512);
    ASSERT_EQ(shown.size(), 680u * 512u);
    const auto at = [&](int x, int y) { return shown[static_cast<std::size_t>(y * 680 + x)]; };
    EXPECT_EQ(at(5, 5), (test::Rgb{255, 255, 255}));
    EXPECT_EQ(at(680 * 5 / 8 + 5, 100), (test::Rgb{255, 0, 0}));
    EXPECT_EQ(at(679, 300), (test::Rgb{255, 255, 255}));
    EXPECT_EQ(at(0, 511), (test::Rgb{0, 0, 0}));

    if (const char* path = std::getenv("ORVIX_PREVIEW_SCREENSHOT")) writePpm(path, shown, 680, 512);
}

// ---- painted pixels, exactly ------------------------------------------------------------

// A value for every pixel that differs from its neighbours'.
std::uint8_t levelAt(int x, int y, int seed) { return static_cast<std::uint8_t>(x * 29 + y * 53 + seed); }
test::Rgb colourAt(int x, int y, int seed) {
    return {levelAt(x, y, seed), static_cast<std::uint8_t>(x * 7 + y * 91 + 3 * seed),
            static_cast<std::uint8_t>(x * 113 + y * 5 + 11)};
}

// An 8-bit image through `colors`, or a 24-bit one.
std::unique_ptr<Surface> patternImage(int width, int height, int bits, const platform::ColorTable* colors, int seed) {
    auto made = std::make_unique<Surface>();
    Surface& image = *made;
    EXPECT_TRUE(image.create(width, height, static_cast<std::uint16_t>(bits)));
    if (bits == 8) image.setColorTable(Surface::kColorTableModeEntries, colors->data(), 0, platform::kColorTableEntries);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.bits() + static_cast<std::size_t>(y) * image.stride();
        for (int x = 0; x < width; ++x) {
            if (bits == 8) {
                row[x] = levelAt(x, y, seed);
            } else {
                const test::Rgb c = colourAt(x, y, seed);
                row[3 * x] = c.b;
                row[3 * x + 1] = c.g;
                row[3 * x + 2] = c.r;
            }
        }
    }
    return made;
}

// A colour table that is not the gray ramp: entry i is (i, 255 - i, i / 2).
platform::ColorTable colouredTable() {
    platform::ColorTable table{};
    for (int i = 0; i < platform::kColorTableEntries; ++i)
        table[static_cast<std::size_t>(i)] =
            platform::ColorEntry{static_cast<std::uint8_t>(i / 2), static_cast<std::uint8_t>(255 - i),
                                 static_cast<std::uint8_t>(i), 0};
    return table;
}

test::Rgb shownFor(const Surface& image, int bits, const platform::ColorTable* colors, int x, int memoryRow) {
    const std::uint8_t* p = image.bits() + static_cast<std::size_t>(memoryRow) * image.stride() +
                            static_cast<std::size_t>(x) * static_cast<std::size_t>(bits / 8);
    if (bits == 24) return {p[2], p[1], p[0]};
    const platform::ColorEntry& e = (*colors)[p[0]];
    return {e.red, e.green, e.blue};
}

// Paints `image` into a child window of width x height and compares the part of it
// that is on the screen (up to maxRead across and down) with what each pixel should
// show: source column x * image width / window width, memory row likewise, row 0 at
// the top.
void expectPaintedExactly(test::WindowProbe& probe, PreviewWindow& preview, const std::unique_ptr<Surface>& made,
                          int bits, const platform::ColorTable* colors, int width, int height) {
    const Surface& image = *made;
    const platform::WindowHandle parent = probe.createAppWindow(std::min(width, 1900), std::min(height, 1100));
    ASSERT_EQ(preview.open(parent, PreviewRect{0, 0, width, height}, 0, 0), PreviewWindow::OpenResult::Opened);
    probe.settle();
    preview.paint(image, bits == 8, false);
    const int readWidth = std::min(width, 1900), readHeight = std::min(height, 1100);
    const std::vector<test::Rgb> shown = probe.readClient(preview.handle(), readWidth, readHeight);
    ASSERT_EQ(shown.size(), static_cast<std::size_t>(readWidth) * static_cast<std::size_t>(readHeight));
    int wrong = 0;
    for (int y = 0; y < readHeight; ++y) {
        for (int x = 0; x < readWidth; ++x) {
            const int sx = static_cast<int>(static_cast<long long>(x) * image.width() / width);
            const int sy = static_cast<int>(static_cast<long long>(y) * image.height() / height);
            const test::Rgb want = shownFor(image, bits, colors, sx, sy);
            const test::Rgb got = shown[static_cast<std::size_t>(y) * static_cast<std::size_t>(readWidth) +
                                        static_cast<std::size_t>(x)];
            if (got != want && ++wrong <= 3)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") of " << width << " x " << height << " shows "
                              << test::describe(got) << ", not " << test::describe(want);
        }
    }
    EXPECT_EQ(wrong, 0);
    preview.close();
    probe.destroyWindow(parent);
}

TEST_F(PreviewWindowX11Test, EveryPixelOfTheImageReachesTheWindowAtEveryWidth) {
    // Widths around the 16-pixel steps of the row conversions.
    const platform::ColorTable gray = platform::grayRamp();
    const platform::ColorTable coloured = colouredTable();
    for (int width : {1, 2, 7, 15, 16, 17, 31, 33, 64, 100}) {
        SCOPED_TRACE("width " + std::to_string(width));
        expectPaintedExactly(probe, preview, patternImage(width, 3, 24, nullptr, width), 24, nullptr, width, 3);
        expectPaintedExactly(probe, preview, patternImage(width, 3, 8, &gray, width), 8, &gray, width, 3);
        expectPaintedExactly(probe, preview, patternImage(width, 3, 8, &coloured, width), 8, &coloured, width, 3);
    }
}

TEST_F(PreviewWindowX11Test, ScaledFramesAreStretchedIntoTheWindow) {
    const platform::ColorTable gray = platform::grayRamp();
    expectPaintedExactly(probe, preview, patternImage(40, 30, 24, nullptr, 1), 24, nullptr, 80, 60);
    expectPaintedExactly(probe, preview, patternImage(40, 30, 8, &gray, 2), 8, &gray, 120, 90);
}

TEST_F(PreviewWindowX11Test, AWindowLargerThanTheScreenIsPaintedWhereItCanBeSeen) {
    const int screenWidth = DisplayWidth(peer.display(), DefaultScreen(peer.display()));
    const int screenHeight = DisplayHeight(peer.display(), DefaultScreen(peer.display()));
    const int width = screenWidth + 301, height = screenHeight + 7;
    expectPaintedExactly(probe, preview, patternImage(width / 2, height, 24, nullptr, 3), 24, nullptr, width, height);
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
            PreviewWindow preview;
            const bool topLevelFails = preview.open(0, PreviewRect{}, 640, 480) == PreviewWindow::OpenResult::NoWindow;
            const bool childFails =
                preview.open(1234, PreviewRect{0, 0, 64, 48}, 0, 0) == PreviewWindow::OpenResult::NoWindow;
            const bool nothingRegistered = preview.className().empty();
            const bool noDc = platform::WindowDC::acquire(1234) == nullptr;
            std::exit(topLevelFails && childFails && nothingRegistered && noDc ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace orvix
