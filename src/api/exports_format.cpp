// Exported functions of the capture format.

#include "OrvixSdk_K62DT4.h"
#include "api/api_frame.h"

using namespace orvix;

extern "C" {

ORVIX_API int ORVIX_CALL Orvix_Width(ORVIX_HANDLE handle) {
    return api::forward(handle, 0, [](Camera& camera) { return camera.width(); });
}

ORVIX_API int ORVIX_CALL Orvix_Height(ORVIX_HANDLE handle) {
    return api::forward(handle, 0, [](Camera& camera) { return camera.height(); });
}

ORVIX_API int ORVIX_CALL Orvix_SetColorMode(ORVIX_HANDLE handle, int bits) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setColorMode(bits); });
}

ORVIX_API int ORVIX_CALL Orvix_GetColorMode(ORVIX_HANDLE handle) {
    return api::forward(handle, -1, [](Camera& camera) { return camera.getColorMode(); });
}

ORVIX_API int ORVIX_CALL Orvix_SetSubSample(ORVIX_HANDLE handle, int mode) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setSubSample(mode); });
}

ORVIX_API int ORVIX_CALL Orvix_GetSubSample(ORVIX_HANDLE handle) {
    return api::forward(handle, -1, [](Camera& camera) { return camera.getSubSample(); });
}

ORVIX_API int ORVIX_CALL Orvix_SetWaitTime(ORVIX_HANDLE handle, int milliseconds) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setWaitTime(milliseconds); });
}

ORVIX_API int ORVIX_CALL Orvix_GetWaitTime(ORVIX_HANDLE handle) {
    return api::forward(handle, -1, [](Camera& camera) { return camera.getWaitTime(); });
}

ORVIX_API int ORVIX_CALL Orvix_SetHalfClock(ORVIX_HANDLE handle, int flag) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setHalfClock(flag); });
}

ORVIX_API int ORVIX_CALL Orvix_GetHalfClock(ORVIX_HANDLE handle, int* ok) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.getHalfClock(ok); });
}

ORVIX_API int ORVIX_CALL Orvix_SetMirrorV(ORVIX_HANDLE handle, int flag) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setMirrorV(flag); });
}

ORVIX_API int ORVIX_CALL Orvix_GetMirrorV(ORVIX_HANDLE handle) {
    return api::forward(handle, 0, [](Camera& camera) { return camera.getMirrorV(); });
}

ORVIX_API int ORVIX_CALL Orvix_GetMirrorH(ORVIX_HANDLE handle, int) {
    return api::forward(handle, 0, [](Camera&) { return Camera::getMirrorH(); });
}

ORVIX_API int ORVIX_CALL Orvix_SetAutoIris(ORVIX_HANDLE handle, int mode) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setAutoIris(mode); });
}

ORVIX_API int ORVIX_CALL Orvix_GetAutoIris(ORVIX_HANDLE handle, int* ok) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.getAutoIris(ok); });
}

ORVIX_API int ORVIX_CALL Orvix_SetCaptureWindow(ORVIX_HANDLE handle, int width, int height) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setCaptureWindow(width, height); });
}

ORVIX_API int ORVIX_CALL Orvix_SetCaptureWindowEx(ORVIX_HANDLE handle, int hTotal, int hStart, int hEffective,
                                                  int vTotal, int vStart, int vEffective) {
    return api::forward(handle, 0, [&](Camera& camera) {
        return camera.setCaptureWindowEx(hTotal, hStart, hEffective, vTotal, vStart, vEffective);
    });
}

ORVIX_API int ORVIX_CALL Orvix_GetCaptureWindowEx(ORVIX_HANDLE handle, int* hTotal, int* hStart, int* hEffective,
                                                  int* vTotal, int* vStart, int* vEffective) {
    return api::forward(handle, 0, [&](Camera& camera) {
        return camera.getCaptureWindowEx(hTotal, hStart, hEffective, vTotal, vStart, vEffective);
    });
}

ORVIX_API int ORVIX_CALL Orvix_SetPreviewWindow(ORVIX_HANDLE handle, ORVIX_WINDOW parent, int x, int y, int width,
                                                int height) {
    return api::forward(handle, 0, [&](Camera& camera) {
        return camera.setPreviewWindow(api::windowValue(parent), PreviewRect{x, y, width, height});
    });
}

} // extern "C"
