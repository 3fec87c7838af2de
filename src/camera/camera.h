#pragma once
// Camera: the object behind one camera handle, a facade over its parts. It holds the
// settings (the capture format, the filter values, the gain block), the error queue
// and the dialogs' entry points, and owns the device link and the capture engine.
//
//   camera.cpp            construction, the capture engine's host, the capture calls
//   camera_startup.cpp    initialize(), shutDown() and the destructor
//   capture_format.cpp    colour mode, capture window, stream settings
//   device_access.cpp     device selection and names, camera info, registers, SROM
//   monitor_control.cpp   the camera's monitor output
//   settings_store.cpp    capture-format persistence
//   properties.cpp        property-by-id interface
//   dialog_entry.cpp      the three settings dialogs
//
// Threads: exported calls may arrive on several application threads at once. The
// settings are guarded by settingsMutex_; a capture takes them as one CaptureConfig
// when it starts and never reads them again, and each frame takes one copy of the
// filter values and auto iris (frameSettings) and gives back what it measured
// (frameMeasured). Capture operations, window and device changes are serialised by
// the capture engine. The settings lock is never held while the engine, the device
// link or a dialog is called.

#include <atomic>
#include <cstdint>
#include <memory>

#include "OrvixSdk_K62DT4.h"
#include "camera/error_queue.h"
#include "capture/capture_config.h"
#include "capture/capture_engine.h"
#include "device/gain_block.h"
#include "device/video_format.h"
#include "dialogs/dialog_support.h"
#include "imaging/filter_settings.h"
#include "imaging/frame_pipeline.h"
#include "imaging/processor_info.h"
#include "platform/mutex.h"
#include "platform/window_handle.h"

namespace orvix {

class DeviceLink;
class AnalogGainDialog;
class ImageFilterDialog;

class Camera final : private CaptureHost {
public:
    Camera();
    virtual ~Camera();
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    // ---- start-up and shutdown (camera_startup.cpp) ----------------------------------
    // Detects the processor, opens the device link, allocates the Surfaces, stores the
    // notification window, loads the stored format, filters, per-camera gains and
    // stream settings. 1 on success; 0 (ERR_MEMORY queued, the link dropped so the
    // Camera behaves as one without a device link) when an allocation failed.
    int initialize(platform::WindowHandle window);
    // Closes the preview window and ends capture, its threads included. False when a
    // capture thread did not end within its bound: it then still uses the Camera,
    // which must be kept alive.
    bool shutDown();

    // ---- errors ----------------------------------------------------------------------
    // The newest queued code, removed; 0 when none.
    std::int32_t popError() { return errors_.pop(); }
    // Queues a code (and announces it to the notification window).
    void pushError(std::int32_t code) { (void)errors_.push(code); }
    // The window queued codes are announced to (0 when none), as initialize() stored it.
    platform::WindowHandle notifyWindow() const { return errors_.notifyWindow(); }

    // ---- capture format (capture_format.cpp) -----------------------------------------
    int width() const;
    int height() const;
    int getColorMode() const; // bits per pixel of the colour type, -1 outside 0..5
    int getSubSample() const;
    int getWaitTime() const;
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

    // ---- device selection and raw device access (device_access.cpp) -------------------
    int setDeviceNumber(int index);
    int enumDevice(char* names); // 10 entries of kDeviceNameSize bytes
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

    // ---- monitor output (monitor_control.cpp) ------------------------------------------
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

    // ---- settings dialogs (dialog_entry.cpp) -------------------------------------------
    // Modal dialogs owned by `owner`: the capture format, the image filters, the analog
    // gains with the monitor output. Each returns 1 once its dialog has closed, however
    // it was closed (a dialog that could not be created, or one asked for while another
    // of its kind is open in the process, counts as cancelled), and 0 with
    // ERR_NOT_INITIALIZED without a device link.
    int setCameraDlg(platform::WindowHandle owner);
    int showImageDialog(platform::WindowHandle owner);
    int showAnalogDialog(platform::WindowHandle owner);
    // The same with another way of running the dialog than the platform's host
    // (tests script the dialogs through it).
    using DialogRunner = dialogs::ModalRunner;
    int setCameraDlg(platform::WindowHandle owner, const DialogRunner& runner);
    int showImageDialog(platform::WindowHandle owner, const DialogRunner& runner);
    int showAnalogDialog(platform::WindowHandle owner, const DialogRunner& runner);

    // ---- property-by-id interface (properties.cpp) -------------------------------------
    int setFilterValue(int id, int value);
    int getFilterValue(int id, int* ok);

    // ---- capture (camera.cpp; the capture engine does the work) -----------------------
    // Each returns 1 on success and 0 on failure; without a device link
    // ERR_NOT_INITIALIZED (close() returns 1 even then). Starts take the capture
    // settings as they are now; see CaptureEngine for the rest.
    int preview();
    int callBackPreview(platform::WindowHandle window, void* buffer, std::int32_t size, std::int32_t topDown);
    int startPreview();
    int stopPreview();
    int trigger(platform::WindowHandle window, void* buffer, std::int32_t size, std::int32_t topDown);
    int capture();
    int snapShot(void* buffer, std::int32_t size, std::int32_t topDown);
    int getImage(void* buffer, std::int32_t size, std::int32_t topDown);
    int close();
    // Saves the last processed image in a format 0..6 (see saveSurface). Without a
    // device link or for a colour type outside 0..5: ERR_NOT_INITIALIZED queued and 0.
    // Other failures return 0 and queue nothing.
    int saveImage(const char* path, std::int32_t format);

    // ---- what the Camera holds, as copies (diagnostics and tests) --------------------
    // The capture settings as one value: what the next capture start takes.
    CaptureConfig captureConfig() const;
    GainBlock gainBlock() const;
    FilterSettings filterSettings() const;
    // The processor record initialize() detected, which chooses the kernel variants.
    ProcessorInfo processorInfo() const { return cpuInfo_; }
    // State of the capture engine, 0 idle, 1 preview, 2 capture, 3 trigger; and the
    // preview window (0 when none).
    std::int32_t captureState() const;
    bool captureThreadRunning() const;
    platform::WindowHandle previewWindow() const;

private:
    // ---- the capture engine's host (camera.cpp) ---------------------------------------
    void reportError(std::int32_t code) override { (void)errors_.push(code); }
    FrameSettings frameSettings() override;
    void frameMeasured(const FrameMeasurements& measured, std::int32_t autoIris) override;
    // Scales the global gain (auto iris 2) or the exposure (1) by `factor`: the camera
    // at once, the gain block, and an open analog gain dialog.
    void correctExposure(std::int32_t autoIris, double factor);

    // Pushes ERR_NOT_INITIALIZED when there is no device link.
    bool requireLink();
    bool formatIsValidLocked() const ORVIX_REQUIRES(settingsMutex_);
    void resetToFullFrameLocked() ORVIX_REQUIRES(settingsMutex_);
    void sendStoredGainsToEveryCamera();
    // Capture-format persistence (settings_store.cpp).
    void loadVideoFormat();
    void loadStreamSettings();

    // The open dialogs (dialog_entry.cpp).
    GainBlock& gainsForDialog();
    FilterSettings& filterForDialog();
    void showGlobalGainInDialog(int globalGain);
    void showExposureInDialog(int exposure);
    void reloadImageFilterDialog();

    // Set once by initialize(), before any other call can reach the Camera.
    ProcessorInfo cpuInfo_{};
    std::unique_ptr<DeviceLink> link_;
    std::unique_ptr<CaptureEngine> engine_;
    ErrorQueue errors_;

    mutable Mutex settingsMutex_;
    VideoFormat format_ ORVIX_GUARDED_BY(settingsMutex_);
    std::int32_t colorType_ ORVIX_GUARDED_BY(settingsMutex_) = 0;
    std::int32_t subSample_ ORVIX_GUARDED_BY(settingsMutex_) = 0;
    std::int32_t waitTime_ ORVIX_GUARDED_BY(settingsMutex_) = 10;
    std::int32_t halfClock_ ORVIX_GUARDED_BY(settingsMutex_) = 0;
    platform::WindowHandle previewParent_ ORVIX_GUARDED_BY(settingsMutex_) = 0;
    PreviewRect previewRect_ ORVIX_GUARDED_BY(settingsMutex_);
    FilterSettings filter_ ORVIX_GUARDED_BY(settingsMutex_);
    GainBlock gains_ ORVIX_GUARDED_BY(settingsMutex_);
    // The filter values were read from the store at start-up, so saving them back at
    // release cannot overwrite stored values with the construction zeros.
    bool filterLoaded_ = false;

    // The open dialogs, reached from the capture thread under the dialogs' lock.
    std::atomic<ImageFilterDialog*> imageDialog_{nullptr};
    std::atomic<AnalogGainDialog*> analogDialog_{nullptr};
};

} // namespace orvix
