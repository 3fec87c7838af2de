#include "platform/messages.h"

#include <windows.h>

namespace orvix::platform {

bool postWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
    if (window == 0) return false;
    return PostMessageA(reinterpret_cast<HWND>(window), message, static_cast<WPARAM>(wParam),
                        static_cast<LPARAM>(lParam)) != FALSE;
}

} // namespace orvix::platform
