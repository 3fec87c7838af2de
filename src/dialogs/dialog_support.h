#pragma once
// What the three dialogs share: the template table, the control set-up of a slider
// row, the one-dialog-per-kind rule of the process, the way a model's dialog is run
// (the platform's host, or another runner in tests), and the lock under which the
// capture thread reaches an open dialog.

#include <atomic>
#include <functional>
#include <mutex>

#include "platform/dialog_controls.h"
#include "platform/mutex.h"
#include "platform/window_handle.h"

namespace orvix::dialogs {

// Trackbar range (maximum, then minimum) and position, page size (max - min) / 8;
// up-down range and position (low 16 bits) with the edit box as its buddy; the edit
// box shows the value (signed). All three enabled or disabled together.
void setupSlider(DialogControls& page, int trackbar, int upDown, int edit, int minimum, int maximum, int value,
                 bool enable);

// Runs the modal dialog `frame` owned by `owner` with its handler; returns the
// result given to endDialog, or -1 when the dialog could not be created.
using ModalRunner = std::function<int(DialogKind frame, platform::WindowHandle owner, DialogHandler& handler)>;
// The platform's host (Win32 dialogs or GTK windows).
const ModalRunner& platformModalRunner();

// Only one dialog of each of the three kinds may be open in the process; a claim
// fails while another one of its kind holds it.
enum class OpenDialog { Camera = 0, AnalogGain = 1, ImageFilter = 2 };
class DialogClaim {
public:
    explicit DialogClaim(OpenDialog which);
    ~DialogClaim();
    DialogClaim(const DialogClaim&) = delete;
    DialogClaim& operator=(const DialogClaim&) = delete;
    explicit operator bool() const { return claimed_; }

private:
    OpenDialog which_;
    bool claimed_;
};

// Held while a Camera's dialog pointer is published or withdrawn, and by the capture
// thread while it calls an open dialog, so the dialog cannot go away meanwhile. The
// dialogs' thread-safe calls only post work, so this lock is never held long.
std::mutex& openDialogMutex();

// The frame's controls as long as the dialog is open, for posting from other
// threads; cleared when the host closes the dialog.
class PostTarget {
public:
    void attach(DialogControls& controls);
    void detach();
    // Posts `task` when the dialog is open; false otherwise.
    bool post(std::function<void()> task);

private:
    Mutex mutex_;
    DialogControls* controls_ ORVIX_GUARDED_BY(mutex_) = nullptr;
};

} // namespace orvix::dialogs
