#pragma once
// The dialog host of the platform: a modal dialog built from the template
// description, its events delivered to a dialogs::DialogHandler, its controls
// reached through dialogs::DialogControls.
//
// Windows: the templates compiled into the library's resources (resources/
// dialogs.rc), found in the module of "OrvixSdk_K62DT4.dll" (else the module holding
// this code), run with DialogBoxParamA; pages are made with CreateDialogParamA inside
// the frame's tab control; the common controls are initialised once.
// Linux: GTK 3 windows built from the same description, dialog units turned into
// pixels of the 8-point font the windows are drawn in (measured as Windows measures
// its dialog font), modal and transient for the X11 owner window. Without a display
// creation fails.

#include "platform/dialog_controls.h"
#include "platform/window_handle.h"

namespace orvix::platform {

// Runs the dialog; the result given to endDialog, or -1 when it could not be created.
int runModalDialog(dialogs::DialogKind frame, WindowHandle owner, dialogs::DialogHandler& handler,
                   dialogs::Language language);

} // namespace orvix::platform
