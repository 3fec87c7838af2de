// Exported functions of the library frame: handles, the error queue, the version.

#include "OrvixSdk_K62DT4.h"
#include "api/api_frame.h"

using namespace orvix;

extern "C" {

ORVIX_API ORVIX_HANDLE ORVIX_CALL Orvix_Initialize(ORVIX_WINDOW notifyWindow) {
    try {
        CameraHandleTable& table = CameraHandleTable::instance();
        const std::uint32_t handle = table.create();
        if (handle == 0) return nullptr;
        // A failed start-up still hands out the handle; the reason is queued.
        if (const std::shared_ptr<Camera> camera = table.lookup(handle)) {
            (void)camera->initialize(api::windowValue(notifyWindow));
        }
        return api::toApiHandle(handle);
    } catch (...) {
        return nullptr;
    }
}

ORVIX_API int ORVIX_CALL Orvix_Release(ORVIX_HANDLE handle) {
    try {
        return CameraHandleTable::instance().release(api::handleValue(handle));
    } catch (...) {
        return 0;
    }
}

ORVIX_API int ORVIX_CALL Orvix_GetLastError(ORVIX_HANDLE handle) {
    return api::forward(handle, 0, [](Camera& camera) { return camera.errorQueue.pop(); });
}

ORVIX_API int ORVIX_CALL Orvix_GetDllVersion(void) { return ORVIX_DLL_VERSION; }

} // extern "C"
