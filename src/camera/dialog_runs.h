#pragma once
// Running the analog gain and image filter dialogs for a Camera, and the capture
// thread's way of showing its measurements in them while they are open.

#include "dialogs/analog_gain_dialog.h"
#include "dialogs/image_filter_dialog.h"

namespace orvix {

class Camera;

// The analog gain dialog owned by `owner`: without the device link
// ERR_NOT_INITIALIZED and 0; 0 without opening while another one is open;
// otherwise 1 once it closed. Anything but OK restores the gain block and resends
// global gain, exposure and mirror from the copy taken at opening.
int runAnalogGainDialog(Camera& camera, platform::WindowHandle owner, const dialogs::ModalRunner& runner);
// The same with the platform's dialog host, in the system's language.
int runAnalogGainDialog(Camera& camera, platform::WindowHandle owner);

// Capture thread, after auto exposure changed the global gain or the exposure:
// shows the new value in the Camera's open dialog, if any.
void showGlobalGainInDialog(Camera& camera, int globalGain);
void showExposureInDialog(Camera& camera, int exposure);

// The image filter dialog owned by `owner`: without the device link
// ERR_NOT_INITIALIZED and 0; 0 without opening while another one is open;
// otherwise 1 once it closed (also when it could not be created, which counts as
// Cancel).
int runImageFilterDialog(Camera& camera, platform::WindowHandle owner, const dialogs::ModalRunner& runner);
// The same with the platform's dialog host, in the system's language.
int runImageFilterDialog(Camera& camera, platform::WindowHandle owner);

// Capture thread, after an automatic measurement: the Camera's open dialog, if any,
// reloads its controls.
void reloadImageFilterDialog(Camera& camera);

} // namespace orvix
