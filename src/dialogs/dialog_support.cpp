// The shared parts of the dialogs.

#include "dialogs/dialog_support.h"

#include "platform/dialog_host.h"
#include "platform/language.h"

namespace orvix::dialogs {

void setupSlider(DialogControls& page, int trackbar, int upDown, int edit, int minimum, int maximum, int value,
                 bool enable) {
    page.setTrackRange(trackbar, minimum, maximum);
    page.setTrackPos(trackbar, value);
    page.setTrackPageSize(trackbar, (maximum - minimum) / 8);
    page.setUpDownRange(upDown, minimum, maximum);
    page.setUpDownPos(upDown, static_cast<std::int16_t>(value));
    page.setUpDownBuddy(upDown, edit);
    page.setInt(edit, value, true);
    page.setEnabled(trackbar, enable);
    page.setEnabled(upDown, enable);
    page.setEnabled(edit, enable);
}

const ModalRunner& platformModalRunner() {
    static const ModalRunner runner = [](DialogKind frame, platform::WindowHandle owner, DialogHandler& handler) {
        return platform::runModalDialog(frame, owner, handler, languageOf(platform::systemDefaultLangId()));
    };
    return runner;
}

namespace {

std::atomic<bool> gOpen[3];

} // namespace

DialogClaim::DialogClaim(OpenDialog which)
    : which_(which), claimed_(!gOpen[static_cast<int>(which)].exchange(true)) {}

DialogClaim::~DialogClaim() {
    if (claimed_) gOpen[static_cast<int>(which_)].store(false);
}

std::mutex& openDialogMutex() {
    static std::mutex mutex;
    return mutex;
}

void PostTarget::attach(DialogControls& controls) {
    MutexLock lock(mutex_);
    controls_ = &controls;
}

void PostTarget::detach() {
    MutexLock lock(mutex_);
    controls_ = nullptr;
}

bool PostTarget::post(std::function<void()> task) {
    MutexLock lock(mutex_);
    if (!controls_) return false;
    controls_->post(std::move(task));
    return true;
}

} // namespace orvix::dialogs
