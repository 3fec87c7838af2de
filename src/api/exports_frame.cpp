// Exported functions of the library frame: handles, the error queue, the version.

#include "OrvixSdk_K62DT4.h"
#include "api/api_frame.h"

using namespace orvix;

extern "C" {

ORVIX_API ORVIX_HANDLE ORVIX_CALL Orvix_Initialize(ORVIX_WINDOW notifyWindow) {
    try {
        // The Camera starts up before its handle is known to anyone; a failed start-up
        // still hands out the handle, and the reason is queued.
        const platform::WindowHandle window = api::windowValue(notifyWindow);
        const std::uint32_t handle =
            CameraHandleTable::instance().create([window](Camera& camera) { (void)camera.initialize(window); });
        return handle == 0 ? nullptr : api::toApiHandle(handle);
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
    return api::forward(handle, 0, [](Camera& camera) { return camera.popError(); });
}

ORVIX_API int ORVIX_CALL Orvix_GetDllVersion(void) { return ORVIX_DLL_VERSION; }

} // extern "C"
