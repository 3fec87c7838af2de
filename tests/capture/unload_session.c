/* An application that unloads the library while a camera it never released previews:
 * it loads the library at run time (without asking to keep it mapped), starts the
 * window-less preview, lets frames flow, closes the library and lives on for a while
 * before it exits normally. Exit status 0 when it got that far. */

#if !defined(_WIN32)
#define _POSIX_C_SOURCE 200809L
#endif

#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <time.h>
#endif

#include "OrvixSdk_K62DT4.h"

typedef ORVIX_HANDLE(ORVIX_CALL* InitializeFunction)(ORVIX_WINDOW);
typedef int(ORVIX_CALL* HandleFunction)(ORVIX_HANDLE);
typedef int(ORVIX_CALL* GetImageFunction)(ORVIX_HANDLE, void*, int, int);

static void waitMs(int ms) {
#if defined(_WIN32)
    Sleep((DWORD)ms);
#else
    struct timespec t;
    t.tv_sec = ms / 1000;
    t.tv_nsec = (long)(ms % 1000) * 1000000L;
    nanosleep(&t, NULL);
#endif
}

#if defined(_WIN32)
typedef HMODULE Library;
static Library openLibrary(void) { return LoadLibraryA("OrvixSdk_K62DT4.dll"); }
static void* lookUp(Library library, const char* name) { return (void*)GetProcAddress(library, name); }
static int closeLibrary(Library library) { return FreeLibrary(library) ? 0 : 1; }
#else
typedef void* Library;
static Library openLibrary(void) { return dlopen(ORVIX_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL); }
static void* lookUp(Library library, const char* name) { return dlsym(library, name); }
static int closeLibrary(Library library) { return dlclose(library); }
#endif

int main(void) {
    static unsigned char image[1360 * 1024 * 3];
    InitializeFunction initialize;
    HandleFunction startPreview;
    GetImageFunction getImage;
    ORVIX_HANDLE camera;
    int frames = 0, i;
    void* address;
    Library library = openLibrary();
    if (!library) {
        fprintf(stderr, "FAILED: the library did not load\n");
        return 1;
    }
    address = lookUp(library, "Orvix_Initialize");
    memcpy(&initialize, &address, sizeof initialize);
    address = lookUp(library, "Orvix_StartPreview");
    memcpy(&startPreview, &address, sizeof startPreview);
    address = lookUp(library, "Orvix_GetImage");
    memcpy(&getImage, &address, sizeof getImage);
    if (!initialize || !startPreview || !getImage) {
        fprintf(stderr, "FAILED: exports missing\n");
        return 1;
    }
    camera = initialize(0);
    if (!camera || startPreview(camera) != 1) {
        fprintf(stderr, "FAILED: no preview\n");
        return 1;
    }
    for (i = 0; i < 200 && frames < 3; ++i) {
        frames += getImage(camera, image, (int)sizeof image, 1);
        waitMs(10);
    }
    if (frames < 3) {
        fprintf(stderr, "FAILED: no frames\n");
        return 1;
    }
    /* The camera is never released: its threads keep running in the library. */
    if (closeLibrary(library) != 0) {
        fprintf(stderr, "FAILED: the library did not close\n");
        return 1;
    }
    waitMs(500);
    printf("lived on after unloading with %d frames\n", frames);
    return 0;
}
