#pragma once
// The library's own connection to the X server, opened on first use and shared by
// every thread (Xlib locks it internally). Errors raised by requests on this
// connection (a window id that no longer exists, say) are swallowed instead of
// ending the process; errors on the application's own connections still reach the
// handler the application installed.

#include <X11/Xlib.h>

namespace orvix::platform::x11 {

// The shared display, or nullptr when no X server can be reached ($DISPLAY unset or
// refused). Thread-safe; the first call opens the connection.
Display* sharedDisplay();

// Atom of the library's ClientMessage type.
Atom windowMessageAtom();

} // namespace orvix::platform::x11
