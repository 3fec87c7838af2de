#pragma once
// Camera: the object behind one camera handle. It owns the device link, the eight
// Surfaces, the capture format, the filter settings, the gain block, the preview
// window and capture thread state, the frame description and the error queue.
//
// The operations are implemented by topic:
//   camera.cpp            construction, defaults, the plain getters
//   camera_startup.cpp    initialize() and the destructor
//   capture_format.cpp    colour mode, capture window, stream settings
//   device_access.cpp     device selection and names, camera info, registers, SROM
//   settings_store.cpp    capture-format persistence
//   properties.cpp        property-by-id interface
//   capture/…             capture engine, frame pipeline, preview window, saving
//   dialog_entry.cpp      the three settings dialogs
//   device/…, imaging/…   monitor control, gain store, filter store, dialogs
//
// Threads: exported calls arrive on application threads; the capture thread reads
// the capture settings and writes frameInfo, the frame-rate fields, the error queue,
// the gains (automatic exposure) and some filter values (white balance, gray gains).
// Shared flags are atomics; `settingsMutex` guards `filter` and `gains`;
// `surfaceMutex` keeps exported calls from reading or recreating Surfaces while a
// frame is processed. No lock is held while waiting for a thread or calling a dialog.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "OrvixSdk_K62DT4.h"
#include "camera/error_queue.h"
#include "device/gain_block.h"
#include "device/video_format.h"
#include "imaging/processor_info.h"
#include "imaging/filter_settings.h"
#include "imaging/frame_pipeline.h"
#include "platform/event.h"
#include "platform/preview_window.h"
#include "platform/thread.h"
#include "platform/window_handle.h"

namespace orvix {

class DeviceLink;
class Surface;
class AnalogGainDialog;
class ImageFilterDialog;

// Placement of the preview window, read as x, y, width, height.
struct PreviewRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = kSensorWidth;
    std::int32_t height = kSensorHeight;
};

enum CaptureState : std::int32_t {
    kCaptureIdle = 0,
    kCapturePreview = 1,
    kCaptureSnapshotReady = 2,
    kCaptureTrigger = 3,
};

enum ThreadRun : std::int32_t {
    kThreadStop = 0,
    kThreadRun = 1,
    kThreadHold = 2,
};

class Camera {
public:
    Camera();
    virtual ~Camera();
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    // ---- plain getters of the construction defaults ---------------------------------
    int width() const { return format.hEffective; }
    int height() const { return format.vEffective; }
    int getColorMode() const;           // bits per pixel of colorType, -1 outside 0..5
    int getSubSample() const { return subSample; }
    int getWaitTime() const { return waitTime; }

    // Bits per pixel of a colour type 0..5; 0 for anything else.
    static int bitsPerPixelOfColorType(std::int32_t type);
    // A colour type capture can work with (0..5). A stored type outside that set is
    // kept as it is (getColorMode reports -1); capture start must refuse it.
    static bool isColorTypeValid(std::int32_t type) { return bitsPerPixelOfColorType(type) != 0; }

    // ---- start-up and shutdown (camera_startup.cpp) ----------------------------------
    // Detects the processor, opens the device link, allocates the Surfaces, stores the
    // notification window, loads the stored format, filters, per-camera gains and
    // stream settings. 1 on success; 0 (ERR_MEMORY queued, the link dropped so the
    // Camera behaves as one without a device link) when an allocation failed.
    int initialize(platform::WindowHandle window);

    // ---- capture format (capture_format.cpp) -----------------------------------------
    int setColorMode(int bits);
    int setSubSample(int mode);
    int setWaitTime(int milliseconds);
    int setHalfClock(int flag);
    int getHalfClock(int* ok);
    int setMirrorV(int flag);
    int getMirrorV();
    static int getMirrorH() { return 0; }
    int setAutoIris(int mode);
    int getAutoIris(int* ok) const;
    int setCaptureWindowEx(int hTotalValue, int hStartValue, int hEffectiveValue, int vTotalValue, int vStartValue,
                           int vEffectiveValue);
    int getCaptureWindowEx(int* hTotalOut, int* hStartOut, int* hEffectiveOut, int* vTotalOut, int* vStartOut,
                           int* vEffectiveOut) const;
    int setCaptureWindow(int width, int height);
    int setPreviewWindow(platform::WindowHandle parent, const PreviewRect& rect);
    // The capture window lies on the sensor and the sub-sample mode is known.
    bool isGeometryValid() const;
    // The full 1360 x 1024 frame at (0, 0); bufferCount is kept.
    void resetToFullFrame();

    // ---- device selection and raw device access (device_access.cpp) -------------------
    int setDeviceNumber(int index);
    int enumDevice(char* names);                 // 10 entries of kDeviceNameSize bytes
    int getDeviceName(int index, char* buffer, int length);
    int getCameraInfo(CameraInfo* info);
    int writeRegister(int address, int value);
    int readRegister(int address, int* ok);
    int fpgaWriteRegister(int address, int value);
    int fpgaReadRegister(int address, int* ok);
    int readSromId(int index, int* ok);
    int writeSromId(int index, int value);

    static constexpr int kDeviceNameCount = 10;
    static constexpr int kDeviceNameSize = 256;

    // ---- monitor output (device/monitor_control.cpp) ----------------------------------
    // The camera's own monitor output, kept in FPGA registers and read back from the
    // camera by every getter; the host keeps no copy. Each returns 1 on success and 0
    // on failure; getters return the value and set *ok (when non-null) to 1 or 0.
    // Without a device link: ERR_NOT_INITIALIZED, no traffic. A failed register read
    // or write: ERR_MONITOR_REQUEST, except where noted.
    int setMonitorPreviewMode(int on);           // live (on != 0) or a held still picture
    int monitorPreviewMode(int* ok);             // 1 only while the register reads 0x000A
    int setMonitorPreviewSize(int width, int height); // 800 x 600 or 1280 x 1024, else ERR_PARAMETER;
                                                      // 0 without a queued code when a write failed
    int monitorPreviewSize(int* width, int* height);  // ERR_PARAMETER for null pointers or an
                                                      // unknown size (also after a failed read)
    int setMonitorColorMode(int color);          // colour (non-zero) or monochrome
    int monitorColorMode(int* ok);               // 1 for colour
    int setMonitorCameraClock(int clock);        // 0: 16 MHz, 2: 48 MHz, anything else 24 MHz
    int monitorCameraClock(int* ok);             // the raw clock code 0..15
    int setMonitorBayerGainAuto(int on);
    int monitorBayerGainAuto(int* ok);
    int setMonitorBayerGainLock(int on);
    int monitorBayerGainLock(int* ok);           // 1 while the gains are locked
    // The gain setters write the gain's low 16 bits and return the write's result; a
    // failed write queues nothing.
    int setMonitorBayerGainRed(int gain);
    int setMonitorBayerGainGreen(int gain);
    int setMonitorBayerGainBlue(int gain);
    int monitorBayerGainRed(int* ok);
    int monitorBayerGainGreen(int* ok);
    int monitorBayerGainBlue(int* ok);

    // ---- settings dialogs (camera/dialog_entry.cpp) ------------------------------------
    // Modal dialogs owned by `owner`: the capture format, the image filters, the analog
    // gains with the monitor output. Each returns 1 once its dialog has closed, however
    // it was closed (a dialog that could not be created counts as cancelled), and 0 with
    // ERR_NOT_INITIALIZED without a device link.
    int setCameraDlg(platform::WindowHandle owner);
    int showImageDialog(platform::WindowHandle owner);
    int showAnalogDialog(platform::WindowHandle owner);

    // ---- capture-format persistence (settings_store.cpp) ------------------------------
    int loadVideoFormat();
    int loadStreamSettings();

    // ---- property-by-id interface (properties.cpp) -------------------------------------
    int setFilterValue(int id, int value);
    int getFilterValue(int id, int* ok);

    // ---- preview window (capture/preview_window.cpp) ----------------------------------
    // Registers a fresh window class (its name goes to previewClassName) and makes the
    // preview window: a child of `parent` at `rect`, or without a parent a centred
    // top-level window whose client area is the sub-sampled capture size. Returns the
    // window, or 0 (a registered class then stays until closePreviewWindow). The
    // caller stores the result in previewWindow and acquires previewDC for it with
    // platform::WindowDC::acquire.
    platform::WindowHandle createPreviewWindow(platform::WindowHandle parent, const PreviewRect& rect);
    // Brings the displayable image up to date for the colour type and paints it into
    // the preview window (capture thread, after each processed frame).
    void paintPreview();
    // Releases previewDC, destroys previewWindow, unregisters the class and empties
    // previewClassName. Safe to call repeatedly; waits for a paint in progress.
    void closePreviewWindow();

    // ---- Surfaces by colour type (capture/capture_surfaces.cpp) -----------------------
    // The colour type's output image (surface8/16/24/32/48/64 for types 0..5) and the
    // raw frame target (surface16 for types 1, 4, 5, surface8 for 0, 2, 3); null for a
    // colour type outside 0..5 or a Surface not made yet.
    Surface* outputSurface() const;
    Surface* rawSurface() const;
    bool isMonoDisplay() const;  // types 0 and 1: 8-bit display
    bool isColorDisplay() const; // types 2 to 5: 24-bit display
    bool isByteTransfer() const; // types 0, 2, 3: 8-bit raw samples
    bool isWordTransfer() const; // types 1, 4, 5: 16-bit raw samples

    // ---- capture engine (capture/capture_start.cpp, capture_stop.cpp, capture_thread.cpp,
    //      single_frames.cpp) ---------------------------------------------------------------
    // Every operation returns 1 on success and 0 on failure; refusals because of the
    // capture state queue nothing. A capture thread that still runs (also one whose
    // trigger mode timed out and reads idle) refuses every start until it is stopped.
    //
    // Surfaces for the colour type, the device programmed for it. True on success.
    bool prepareCapture();
    int startPreview();
    // Preview in a window of the library's own; refused while a preview window exists.
    int preview();
    // The same, with every frame copied to `buffer` and ORVIX_WM_FRAME posted to `window`.
    int callBackPreview(platform::WindowHandle window, void* buffer, std::int32_t size, std::int32_t topDown);
    // Frames released by the camera's external trigger, delivered as in callback
    // preview; refused while trigger mode (or any capture thread) runs.
    int trigger(platform::WindowHandle window, void* buffer, std::int32_t size, std::int32_t topDown);
    int capture();
    int snapShot(void* buffer, std::int32_t size, std::int32_t topDown);
    int getImage(void* buffer, std::int32_t size, std::int32_t topDown);
    // Ends the capture thread (bounded: one pass of its loop, at most the transfer
    // time-out in trigger mode) and the continuous transfer; the window stays.
    int stopPreview();
    // Takes the preview window down and stops capture; always 1.
    int close();
    // Copies the image's stride x height bytes to `buffer`, in memory order when topDown
    // is non-zero, else bottom row first. A size below that (negative included) posts
    // ORVIX_WM_FRAME (0, ERR_MEMORY) to callbackWindow, queues ERR_MEMORY and copies
    // nothing. Called with surfaceMutex held.
    bool copyImageOut(const Surface* surface, std::int32_t topDown, void* buffer, std::int32_t size);
    // The capture thread's loops (captureThreadMain picks one by captureState).
    void previewLoop();
    void triggerLoop();

    // ---- frame pipeline (capture/frame_processing.cpp) ------------------------------
    // Turns the raw frame in rawSurface() into the output image of the colour type
    // with the frame pipeline, on one consistent copy of the filter settings and auto
    // iris, and stores what it measured. Called with surfaceMutex held, on the thread
    // that fetched the frame.
    void processFrame();
    // Stores a frame's white-balance and gray-gain measurements in `filter` (an open
    // image filter dialog reloads) and applies a due exposure correction.
    void storeMeasurements(const FrameMeasurements& measured, std::int32_t autoIris);
    // Scales the global gain (auto iris 2) or the exposure (1) by `factor`: the camera
    // at once, the gain block, and an open analog gain dialog.
    void applyExposureCorrection(std::int32_t autoIris, double factor);
    // Made by initialize() for the detected processor.
    std::unique_ptr<FramePipeline> pipeline;

    // ---- image saving (capture/image_saving.cpp) ---------------------------------------
    // Saves the output image in a format 0..6 (see saveSurface) under surfaceMutex.
    // Without a device link or output Surface: ERR_NOT_INITIALIZED queued and 0.
    // Other failures return 0 and queue nothing.
    int saveImage(const char* path, std::int32_t format);

    // ---- fields, in declaration order -----------------------------------------------
    ProcessorInfo cpuInfo{};
    std::unique_ptr<DeviceLink> link;
    std::unique_ptr<Surface> surface8;
    std::unique_ptr<Surface> surface16;
    std::unique_ptr<Surface> surface24;
    std::unique_ptr<Surface> surface32;
    std::unique_ptr<Surface> surface48;
    std::unique_ptr<Surface> surface64;
    std::unique_ptr<Surface> workSurface;
    std::unique_ptr<Surface> displaySurface;
    platform::WindowHandle previewWindow = 0;
    std::unique_ptr<platform::WindowDC> previewDC;
    char previewClassName[256] = {};
    VideoFormat format;
    FilterSettings filter;
    std::atomic<ImageFilterDialog*> imageDialog{nullptr};
    GainBlock gains;
    std::atomic<AnalogGainDialog*> analogDialog{nullptr};
    std::atomic<std::int32_t> threadRun{kThreadStop};
    std::unique_ptr<platform::Thread> threadHandle;
    std::uint32_t threadId = 0;
    std::unique_ptr<platform::Event> threadDoneEvent;
    platform::WindowHandle previewParent = 0;
    PreviewRect previewRect;
    platform::WindowHandle callbackWindow = 0;
    void* callbackBuffer = nullptr;
    std::int32_t callbackBufferSize = 0;
    std::int32_t callbackTopDown = 0;
    FrameInfo frameInfo{static_cast<std::int32_t>(sizeof(FrameInfo)), 0, 0, 0, 0, 0};
    std::atomic<std::int32_t> captureState{kCaptureIdle};
    std::int32_t colorType = 0;
    std::int32_t subSample = 0;
    std::int32_t waitTime = 10;
    std::int32_t halfClock = 0;
    std::int32_t frameRate = 0;
    std::int32_t frameCount = 0;
    std::uint32_t rateTime = 0;
    ErrorQueue errorQueue;

    // Guards `filter` and `gains` between the capture thread and exported calls.
    mutable std::mutex settingsMutex;
    // Held while a frame is fetched and processed, and by exported calls that read or
    // recreate Surfaces.
    mutable std::mutex surfaceMutex;
    // Held by paintPreview while it uses previewWindow, previewDC and displaySurface,
    // and by closePreviewWindow, so a window is never torn down under a paint. Taken
    // after surfaceMutex when both are held.
    mutable std::mutex previewMutex;

private:
    // Pushes ERR_NOT_INITIALIZED when there is no device link.
    bool requireLink();
    // Capture-window and device changes rebuild the link's frame buffers and must not
    // meet a running or prepared capture.
    bool captureIsIdle() const { return captureState.load() == kCaptureIdle; }
    void allocateSurfaces();
    void sendStoredGainsToEveryCamera();

    // Capture engine helpers.
    bool captureThreadRunning() const;
    bool startCaptureThread();
    void endCaptureThread();
    bool openPreviewWindow(platform::WindowHandle window, void* buffer, std::int32_t size, std::int32_t topDown);
    bool fetchFrame(bool fromRing);
    void publishFrameInfo(std::int32_t rate);
    void deliverFrame();
    void reportFrameFailure(std::int32_t code);
    platform::WindowHandle frameMessageWindow() const;
    // Serialises the capture operations of application threads; the capture thread
    // never takes it, so it may be held while that thread is joined.
    std::recursive_mutex captureControlMutex_;

    // The filter values were read from the store at start-up, so saving them back at
    // release cannot overwrite stored values with the construction zeros.
    bool filterLoaded_ = false;
};

// Entry of the capture thread: the trigger loop in trigger mode, the preview loop
// otherwise; sets threadDoneEvent as its last act.
void captureThreadMain(Camera* camera);

} // namespace orvix
