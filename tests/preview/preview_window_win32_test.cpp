// Preview windows on Windows as the system reports them: the class, the child
// window's id, style, title and place, the top-level window's client area and
// centring, a minimised window, and a bad parent.

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "camera/camera.h"
#include "capture/preview_window.h"
#include "imaging/surface.h"
#include "platform/preview_window.h"
#include "preview/started_camera.h"
#include "preview/window_probe.h"

namespace orvix {
namespace {

HWND hwndOf(platform::WindowHandle w) { return reinterpret_cast<HWND>(w); }

std::string titleOf(HWND w) {
    char text[256] = {};
    GetWindowTextA(w, text, sizeof(text));
    return text;
}

class PreviewWindowWin32Test : public ::testing::Test {
protected:
    void TearDown() override {
        window.close();
        probe.destroyWindow(parent);
    }

    void openChild(int width, int height, const PreviewRect& rect) {
        parent = probe.createAppWindow(width, height);
        ASSERT_EQ(window.open(parent, rect, 1360, 1024), PreviewWindow::OpenResult::Opened);
        ASSERT_NE(window.handle(), 0u);
    }

    test::WindowProbe probe;
    PreviewWindow window;
    platform::WindowHandle parent = 0;
};

TEST_F(PreviewWindowWin32Test, ChildWindowHasItsIdStyleTitleAndPlace) {
    openChild(800, 600, PreviewRect{10, 20, 640, 480});
    HWND w = hwndOf(window.handle());

    EXPECT_EQ(GetDlgCtrlID(w), 6540);
    EXPECT_EQ(GetParent(w), hwndOf(parent));
    EXPECT_EQ(titleOf(w), "ActiveMovie Window");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE)), 0x52000000u);
    EXPECT_EQ(GetWindowLongA(w, GWL_EXSTYLE), 0);
    char className[256] = {};
    GetClassNameA(w, className, sizeof(className));
    EXPECT_EQ(className, window.className());

    RECT r{};
    GetWindowRect(w, &r);
    MapWindowPoints(HWND_DESKTOP, hwndOf(parent), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.right - r.left, 640);
    EXPECT_EQ(r.bottom - r.top, 480);
    EXPECT_TRUE(IsWindowVisible(w));
}

TEST_F(PreviewWindowWin32Test, ClassHasTheDefaultProcedureArrowCursorAndBlackBackground) {
    openChild(200, 100, PreviewRect{0, 0, 64, 48});

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), window.className().c_str(), &wc));
    EXPECT_EQ(wc.style, 0u);
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.cbWndExtra, 0);
    EXPECT_EQ(wc.hIcon, nullptr);
    EXPECT_EQ(wc.lpszMenuName, nullptr);
    EXPECT_EQ(wc.hCursor, LoadCursorA(nullptr, MAKEINTRESOURCEA(0x7F00)));
    EXPECT_EQ(wc.hbrBackground, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(reinterpret_cast<void*>(GetClassLongPtrA(hwndOf(window.handle()), GCLP_WNDPROC)),
              reinterpret_cast<void*>(&DefWindowProcA));
    EXPECT_EQ(reinterpret_cast<HINSTANCE>(GetClassLongPtrA(hwndOf(window.handle()), GCLP_HMODULE)),
              GetModuleHandleA(nullptr));
}

// A 24-bit image with a distinct colour at every pixel of its first rows.
void loadGradient(Surface& image, int width, int height) {
    ASSERT_TRUE(image.create(width, height, 24));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = image.bits() + y * image.stride() + 3 * x;
            p[0] = static_cast<std::uint8_t>(10 * x); // blue
            p[1] = static_cast<std::uint8_t>(80 * y); // green
            p[2] = 200;                               // red
        }
    }
}

TEST_F(PreviewWindowWin32Test, MinimisedWindowHasNoClientAreaAndIsNotPainted) {
    ASSERT_EQ(window.open(0, PreviewRect{}, 170, 128), PreviewWindow::OpenResult::Opened);
    ASSERT_TRUE(window.allocateDisplay());
    Surface frame;
    loadGradient(frame, 170, 128);

    ShowWindow(hwndOf(window.handle()), SW_MINIMIZE);
    probe.settle();
    std::int32_t width = -1, height = -1;
    platform::clientSize(window.handle(), width, height);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    // Neither path runs, the scaled one included (it would size a display Surface
    // for an empty client area).
    window.prepareDisplay(false);
    EXPECT_FALSE(window.paint(frame, false, false));
    EXPECT_FALSE(window.paint(frame, false, true));

    ShowWindow(hwndOf(window.handle()), SW_RESTORE);
    probe.settle();
    EXPECT_TRUE(window.paint(frame, false, false));
}

TEST_F(PreviewWindowWin32Test, HeapBackedImageIsStillPaintedTheRightWayUp) {
    // Without a memory DC there is nothing to stretch from; the same pixels are set
    // from the image memory instead. The window has no display Surface object, so
    // only that straight path can paint it.
    openChild(200, 100, PreviewRect{0, 0, 5, 3});
    Surface frame;
    platform::setBitmapFaultsForTesting(platform::kRefuseSection);
    loadGradient(frame, 5, 3);
    platform::setBitmapFaultsForTesting(0);
    ASSERT_FALSE(frame.isEmpty());
    ASSERT_EQ(frame.memoryDc(), 0u);
    probe.settle();
    EXPECT_TRUE(window.paint(frame, false, false));
    const std::vector<test::Rgb> shown = probe.readClient(window.handle(), 5, 3);
    ASSERT_EQ(shown.size(), 15u);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const test::Rgb want{200, static_cast<std::uint8_t>(80 * y), static_cast<std::uint8_t>(10 * x)};
            EXPECT_EQ(shown[static_cast<std::size_t>(y * 5 + x)], want) << x << ", " << y;
        }
    }
}

TEST_F(PreviewWindowWin32Test, ABadParentFailsAndItsClassWaitsForClose) {
    EXPECT_EQ(window.open(0x7FFFFFF0u, PreviewRect{0, 0, 64, 48}, 64, 48), PreviewWindow::OpenResult::NoWindow);
    EXPECT_FALSE(window.isOpen());
    const std::string name = window.className();
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(platform::isPreviewClassRegistered(name.c_str()));
    window.close();
    EXPECT_FALSE(platform::isPreviewClassRegistered(name.c_str()));
}

// The window of the library's own that a preview opens, through the Camera and the
// emulated camera.
class CameraPreviewWin32Test : public test::StartedCamera {};

TEST_F(CameraPreviewWin32Test, TopLevelClientAreaIsTheSubSampledImageSizeCentred) {
    ASSERT_EQ(camera().setSubSample(1), 1); // 1360 x 1024 -> 680 x 512
    ASSERT_EQ(camera().preview(), 1);
    ASSERT_NE(camera().previewWindow(), 0u);
    HWND w = hwndOf(camera().previewWindow());

    EXPECT_EQ(GetParent(w), nullptr);
    EXPECT_EQ(titleOf(w), "Active Window");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE)) & 0x16CF0000u, 0x16CF0000u);
    RECT client{};
    GetClientRect(w, &client);
    EXPECT_EQ(client.right, 680);
    EXPECT_EQ(client.bottom, 512);

    RECT outer{};
    GetWindowRect(w, &outer);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2);

    EXPECT_EQ(camera().close(), 1);
    EXPECT_EQ(camera().previewWindow(), 0u);
    EXPECT_FALSE(IsWindow(w));
}

} // namespace
} // namespace orvix
