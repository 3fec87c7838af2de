// Starting capture: preparing the Surfaces and the device for a configuration, and
// the preview, callback-preview, trigger and capture modes.
//
// A start while a capture thread still runs is refused (0, nothing queued): the
// thread keeps using the Surfaces and the device, so nothing may be prepared again
// under it. This covers a trigger thread whose transfer timed out (the state then
// reads idle although the thread goes on arming) and a second Orvix_Trigger.

#include "capture/capture_engine.h"
#include "device/device_link.h"

namespace orvix {

bool CaptureEngine::threadRunning() const { return thread_ && thread_->running(); }

bool CaptureEngine::prepareSurfaces(const CaptureConfig& config) {
    MutexLock lock(surfaceMutex_);
    imageType_ = config.colorType;
    imageReady_ = false;
    return surfaces_.prepare(config.colorType, subSampled(config.window.hEffective, config.subSample),
                             subSampled(config.window.vEffective, config.subSample));
}

void CaptureEngine::programDevice(const CaptureConfig& config) {
    int currentHalfClock = 0;
    if (link_.readHalfClock(&currentHalfClock) && currentHalfClock != config.halfClock)
        (void)link_.setHalfClock(config.halfClock);
    const VideoFormat& w = config.window;
    (void)link_.setCaptureWindow(w.hStart, w.vStart, w.hEffective, w.vEffective, config.subSample);
    (void)link_.setTenBitMode(isWordTransfer(config.colorType) ? 1 : 0);
    (void)link_.setMirrorV(config.gains.mirrorV);
    (void)link_.setGlobalGain(config.gains.globalGain);
    (void)link_.setExposure(config.gains.exposure);
}

bool CaptureEngine::prepare(const CaptureConfig& config) {
    if (!link_.isDevicePresent(link_.currentDevice())) return host_.reportError(ERR_NO_CAMERA), false;
    if (!isGeometryValid(config.window, config.subSample)) return host_.reportError(ERR_GEOMETRY), false;
    if (!prepareSurfaces(config)) return host_.reportError(ERR_MEMORY), false;
    programDevice(config);
    window_.prepareDisplay(isMonoDisplay(config.colorType));
    return true;
}

bool CaptureEngine::startThread(const RunningCapture& run) {
    if (!wake_.valid() || !done_.valid()) return false;
    threadRun_.store(kThreadRun);
    wake_.reset();
    done_.reset();
    thread_ = std::make_unique<platform::Thread>();
    threadAlive_.store(true);
    if (!thread_->start([this, run] { threadMain(run); })) {
        threadAlive_.store(false);
        thread_.reset();
        return false;
    }
    return thread_->id() != 0;
}

int CaptureEngine::startPreviewLocked(const CaptureConfig& config) {
    const std::int32_t state = state_.load();
    if (state == kCapturePreview) return 1;
    if (state != kCaptureIdle || threadRunning()) return 0;
    if (!prepare(config)) return 0;
    if (!startThread(RunningCapture{config, sessionTarget_, false})) {
        (void)stopLocked();
        return host_.reportError(ERR_THREAD), 0;
    }
    (void)link_.setTriggerMode(0);
    if (link_.startContinuousTransfer() != kLinkOk) {
        (void)stopLocked();
        return host_.reportError(ERR_DEVICE_IO), 0;
    }
    state_.store(kCapturePreview);
    return 1;
}

int CaptureEngine::startPreview(const CaptureConfig& config) {
    MutexLock control(controlMutex_);
    return startPreviewLocked(config);
}

bool CaptureEngine::openWindow(const CaptureConfig& config, const DeliveryTarget& target) {
    const PreviewWindow::OpenResult opened =
        window_.open(config.previewParent, config.previewRect, subSampled(config.window.hEffective, config.subSample),
                     subSampled(config.window.vEffective, config.subSample));
    if (opened != PreviewWindow::OpenResult::Opened) {
        // A window without a device context stays until close; the target is not
        // kept for a session that never started.
        sessionTarget_ = DeliveryTarget{};
        sessionWindow_.store(0);
        return host_.reportError(ERR_WINDOW), false;
    }
    sessionTarget_ = target;
    sessionWindow_.store(target.window);
    return true;
}

int CaptureEngine::preview(const CaptureConfig& config, const DeliveryTarget& target) {
    MutexLock control(controlMutex_);
    // One preview window at a time: a second one would be stacked over the first.
    if (window_.isOpen()) return 0;
    if (!openWindow(config, target)) return 0;
    if (startPreviewLocked(config) == 1) return 1;
    (void)closeLocked();
    return 0;
}

int CaptureEngine::trigger(const CaptureConfig& config, const DeliveryTarget& target) {
    MutexLock control(controlMutex_);
    if (state_.load() != kCaptureIdle || threadRunning()) return 0;
    if (!openWindow(config, target)) return 0;
    if (!prepare(config)) {
        (void)closeLocked();
        return 0;
    }
    state_.store(kCaptureTrigger);
    link_.setTransferTimeout(kTriggerTransferTimeoutMs);
    (void)link_.setTriggerMode(1);
    if (!startThread(RunningCapture{config, target, true})) {
        (void)closeLocked();
        return host_.reportError(ERR_THREAD), 0;
    }
    return 1;
}

int CaptureEngine::capture(const CaptureConfig& config) {
    MutexLock control(controlMutex_);
    const std::int32_t state = state_.load();
    if (state == kCapturePreview || state == kCaptureTrigger || threadRunning()) return 0;
    if (state == kCaptureSnapshotReady) return 1;
    if (!prepare(config)) return 0;
    preparedConfig_ = config;
    state_.store(kCaptureSnapshotReady);
    return 1;
}

} // namespace orvix
