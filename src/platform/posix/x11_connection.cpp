#include "platform/posix/x11_connection.h"

#include <atomic>
#include <mutex>

#include "platform/messages.h"

// The extension interface of Xlib: XESetWireToError and the wire format of errors. Its
// min and max macros would break the standard headers, so it comes last.
#include <X11/Xlibint.h>
#undef min
#undef max

namespace orvix::platform::x11 {

namespace {

std::once_flag openOnce;
Display* display = nullptr;
Atom messageAtom = None;

// Held by the outermost scope of a thread; scopes nest within one thread.
std::mutex scopeMutex;
thread_local int scopeDepth = 0;

// Serial of the newest request on the shared connection that failed (0: none).
std::atomic<unsigned long> newestFailedRequest{0};

// Xlib converts every error of the shared connection from its wire form through
// the connection's own table of converters before any process-wide handler sees
// it; this converter notes the failed request and answers that the error is not to
// be reported, which ends its handling there.
Bool takeError(Display*, XErrorEvent* error, xError*) {
    unsigned long seen = newestFailedRequest.load();
    while (error->serial > seen && !newestFailedRequest.compare_exchange_weak(seen, error->serial)) {
    }
    return False;
}

void openConnection() {
    XInitThreads();
    display = XOpenDisplay(nullptr);
    if (!display) return;
    // Error codes 1..255: the core errors and those of every extension.
    for (int code = 1; code < 256; ++code) XESetWireToError(display, code, &takeError);
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

RequestScope::RequestScope() : display_(sharedDisplay()) {
    if (!display_) return;
    if (scopeDepth++ == 0) scopeMutex.lock();
    firstRequest_ = NextRequest(display_);
}

RequestScope::~RequestScope() {
    if (!display_) return;
    if (--scopeDepth != 0) return;
    XFlush(display_);
    scopeMutex.unlock();
}

bool RequestScope::succeeded() {
    if (!display_) return false;
    XSync(display_, False);
    return newestFailedRequest.load() < firstRequest_;
}

} // namespace orvix::platform::x11
