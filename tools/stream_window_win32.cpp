#include <windows.h>

#include "stream_window.h"

namespace {

constexpr const char* kClassName = "OrvixStreamWindow";

class Win32StreamWindow : public StreamWindow {
public:
    explicit Win32StreamWindow(HWND window) : window_(window) {}
    ~Win32StreamWindow() override { DestroyWindow(window_); }

    ORVIX_WINDOW handle() const override { return window_; }

    void pump(int milliseconds,
              const std::function<void(std::uint32_t, std::uintptr_t, std::intptr_t)>& receive) override {
        const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
        do {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.hwnd == window_ && msg.message >= WM_APP && msg.message < 0xC000)
                    receive(msg.message, static_cast<std::uintptr_t>(msg.wParam), static_cast<std::intptr_t>(msg.lParam));
                else
                    DispatchMessageA(&msg);
            }
            Sleep(2);
        } while (static_cast<LONG>(end - GetTickCount()) > 0);
    }

private:
    HWND window_;
};

} // namespace

std::unique_ptr<StreamWindow> StreamWindow::open(int width, int height, const char* title) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kClassName;
    RegisterClassExA(&windowClass); // already registered is fine
    RECT rect{0, 0, width, height};
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN;
    AdjustWindowRectEx(&rect, style, FALSE, 0);
    HWND window = CreateWindowExA(0, kClassName, title, style, CW_USEDEFAULT, CW_USEDEFAULT, rect.right - rect.left,
                                  rect.bottom - rect.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window) return nullptr;
    return std::make_unique<Win32StreamWindow>(window);
}
