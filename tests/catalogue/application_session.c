/* An application as a customer writes one, in plain C: it includes the public header,
 * loads the library at run time, resolves every function the header declares by its
 * name and runs a short session against the emulated camera. Exit status 0 when every
 * step gave what the header promises. */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "OrvixSdk_K62DT4.h"
#include "declared_functions.h" /* generated from the header: the names it declares */

typedef void (*AnyFunction)(void);

static int failures = 0;
static int checks = 0;

static void check(int condition, const char* what) {
    ++checks;
    if (!condition) {
        ++failures;
        fprintf(stderr, "FAILED: %s\n", what);
    }
}

#if defined(_WIN32)
typedef HMODULE Library;
static Library openLibrary(void) { return LoadLibraryA("OrvixSdk_K62DT4.dll"); }
static AnyFunction lookUp(Library library, const char* name) {
    return (AnyFunction)(void (*)(void))GetProcAddress(library, name);
}
static void closeLibrary(Library library) { FreeLibrary(library); }
#else
typedef void* Library;
/* Kept mapped at dlclose: the library holds process-wide state that lives until the
 * process ends, which the leak checker must still see. */
static Library openLibrary(void) { return dlopen(ORVIX_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE); }
static AnyFunction lookUp(Library library, const char* name) {
    AnyFunction function = NULL;
    void* address = dlsym(library, name);
    memcpy(&function, &address, sizeof function);
    return function;
}
static void closeLibrary(Library library) { dlclose(library); }
#endif

/* A typed pointer to an exported function, resolved by name. */
#define RESOLVE(library, name) ((__typeof__(&name))lookUp(library, #name))

static long fileSize(const char* path) {
    FILE* file = fopen(path, "rb");
    long size = -1;
    if (!file) return -1;
    if (fseek(file, 0, SEEK_END) == 0) size = ftell(file);
    fclose(file);
    return size;
}

static int resolveEveryDeclaredFunction(Library library) {
    int missing = 0;
    size_t i;
    for (i = 0; i < sizeof orvixDeclaredFunctions / sizeof orvixDeclaredFunctions[0]; ++i) {
        if (!lookUp(library, orvixDeclaredFunctions[i])) {
            fprintf(stderr, "not exported: %s\n", orvixDeclaredFunctions[i]);
            ++missing;
        }
    }
    return missing;
}

static void runSession(Library library, const char* imagePath) {
    __typeof__(&Orvix_GetDllVersion) getDllVersion = RESOLVE(library, Orvix_GetDllVersion);
    __typeof__(&Orvix_Initialize) initialize = RESOLVE(library, Orvix_Initialize);
    __typeof__(&Orvix_Release) release = RESOLVE(library, Orvix_Release);
    __typeof__(&Orvix_GetLastError) getLastError = RESOLVE(library, Orvix_GetLastError);
    __typeof__(&Orvix_SetColorMode) setColorMode = RESOLVE(library, Orvix_SetColorMode);
    __typeof__(&Orvix_GetColorMode) getColorMode = RESOLVE(library, Orvix_GetColorMode);
    __typeof__(&Orvix_EnumDevice) enumDevice = RESOLVE(library, Orvix_EnumDevice);
    __typeof__(&Orvix_SetSubSample) setSubSample = RESOLVE(library, Orvix_SetSubSample);
    __typeof__(&Orvix_SetCaptureWindowEx) setCaptureWindowEx = RESOLVE(library, Orvix_SetCaptureWindowEx);
    __typeof__(&Orvix_Monitor_SetPreviewSize) setMonitorSize = RESOLVE(library, Orvix_Monitor_SetPreviewSize);
    __typeof__(&Orvix_Monitor_GetPreviewSize) getMonitorSize = RESOLVE(library, Orvix_Monitor_GetPreviewSize);
    __typeof__(&Orvix_SetMirrorH) setMirrorH = RESOLVE(library, Orvix_SetMirrorH);
    __typeof__(&Orvix_SaveImage) saveImage = RESOLVE(library, Orvix_SaveImage);
    static char names[10 * 256];
    int width = 0, height = 0;
    ORVIX_HANDLE camera;

    check(getDllVersion() == ORVIX_DLL_VERSION, "Orvix_GetDllVersion");
    camera = initialize((ORVIX_WINDOW)0);
    check(camera != NULL, "Orvix_Initialize gives a handle");
    if (!camera) return;
    check(getLastError(camera) == 0, "start-up queues nothing");
    check(enumDevice(camera, names) == 1 && strcmp(names, "OrvixK62DT4_01") == 0, "one emulated camera is listed");

    /* Whatever an earlier session stored: the full frame, not sub-sampled. */
    check(setSubSample(camera, 0) == 1, "no sub-sampling");
    check(setCaptureWindowEx(camera, 1360, 0, 1360, 1024, 0, 1024) == 1, "the full frame");
    check(setColorMode(camera, 24) == 1 && getColorMode(camera) == 24, "24-bit colour mode");
    check(setColorMode(camera, 12) == 0 && getLastError(camera) == ERR_PARAMETER, "12 bits are refused");

    check(setMonitorSize(camera, 800, 600) == 1, "monitor size 800 x 600");
    check(getMonitorSize(camera, &width, &height) == 1 && width == 800 && height == 600, "monitor size read back");
    check(setMirrorH(camera, 1) == 0 && getLastError(camera) == ERR_UNSUPPORTED, "horizontal mirror unsupported");

    remove(imagePath);
#if ORVIX_DECLARES_Orvix_SnapShot
    {
        __typeof__(&Orvix_SnapShot) snapShot = RESOLVE(library, Orvix_SnapShot);
        const int stride = 1360 * 3; /* 24 bits per pixel, already a multiple of 4 */
        const int size = stride * 1024;
        unsigned char* image = (unsigned char*)malloc((size_t)size);
        check(image != NULL && snapShot(camera, image, size, 1) == 1, "Orvix_SnapShot");
        free(image);
        check(saveImage(camera, imagePath, ORVIX_IMAGE_BMP) == 1, "Orvix_SaveImage");
        check(fileSize(imagePath) == 54L + (long)size, "the bitmap file holds the whole image");
        check(getLastError(camera) == 0, "the session queued no error");
    }
#else
    /* Without a capture there is no image to save yet. */
    check(saveImage(camera, imagePath, ORVIX_IMAGE_BMP) == 0 && fileSize(imagePath) < 0, "no image before a frame");
#endif
    remove(imagePath);

    check(release(camera) == 1, "Orvix_Release");
    check(release(camera) == 0, "a released handle is unknown");
}

int main(int argc, char** argv) {
    const char* imagePath = argc > 1 ? argv[1] : "orvix-session.bmp";
    Library library = openLibrary();
    if (!library) {
        fprintf(stderr, "the library could not be loaded\n");
        return 1;
    }
    check(resolveEveryDeclaredFunction(library) == 0, "every declared function is exported");
    check(sizeof orvixDeclaredFunctions / sizeof orvixDeclaredFunctions[0] == ORVIX_EXPECTED_FUNCTION_COUNT,
          "the header declares the expected number of functions");
    if (failures == 0) runSession(library, imagePath);
    closeLibrary(library);
    printf("%d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}
