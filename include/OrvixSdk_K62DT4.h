/*
 * OrvixSdk_K62DT4.h - C interface of the K62DT4 camera SDK.
 *
 * An application obtains a camera handle from Orvix_Initialize and passes it as the
 * first argument of every other function (except Orvix_GetDllVersion). Functions
 * return 1 for success and 0 for failure unless documented otherwise; getters return
 * their value and report success through an optional `int* ok`. The reason for a
 * failure is queued per camera and read back, newest first, with Orvix_GetLastError;
 * each queued code is also posted as ORVIX_WM_ERROR to the window given to
 * Orvix_Initialize. An unknown handle makes every function return 0 (-1 for
 * Orvix_GetColorMode, Orvix_GetSubSample and Orvix_GetWaitTime), queue nothing and
 * leave its out-parameters untouched.
 *
 * Windows: the window handles are HWNDs and messages arrive through PostMessage.
 * Linux: a window handle is an X11 window id; messages arrive as ClientMessage events
 * of type "ORVIX_WINDOW_MESSAGE" with data.l[0] = message, data.l[1] = wParam,
 * data.l[2] = lParam.
 */
#ifndef ORVIXSDK_K62DT4_H
#define ORVIXSDK_K62DT4_H

#include <stdint.h>

#if defined(_WIN32)
#  define ORVIX_CALL __stdcall
#  if defined(ORVIX_BUILDING_LIBRARY)
#    define ORVIX_API
#  else
#    define ORVIX_API __declspec(dllimport)
#  endif
#else
#  define ORVIX_CALL
#  if defined(ORVIX_BUILDING_LIBRARY)
#    define ORVIX_API __attribute__((visibility("default")))
#  else
#    define ORVIX_API
#  endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------------ */
/* Types                                                                          */
/* ------------------------------------------------------------------------------ */

/* Camera handle: an opaque 32-bit value carried in a pointer-sized parameter. */
typedef struct OrvixCameraHandle_* ORVIX_HANDLE;

/* Window that receives notifications or parents the preview window. */
#if defined(_WIN32)
struct HWND__;
typedef struct HWND__* ORVIX_WINDOW; /* the same type as HWND */
#else
typedef unsigned long ORVIX_WINDOW;  /* an X11 Window id */
#endif

/* Posted per delivered frame (wParam = const FrameInfo*, lParam 0) and for frame
 * failures (wParam 0, lParam = ERR_MEMORY, ERR_FRAME_TRANSFER or ERR_TRANSFER_STOPPED). */
#define ORVIX_WM_FRAME 0x8002
/* Posted for every queued error (wParam 0, lParam = the error code). */
#define ORVIX_WM_ERROR 0x8003

/* Value returned by Orvix_GetDllVersion (24.5.0). */
#define ORVIX_DLL_VERSION 0x00180500

/* Error codes returned by Orvix_GetLastError and carried by ORVIX_WM_ERROR. */
typedef enum ORVIXSDK_ERROR {
    ERR_NOT_INITIALIZED = 1,   /* no device link, or the device did not answer */
    ERR_NO_CAMERA = 2,         /* the selected slot holds no camera */
    ERR_THREAD = 3,            /* the capture thread could not be started */
    ERR_WINDOW = 4,            /* the preview window could not be created */
    ERR_MEMORY = 5,            /* allocation failed, buffer too small, or no image yet */
    ERR_DEVICE_IO = 6,         /* a register request or a transfer start/stop failed */
    ERR_GEOMETRY = 7,          /* the capture window lies outside the sensor */
    ERR_FRAME_TRANSFER = 8,    /* a frame could not be read from the camera */
    ERR_PARAMETER = 9,         /* an argument is out of range */
    ERR_UNSUPPORTED = 11,      /* this camera does not support the function */
    ERR_TRANSFER_STOPPED = 13, /* the continuous transfer ended with an error */
    ERR_MONITOR_REQUEST = 15   /* a monitor-control register request failed */
} ORVIXSDK_ERROR;

/* Description of the frame just delivered; its address travels with ORVIX_WM_FRAME
 * and it is overwritten by the next frame. */
typedef struct FrameInfo {
    int32_t size;         /* 24 */
    int32_t width;        /* pixels */
    int32_t height;       /* rows */
    int32_t bitsPerPixel; /* 8, 16, 24, 32, 48 or 64 */
    int32_t frameRate;    /* tenths of a frame per second; 0 in trigger mode */
    int32_t reserved;     /* 0 */
} FrameInfo;

/* Camera limits filled by Orvix_GetCameraInfo; set `size` to sizeof(CameraInfo). */
typedef struct CameraInfo {
    int32_t size;
    int32_t width;          /* 1360 */
    int32_t height;         /* 1024 */
    int32_t globalGainLow;  /* 0 */
    int32_t globalGainHigh; /* 1023 */
    int32_t colorGainLow;   /* 0 */
    int32_t colorGainHigh;  /* 0 */
    int32_t exposureLow;    /* 8 */
    int32_t exposureHigh;   /* 1068 */
} CameraInfo;

/* ------------------------------------------------------------------------------ */
/* Library frame                                                                  */
/* ------------------------------------------------------------------------------ */

/* Creates a camera handle and starts the camera up. notifyWindow (may be 0) receives
 * ORVIX_WM_ERROR for every queued error. Returns the handle, or 0 when the camera
 * object could not be allocated. A handle is returned even when start-up failed; the
 * reason is then queued (ERR_MEMORY, ERR_GEOMETRY). */
ORVIX_API ORVIX_HANDLE ORVIX_CALL Orvix_Initialize(ORVIX_WINDOW notifyWindow);

/* Saves the camera's gains and filters, stops capture, closes the preview window and
 * destroys the camera. Returns 1, or 0 for an unknown handle. */
ORVIX_API int ORVIX_CALL Orvix_Release(ORVIX_HANDLE handle);

/* Removes and returns the newest queued error code; 0 when none is queued. */
ORVIX_API int ORVIX_CALL Orvix_GetLastError(ORVIX_HANDLE handle);

/* Returns ORVIX_DLL_VERSION (0x00180500). Needs no handle. */
ORVIX_API int ORVIX_CALL Orvix_GetDllVersion(void);

/* ------------------------------------------------------------------------------ */
/* Capture format                                                                 */
/* ------------------------------------------------------------------------------ */

/* Width and height of the capture window in sensor pixels (before sub-sampling). */
ORVIX_API int ORVIX_CALL Orvix_Width(ORVIX_HANDLE handle);
ORVIX_API int ORVIX_CALL Orvix_Height(ORVIX_HANDLE handle);

/* Bits per pixel of the colour mode: 8, 16, 24, 32, 48 or 64; -1 for a stored colour
 * type outside that set, and for an unknown handle. */
ORVIX_API int ORVIX_CALL Orvix_GetColorMode(ORVIX_HANDLE handle);

/* Sub-sample mode: 0, 1, 2 for 1/1, 1/2, 1/4; -1 for an unknown handle. */
ORVIX_API int ORVIX_CALL Orvix_GetSubSample(ORVIX_HANDLE handle);

/* Milliseconds the preview thread waits before each poll for a frame; -1 for an
 * unknown handle. */
ORVIX_API int ORVIX_CALL Orvix_GetWaitTime(ORVIX_HANDLE handle);

/* ------------------------------------------------------------------------------ */
/* Image files                                                                    */
/* ------------------------------------------------------------------------------ */

/* Formats of Orvix_SaveImage. */
#define ORVIX_IMAGE_BMP 0     /* bitmap file, rows bottom-up as BMP files keep them */
#define ORVIX_IMAGE_RAW 1     /* the image memory: stride x height bytes, top row first,
                                 rows padded to a multiple of 4 bytes, no header */
#define ORVIX_IMAGE_JPEG100 2 /* progressive JPEG, quality 100, gray or RGB */
#define ORVIX_IMAGE_JPEG70 3  /* progressive JPEG, quality 70 */
#define ORVIX_IMAGE_JPEG20 4  /* progressive JPEG, quality 20 */
#define ORVIX_IMAGE_PNG 5     /* gray, RGB or RGBA, 8 or 16 bits per sample */
#define ORVIX_IMAGE_TIFF 6    /* uncompressed, one strip, 8 or 16 bits per sample */

/* Writes the camera's current image (what the last processed frame left in the
 * colour mode's image; saving does not capture) to the file `path`, replacing an
 * existing file. The 10-bit samples of the 16, 48 and 64-bit modes are widened to
 * 16 bits (PNG, TIFF) or cut to 8 bits (JPEG). Returns 1 on success, and 0 for a
 * format other than 0..6 or a null path (no file is created), before the first
 * frame, or when the file cannot be written (a partly written file is deleted).
 * Without a device link ERR_NOT_INITIALIZED is queued; other failures queue nothing. */
ORVIX_API int ORVIX_CALL Orvix_SaveImage(ORVIX_HANDLE handle, const char* path, int format);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* ORVIXSDK_K62DT4_H */
