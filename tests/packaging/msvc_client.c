/* Linked as a Microsoft toolchain links (clang for the *-pc-windows-msvc targets and
 * lld-link) against OrvixSdk_K62DT4.lib, without a C runtime: the entry point is this
 * function. Only linked, so that its import table can be read. */
#include <OrvixSdk_K62DT4.h>

int orvixClientEntry(void) {
    ORVIX_HANDLE camera = Orvix_Initialize(0);
    int refused = Orvix_SetColorMode(camera, 12) == 0 && Orvix_GetLastError(camera) == ERR_PARAMETER;
    if (Orvix_Release(camera) != 1) return 2;
    return Orvix_GetDllVersion() == ORVIX_DLL_VERSION && refused ? 0 : 1;
}
