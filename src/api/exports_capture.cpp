// Exported functions of the capture engine.

#include "OrvixSdk_K62DT4.h"
#include "api/api_frame.h"

using namespace orvix;

extern "C" {

ORVIX_API int ORVIX_CALL Orvix_Preview(ORVIX_HANDLE handle) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.preview(); });
}

ORVIX_API int ORVIX_CALL Orvix_CallBackPreview(ORVIX_HANDLE handle, ORVIX_WINDOW window, void* buffer, int size,
                                               int topDown) {
    return api::forward(handle, 0, [&](Camera& camera) {
        return camera.callBackPreview(api::windowValue(window), buffer, size, topDown);
    });
}

ORVIX_API int ORVIX_CALL Orvix_Trigger(ORVIX_HANDLE handle, ORVIX_WINDOW window, void* buffer, int size,
                                       int topDown) {
    return api::forward(handle, 0, [&](Camera& camera) {
        return camera.trigger(api::windowValue(window), buffer, size, topDown);
    });
}

ORVIX_API int ORVIX_CALL Orvix_StartPreview(ORVIX_HANDLE handle) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.startPreview(); });
}

ORVIX_API int ORVIX_CALL Orvix_StopPreview(ORVIX_HANDLE handle) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.stopPreview(); });
}

ORVIX_API int ORVIX_CALL Orvix_Capture(ORVIX_HANDLE handle) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.capture(); });
}

ORVIX_API int ORVIX_CALL Orvix_SnapShot(ORVIX_HANDLE handle, void* buffer, int size, int topDown) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.snapShot(buffer, size, topDown); });
}

ORVIX_API int ORVIX_CALL Orvix_GetImage(ORVIX_HANDLE handle, void* buffer, int size, int topDown) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.getImage(buffer, size, topDown); });
}

ORVIX_API int ORVIX_CALL Orvix_Close(ORVIX_HANDLE handle) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.close(); });
}

} // extern "C"
