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

ORVIX_API int ORVIX_CALL Orvix_GetColorMode(ORVIX_HANDLE handle) {
    return api::forward(handle, -1, [](Camera& camera) { return camera.getColorMode(); });
}

ORVIX_API int ORVIX_CALL Orvix_GetSubSample(ORVIX_HANDLE handle) {
    return api::forward(handle, -1, [](Camera& camera) { return camera.getSubSample(); });
}

ORVIX_API int ORVIX_CALL Orvix_GetWaitTime(ORVIX_HANDLE handle) {
    return api::forward(handle, -1, [](Camera& camera) { return camera.getWaitTime(); });
}

} // extern "C"
