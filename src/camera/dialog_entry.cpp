// The entry points of the three settings dialogs. This build has no dialog host yet:
// a dialog cannot be created, and each entry point ends the way its dialog ends when
// creation fails, as a cancelled dialog that changed nothing. The link rule is the
// dialogs' own and stays when the host arrives.

#include "camera/camera.h"

namespace orvix {

int Camera::setCameraDlg(platform::WindowHandle /*owner*/) {
    if (!requireLink()) return 0;
    return 1;
}

int Camera::showImageDialog(platform::WindowHandle /*owner*/) {
    if (!requireLink()) return 0;
    return 1;
}

int Camera::showAnalogDialog(platform::WindowHandle /*owner*/) {
    if (!requireLink()) return 0;
    return 1;
}

} // namespace orvix
