#include "platform/messages.h"

#include <X11/Xlib.h>

#include "platform/posix/x11_connection.h"

namespace orvix::platform {

bool postWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
    if (window == 0) return false;
    // A window that is gone fails the request; the scope keeps that error from the
    // application's error handler. The result does not wait for the server.
    x11::RequestScope scope;
    Display* display = scope.display();
    if (!display) return false;

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.display = display;
    event.xclient.window = static_cast<Window>(window);
    event.xclient.message_type = x11::windowMessageAtom();
    event.xclient.format = 32;
    // Format-32 items travel as 32 bits each, so a 64-bit wParam (the frame message's
    // address) or lParam sends its upper half in items 3 and 4.
    const auto wide = static_cast<std::uint64_t>(wParam);
    const auto wideL = static_cast<std::uint64_t>(static_cast<std::int64_t>(lParam));
    event.xclient.data.l[0] = static_cast<long>(message);
    event.xclient.data.l[1] = static_cast<long>(wide & 0xFFFFFFFFu);
    event.xclient.data.l[2] = static_cast<long>(lParam);
    event.xclient.data.l[3] = static_cast<long>(wide >> 32);
    event.xclient.data.l[4] = static_cast<long>(wideL >> 32);

    return XSendEvent(display, static_cast<Window>(window), False, NoEventMask, &event) != 0;
}

} // namespace orvix::platform
