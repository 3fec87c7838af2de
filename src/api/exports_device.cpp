// Exported functions of device selection, camera information and raw device access.

#include "OrvixSdk_K62DT4.h"
#include "api/api_frame.h"

using namespace orvix;

extern "C" {

ORVIX_API int ORVIX_CALL Orvix_SetDeviceNumber(ORVIX_HANDLE handle, int index) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setDeviceNumber(index); });
}

ORVIX_API int ORVIX_CALL Orvix_EnumDevice(ORVIX_HANDLE handle, char* names) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.enumDevice(names); });
}

ORVIX_API int ORVIX_CALL Orvix_GetDeviceName(ORVIX_HANDLE handle, int index, char* name, int length) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.getDeviceName(index, name, length); });
}

ORVIX_API int ORVIX_CALL Orvix_GetCameraInfo(ORVIX_HANDLE handle, CameraInfo* info) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.getCameraInfo(info); });
}

ORVIX_API int ORVIX_CALL Orvix_WriteRegister(ORVIX_HANDLE handle, int address, int value) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.writeRegister(address, value); });
}

ORVIX_API int ORVIX_CALL Orvix_ReadRegister(ORVIX_HANDLE handle, int address, int* ok) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.readRegister(address, ok); });
}

ORVIX_API int ORVIX_CALL Orvix_Fpga_WriteRegister(ORVIX_HANDLE handle, int address, int value) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.fpgaWriteRegister(address, value); });
}

ORVIX_API int ORVIX_CALL Orvix_Fpga_ReadRegister(ORVIX_HANDLE handle, int address, int* ok) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.fpgaReadRegister(address, ok); });
}

ORVIX_API int ORVIX_CALL Orvix_WriteSromID(ORVIX_HANDLE handle, int index, int value) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.writeSromId(index, value); });
}

ORVIX_API int ORVIX_CALL Orvix_ReadSromID(ORVIX_HANDLE handle, int index, int* ok) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.readSromId(index, ok); });
}

} // extern "C"
