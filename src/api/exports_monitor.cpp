// Exported functions of the camera's monitor output.

#include "OrvixSdk_K62DT4.h"
#include "api/api_frame.h"

using namespace orvix;

extern "C" {

ORVIX_API int ORVIX_CALL Orvix_Monitor_SetPreviewMode(ORVIX_HANDLE handle, int value) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setMonitorPreviewMode(value); });
}

ORVIX_API int ORVIX_CALL Orvix_Monitor_GetPreviewMode(ORVIX_HANDLE handle, int* ok) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.monitorPreviewMode(ok); });
}

ORVIX_API int ORVIX_CALL Orvix_Monitor_SetPreviewSize(ORVIX_HANDLE handle, int width, int height) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setMonitorPreviewSize(width, height); });
}

ORVIX_API int ORVIX_CALL Orvix_Monitor_GetPreviewSize(ORVIX_HANDLE handle, int* width, int* height) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.monitorPreviewSize(width, height); });
}

ORVIX_API int ORVIX_CALL Orvix_Monitor_SetColorMode(ORVIX_HANDLE handle, int value) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setMonitorColorMode(value); });
}

ORVIX_API int ORVIX_CALL Orvix_Monitor_GetColorMode(ORVIX_HANDLE handle, int* ok) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.monitorColorMode(ok); });
}

ORVIX_API int ORVIX_CALL Orvix_Monitor_SetCameraClock(ORVIX_HANDLE handle, int value) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setMonitorCameraClock(value); });
}

ORVIX_API int ORVIX_CALL Orvix_Monitor_GetCameraClock(ORVIX_HANDLE handle, int* ok) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.monitorCameraClock(ok); });
}

ORVIX_API int ORVIX_CALL Orvix_Monitor_SetBayerGainAuto(ORVIX_HANDLE handle, int value) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setMonitorBayerGainAuto(value); });
}

ORVIX_API int ORVIX_CALL Orvix_Monitor_GetBayerGainAuto(ORVIX_HANDLE handle, int* ok) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.monitorBayerGainAuto(ok); });
}

ORVIX_API int ORVIX_CALL Orvix_Monitor_SetBayerGainLock(ORVIX_HANDLE handle, int value) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setMonitorBayerGainLock(value); });
}

ORVIX_API int ORVIX_CALL Orvix_Monitor_GetBayerGainLock(ORVIX_HANDLE handle, int* ok) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.monitorBayerGainLock(ok); });
}

ORVIX_API int ORVIX_CALL Orvix_Monitor_SetBayerGainRed(ORVIX_HANDLE handle, int value) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setMonitorBayerGainRed(value); });
}

ORVIX_API int ORVIX_CALL Orvix_Monitor_GetBayerGainRed(ORVIX_HANDLE handle, int* ok) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.monitorBayerGainRed(ok); });
}

ORVIX_API int ORVIX_CALL Orvix_Monitor_SetBayerGainGreen(ORVIX_HANDLE handle, int value) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setMonitorBayerGainGreen(value); });
}

ORVIX_API int ORVIX_CALL Orvix_Monitor_GetBayerGainGreen(ORVIX_HANDLE handle, int* ok) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.monitorBayerGainGreen(ok); });
}

ORVIX_API int ORVIX_CALL Orvix_Monitor_SetBayerGainBlue(ORVIX_HANDLE handle, int value) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setMonitorBayerGainBlue(value); });
}

ORVIX_API int ORVIX_CALL Orvix_Monitor_GetBayerGainBlue(ORVIX_HANDLE handle, int* ok) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.monitorBayerGainBlue(ok); });
}

} // extern "C"
