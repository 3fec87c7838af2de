#pragma once
// The capture engine of one camera: the capture state machine, the capture thread,
// the Surfaces of the running capture, the preview window and the delivery of frames
// (painting, the copy into the caller's buffer, the frame message).
//
//   capture_engine.cpp   construction, state, the lock-held operations of the facade
//   capture_start.cpp    preparing a capture; preview, callback preview, trigger, capture
//   capture_stop.cpp     stopping the thread and the transfers, closing the window
//   capture_thread.cpp   the preview and trigger loops, frame delivery
//   single_frames.cpp    snapshots, copies of the last image, saving it
//
// A capture works on the CaptureConfig given when it starts and never reads the
// application's settings again; the frame settings (filters, auto iris) come from
// the host once per frame, and what a frame measured goes back to the host.
//
// Threads and locks, in the order they may be taken:
//   controlMutex_  application threads' capture operations (start, stop, snapshot,
//                  close, and the facade's window and device changes through
//                  whileIdle). The capture thread never takes it, so it is held while
//                  that thread is waited for.
//   surfaceMutex_  the Surfaces, the pipeline and the image state; held while a frame
//                  is fetched and processed and by GetImage and SaveImage. Delivery
//                  (painting, the caller's buffer, the message) runs without it: while
//                  a capture thread runs it is the only writer of the Surfaces, so it
//                  reads them unlocked, and exported calls from a frame handler may
//                  take the lock meanwhile.
//   the preview window's own lock, then the device link's.
// Host calls are made with none of the engine's locks held.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "OrvixSdk_K62DT4.h"
#include "capture/capture_config.h"
#include "capture/capture_surfaces.h"
#include "capture/preview_window.h"
#include "imaging/frame_pipeline.h"
#include "platform/event.h"
#include "platform/mutex.h"
#include "platform/thread.h"

namespace orvix {

class DeviceLink;

enum CaptureState : std::int32_t {
    kCaptureIdle = 0,
    kCapturePreview = 1,
    kCaptureSnapshotReady = 2,
    kCaptureTrigger = 3,
};

// What the engine needs from the camera it works for.
class CaptureHost {
public:
    // Queues an error code (and announces it).
    virtual void reportError(std::int32_t code) = 0;
    // One consistent copy of the settings the next frame is processed with.
    virtual FrameSettings frameSettings() = 0;
    // What a frame measured, for the live settings and the camera; called on the
    // thread that processed the frame, with none of the engine's locks held.
    virtual void frameMeasured(const FrameMeasurements& measured, std::int32_t autoIris) = 0;

protected:
    ~CaptureHost() = default;
};

class CaptureEngine {
public:
    // The one-shot transfer time-out of trigger mode.
    static constexpr int kTriggerTransferTimeoutMs = 3000;
    // Longest a stop waits for the capture thread to end: one pass of its loop, which
    // in trigger mode includes a one-shot transfer up to its time-out, with room for
    // the frame in progress. The preview loop's wait between polls ends at once.
    static constexpr std::uint32_t kStopWaitMs = kTriggerTransferTimeoutMs + 3000;

    CaptureEngine(DeviceLink& link, CaptureHost& host, const ProcessorInfo& cpu);
    ~CaptureEngine(); // close()
    CaptureEngine(const CaptureEngine&) = delete;
    CaptureEngine& operator=(const CaptureEngine&) = delete;

    // Makes the Surface objects (start-up); false when one could not be allocated.
    bool allocate();

    // Every operation returns 1 on success and 0 on failure, queuing through the host
    // what the failure calls for; refusals because of the capture state queue nothing.
    // A capture thread that still runs (also one whose trigger mode timed out and
    // reads idle) refuses every start until it is stopped.
    //
    // Preview in a window of the library's own, with `target` for callback preview
    // (an empty target for plain preview); refused while a preview window exists.
    int preview(const CaptureConfig& config, const DeliveryTarget& target);
    // Preview into the window that exists (or none); 1 at once while previewing.
    int startPreview(const CaptureConfig& config);
    // Frames released by the camera's external trigger, delivered as in callback
    // preview; refused while any capture is prepared or runs.
    int trigger(const CaptureConfig& config, const DeliveryTarget& target);
    // Prepares for a series of snapshots.
    int capture(const CaptureConfig& config);
    // One frame on the calling thread, copied to `buffer` when given.
    int snapShot(const CaptureConfig& config, void* buffer, std::int32_t size, std::int32_t topDown);
    // Copies the last processed image (in the colour type it was captured in).
    int getImage(void* buffer, std::int32_t size, std::int32_t topDown);
    // Saves the last processed image; 0 without an image or when the file fails.
    int saveImage(const char* path, std::int32_t format);
    // Ends the capture thread (waiting at most kStopWaitMs) and the continuous
    // transfer; the window and the delivery target stay for a later startPreview.
    int stopPreview();
    // Takes the preview window down, forgets the delivery target and stops capture.
    // Always 1.
    int close();
    // close(); true when no capture thread runs afterwards. False only when a thread
    // did not end within kStopWaitMs: it still uses the engine, its link and its host,
    // which must then be kept alive.
    bool shutDown();

    // Runs `change` while no capture can start or stop, when no capture is prepared
    // or running (window, device and buffer changes); false without running it.
    bool whileIdle(const std::function<void()>& change);

    // The camera settings dialog: preview and snapshot capture are stopped, a trigger
    // capture held, until resumeAfterDialog restarts them with `config`.
    std::int32_t holdForDialog();
    void resumeAfterDialog(std::int32_t heldState, const CaptureConfig& config);

    std::int32_t state() const { return state_.load(); }
    // A capture thread has been started and has not ended yet.
    bool captureThreadRunning() const { return threadAlive_.load(); }
    bool hasPreviewWindow() const { return window_.isOpen(); }
    platform::WindowHandle previewWindowHandle() const { return window_.handle(); }

private:
    enum ThreadRun : std::int32_t { kThreadStop = 0, kThreadRun = 1, kThreadHold = 2 };

    // The configuration a capture thread runs with.
    struct RunningCapture {
        CaptureConfig config;
        DeliveryTarget target;
        bool trigger = false;
    };

    bool threadRunning() const ORVIX_REQUIRES(controlMutex_);
    bool prepare(const CaptureConfig& config) ORVIX_REQUIRES(controlMutex_);
    bool prepareSurfaces(const CaptureConfig& config) ORVIX_REQUIRES(controlMutex_);
    void programDevice(const CaptureConfig& config) ORVIX_REQUIRES(controlMutex_);
    int startPreviewLocked(const CaptureConfig& config) ORVIX_REQUIRES(controlMutex_);
    bool openWindow(const CaptureConfig& config, const DeliveryTarget& target) ORVIX_REQUIRES(controlMutex_);
    bool startThread(const RunningCapture& run) ORVIX_REQUIRES(controlMutex_);
    // False when the thread did not end within kStopWaitMs (it is then left to run
    // and nothing it uses is freed).
    bool endThread() ORVIX_REQUIRES(controlMutex_);
    int stopLocked() ORVIX_REQUIRES(controlMutex_);
    int closeLocked() ORVIX_REQUIRES(controlMutex_);

    // Capture thread.
    void threadMain(const RunningCapture& run);
    void previewLoop(const RunningCapture& run);
    void triggerLoop(const RunningCapture& run);
    // One transferred frame (ring or one-shot): fetched and processed, then painted,
    // copied and announced; a failed fetch is reported instead.
    void handleFrame(const RunningCapture& run, bool fromRing);
    void deliver(const RunningCapture& run, const Surface* displayable);
    void reportFrameFailure(platform::WindowHandle window, std::int32_t code);
    void publishFrameInfo(const CaptureConfig& config, std::int32_t rate);
    std::int32_t measureFrameRate();

    // Frames.
    // Copies the transferred frame into the raw Surface of the colour type, rows
    // spread to its stride; false when the link's window does not fit it or the copy
    // failed.
    bool fetchLocked(const CaptureConfig& config, bool fromRing) ORVIX_REQUIRES(surfaceMutex_);
    // Fetched and processed under the lock; the displayable image, or null.
    bool processLocked(const CaptureConfig& config, const FrameSettings& settings, bool fromRing,
                       FrameMeasurements& measured, const Surface** displayable) ORVIX_REQUIRES(surfaceMutex_);
    // Copies the image's stride x height bytes to `buffer`, in memory order when
    // topDown is non-zero, else bottom row first. A size below that (negative
    // included) posts ORVIX_WM_FRAME (0, ERR_MEMORY) to `failureWindow` when set,
    // queues ERR_MEMORY and copies nothing.
    bool copyImageOut(const Surface& image, std::int32_t topDown, void* buffer, std::int32_t size,
                      platform::WindowHandle failureWindow);

    DeviceLink& link_;
    CaptureHost& host_;

    Mutex controlMutex_;
    mutable Mutex surfaceMutex_ ORVIX_ACQUIRED_AFTER(controlMutex_);
    CaptureSurfaces surfaces_ ORVIX_GUARDED_BY(surfaceMutex_);
    FramePipeline pipeline_ ORVIX_GUARDED_BY(surfaceMutex_);
    // Colour type of the Surfaces made at the last capture start (-1 before the first),
    // and whether a frame has been processed into them since.
    std::int32_t imageType_ ORVIX_GUARDED_BY(surfaceMutex_) = -1;
    bool imageReady_ ORVIX_GUARDED_BY(surfaceMutex_) = false;

    PreviewWindow window_;
    // The delivery target of the preview session (set with the window, forgotten
    // with it), and its window for the failure messages of GetImage.
    DeliveryTarget sessionTarget_ ORVIX_GUARDED_BY(controlMutex_);
    std::atomic<platform::WindowHandle> sessionWindow_{0};
    // The configuration of the capture prepared by capture(), which its snapshots use.
    CaptureConfig preparedConfig_ ORVIX_GUARDED_BY(controlMutex_);

    std::atomic<std::int32_t> state_{kCaptureIdle};
    std::atomic<std::int32_t> threadRun_{kThreadStop};
    std::atomic<bool> threadAlive_{false};
    std::unique_ptr<platform::Thread> thread_ ORVIX_GUARDED_BY(controlMutex_);
    platform::Event wake_; // set to end the preview loop's wait at once
    platform::Event done_; // set by the capture thread as its last act

    // Frame description whose address travels with ORVIX_WM_FRAME; the application
    // may read it while the next frame writes it, so each field is stored whole.
    FrameInfo frameInfo_{static_cast<std::int32_t>(sizeof(FrameInfo)), 0, 0, 0, 0, 0};
    // Frame-rate measurement, capture thread only.
    std::int32_t frameRate_ = 0;
    std::int32_t frameCount_ = 0;
    std::uint32_t rateTime_ = 0;
};

} // namespace orvix
