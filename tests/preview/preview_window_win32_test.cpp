// Preview windows on Windows as the system reports them: the class, the child
// window's id, style, title and place, the top-level window's client area and
// centring, a minimised window, and a bad parent.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "camera/camera.h"
#include "imaging/surface.h"
#include "platform/preview_window.h"
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
        camera.closePreviewWindow();
        probe.destroyWindow(parent);
    }

    test::WindowProbe probe;
    Camera camera;
    platform::WindowHandle parent = 0;
};

TEST_F(PreviewWindowWin32Test, ChildWindowHasItsIdStyleTitleAndPlace) {
    parent = probe.createAppWindow(800, 600);
    camera.previewWindow = camera.createPreviewWindow(parent, PreviewRect{10, 20, 640, 480});
    ASSERT_NE(camera.previewWindow, 0u);
    HWND w = hwndOf(camera.previewWindow);

    EXPECT_EQ(GetDlgCtrlID(w), 6540);
    EXPECT_EQ(GetParent(w), hwndOf(parent));
    EXPECT_EQ(titleOf(w), "ActiveMovie Window");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE)), 0x52000000u);
    EXPECT_EQ(GetWindowLongA(w, GWL_EXSTYLE), 0);
    char className[256] = {};
    GetClassNameA(w, className, sizeof(className));
    EXPECT_STREQ(className, camera.previewClassName);

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
    parent = probe.createAppWindow(200, 100);
    camera.previewWindow = camera.createPreviewWindow(parent, PreviewRect{0, 0, 64, 48});
    ASSERT_NE(camera.previewWindow, 0u);

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), camera.previewClassName, &wc));
    EXPECT_EQ(wc.style, 0u);
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.cbWndExtra, 0);
    EXPECT_EQ(wc.hIcon, nullptr);
    EXPECT_EQ(wc.lpszMenuName, nullptr);
    EXPECT_EQ(wc.hCursor, LoadCursorA(nullptr, MAKEINTRESOURCEA(0x7F00)));
    EXPECT_EQ(wc.hbrBackground, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(reinterpret_cast<void*>(GetClassLongPtrA(hwndOf(camera.previewWindow), GCLP_WNDPROC)),
              reinterpret_cast<void*>(&DefWindowProcA));
    EXPECT_EQ(reinterpret_cast<HINSTANCE>(GetClassLongPtrA(hwndOf(camera.previewWindow), GCLP_HMODULE)),
              GetModuleHandleA(nullptr));
}

TEST_F(PreviewWindowWin32Test, TopLevelClientAreaIsTheSubSampledImageSizeCentred) {
    camera.subSample = 1; // 1360 × 1024 → 680 × 512
    camera.previewWindow = camera.createPreviewWindow(0, camera.previewRect);
    ASSERT_NE(camera.previewWindow, 0u);
    HWND w = hwndOf(camera.previewWindow);

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
}

TEST_F(PreviewWindowWin32Test, MinimisedWindowHasNoClientAreaAndIsNotPainted) {
    camera.subSample = 3; // 170 × 128
    camera.previewWindow = camera.createPreviewWindow(0, camera.previewRect);
    ASSERT_NE(camera.previewWindow, 0u);
    camera.previewDC = platform::WindowDC::acquire(camera.previewWindow);
    ASSERT_NE(camera.previewDC, nullptr);
    camera.colorType = 2;
    camera.surface24 = std::make_unique<Surface>();
    ASSERT_TRUE(camera.surface24->create(170, 128, 24));

    ShowWindow(hwndOf(camera.previewWindow), SW_MINIMIZE);
    probe.settle();
    std::int32_t width = -1, height = -1;
    platform::clientSize(camera.previewWindow, width, height);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    camera.paintPreview();
    // Neither path ran: the scaled one would have sized a display Surface.
    EXPECT_EQ(camera.displaySurface, nullptr);
}

TEST_F(PreviewWindowWin32Test, HeapBackedImageIsStillPaintedTheRightWayUp) {
    // Without a memory DC there is nothing to stretch from; the same pixels are set
    // from the image memory instead.
    parent = probe.createAppWindow(200, 100);
    camera.previewWindow = camera.createPreviewWindow(parent, PreviewRect{0, 0, 5, 3});
    ASSERT_NE(camera.previewWindow, 0u);
    camera.previewDC = platform::WindowDC::acquire(camera.previewWindow);
    ASSERT_NE(camera.previewDC, nullptr);
    camera.colorType = 2;
    camera.surface24 = std::make_unique<Surface>();
    platform::setBitmapFaultsForTesting(platform::kRefuseSection);
    const bool created = camera.surface24->create(5, 3, 24);
    platform::setBitmapFaultsForTesting(0);
    ASSERT_TRUE(created);
    ASSERT_EQ(camera.surface24->memoryDc(), 0u);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            std::uint8_t* p = camera.surface24->bits() + y * camera.surface24->stride() + 3 * x;
            p[0] = static_cast<std::uint8_t>(10 * x); // blue
            p[1] = static_cast<std::uint8_t>(80 * y); // green
            p[2] = 200;                               // red
        }
    }
    probe.settle();
    camera.paintPreview();
    const std::vector<test::Rgb> shown = probe.readClient(camera.previewWindow, 5, 3);
    ASSERT_EQ(shown.size(), 15u);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const test::Rgb want{200, static_cast<std::uint8_t>(80 * y), static_cast<std::uint8_t>(10 * x)};
            EXPECT_EQ(shown[static_cast<std::size_t>(y * 5 + x)], want) << x << ", " << y;
        }
    }
    EXPECT_EQ(camera.displaySurface, nullptr);
}

TEST_F(PreviewWindowWin32Test, ABadParentFailsAndItsClassWaitsForClose) {
    EXPECT_EQ(camera.createPreviewWindow(0x7FFFFFF0u, PreviewRect{0, 0, 64, 48}), 0u);
    const std::string name = camera.previewClassName;
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(platform::isPreviewClassRegistered(name.c_str()));
    camera.closePreviewWindow();
    EXPECT_FALSE(platform::isPreviewClassRegistered(name.c_str()));
}

} // namespace
} // namespace orvix
