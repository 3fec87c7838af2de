// Exported names this camera does not support, served by two routines, and the status
// query. Every argument after the handle is ignored.

#include "OrvixSdk_K62DT4.h"
#include "api/api_frame.h"

using namespace orvix;

namespace {

// Queues ERR_UNSUPPORTED and fails.
int unsupportedStub(ORVIX_HANDLE handle) {
    return api::forward(handle, 0, [](Camera& camera) { return camera.pushError(ERR_UNSUPPORTED), 0; });
}

// Reports the value 0 through a non-null pointer and fails without queuing anything.
int zeroFormatStub(ORVIX_HANDLE handle, int* value) {
    return api::forward(handle, 0, [&](Camera&) {
        if (value) *value = 0;
        return 0;
    });
}

} // namespace

extern "C" {

ORVIX_API int ORVIX_CALL Orvix_Fps(ORVIX_HANDLE handle, int) { return unsupportedStub(handle); }
ORVIX_API int ORVIX_CALL Orvix_GetCameraType(ORVIX_HANDLE handle, int) { return unsupportedStub(handle); }
ORVIX_API int ORVIX_CALL Orvix_GetIOPort(ORVIX_HANDLE handle, int) { return unsupportedStub(handle); }
ORVIX_API int ORVIX_CALL Orvix_Record(ORVIX_HANDLE handle, int) { return unsupportedStub(handle); }
ORVIX_API int ORVIX_CALL Orvix_SetCameraType(ORVIX_HANDLE handle, int) { return unsupportedStub(handle); }
ORVIX_API int ORVIX_CALL Orvix_SetCrossbar(ORVIX_HANDLE handle, int) { return unsupportedStub(handle); }
ORVIX_API int ORVIX_CALL Orvix_SetIOPort(ORVIX_HANDLE handle, int) { return unsupportedStub(handle); }
ORVIX_API int ORVIX_CALL Orvix_SetMirrorH(ORVIX_HANDLE handle, int) { return unsupportedStub(handle); }
ORVIX_API int ORVIX_CALL Orvix_SetSamplingRate(ORVIX_HANDLE handle, int) { return unsupportedStub(handle); }

ORVIX_API int ORVIX_CALL Orvix_GetSamplingRate(ORVIX_HANDLE handle, int* value) {
    return zeroFormatStub(handle, value);
}
ORVIX_API int ORVIX_CALL Orvix_GetVideoFormat(ORVIX_HANDLE handle, int* value) {
    return zeroFormatStub(handle, value);
}

ORVIX_API int ORVIX_CALL Orvix_GetStatus(ORVIX_HANDLE handle, int) {
    return api::forward(handle, 0, [](Camera&) { return 0; });
}

} // extern "C"
