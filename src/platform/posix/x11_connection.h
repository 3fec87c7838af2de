#pragma once
// The library's own connection to the X server, opened on first use and shared by
// every thread, and the scope every request on it runs in.
//
// Errors. Xlib has one error handler per process, and an application may install
// its own at any time (one that ends the process, say). The library's requests may
// fail on the application's windows (a callback window or a parent that is gone:
// BadWindow, BadDrawable, BadMatch, ...), so the connection carries an error hook of
// its own (its table of wire-to-error converters, XESetWireToError, for every error
// code): every error of this connection is taken there and goes no further, to no
// process-wide handler, while errors of the application's connections never pass
// through the library. Nothing depends on which handler the application has
// installed, or when.
//
// Requests run inside a RequestScope, which keeps the library's threads from
// interleaving their requests on the connection, so that a scope can tell whether
// its own requests failed (succeeded()).
//
// Waits: succeeded() waits for the server to answer (one round trip, XSync). Xlib
// sets no time limit on that; a server that stops answering also stops the
// application's own connections.

#include <X11/Xlib.h>

namespace orvix::platform::x11 {

// The shared display, or nullptr when no X server can be reached ($DISPLAY unset or
// refused). Thread-safe; the first call opens the connection.
Display* sharedDisplay();

// Atom of the library's ClientMessage type.
Atom windowMessageAtom();

class RequestScope {
public:
    RequestScope();
    ~RequestScope();
    RequestScope(const RequestScope&) = delete;
    RequestScope& operator=(const RequestScope&) = delete;

    // The shared display, or nullptr without an X server (the scope then does nothing).
    Display* display() const { return display_; }
    explicit operator bool() const { return display_ != nullptr; }

    // Waits until the server has handled every request made so far and tells whether
    // none of those made since this scope began failed.
    bool succeeded();

private:
    Display* display_ = nullptr;
    unsigned long firstRequest_ = 0;
};

} // namespace orvix::platform::x11
