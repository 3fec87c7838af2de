// Frame buffers, the one-shot and ring transfers, and the window copies out of them.

#include <algorithm>
#include <cstring>
#include <new>

#include "device/device_link.h"
#include "device/driver_protocol.h"
#include "device/video_format.h"
#include "platform/clock.h"

namespace orvix {

namespace {

// Largest frame the buffers are made for (samples), far above the sensor's.
constexpr std::uint64_t kMaxFrameSamples = 64u * 1024u * 1024u;

void copyPath(char (&out)[32], const char (&path)[32]) { std::memcpy(out, path, sizeof(out)); }

} // namespace

int chooseNewestSlot(int writeIndex, int readIndex, int slotCount, int* chosen) {
    int w = writeIndex;
    if (w < readIndex) w += slotCount;
    if (w - readIndex < 1) return kPollNoFrame;
    int newest = w - 1;
    if (newest < 0) newest = slotCount - 1;
    if (newest >= slotCount) newest -= slotCount;
    *chosen = newest;
    return kPollNewFrame;
}

bool DeviceLink::waitForTransfer(const platform::Event& event, const std::atomic<std::int32_t>& flag) const {
    const std::uint32_t bound = static_cast<std::uint32_t>(std::max(transferTimeoutMs_.load(), 0)) + kTransferWaitMarginMs;
    const std::uint32_t start = platform::tickCount();
    while (flag.load() == 0) {
        const std::uint32_t waited = platform::tickCount() - start;
        if (waited >= bound) return false;
        // Should an event be missing, the flag is polled instead.
        if (event.valid())
            (void)event.wait(bound - waited);
        else
            platform::sleepMs(1);
    }
    return true;
}

bool DeviceLink::transferRunning() const { return single_.done.load() == 0 || ring_.stopped.load() == 0; }

std::uint32_t DeviceLink::transferLength() const { return tenBit_.load() ? frameSamples_ * 2 : frameSamples_; }

WindowCopy DeviceLink::windowCopy() const {
    WindowCopy window;
    window.lineLength = lineLength_;
    window.width = width_;
    window.height = height_;
    window.subSample = subSample_;
    // The window's position within the active area, kept inside the raw frame.
    window.originSample = std::min(firstSample_ + windowX_, lineLength_ - width_);
    window.originLine = std::min(firstLine_ + windowY_, rawLines_ - height_);
    return window;
}

// ---- buffers --------------------------------------------------------------------------------

int DeviceLink::setCaptureWindow(int x, int y, int width, int height, int subSample) {
    return applyCaptureWindow(x, y, width, height, subSample, true);
}

int DeviceLink::applyCaptureWindow(int x, int y, int width, int height, int subSample, bool talk) {
    // The same rule as the capture format's check, so a window the format accepts is
    // one the link can copy.
    if (!windowFitsSensor(x, y, width, height) || subSample < 0 || subSample > 3) return kLinkBadWindow;
    if (transferRunning()) return kLinkBusy; // the running transfer's window must not change
    windowX_ = x;
    windowY_ = y;
    width_ = width;
    height_ = height;
    subSample_ = subSample;
    (void)buildFrameBuffers(protocol::kRawLineLength, protocol::kFirstActiveSample, width, protocol::kRawLines,
                            protocol::kFirstActiveLine, height, 10, talk);
    return kLinkOk;
}

void DeviceLink::releaseFrameBuffers() {
    workBuffer_.clear();
    workBuffer_.shrink_to_fit();
    ringSlots_.clear();
    ringSlots_.shrink_to_fit();
}

int DeviceLink::setupFrameBuffers(int lineLength, int firstSample, int width, int rawLines, int firstLine, int height,
                                  int slotCount) {
    return buildFrameBuffers(lineLength, firstSample, width, rawLines, firstLine, height, slotCount, true);
}

int DeviceLink::buildFrameBuffers(int lineLength, int firstSample, int width, int rawLines, int firstLine, int height,
                                  int slotCount, bool talk) {
    if (transferRunning()) return kLinkBusy; // the threads write into these buffers
    if (lineLength <= 0 || width <= 0 || width > lineLength || firstSample < 0 || firstSample > lineLength - width)
        return kLinkBadLineGeometry;
    if (rawLines <= 0 || height <= 0 || firstLine < 0 || firstLine > rawLines - height) return kLinkBadLineCount;
    if (slotCount < 2) return kLinkBadWindow;

    releaseFrameBuffers();
    slotCount_ = slotCount;
    width_ = width;
    lineLength_ = lineLength;
    firstSample_ = firstSample;
    rawLines_ = rawLines;
    firstLine_ = firstLine;
    height_ = height;

    const std::uint64_t rawSamples = std::uint64_t(lineLength) * std::uint64_t(rawLines);
    const std::uint64_t frameSamples =
        (rawSamples + protocol::kFrameSampleGranule - 1) / protocol::kFrameSampleGranule * protocol::kFrameSampleGranule;
    if (frameSamples > kMaxFrameSamples) return kLinkNoMemory;
    rawSamples_ = static_cast<std::uint32_t>(rawSamples);
    frameSamples_ = static_cast<std::uint32_t>(frameSamples);
    const std::size_t bufferBytes = std::size_t(frameSamples_) * 2;

    try {
        workBuffer_.assign(bufferBytes, 0);
        ringSlots_.reserve(std::size_t(slotCount));
    } catch (const std::bad_alloc&) {
        releaseFrameBuffers();
        return kLinkNoMemory;
    }
    for (int slot = 0; slot < slotCount; ++slot) {
        platform::LockedMemoryBlock block = platform::LockedMemoryBlock::allocate(bufferBytes);
        if (!block) {
            releaseFrameBuffers();
            return kLinkNoMemory;
        }
        ringSlots_.push_back(std::move(block));
    }
    if (talk) sendFrameLength();
    return kLinkOk;
}

void DeviceLink::copyActiveWindow(const std::uint8_t* frame, bool tenBit, std::uint8_t* dst) const {
    const WindowCopy window = windowCopy();
    if (tenBit)
        copyWindow10(frame, window, dst);
    else
        copyWindow8(frame, window, dst);
}

// ---- one-shot transfer ----------------------------------------------------------------------

int DeviceLink::setNoWait(int on) {
    noWait_ = on;
    return 1;
}

void DeviceLink::singleTransferMain() {
    SingleTransferJob& job = single_;
    std::int32_t result = kLinkOk;
    std::int32_t elapsed = 0;
    DeviceHandle handle;
    if (!openDevice(job.path, handle)) {
        result = kLinkOpenFailed;
    } else {
        Packet packet{};
        packet[0] = protocol::kCmdFrameRequest;
        if (pipeWrite(handle, protocol::kCommandPipe, protocol::kPacketLength, packet.data()) != kLinkOk) {
            result = kLinkFrameRequestFailed;
        } else {
            const std::uint32_t start = platform::tickCount();
            result = frameTransfer(handle, job.length, job.buffer) ? kLinkOk : kLinkTransferFailed;
            elapsed = static_cast<std::int32_t>(platform::tickCount() - start);
        }
        closeDevice(handle);
    }
    job.elapsedMs.store(elapsed);
    job.result.store(result);
    job.done.store(1);
    job.event.set();
}

int DeviceLink::startSingleTransfer() {
    if (single_.done.load() == 0) return kLinkBusy;
    if (workBuffer_.empty()) return kLinkNoMemory;
    singleThread_.join(); // the previous transfer's thread has finished its work

    single_.length = transferLength();
    single_.buffer = workBuffer_.data();
    single_.tenBit = tenBit_.load();
    {
        MutexLock lock(requestMutex_);
        copyPath(single_.path, devicePath_);
    }
    single_.event.reset();
    single_.done.store(0);
    if (!singleThread_.start([this] { singleTransferMain(); }, platform::ThreadPriority::Highest)) {
        single_.done.store(1);
        return kLinkOpenFailed;
    }
    if (noWait_.load()) return kLinkOk;
    // A transfer still running after its bound keeps the work buffer; the next
    // request finds it busy.
    if (!waitForTransfer(single_.event, single_.done)) return kLinkBusy;
    lastTransferMs_.store(single_.elapsedMs.load());
    singleThread_.join();
    return single_.result.load();
}

int DeviceLink::finishSingleTransfer() {
    if (single_.done.load() == 0) return kLinkBusy;
    lastTransferMs_.store(single_.elapsedMs.load());
    singleThread_.join();
    return single_.result.load();
}

int DeviceLink::convertFrame(std::uint8_t* dst, int /*color*/, int /*measureBalance*/, int /*raw*/) {
    if (!dst) return kLinkNoDestination;
    if (single_.done.load() == 0) return kLinkBusy; // the work buffer is still being filled
    if (workBuffer_.empty()) return kLinkNoMemory;
    copyActiveWindow(workBuffer_.data(), single_.tenBit != 0, dst); // in the last transfer's sample width
    return kLinkOk;
}

// ---- ring transfer ------------------------------------------------------------------------------

void DeviceLink::ringTransferMain() {
    RingJob& job = ring_;
    std::int32_t result = kLinkOk;
    std::int32_t frames = 0;
    std::int32_t elapsed = 0;
    DeviceHandle handle;
    if (!openDevice(job.path, handle)) {
        result = kLinkOpenFailed;
    } else {
        const std::uint32_t start = platform::tickCount();
        while (job.stopped.load() == 0 && result != kLinkTransferFailed) {
            std::uint8_t* target = job.slots[job.writeIndex.load()].data();
            // The frame request goes out as a read request on the command pipe; its
            // outcome is not looked at.
            Packet packet{};
            packet[0] = protocol::kCmdFrameRequest;
            std::uint32_t bytes = 0;
            (void)pipeTransfer(handle, protocol::kCommandPipe, protocol::kPacketLength, packet.data(), false, &bytes);
            if (!frameTransfer(handle, job.length, target)) result = kLinkTransferFailed;
            ++frames;
            int next = job.writeIndex.load() + 1;
            if (next >= job.slotCount) next = 0;
            job.writeIndex.store(next);
            // Step over the slot the engine is reading.
            if (job.readIndex.load() == next) {
                next = next + 1 >= job.slotCount ? 0 : next + 1;
                job.writeIndex.store(next);
            }
        }
        elapsed = static_cast<std::int32_t>(platform::tickCount() - start);
        closeDevice(handle);
    }
    job.elapsedMs.store(elapsed);
    job.frameCount.store(frames);
    job.result.store(result);
    // Any failure, an open that failed included, reads as a failed ring until stopped.
    job.failed.store(result != kLinkOk ? 1 : 0);
    job.stopped.store(1);
    job.event.set();
}

int DeviceLink::startContinuousTransfer() {
    if (ring_.stopped.load() == 0) return kLinkBusy;
    if (ringSlots_.empty()) return kLinkNoMemory;
    ringThread_.join(); // a ring that ended on its own

    ring_.length = transferLength();
    ring_.tenBit = tenBit_.load();
    ring_.slotCount = static_cast<std::int32_t>(ringSlots_.size());
    ring_.slots = ringSlots_.data();
    {
        MutexLock lock(requestMutex_);
        copyPath(ring_.path, devicePath_);
    }
    ring_.event.reset();
    ring_.failed.store(0);
    ring_.writeIndex.store(0);
    ring_.readIndex.store(0);
    ring_.frameCount.store(0);
    ring_.stopped.store(0);
    if (!ringThread_.start([this] { ringTransferMain(); }, platform::ThreadPriority::Highest)) {
        ring_.stopped.store(1);
        return kLinkOpenFailed;
    }
    return kLinkOk;
}

int DeviceLink::stopContinuousTransfer() {
    if (ring_.stopped.load() == 1 && ring_.failed.load() == 0) {
        ringThread_.join();
        return kLinkOk;
    }
    if (ring_.stopped.load() == 0) {
        ring_.stopped.store(1);
        // The thread ends after its current transfer, which the driver ends at the
        // transfer time-out at the latest. Should it not have ended by then, it is
        // left to end on its own; the next start waits for it.
        if (ring_.event.valid() &&
            !ring_.event.wait(static_cast<std::uint32_t>(std::max(transferTimeoutMs_.load(), 0)) + kTransferWaitMarginMs))
            return kLinkBusy;
    }
    ringThread_.join(); // waits for the thread's end (an instant after its event)
    lastTransferMs_.store(ring_.elapsedMs.load());
    ring_.stopped.store(1);
    ring_.failed.store(0);
    return ring_.result.load();
}

int DeviceLink::pollFrame() {
    if (ring_.failed.load()) return kPollFailed;
    if (ring_.stopped.load()) return kPollNotRunning;
    // Choose the newest completed slot. Should the ring thread have come round to the
    // chosen slot meanwhile, it is being refilled: choose again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        int chosen = 0;
        if (chooseNewestSlot(ring_.writeIndex.load(), ring_.readIndex.load(), ring_.slotCount, &chosen) !=
            kPollNewFrame)
            return kPollNoFrame;
        ring_.readIndex.store(chosen);
        if (ring_.writeIndex.load() != chosen) return kPollNewFrame;
    }
    return kPollNoFrame;
}

const std::uint8_t* DeviceLink::chosenRingFrame() const {
    if (ringSlots_.empty() || ring_.slots != ringSlots_.data()) return nullptr;
    return ring_.slots[ring_.readIndex.load()].data();
}

int DeviceLink::convertRingFrame(std::uint8_t* dst, int /*color*/, int /*measureBalance*/, int /*raw*/) {
    if (!dst) return kLinkNoDestination;
    if (ringSlots_.empty() || ring_.slots != ringSlots_.data()) return kLinkNoMemory;
    const int index = ring_.readIndex.load();
    copyActiveWindow(ring_.slots[index].data(), ring_.tenBit != 0, dst);
    ring_.readIndex.store(index + 1 >= ring_.slotCount ? 0 : index + 1);
    return kLinkOk;
}

} // namespace orvix
