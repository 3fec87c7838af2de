#include "platform/posix/x11_connection.h"

#include <X11/Xutil.h>

#include <atomic>
#include <mutex>

#include "platform/messages.h"

namespace orvix::platform::x11 {

namespace {

std::once_flag openOnce;
Display* display = nullptr;
Atom messageAtom = None;
XErrorHandler previousHandler = nullptr;

int errorHandler(Display* source, XErrorEvent* error) {
    if (source == display) return 0; // a request of ours failed: nothing to do
    return previousHandler ? previousHandler(source, error) : 0;
}

void openConnection() {
    XInitThreads();
    display = XOpenDisplay(nullptr);
    if (!display) return;
    previousHandler = XSetErrorHandler(&errorHandler);
    messageAtom = XInternAtom(display, kWindowMessageAtom, False);
}

} // namespace

Display* sharedDisplay() {
    std::call_once(openOnce, &openConnection);
    return display;
}

Atom windowMessageAtom() {
    sharedDisplay();
    return messageAtom;
}

} // namespace orvix::platform::x11
