// Preview windows on Windows: a window class per window, child or top-level windows
// made on the calling thread, and a kept window DC that GDI paints through from the
// capture thread.

#include "platform/preview_window.h"

#include <windows.h>

#include <cstring>

namespace orvix::platform {

namespace {

HWND toHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }
WindowHandle toHandle(HWND window) { return reinterpret_cast<WindowHandle>(window); }

HINSTANCE applicationModule() { return GetModuleHandleA(nullptr); }

// BITMAPINFO with room for a full colour table.
struct BitmapInfoWithTable {
    BITMAPINFOHEADER header;
    RGBQUAD colors[kColorTableEntries];
};
static_assert(sizeof(BITMAPINFOHEADER) == sizeof(BitmapInfoHeader), "header layouts must agree");

// The bitmap information GDI needs for `image`: its header, and for 8 bits its
// colour table. `height` overrides the header's height (negative: top-down).
void fillBitmapInfo(const DibView& image, LONG height, BitmapInfoWithTable& info) {
    std::memcpy(&info.header, image.header, sizeof(info.header));
    info.header.biHeight = height;
    if (image.header->bitCount == 8 && image.colors) {
        std::memcpy(info.colors, image.colors->data(), sizeof(info.colors));
    }
}

// GDI implementations disagree by one row on where a stretch with a negative source
// height starts: Windows reads the rows above the edge at ySrc, some compatible
// implementations include row ySrc itself. Mirroring a two-row bitmap once tells
// which origin, h or h - 1, puts memory row 0 of an h-row bitmap at the top.
LONG mirroredSourceOriginOffset() {
    static const LONG offset = [] {
        struct Pixel {
            std::uint8_t b, g, r, x;
        };
        auto makeSection = [](LONG height, void** bits) {
            BITMAPINFO info{};
            info.bmiHeader.biSize = sizeof(info.bmiHeader);
            info.bmiHeader.biWidth = 1;
            info.bmiHeader.biHeight = height;
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 32;
            return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
        };
        void* sourceBits = nullptr;
        void* targetBits = nullptr;
        HBITMAP source = makeSection(2, &sourceBits);   // bottom-up
        HBITMAP target = makeSection(-2, &targetBits);  // top-down: memory row 0 is the top
        HDC sourceDc = CreateCompatibleDC(nullptr);
        HDC targetDc = CreateCompatibleDC(nullptr);
        LONG found = 0;
        if (source && target && sourceDc && targetDc && sourceBits && targetBits) {
            HGDIOBJ oldSource = SelectObject(sourceDc, source);
            HGDIOBJ oldTarget = SelectObject(targetDc, target);
            auto* from = static_cast<Pixel*>(sourceBits);
            from[0] = {0, 0, 255, 0}; // memory row 0: red
            from[1] = {255, 0, 0, 0}; // memory row 1: blue
            for (LONG offset : {0, 1}) {
                auto* to = static_cast<Pixel*>(targetBits);
                to[0] = to[1] = Pixel{};
                StretchBlt(targetDc, 0, 0, 1, 2, sourceDc, 0, 2 - offset, 1, -2, SRCCOPY);
                GdiFlush();
                if (to[0].r == 255 && to[0].b == 0 && to[1].b == 255 && to[1].r == 0) {
                    found = offset;
                    break;
                }
            }
            SelectObject(sourceDc, oldSource);
            SelectObject(targetDc, oldTarget);
        }
        if (sourceDc) DeleteDC(sourceDc);
        if (targetDc) DeleteDC(targetDc);
        if (source) DeleteObject(source);
        if (target) DeleteObject(target);
        return found;
    }();
    return offset;
}

bool isPaintable(const DibView& image) {
    return image.header && image.bits && (image.header->bitCount == 8 || image.header->bitCount == 24);
}

} // namespace

// ---- window classes ---------------------------------------------------------------------

bool registerPreviewClass(const char* name) {
    if (!name || !*name) return false;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.style = 0;
    wc.lpfnWndProc = DefWindowProcA;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = applicationModule();
    wc.hIcon = nullptr;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(0x7F00)); // IDC_ARROW
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = name;
    wc.hIconSm = nullptr;
    return RegisterClassExA(&wc) != 0;
}

void unregisterPreviewClass(const char* name) {
    if (name && *name) UnregisterClassA(name, applicationModule());
}

bool isPreviewClassRegistered(const char* name) {
    if (!name || !*name) return false;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    return GetClassInfoExA(applicationModule(), name, &wc) != FALSE;
}

// ---- windows ----------------------------------------------------------------------------

WindowHandle createChildPreviewWindow(const char* className, WindowHandle parent, const WindowBox& requested) {
    if (parent == 0) return 0;
    const WindowBox box = clampedToWin32(requested);
    HWND window = CreateWindowExA(0, className, kChildPreviewTitle, kChildPreviewStyle, box.x, box.y, box.width,
                                  box.height, toHwnd(parent),
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kChildPreviewId)),
                                  applicationModule(), nullptr);
    return toHandle(window);
}

bool centredTopLevelBox(std::int32_t clientWidth, std::int32_t clientHeight, WindowBox& box) {
    RECT r{0, 0, clientWidth, clientHeight};
    if (!AdjustWindowRectEx(&r, kTopLevelPreviewStyle, FALSE, 0)) return false;
    box.width = r.right - r.left;
    box.height = r.bottom - r.top;
    box.x = (GetSystemMetrics(SM_CXSCREEN) + r.left - r.right) / 2;
    box.y = (GetSystemMetrics(SM_CYSCREEN) + r.top - r.bottom) / 2;
    return true;
}

WindowHandle createTopLevelPreviewWindow(const char* className, const WindowBox& box) {
    HWND window = CreateWindowExA(0, className, kTopLevelPreviewTitle, kTopLevelPreviewStyle, box.x, box.y,
                                  box.width, box.height, nullptr, nullptr, applicationModule(), nullptr);
    return toHandle(window);
}

bool showPreviewWindow(WindowHandle window) {
    HWND hwnd = toHwnd(window);
    SetFocus(hwnd);
    ShowWindow(hwnd, SW_SHOW);
    return UpdateWindow(hwnd) != FALSE;
}

void destroyPreviewWindow(WindowHandle window) {
    if (window == 0) return;
    HWND hwnd = toHwnd(window);
    if (DestroyWindow(hwnd)) return;
    // Only the thread that made a window may destroy it; from another thread, ask the
    // owner to close it (the default window procedure then destroys it).
    if (IsWindow(hwnd)) PostMessageA(hwnd, WM_CLOSE, 0, 0);
}

bool isWindowVisible(WindowHandle window) { return window != 0 && IsWindowVisible(toHwnd(window)) != FALSE; }

bool clientSize(WindowHandle window, std::int32_t& width, std::int32_t& height) {
    width = 0;
    height = 0;
    RECT r{};
    if (window == 0 || !GetClientRect(toHwnd(window), &r)) return false;
    width = r.right - r.left;
    height = r.bottom - r.top;
    return true;
}

// ---- painting ---------------------------------------------------------------------------

struct WindowDC::Impl {
    HWND window = nullptr;
    HDC dc = nullptr;

    ~Impl() {
        if (dc) ReleaseDC(window, dc);
    }
};

std::unique_ptr<WindowDC> WindowDC::acquire(WindowHandle window) {
    if (window == 0 || !IsWindow(toHwnd(window))) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->window = toHwnd(window);
    impl->dc = GetDC(impl->window);
    if (!impl->dc) return nullptr;
    return std::unique_ptr<WindowDC>(new WindowDC(std::move(impl)));
}

WindowDC::WindowDC(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
WindowDC::~WindowDC() = default;

WindowHandle WindowDC::window() const { return toHandle(impl_->window); }

bool WindowDC::copyMirroredIfStill(const DibView& image, std::int32_t width, std::int32_t height) {
    // Asking a window is cheap here: ask first.
    std::int32_t clientWidth = 0;
    std::int32_t clientHeight = 0;
    const WindowHandle handle = toHandle(impl_->window);
    if (!isWindowVisible(handle) || !clientSize(handle, clientWidth, clientHeight) || clientWidth != width ||
        clientHeight != height)
        return false;
    copyMirrored(image, width, height);
    return true;
}

void WindowDC::copyMirrored(const DibView& image, std::int32_t width, std::int32_t height) {
    if (!isPaintable(image)) return;
    const LONG imageWidth = image.header->width;
    const LONG imageHeight = image.header->height;
    HDC source = reinterpret_cast<HDC>(image.memoryDc);
    if (source) {
        // Starting at the bottom edge with a negative height flips the bottom-up
        // section, so memory row 0 lands on the window's top row.
        StretchBlt(impl_->dc, 0, 0, width, height, source, 0, imageHeight - mirroredSourceOriginOffset(), imageWidth,
                   -imageHeight, SRCCOPY);
        return;
    }
    // Heap pixels have no memory DC: the same picture, declared top-down.
    BitmapInfoWithTable info{};
    fillBitmapInfo(image, -imageHeight, info);
    SetDIBitsToDevice(impl_->dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                      static_cast<UINT>(imageHeight), image.bits, reinterpret_cast<const BITMAPINFO*>(&info),
                      DIB_RGB_COLORS);
}

void WindowDC::setBits(const DibView& image, std::int32_t width, std::int32_t height) {
    if (!isPaintable(image)) return;
    BitmapInfoWithTable info{};
    fillBitmapInfo(image, image.header->height, info);
    SetDIBitsToDevice(impl_->dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                      static_cast<UINT>(image.header->height), image.bits,
                      reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS);
}

} // namespace orvix::platform
