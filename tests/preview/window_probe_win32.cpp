// Window probe on Windows: application windows of the test thread, and the client
// area read back through a BitBlt into a top-down 32-bit section.

#include "preview/window_probe.h"

#include <windows.h>

namespace orvix::test {

struct WindowProbe::Impl {};

namespace {

HWND toHwnd(platform::WindowHandle w) { return reinterpret_cast<HWND>(w); }

constexpr const char* kAppClass = "OrvixProbeAppWindow";

void registerAppClass() {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(0x7F00));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kAppClass;
    RegisterClassExA(&wc); // fails harmlessly when already registered
}

} // namespace

WindowProbe::WindowProbe() : impl_(std::make_unique<Impl>()) { registerAppClass(); }
WindowProbe::~WindowProbe() = default;

bool WindowProbe::ok() const { return true; }

platform::WindowHandle WindowProbe::createAppWindow(int width, int height) {
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN;
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, style, FALSE, 0);
    HWND w = CreateWindowExA(0, kAppClass, "probe", style, 0, 0, r.right - r.left, r.bottom - r.top, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
    settle();
    return reinterpret_cast<platform::WindowHandle>(w);
}

void WindowProbe::destroyWindow(platform::WindowHandle window) {
    if (window) DestroyWindow(toHwnd(window));
    settle();
}

bool WindowProbe::exists(platform::WindowHandle window) { return window && IsWindow(toHwnd(window)); }

void WindowProbe::settle() {
    GdiFlush();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

std::vector<Rgb> WindowProbe::readClient(platform::WindowHandle window, int width, int height) {
    GdiFlush();
    std::vector<Rgb> pixels;
    HDC windowDc = GetDC(toHwnd(window));
    if (!windowDc) return pixels;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(windowDc);
    HGDIOBJ previous = SelectObject(memory, section);
    BitBlt(memory, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* p = static_cast<const std::uint8_t*>(bits);
    pixels.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int i = 0; i < width * height; ++i, p += 4) pixels.push_back({p[2], p[1], p[0]});
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(section);
    ReleaseDC(toHwnd(window), windowDc);
    return pixels;
}

void WindowProbe::hide(platform::WindowHandle window) {
    ShowWindow(toHwnd(window), SW_HIDE);
    GdiFlush();
}

void WindowProbe::show(platform::WindowHandle window) {
    ShowWindow(toHwnd(window), SW_SHOWNA);
    GdiFlush();
}

void WindowProbe::resize(platform::WindowHandle window, int width, int height) {
    SetWindowPos(toHwnd(window), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    settle();
}

platform::WindowHandle WindowProbe::firstChild(platform::WindowHandle parent) {
    settle();
    return reinterpret_cast<platform::WindowHandle>(FindWindowExA(toHwnd(parent), nullptr, nullptr, nullptr));
}

bool WindowProbe::geometry(platform::WindowHandle window, int& x, int& y, int& width, int& height) {
    settle();
    RECT outer{};
    RECT client{};
    if (!GetWindowRect(toHwnd(window), &outer) || !GetClientRect(toHwnd(window), &client)) return false;
    MapWindowPoints(HWND_DESKTOP, GetParent(toHwnd(window)), reinterpret_cast<POINT*>(&outer), 2);
    x = outer.left;
    y = outer.top;
    width = client.right - client.left;
    height = client.bottom - client.top;
    return true;
}

} // namespace orvix::test
