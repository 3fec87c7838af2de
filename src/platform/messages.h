#pragma once
// Posting notification messages to application windows.
//
// Windows: PostMessageA. Linux: an X11 ClientMessage of type "ORVIX_WINDOW_MESSAGE"
// (format 32, data.l = message, low 32 bits of wParam, lParam, high 32 bits of wParam,
// high 32 bits of lParam) sent to the window id. The X11
// connection is opened on first use; without a display, or for a null window,
// nothing is posted. Posting never blocks on the receiver and never fails loudly.

#include <cstdint>

#include "platform/window_handle.h"

namespace orvix::platform {

// Name of the X11 atom that tags library messages.
inline constexpr const char* kWindowMessageAtom = "ORVIX_WINDOW_MESSAGE";

// Returns true when the message was handed to the window system.
bool postWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam);

} // namespace orvix::platform
