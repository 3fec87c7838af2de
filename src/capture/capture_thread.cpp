// The capture thread: the preview loop that takes the newest frame from the
// continuous transfer, and the trigger loop that arms one-shot transfers released by
// the camera's external trigger. Each frame is fetched into the raw Surface and
// processed under the surface lock, then painted, copied to the caller's buffer and
// announced with ORVIX_WM_FRAME (wParam = the address of the frame information)
// without it.

#include "capture/capture_engine.h"
#include "device/device_link.h"
#include "imaging/pixel_kernels.h"
#include "platform/clock.h"
#include "platform/messages.h"

namespace orvix {

namespace {

constexpr std::uint32_t kTriggerPollMs = 10;

// The frame information is read by the application through the posted address while
// the next frame may be written; each field is stored whole.
void storeField(std::int32_t& field, std::int32_t value) { __atomic_store_n(&field, value, __ATOMIC_RELAXED); }

} // namespace

void CaptureEngine::threadMain(const RunningCapture& run) {
    if (run.trigger)
        triggerLoop(run);
    else
        previewLoop(run);
    threadAlive_.store(false);
    done_.set();
}

void CaptureEngine::reportFrameFailure(platform::WindowHandle window, std::int32_t code) {
    if (window) (void)platform::postWindowMessage(window, ORVIX_WM_FRAME, 0, code);
    host_.reportError(code);
}

std::int32_t CaptureEngine::measureFrameRate() {
    ++frameCount_;
    const std::uint32_t now = platform::multimediaTime();
    const std::uint32_t sinceRateTime = now - rateTime_;
    if (sinceRateTime > 1000) {
        frameRate_ = static_cast<std::int32_t>(static_cast<double>(frameCount_) * 10000.0 / sinceRateTime);
        frameCount_ = 0;
        rateTime_ = now;
    }
    return frameRate_;
}

void CaptureEngine::publishFrameInfo(const CaptureConfig& config, std::int32_t rate) {
    const std::int32_t width = subSampled(config.window.hEffective, config.subSample);
    const std::int32_t height = subSampled(config.window.vEffective, config.subSample);
    storeField(frameInfo_.size, static_cast<std::int32_t>(sizeof(FrameInfo)));
    storeField(frameInfo_.width, width);
    storeField(frameInfo_.height, height);
    storeField(frameInfo_.bitsPerPixel, bitsPerPixelOfColorType(config.colorType));
    storeField(frameInfo_.frameRate, rate);
    storeField(frameInfo_.reserved, 0);
}

bool CaptureEngine::fetchLocked(const CaptureConfig& config, bool fromRing) {
    Surface* raw = surfaces_.raw(config.colorType);
    if (!raw || raw->isEmpty()) return false;
    // The link must copy exactly the raw Surface's geometry and sample width, or the
    // copy would not fit it.
    const WindowCopy window = link_.windowCopy();
    const bool wordSamples = raw->bitsPerPixel() == 16;
    if (window.outputWidth() != raw->width() || window.outputHeight() != raw->height() ||
        (link_.tenBitMode() != 0) != wordSamples)
        return false;
    const int copied =
        fromRing ? link_.convertRingFrame(raw->bits(), 0, 0, 1) : link_.convertFrame(raw->bits(), 0, 0, 1);
    if (copied != kLinkOk) return false;
    // The copy is packed row after row; spread the rows to the stride.
    const std::uint32_t packedRow = static_cast<std::uint32_t>(raw->width()) * raw->bytesPerPixel();
    if (raw->stride() != packedRow) raw->blit(wordSamples ? unpackRows16 : unpackRows8, raw, nullptr, 0, 0, nullptr, 0);
    return true;
}

bool CaptureEngine::processLocked(const CaptureConfig& config, const FrameSettings& settings, bool fromRing,
                                  FrameMeasurements& measured, const Surface** displayable) {
    if (!fetchLocked(config, fromRing)) return false;
    // The Bayer sites follow the phase of the window's first sample.
    FrameSettings frame = settings;
    frame.filter.bayerMode = bayerModeOfWindow(settings.filter.bayerMode, config.window.hStart, config.window.vStart);
    measured = pipeline_.process(config.colorType, surfaces_.frame(config.colorType), frame);
    imageReady_ = true;
    if (displayable) *displayable = surfaces_.updateDisplayable(config.colorType);
    return true;
}

void CaptureEngine::handleFrame(const RunningCapture& run, bool fromRing) {
    const FrameSettings settings = host_.frameSettings();
    FrameMeasurements measured;
    const Surface* displayable = nullptr;
    bool processed = false;
    {
        MutexLock lock(surfaceMutex_);
        processed = processLocked(run.config, settings, fromRing, measured, &displayable);
    }
    if (!processed) return reportFrameFailure(run.target.window, ERR_FRAME_TRANSFER);
    host_.frameMeasured(measured, settings.autoIris);
    publishFrameInfo(run.config, run.trigger ? 0 : measureFrameRate());
    deliver(run, displayable);
}

// While this thread runs it is the only writer of the Surfaces (every start, snapshot
// and capture-window change is refused meanwhile), so it reads them here without the
// surface lock; exported calls reading them under the lock only read as well.
void CaptureEngine::deliver(const RunningCapture& run, const Surface* displayable) ORVIX_NO_THREAD_SAFETY_ANALYSIS {
    const std::int32_t type = run.config.colorType;
    if (displayable) (void)window_.paint(*displayable, isMonoDisplay(type), type == 1);
    const DeliveryTarget& target = run.target;
    const Surface* output = surfaces_.output(type);
    if (target.buffer && target.size != 0 &&
        (!output || !copyImageOut(*output, target.topDown, target.buffer, target.size, target.window)))
        return; // reported as a too-small buffer; no frame message
    if (target.window)
        (void)platform::postWindowMessage(target.window, ORVIX_WM_FRAME, reinterpret_cast<std::uintptr_t>(&frameInfo_),
                                          0);
}

void CaptureEngine::previewLoop(const RunningCapture& run) {
    while (threadRun_.load() != kThreadStop) {
        // A stop sets the event, which ends this wait at once whatever the wait time.
        (void)wake_.wait(static_cast<std::uint32_t>(run.config.waitTime));
        if (threadRun_.load() != kThreadRun) continue;
        const int polled = link_.pollFrame();
        if (polled == kPollFailed) {
            threadRun_.store(kThreadStop);
            reportFrameFailure(run.target.window, ERR_TRANSFER_STOPPED);
            break;
        }
        if (polled == kPollNewFrame) handleFrame(run, true);
    }
}

void CaptureEngine::triggerLoop(const RunningCapture& run) {
    const auto arm = [this] {
        if (link_.startSingleTransfer() != kLinkOk) state_.store(kCaptureIdle);
    };
    arm();
    while (threadRun_.load() != kThreadStop) {
        if (threadRun_.load() != kThreadRun) {
            (void)wake_.wait(kTriggerPollMs);
            continue;
        }
        const int result = link_.finishSingleTransfer();
        if (result == kLinkBusy) {
            (void)wake_.wait(kTriggerPollMs);
            continue;
        }
        if (result == kLinkOk) {
            handleFrame(run, false);
        } else {
            // A transfer that failed at once (an unplugged camera) is not re-armed in a
            // tight loop.
            (void)wake_.wait(kTriggerPollMs);
        }
        // Every completed transfer is handled once: whatever became of its frame, the
        // next one is armed now.
        if (threadRun_.load() != kThreadStop) arm();
    }
}

} // namespace orvix
