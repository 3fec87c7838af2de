/* An application built against an installed SDK package, linked with its import
 * library (Windows) or shared library (Linux): strict C89, and as C++98 through
 * client.cpp. On Windows it is compiled with and without NO_STRICT and
 * WIN32_LEAN_AND_MEAN, and hands the library HWNDs without casts. It runs a short
 * session against the emulated camera (ORVIX_K62DT4_EMULATE=0):
 *
 *   client <bitmap file to write>
 *
 * Exit status 0 when every step gave what the header promises. */

#if defined(_WIN32)
#include <windows.h>
#endif
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <OrvixSdk_K62DT4.h>

#if defined(_WIN32) && defined(__cplusplus)
/* ORVIX_WINDOW is the type HWND has here, whether STRICT or NO_STRICT is in force. */
template <class A, class B> struct OrvixSameType { enum { value = -1 }; };
template <class A> struct OrvixSameType<A, A> { enum { value = 1 }; };
typedef char OrvixWindowIsHwnd[OrvixSameType<ORVIX_WINDOW, HWND>::value];
#endif

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
typedef HWND NotifyWindow;

/* A message-only window of this thread: it receives what the library posts. */
static NotifyWindow openNotifyWindow(void) {
    return CreateWindowExA(0, "STATIC", "orvix client", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, GetModuleHandleA(NULL),
                           NULL);
}

/* The code of the first ORVIX_WM_ERROR waiting for the window, or 0. */
static int postedError(NotifyWindow window) {
    MSG message;
    if (!PeekMessageA(&message, window, ORVIX_WM_ERROR, ORVIX_WM_ERROR, PM_REMOVE)) return 0;
    return (int)message.lParam;
}

static void closeNotifyWindow(NotifyWindow window) { DestroyWindow(window); }
#else
typedef ORVIX_WINDOW NotifyWindow;
/* Messages need a display; the library posts nothing to window 0. */
static NotifyWindow openNotifyWindow(void) { return 0; }
static void closeNotifyWindow(NotifyWindow window) { (void)window; }
#endif

static long fileSize(const char* path) {
    FILE* file = fopen(path, "rb");
    long size = -1;
    if (!file) return -1;
    if (fseek(file, 0, SEEK_END) == 0) size = ftell(file);
    fclose(file);
    return size;
}

static int anyNonZero(const unsigned char* bytes, int size) {
    int i;
    for (i = 0; i < size; ++i) {
        if (bytes[i] != 0) return 1;
    }
    return 0;
}

static void runSession(NotifyWindow window, const char* imagePath) {
    const int stride = 1360 * 3; /* 24 bits per pixel, already a multiple of 4 */
    const int size = stride * 1024;
    unsigned char* image;
    ORVIX_WINDOW notify = window; /* a window converts both ways without a cast */
    NotifyWindow posted = notify;
    ORVIX_HANDLE camera;

    check(Orvix_GetDllVersion() == ORVIX_DLL_VERSION, "Orvix_GetDllVersion");
    camera = Orvix_Initialize(notify);
    check(camera != NULL, "Orvix_Initialize gives a handle");
    if (!camera) return;
    check(Orvix_GetLastError(camera) == 0, "start-up queues nothing");

    check(Orvix_SetColorMode(camera, 12) == 0, "12 bits are refused");
#if defined(_WIN32)
    check(postedError(posted) == ERR_PARAMETER, "the refusal is posted to the window");
#else
    (void)posted;
#endif
    check(Orvix_GetLastError(camera) == ERR_PARAMETER, "and queued");

    check(Orvix_SetSubSample(camera, 0) == 1, "no sub-sampling");
    check(Orvix_SetCaptureWindowEx(camera, 1360, 0, 1360, 1024, 0, 1024) == 1, "the full frame");
    check(Orvix_SetColorMode(camera, 24) == 1 && Orvix_GetColorMode(camera) == 24, "24-bit colour mode");

    image = (unsigned char*)malloc((size_t)size);
    check(image != NULL, "image buffer");
    if (image) {
        memset(image, 0, (size_t)size);
        check(Orvix_SnapShot(camera, image, size, 1) == 1, "Orvix_SnapShot");
        check(anyNonZero(image, size), "the snapshot holds the scene");
        free(image);
    }
    remove(imagePath);
    check(Orvix_SaveImage(camera, imagePath, ORVIX_IMAGE_BMP) == 1, "Orvix_SaveImage");
    check(fileSize(imagePath) == 54L + (long)size, "the bitmap file holds the whole image");
    check(Orvix_GetLastError(camera) == 0, "the session queued nothing more");

    check(Orvix_Release(camera) == 1, "Orvix_Release");
    check(Orvix_Release(camera) == 0, "a released handle is unknown");
}

int main(int argc, char** argv) {
    NotifyWindow window;
    if (argc != 2) {
        fprintf(stderr, "usage: %s <bitmap file to write>\n", argv[0]);
        return 2;
    }
    window = openNotifyWindow();
#if defined(_WIN32)
    check(window != NULL, "a window for the library's messages");
#endif
    runSession(window, argv[1]);
    closeNotifyWindow(window);
    printf("%d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}
