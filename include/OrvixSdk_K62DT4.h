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
 * data.l[2] = lParam. X11 carries these items as 32-bit values, so 64-bit programs
 * find the upper half of wParam (the FrameInfo address of ORVIX_WM_FRAME) in
 * data.l[3] and that of lParam in data.l[4]:
 *   wParam = ((uint64_t)(uint32_t)data.l[3] << 32) | (uint32_t)data.l[1].
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

/* Window that receives notifications or parents the preview window. On Windows it is
 * the type windows.h gives HWND, so an HWND passes without a cast: struct HWND__* by
 * default and under STRICT, a plain pointer under NO_STRICT (define NO_STRICT, if at
 * all, before including either header). Both are one pointer in the same place, so
 * the library does not depend on the choice. */
#if defined(_WIN32)
#  if defined(NO_STRICT) && !defined(STRICT)
typedef void* ORVIX_WINDOW;
#  else
struct HWND__;
typedef struct HWND__* ORVIX_WINDOW;
#  endif
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
 * ORVIX_WM_ERROR for every queued error. Start-up opens the cameras (slot 0 ends up
 * selected), loads the stored capture format, filters, per-camera gains and stream
 * settings (creating the defaults on first use), and sends every camera its stored
 * gain and exposure. Returns the handle, or 0 when the camera object could not be
 * allocated. A handle is returned even when start-up failed; the reason is then
 * queued: ERR_MEMORY (the handle then behaves as one without a device link), or
 * ERR_GEOMETRY (a stored format outside the sensor; the full frame is used). */
ORVIX_API ORVIX_HANDLE ORVIX_CALL Orvix_Initialize(ORVIX_WINDOW notifyWindow);

/* Saves the camera's gains and filters, stops capture, closes the preview window and
 * destroys the camera. Returns 1, or 0 for an unknown handle. May be called from any
 * thread, also while another thread uses the handle (the camera then goes when that
 * call returns). Waits as Orvix_StopPreview does; the settings file's lock at most
 * 3 s. A capture thread that did not end within its bound keeps the camera alive
 * instead of freeing it under that thread. */
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

/* Colour mode for the next capture start: bits 8, 16, 24, 32, 48 or 64. Returns 1;
 * any other value returns 0 and queues ERR_PARAMETER. */
ORVIX_API int ORVIX_CALL Orvix_SetColorMode(ORVIX_HANDLE handle, int bits);

/* Sub-sample mode 0, 1 or 2 (1/1, 1/2, 1/4 in each direction). Returns 1; any other
 * value returns 0 and queues nothing. */
ORVIX_API int ORVIX_CALL Orvix_SetSubSample(ORVIX_HANDLE handle, int mode);

/* Wait time of the preview thread, 0 or more milliseconds. Returns 1; a negative value
 * returns 0 and queues nothing. */
ORVIX_API int ORVIX_CALL Orvix_SetWaitTime(ORVIX_HANDLE handle, int milliseconds);

/* Requests the half clock (flag non-zero) or the normal clock for the next capture
 * start. Returns 1. */
ORVIX_API int ORVIX_CALL Orvix_SetHalfClock(ORVIX_HANDLE handle, int flag);

/* The camera's current clock as it reports it: 1 half, 0 normal; *ok (may be null)
 * receives 1. When the camera does not answer: 0, *ok = 0, ERR_NOT_INITIALIZED. */
ORVIX_API int ORVIX_CALL Orvix_GetHalfClock(ORVIX_HANDLE handle, int* ok);

/* Stores the vertical mirror flag (0 or 1); the camera has no mirror, so the image is
 * not changed. Returns 1; ERR_NOT_INITIALIZED without a device link. */
ORVIX_API int ORVIX_CALL Orvix_SetMirrorV(ORVIX_HANDLE handle, int flag);

/* The device's mirror state: always 0. ERR_NOT_INITIALIZED without a device link. */
ORVIX_API int ORVIX_CALL Orvix_GetMirrorV(ORVIX_HANDLE handle);

/* Horizontal mirroring is not available: always 0, nothing queued. */
ORVIX_API int ORVIX_CALL Orvix_GetMirrorH(ORVIX_HANDLE handle, int ignored);

/* Auto iris: 0 off, 1 corrects the exposure, 2 the gain. Returns 1; any other value
 * returns 0 and queues ERR_PARAMETER. */
ORVIX_API int ORVIX_CALL Orvix_SetAutoIris(ORVIX_HANDLE handle, int mode);

/* The auto-iris mode; *ok (may be null) receives 1. */
ORVIX_API int ORVIX_CALL Orvix_GetAutoIris(ORVIX_HANDLE handle, int* ok);

/* Chooses the stored capture format (the list edited by Orvix_SetCameraDlg) whose
 * width and height match. Returns 1 when one matched, 0 when none did (nothing
 * queued). A matching format that lies outside the sensor queues ERR_GEOMETRY and the
 * full frame is used instead (still 1). Refused with 0 while capture is running or
 * prepared (stop it first). ERR_NOT_INITIALIZED without a device link. */
ORVIX_API int ORVIX_CALL Orvix_SetCaptureWindow(ORVIX_HANDLE handle, int width, int height);

/* Sets the capture window: total size (not checked), first column, width, first line
 * and height on the 1360 x 1024 sensor. Returns 1; a window outside the sensor (or a
 * stored sub-sample mode outside 0..2) returns 0 and queues ERR_GEOMETRY, and the
 * values stay stored so that capture start refuses them too. Refused with 0 while
 * capture is running or prepared. ERR_NOT_INITIALIZED without a device link. */
ORVIX_API int ORVIX_CALL Orvix_SetCaptureWindowEx(ORVIX_HANDLE handle, int hTotal, int hStart, int hEffective,
                                                  int vTotal, int vStart, int vEffective);

/* Writes the stored capture window through every non-null pointer. Returns 1. */
ORVIX_API int ORVIX_CALL Orvix_GetCaptureWindowEx(ORVIX_HANDLE handle, int* hTotal, int* hStart, int* hEffective,
                                                  int* vTotal, int* vStart, int* vEffective);

/* Parent window and placement of the preview window created by the next preview.
 * Returns 1; ERR_NOT_INITIALIZED without a device link. */
ORVIX_API int ORVIX_CALL Orvix_SetPreviewWindow(ORVIX_HANDLE handle, ORVIX_WINDOW parent, int x, int y, int width,
                                                int height);

/* ------------------------------------------------------------------------------ */
/* Device selection, camera information and raw device access                     */
/* (all: ERR_NOT_INITIALIZED without a device link)                               */
/* ------------------------------------------------------------------------------ */

/* Saves the gains of the current camera and selects camera slot `index` (0..7).
 * Returns 1; ERR_NO_CAMERA when the slot holds no camera. Refused with 0 while capture
 * is running or prepared. */
ORVIX_API int ORVIX_CALL Orvix_SetDeviceNumber(ORVIX_HANDLE handle, int index);

/* Names the cameras present, in slot order, into `names` (10 entries of 256 bytes):
 * "OrvixK62DT4_01", "OrvixK62DT4_02", ... numbered by count, not by slot; the other
 * entries are emptied. Returns the number of cameras. A null array: 0, ERR_PARAMETER. */
ORVIX_API int ORVIX_CALL Orvix_EnumDevice(ORVIX_HANDLE handle, char* names);

/* Name of the camera in slot `index`, numbered slot + 1 ("OrvixK62DT4_06" for slot 5),
 * into `name` of `length` bytes. Returns 1. A length below 16 or a null buffer:
 * ERR_PARAMETER; an index outside 0..7: 0, nothing queued; an empty slot:
 * ERR_NO_CAMERA. */
ORVIX_API int ORVIX_CALL Orvix_GetDeviceName(ORVIX_HANDLE handle, int index, char* name, int length);

/* Fills the camera limits after `size`, which must be at least 36. Returns 1. A null
 * record: ERR_PARAMETER; a smaller size: ERR_MEMORY. */
ORVIX_API int ORVIX_CALL Orvix_GetCameraInfo(ORVIX_HANDLE handle, CameraInfo* info);

/* Sensor register access: the low 8 bits of the address, the low 16 bits of the
 * value. The read returns the value with *ok = 1. Failure: 0 (*ok = 0), ERR_DEVICE_IO. */
ORVIX_API int ORVIX_CALL Orvix_WriteRegister(ORVIX_HANDLE handle, int address, int value);
ORVIX_API int ORVIX_CALL Orvix_ReadRegister(ORVIX_HANDLE handle, int address, int* ok);

/* FPGA register access (8-bit address from 0x10, 16-bit value). The read returns the
 * value with *ok = 1. Failure: 0 (*ok = 0), ERR_DEVICE_IO. */
ORVIX_API int ORVIX_CALL Orvix_Fpga_WriteRegister(ORVIX_HANDLE handle, int address, int value);
ORVIX_API int ORVIX_CALL Orvix_Fpga_ReadRegister(ORVIX_HANDLE handle, int address, int* ok);

/* The eight user ID bytes of the camera's serial ROM (index 0..7, value 0..255). The
 * read returns the byte with *ok = 1. Failure: 0 (*ok = 0), ERR_NOT_INITIALIZED. */
ORVIX_API int ORVIX_CALL Orvix_WriteSromID(ORVIX_HANDLE handle, int index, int value);
ORVIX_API int ORVIX_CALL Orvix_ReadSromID(ORVIX_HANDLE handle, int index, int* ok);

/* ------------------------------------------------------------------------------ */
/* Properties by id                                                               */
/* ------------------------------------------------------------------------------ */
/*
 * id  property         accepted values         id  property          accepted values
 *  1  Brightness       -255..255               15  ColorGainGreen1   0..63
 *  2  Contrast         -127..127               16  ColorGainGreen2   0..63
 *  3  Hue              -360..360               17  ColorGainBlue     0..63
 *  4  Saturation       -255..255               18  ExposureTime      0..16383
 *  5  Sharpness        0..30                   19  GrayMode          0..2
 *  6  BayerGainRGB     0x00BBGGRR (any)        20  GrayGainR         0..255
 *  7  BayerGainRed     0..400                  21  GrayGainG1        0..255
 *  8  BayerGainGreen   0..400                  22  GrayGainG2        0..255
 *  9  BayerGainBlue    0..400                  23  GrayGainB         0..255
 * 10  BayerGainAuto    any (0 off, else on)    24  GrayOffsetR       -255..255
 * 11  Gamma            0..200                  25  GrayOffsetG1      -255..255
 * 12  BayerMode        0..3                    26  GrayOffsetG2      -255..255
 * 13  GlobalGain       0..63                   27  GrayOffsetB       -255..255
 * 14  ColorGainRed     0..63
 *
 * GlobalGain also sets the four colour gains and goes to the camera at once, as does
 * ExposureTime; their getters return what the camera was sent (exposure within
 * 8..1068). The colour-gain getters return 0. BayerGainRGB packs the low bytes of the
 * three Bayer gains. Setters return 1, or 0 with ERR_PARAMETER for an unknown id or a
 * value outside the range; getters return the value with *ok = 1, or 0 with *ok = 0
 * and ERR_PARAMETER for an unknown id. Both queue ERR_NOT_INITIALIZED without a
 * device link. Each named function is the generic one with its id.
 */
ORVIX_API int ORVIX_CALL Orvix_SetFilterValue(ORVIX_HANDLE handle, int id, int value);
ORVIX_API int ORVIX_CALL Orvix_GetFilterValue(ORVIX_HANDLE handle, int id, int* ok);

ORVIX_API int ORVIX_CALL Orvix_SetBrightness(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetBrightness(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetContrast(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetContrast(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetHue(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetHue(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetSaturation(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetSaturation(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetSharpness(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetSharpness(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetBayerGainRGB(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetBayerGainRGB(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetBayerGainRed(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetBayerGainRed(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetBayerGainGreen(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetBayerGainGreen(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetBayerGainBlue(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetBayerGainBlue(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetBayerGainAuto(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetBayerGainAuto(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetGamma(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetGamma(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetBayerMode(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetBayerMode(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetGlobalGain(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetGlobalGain(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetColorGainRed(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetColorGainRed(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetColorGainGreen1(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetColorGainGreen1(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetColorGainGreen2(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetColorGainGreen2(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetColorGainBlue(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetColorGainBlue(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetExposureTime(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetExposureTime(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetGrayMode(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetGrayMode(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetGrayGainR(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetGrayGainR(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetGrayGainG1(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetGrayGainG1(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetGrayGainG2(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetGrayGainG2(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetGrayGainB(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetGrayGainB(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetGrayOffsetR(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetGrayOffsetR(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetGrayOffsetG1(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetGrayOffsetG1(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetGrayOffsetG2(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetGrayOffsetG2(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_SetGrayOffsetB(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_GetGrayOffsetB(ORVIX_HANDLE handle, int* ok);

/* ------------------------------------------------------------------------------ */
/* Capture, display and saving                                                    */
/* ------------------------------------------------------------------------------ */
/*
 * Capture states: idle, preview (Orvix_StartPreview, Orvix_Preview,
 * Orvix_CallBackPreview), capture (Orvix_Capture: ready for a series of snapshots)
 * and trigger (Orvix_Trigger). A start refused because of the state returns 0 and
 * queues nothing. Every start prepares the images for the colour mode and sends the
 * camera its clock, capture window, sample width, mirror, gain and exposure. Frame
 * buffers hold stride x height bytes, each row whole (stride = width x bytes per
 * pixel rounded up to a multiple of 4); topDown non-zero puts the picture's top row
 * first, 0 its bottom row first (bitmap order). A buffer smaller than that (a
 * negative size included) receives nothing: ORVIX_WM_FRAME (0, ERR_MEMORY) is posted
 * to the frame window, if any, and ERR_MEMORY queued. All of them queue
 * ERR_NOT_INITIALIZED without a device link.
 *
 * A capture keeps what it started with: colour mode, sub-sample mode, wait time,
 * half clock, capture window, preview placement and the gains sent at the start.
 * Changing them during a capture stores the new value (the getters return it at
 * once) for the next start; Orvix_SetCaptureWindow, Orvix_SetCaptureWindowEx and
 * Orvix_SetDeviceNumber are refused (0, nothing queued) while a capture is prepared or
 * runs. Filter values and auto iris take effect with the next frame. The frame window,
 * buffer, size and row order given to Orvix_CallBackPreview or Orvix_Trigger stay with
 * its preview window (a stop and a new Orvix_StartPreview keep them) and are forgotten
 * by Orvix_Close or a start that fails. Any thread may call these functions, several
 * at once on one handle.
 */

/* Shows a live preview in a window of the library's own: a child of the window given
 * to Orvix_SetPreviewWindow at its placement, or without one a centred top-level
 * window the size of the image. Returns 1. Refused (0, nothing queued) while a
 * preview window exists (Orvix_Close it first). ERR_WINDOW when the window cannot be
 * made (always without a display); a start that fails closes the window again. */
ORVIX_API int ORVIX_CALL Orvix_Preview(ORVIX_HANDLE handle);

/* As Orvix_Preview, and every frame is copied into `buffer` (`size` bytes, row order
 * by topDown) before ORVIX_WM_FRAME is posted to `window` with wParam = the address of
 * a FrameInfo, lParam 0. The FrameInfo is overwritten by the next frame. A frame that
 * cannot be read posts (0, ERR_FRAME_TRANSFER); a transfer that ends with an error
 * (an unplugged camera) posts (0, ERR_TRANSFER_STOPPED) and ends the preview thread
 * (Orvix_StopPreview then returns 0 with ERR_DEVICE_IO). Each such failure is queued
 * as well. */
ORVIX_API int ORVIX_CALL Orvix_CallBackPreview(ORVIX_HANDLE handle, ORVIX_WINDOW window, void* buffer, int size,
                                               int topDown);

/* Frames released by the camera's external trigger, delivered as in
 * Orvix_CallBackPreview (FrameInfo frame rate 0), in a preview window of their own.
 * Each arming waits up to 3 s for a trigger; after one that timed out the state
 * reads idle while the thread goes on arming until Orvix_StopPreview. Refused (0)
 * during preview, capture, or while a trigger thread runs. */
ORVIX_API int ORVIX_CALL Orvix_Trigger(ORVIX_HANDLE handle, ORVIX_WINDOW window, void* buffer, int size,
                                       int topDown);

/* Starts the preview thread and the continuous transfer without a window of its own
 * (frames are read with Orvix_GetImage). Returns 1, also when preview already runs;
 * 0 in capture or trigger state. ERR_NO_CAMERA, ERR_GEOMETRY, ERR_MEMORY, ERR_THREAD
 * or ERR_DEVICE_IO when the start fails. */
ORVIX_API int ORVIX_CALL Orvix_StartPreview(ORVIX_HANDLE handle);

/* Ends the capture thread and the transfer and returns to the idle state; the preview
 * window stays open. Returns 1; 0 with ERR_DEVICE_IO when the transfer ended with an
 * error. Takes at most one frame's work in preview (the wait between polls ends at
 * once, whatever the wait time) and up to the 3 s trigger wait in trigger mode; it
 * never waits longer than 6 s for the capture thread (then 0 with ERR_THREAD, and the
 * thread keeps what it uses until it ends). May be called from a frame handler. */
ORVIX_API int ORVIX_CALL Orvix_StopPreview(ORVIX_HANDLE handle);

/* Prepares the capture state for a series of Orvix_SnapShot calls without preparing
 * again for each. Returns 1 (also when already in capture state); 0 during preview
 * or trigger mode. */
ORVIX_API int ORVIX_CALL Orvix_Capture(ORVIX_HANDLE handle);

/* Takes one frame, processes it and copies it into `buffer` (a null buffer or size 0
 * only keeps it for Orvix_GetImage and Orvix_SaveImage). Returns 1; 0 during preview
 * or trigger mode, when no frame arrived, with ERR_FRAME_TRANSFER when it could not
 * be read, or with ERR_MEMORY for a small buffer. From the idle state every call
 * prepares the capture again; in capture state the frame is taken as Orvix_Capture
 * prepared it. Waits for the frame at most the transfer time-out (3 s) and a second
 * more. */
ORVIX_API int ORVIX_CALL Orvix_SnapShot(ORVIX_HANDLE handle, void* buffer, int size, int topDown);

/* Copies the last processed image, in the colour mode it was captured in, into
 * `buffer`. Returns 1; 0 with ERR_MEMORY before the first frame (also before the first
 * frame of a capture just started), for a null buffer or a small one. Safe while
 * preview runs: it never reads an image half-way through a frame. */
ORVIX_API int ORVIX_CALL Orvix_GetImage(ORVIX_HANDLE handle, void* buffer, int size, int topDown);

/* Closes the preview window and stops capture. Always returns 1 for a known handle. */
ORVIX_API int ORVIX_CALL Orvix_Close(ORVIX_HANDLE handle);

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

/* Always returns 0 and queues nothing; the argument is ignored. */
ORVIX_API int ORVIX_CALL Orvix_GetStatus(ORVIX_HANDLE handle, int ignored);

/* ------------------------------------------------------------------------------ */
/* Settings dialogs                                                               */
/* ------------------------------------------------------------------------------ */
/*
 * Each runs a modal dialog owned by `owner` on the calling thread and returns 1 once
 * the dialog has closed, whether it was confirmed or cancelled; a dialog that cannot
 * be created (on Linux: no display), and one asked for while another dialog of its
 * kind is open in the process, counts as cancelled (1 at once). Without a device
 * link: 0 and ERR_NOT_INITIALIZED, no dialog.
 */

/* The capture format: the stored formats (with a new "Custom" one), colour mode,
 * sub-sample mode, wait time and clock. OK and Apply store the values; after OK the
 * camera uses them. A capture running when the dialog opens is stopped (or held, in
 * trigger mode) and resumed when it closes. */
ORVIX_API int ORVIX_CALL Orvix_SetCameraDlg(ORVIX_HANDLE handle, ORVIX_WINDOW owner);

/* The image filters (and, in the monochrome modes, the gray gains and offsets), which
 * change the next frame as they are edited; Cancel restores the values the dialog
 * opened with. */
ORVIX_API int ORVIX_CALL Orvix_SetImageDlg(ORVIX_HANDLE handle, ORVIX_WINDOW owner);

/* The analog gains, exposure, mirror and auto iris (sent to the camera as they are
 * edited; Cancel sends back the values the dialog opened with), and a page for the
 * camera's monitor output. */
ORVIX_API int ORVIX_CALL Orvix_SetAnalogDlg(ORVIX_HANDLE handle, ORVIX_WINDOW owner);

/* ------------------------------------------------------------------------------ */
/* Monitor output                                                                 */
/* ------------------------------------------------------------------------------ */
/*
 * The camera's own monitor output, independent of the images delivered to the host.
 * The settings live in the camera: every getter reads them back from it. Setters
 * return 1 and getters their value with *ok (may be null) = 1. Failures return 0
 * (*ok = 0) and queue ERR_NOT_INITIALIZED without a device link, or
 * ERR_MONITOR_REQUEST when a register request to the camera failed (exceptions are
 * noted). Each setter changes only its own setting.
 */

/* value non-zero: live picture; 0: hold the current picture. The getter returns 1
 * while the live picture runs, 0 otherwise. */
ORVIX_API int ORVIX_CALL Orvix_Monitor_SetPreviewMode(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_Monitor_GetPreviewMode(ORVIX_HANDLE handle, int* ok);

/* Monitor picture size: 800 x 600 or 1280 x 1024 (any other size: 0, ERR_PARAMETER,
 * nothing sent). Returns 1 once the size and its timing have been sent, and 0 without
 * queuing anything when the camera did not take one of them. */
ORVIX_API int ORVIX_CALL Orvix_Monitor_SetPreviewSize(ORVIX_HANDLE handle, int width, int height);
/* Writes the monitor picture size through both pointers: 800 x 600, 1024 x 768 or
 * 1280 x 1024. Returns 1; 0 with ERR_PARAMETER for a null pointer, and for a size the
 * camera reports that is none of these or that could not be read (the pointers are
 * then left as they were). */
ORVIX_API int ORVIX_CALL Orvix_Monitor_GetPreviewSize(ORVIX_HANDLE handle, int* width, int* height);

/* value non-zero: colour; 0: monochrome. The getter returns 1 for colour. */
ORVIX_API int ORVIX_CALL Orvix_Monitor_SetColorMode(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_Monitor_GetColorMode(ORVIX_HANDLE handle, int* ok);

/* Camera clock: 0 for 16 MHz, 2 for 48 MHz, any other value for 24 MHz. The getter
 * returns the camera's clock code: 0 (16 MHz), 2 (24 MHz) or 5 (48 MHz). */
ORVIX_API int ORVIX_CALL Orvix_Monitor_SetCameraClock(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_Monitor_GetCameraClock(ORVIX_HANDLE handle, int* ok);

/* Automatic Bayer gain of the monitor picture: value non-zero on, 0 off. The getter
 * returns 1 while it is on. */
ORVIX_API int ORVIX_CALL Orvix_Monitor_SetBayerGainAuto(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_Monitor_GetBayerGainAuto(ORVIX_HANDLE handle, int* ok);

/* Locks (value non-zero) or unlocks the monitor's Bayer gains. The getter returns 1
 * while they are locked. */
ORVIX_API int ORVIX_CALL Orvix_Monitor_SetBayerGainLock(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_Monitor_GetBayerGainLock(ORVIX_HANDLE handle, int* ok);

/* The monitor's Bayer gains, 16 bits each (the setter sends the low 16 bits of
 * value). The setters return 0 without queuing anything when the camera did not take
 * the value; the getters return the gain. */
ORVIX_API int ORVIX_CALL Orvix_Monitor_SetBayerGainRed(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_Monitor_GetBayerGainRed(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_Monitor_SetBayerGainGreen(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_Monitor_GetBayerGainGreen(ORVIX_HANDLE handle, int* ok);
ORVIX_API int ORVIX_CALL Orvix_Monitor_SetBayerGainBlue(ORVIX_HANDLE handle, int value);
ORVIX_API int ORVIX_CALL Orvix_Monitor_GetBayerGainBlue(ORVIX_HANDLE handle, int* ok);

/* ------------------------------------------------------------------------------ */
/* Functions this camera does not support                                         */
/* ------------------------------------------------------------------------------ */
/*
 * Exported, but this camera has none of these features. The argument after the
 * handle is ignored. Each returns 0 and queues ERR_UNSUPPORTED.
 */
ORVIX_API int ORVIX_CALL Orvix_Fps(ORVIX_HANDLE handle, int ignored);
ORVIX_API int ORVIX_CALL Orvix_GetCameraType(ORVIX_HANDLE handle, int ignored);
ORVIX_API int ORVIX_CALL Orvix_GetIOPort(ORVIX_HANDLE handle, int ignored);
ORVIX_API int ORVIX_CALL Orvix_Record(ORVIX_HANDLE handle, int ignored);
ORVIX_API int ORVIX_CALL Orvix_SetCameraType(ORVIX_HANDLE handle, int ignored);
ORVIX_API int ORVIX_CALL Orvix_SetCrossbar(ORVIX_HANDLE handle, int ignored);
ORVIX_API int ORVIX_CALL Orvix_SetIOPort(ORVIX_HANDLE handle, int ignored);
ORVIX_API int ORVIX_CALL Orvix_SetMirrorH(ORVIX_HANDLE handle, int ignored);
ORVIX_API int ORVIX_CALL Orvix_SetSamplingRate(ORVIX_HANDLE handle, int ignored);

/* Write 0 through `value` when it is not null and return 0; nothing is queued. */
ORVIX_API int ORVIX_CALL Orvix_GetSamplingRate(ORVIX_HANDLE handle, int* value);
ORVIX_API int ORVIX_CALL Orvix_GetVideoFormat(ORVIX_HANDLE handle, int* value);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* ORVIXSDK_K62DT4_H */
