// Exported functions of the three settings dialogs.

#include "OrvixSdk_K62DT4.h"
#include "api/api_frame.h"

using namespace orvix;

extern "C" {

ORVIX_API int ORVIX_CALL Orvix_SetCameraDlg(ORVIX_HANDLE handle, ORVIX_WINDOW owner) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setCameraDlg(api::windowValue(owner)); });
}

ORVIX_API int ORVIX_CALL Orvix_SetImageDlg(ORVIX_HANDLE handle, ORVIX_WINDOW owner) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.showImageDialog(api::windowValue(owner)); });
}

ORVIX_API int ORVIX_CALL Orvix_SetAnalogDlg(ORVIX_HANDLE handle, ORVIX_WINDOW owner) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.showAnalogDialog(api::windowValue(owner)); });
}

} // extern "C"
