// Exported function of image saving.

#include "OrvixSdk_K62DT4.h"
#include "api/api_frame.h"

using namespace orvix;

extern "C" {

ORVIX_API int ORVIX_CALL Orvix_SaveImage(ORVIX_HANDLE handle, const char* path, int format) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.saveImage(path, format); });
}

} // extern "C"
