#include "platform/messages.h"

#include <X11/Xlib.h>

#include "platform/posix/x11_connection.h"

namespace orvix::platform {

bool postWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
    if (window == 0) return false;
    Display* display = x11::sharedDisplay();
    if (!display) return false;

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.display = display;
    event.xclient.window = static_cast<Window>(window);
    event.xclient.message_type = x11::windowMessageAtom();
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(message);
    event.xclient.data.l[1] = static_cast<long>(wParam);
    event.xclient.data.l[2] = static_cast<long>(lParam);

    const Status sent = XSendEvent(display, static_cast<Window>(window), False, NoEventMask, &event);
    XFlush(display);
    return sent != 0;
}

} // namespace orvix::platform
