#include "emulator/emulated_camera.h"

#include <algorithm>
#include <cstring>

#include "device/driver_protocol.h"
#include "emulator/scene.h"

namespace orvix::emulator {

namespace {

using Packet = std::array<std::uint8_t, 64>;

std::uint32_t readLe32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

constexpr std::uint8_t kPreviewModeRegister = 0xA2;
constexpr std::uint16_t kPreviewStrobe = 0x0001;
constexpr std::uint16_t kPreviewEnable = 0x0002;
constexpr std::uint16_t kPreviewStill = 0x0004; // read only
constexpr std::uint16_t kPreviewLiveRunning = 0x0008; // read only
constexpr std::uint16_t kPreviewLive = 0x0010;
constexpr std::uint16_t kPreviewReadBack = 0xFFE2; // bits read back as written

struct PowerOnRegister {
    std::uint8_t address;
    std::uint16_t value;
};
constexpr PowerOnRegister kPowerOnFpga[] = {
    {0x20, 0x410}, {0x24, 1280}, {0x26, 1024}, {0x28, 432},    {0x2A, 30},     {0x2C, 48},
    {0x2E, 184},   {0x30, 1},    {0x32, 3},    {0x60, 0x0002}, {0x62, 0x0100}, {0x64, 0x0100},
    {0x66, 0x0100}, {0xA0, 0x0500}, {kPreviewModeRegister, kPreviewEnable | kPreviewLive},
};

constexpr std::uint32_t kRawSamples = std::uint32_t{protocol::kRawLineLength} * protocol::kRawLines;

} // namespace

struct EmulatedCamera::BaseFrame {
    std::uint16_t exposure;
    std::uint16_t gain;
    bool tenBit;
    std::uint32_t frameSamples;
    std::uint16_t markerLevel;
    std::vector<std::uint8_t> bytes;
};

EmulatedCamera::EmulatedCamera(const EmulationConfig& options, std::shared_ptr<SromContents> srom)
    : options_(options), srom_(std::move(srom)),
      frameSamples_(protocol::roundedFrameSamples(kRawSamples)), timeoutMs_(protocol::kDefaultTransferTimeoutMs),
      frameEpoch_(Clock::now()), nextPeriodicTrigger_(frameEpoch_) {
    for (const PowerOnRegister& reg : kPowerOnFpga) fpga_[reg.address] = reg.value;
    fpgaReading_.fill(-1);
}

bool EmulatedCamera::plugged() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return plugged_;
}

void EmulatedCamera::unplug() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        plugged_ = false;
    }
    changed_.notify_all();
}

void EmulatedCamera::fireTrigger() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (triggerMode_) triggerPending_ = true;
    }
    changed_.notify_all();
}

CameraState EmulatedCamera::state() const {
    std::lock_guard<std::mutex> lock(mutex_);
    CameraState state;
    state.sensorRegisters = sensor_;
    state.fpgaRegisters = fpga_;
    state.srom = *srom_;
    state.exposure = exposure_;
    state.globalGain = gain_;
    state.halfClock = halfClock_;
    state.tenBit = tenBit_;
    state.triggerMode = triggerMode_;
    state.frameLengthSamples = frameSamples_;
    state.transferTimeoutMs = timeoutMs_;
    state.framesDelivered = frameNumber_;
    state.deviceSelects = deviceSelects_;
    return state;
}

// ---- command pipe ------------------------------------------------------------------

bool EmulatedCamera::command(const std::uint8_t* packet, std::uint32_t length, std::uint32_t* bytes) {
    *bytes = 0;
    if (length != protocol::kPacketLength) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!plugged_) return false;
        Packet copy;
        std::memcpy(copy.data(), packet, copy.size());
        applyCommand(copy);
    }
    changed_.notify_all();
    *bytes = protocol::kPacketLength;
    return true;
}

void EmulatedCamera::applyCommand(const Packet& packet) {
    Packet reply{};
    switch (packet[0]) {
    case protocol::kCmdFrameRequest:
        frameArmed_ = true;
        break;
    case protocol::kCmdSerialWrite:
        serialWrite(packet);
        break;
    case protocol::kCmdDeviceSelect:
        ++deviceSelects_;
        break;
    case protocol::kCmdFrameLength:
        frameSamples_ = readLe32(&packet[1]);
        break;
    case protocol::kCmdTenBitMode:
        setMode(packet[1] != 0, halfClock_);
        break;
    case protocol::kCmdSromWrite:
        (*srom_)[packet[1]] = packet[2];
        break;
    case protocol::kCmdSromRead:
        reply[0] = (*srom_)[packet[1]];
        answer(reply);
        break;
    case protocol::kCmdHalfClock:
        setMode(tenBit_, packet[1] != 0);
        break;
    case protocol::kCmdHalfClockQuery:
        reply[0] = halfClock_ ? 1 : 0;
        answer(reply);
        break;
    case protocol::kCmdFpgaWrite:
        writeFpgaRegister(packet[1], static_cast<std::uint16_t>(packet[2] | packet[3] << 8));
        break;
    case protocol::kCmdFpgaRead: {
        const std::uint16_t value = readFpgaRegister(packet[1]);
        reply[0] = static_cast<std::uint8_t>(value & 0xFF);
        reply[1] = static_cast<std::uint8_t>(value >> 8);
        answer(reply);
        break;
    }
    case protocol::kCmdTriggerMode:
        triggerMode_ = packet[1] != 0;
        triggerPending_ = false;
        nextPeriodicTrigger_ = Clock::now() + std::chrono::milliseconds(options_.triggerIntervalMs);
        break;
    default:
        break; // unknown commands are ignored, as the camera does
    }
}

void EmulatedCamera::serialWrite(const Packet& packet) {
    const std::uint8_t form = packet[1];
    if (form == 16 || form == 26 || form == 32) {
        const std::uint32_t word = readLe32(&packet[2]);
        const std::uint32_t dataBits = form - 10u;
        const std::uint32_t mask = dataBits >= 32 ? 0xFFFFFFFFu : (1u << dataBits) - 1u;
        sensor_[word & 0x3FF] = (word >> 10) & mask;
    } else if (form == protocol::kControlExposure || form == protocol::kControlGlobalGain) {
        const auto value = static_cast<std::uint16_t>(packet[2] << 8 | packet[3]);
        (form == protocol::kControlExposure ? exposure_ : gain_) = value;
    }
}

void EmulatedCamera::writeFpgaRegister(std::uint8_t address, std::uint16_t value) {
    if (address < 0x10) return;
    fpgaReading_[address] = -1;
    if (address != kPreviewModeRegister) {
        fpga_[address] = value;
        return;
    }
    const bool strobeWasSet = (fpga_[address] & kPreviewStrobe) != 0;
    fpga_[address] = static_cast<std::uint16_t>(value & ~(kPreviewStill | kPreviewLiveRunning));
    const bool live = (value & (kPreviewEnable | kPreviewLive)) == (kPreviewEnable | kPreviewLive);
    if (live)
        stillHeld_ = false;
    else if ((value & kPreviewStrobe) && !strobeWasSet)
        stillHeld_ = true;
}

std::uint16_t EmulatedCamera::readFpgaRegister(std::uint8_t address) const {
    if (address < 0x10) return 0;
    if (fpgaReading_[address] >= 0) return static_cast<std::uint16_t>(fpgaReading_[address]);
    const std::uint16_t stored = fpga_[address];
    if (address != kPreviewModeRegister) return stored;
    std::uint16_t value = stored & kPreviewReadBack;
    if ((stored & (kPreviewEnable | kPreviewLive)) == (kPreviewEnable | kPreviewLive)) value |= kPreviewLiveRunning;
    if (stillHeld_) value |= kPreviewStill;
    return value;
}

std::uint16_t EmulatedCamera::fpgaRegister(std::uint8_t address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return readFpgaRegister(address);
}

void EmulatedCamera::setFpgaReading(std::uint8_t address, std::uint16_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (address >= 0x10) fpgaReading_[address] = value;
}

void EmulatedCamera::answer(Packet fresh) {
    answers_[0] = lastAnswer_;
    answers_[1] = fresh;
    answerCount_ = 2;
    lastAnswer_ = fresh;
}

// ---- response pipe -------------------------------------------------------------------

bool EmulatedCamera::readAnswer(std::uint8_t* out, std::uint32_t length, Fault fault, std::uint32_t* bytes) {
    *bytes = 0;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!plugged_ || answerCount_ == 0) return false;
    const Packet packet = answers_[0];
    answers_[0] = answers_[1];
    --answerCount_;
    if (fault == Fault::Fail) return false; // the packet is lost
    std::uint32_t count = std::min(length, protocol::kPacketLength);
    if (fault == Fault::Short) count /= 2;
    std::memcpy(out, packet.data(), count);
    *bytes = count;
    return true;
}

// ---- transfer time-out -----------------------------------------------------------------

bool EmulatedCamera::setTransferTimeout(const std::uint8_t* input, std::uint32_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!plugged_ || length < 8 || readLe32(input) != 1) return false;
    const auto ms = static_cast<std::int32_t>(readLe32(input + 4));
    // The driver has no "wait forever": a time-out of 0 or less stands for the default.
    timeoutMs_ = ms > 0 ? static_cast<std::uint32_t>(ms) : protocol::kDefaultTransferTimeoutMs;
    return true;
}

// ---- frames ------------------------------------------------------------------------------

void EmulatedCamera::setMode(bool tenBit, bool halfClock) {
    if (tenBit == tenBit_ && halfClock == halfClock_) return;
    tenBit_ = tenBit;
    halfClock_ = halfClock;
    frameEpoch_ = Clock::now(); // the sensor restarts its frame timing
}

// A USB 2.0 camera: the frame time is the longer of the sensor readout (doubled at
// half clock) and the bus time of the frame's bytes (10-bit frames are twice as big).
EmulatedCamera::Clock::duration EmulatedCamera::framePeriod() const {
    if (options_.frameRate <= 0) return Clock::duration::zero();
    const std::chrono::nanoseconds base(1000000000LL / options_.frameRate);
    const auto readout = halfClock_ ? base * 2 : base;
    const auto bus = tenBit_ ? base * 3 / 2 : base * 3 / 4;
    return std::chrono::duration_cast<Clock::duration>(std::max(readout, bus));
}

EmulatedCamera::Clock::time_point EmulatedCamera::nextFrameTime(Clock::time_point now) const {
    const Clock::duration period = framePeriod();
    if (period == Clock::duration::zero()) return now;
    const auto frames = (now - frameEpoch_) / period + 1;
    return frameEpoch_ + frames * period;
}

void EmulatedCamera::collectPeriodicTriggers(Clock::time_point now) {
    if (options_.triggerIntervalMs == 0 || now < nextPeriodicTrigger_) return;
    triggerPending_ = true;
    const std::chrono::milliseconds interval(options_.triggerIntervalMs);
    while (nextPeriodicTrigger_ <= now) nextPeriodicTrigger_ += interval;
}

// Waits until a frame is released to the host, or fails at `timeLimit` or removal.
bool EmulatedCamera::waitForRelease(std::unique_lock<std::mutex>& lock, Clock::time_point timeLimit) {
    while (true) {
        if (!plugged_) return false;
        const auto now = Clock::now();
        if (triggerMode_) collectPeriodicTriggers(now);
        if (frameArmed_ && (!triggerMode_ || triggerPending_)) break;
        if (now >= timeLimit) return false;
        auto wake = timeLimit;
        if (triggerMode_ && options_.triggerIntervalMs != 0) wake = std::min(wake, nextPeriodicTrigger_);
        changed_.wait_until(lock, wake);
    }
    frameArmed_ = false;
    Clock::time_point release;
    if (triggerMode_) {
        triggerPending_ = false;
        release = Clock::now() + framePeriod(); // exposure and readout after the trigger
    } else {
        release = nextFrameTime(Clock::now());
    }
    const auto unplugged = [this] { return !plugged_; };
    if (release > timeLimit) { // the frame would come after the time-out: it is lost
        changed_.wait_until(lock, timeLimit, unplugged);
        return false;
    }
    changed_.wait_until(lock, release, unplugged);
    return plugged_;
}

std::shared_ptr<const EmulatedCamera::BaseFrame> EmulatedCamera::currentBaseFrame() {
    if (baseFrame_ && baseFrame_->exposure == exposure_ && baseFrame_->gain == gain_ &&
        baseFrame_->tenBit == tenBit_ && baseFrame_->frameSamples == frameSamples_)
        return baseFrame_;

    std::uint16_t levels[256];
    for (int r = 0; r < 256; ++r) levels[r] = sampleLevel(static_cast<std::uint8_t>(r), exposure_, gain_);

    auto frame = std::make_shared<BaseFrame>();
    frame->exposure = exposure_;
    frame->gain = gain_;
    frame->tenBit = tenBit_;
    frame->frameSamples = frameSamples_;
    frame->markerLevel = levels[kMarkerReflectance];
    const std::size_t bytesPerSample = tenBit_ ? 2 : 1;
    frame->bytes.assign(std::size_t{frameSamples_} * bytesPerSample, 0);

    const std::uint8_t* scene = mosaickedScene(options_.scene);
    const std::size_t samples = std::min(frameSamples_, kRawSamples);
    for (int y = 0; y < kSceneHeight; ++y) {
        const std::size_t lineStart =
            std::size_t(protocol::kFirstActiveLine + y) * protocol::kRawLineLength + protocol::kFirstActiveSample;
        if (lineStart >= samples) break;
        const std::size_t count = std::min<std::size_t>(kSceneWidth, samples - lineStart);
        const std::uint8_t* reflectances = scene + std::size_t(y) * kSceneWidth;
        std::uint8_t* out = frame->bytes.data() + lineStart * bytesPerSample;
        for (std::size_t x = 0; x < count; ++x) {
            const std::uint16_t level = levels[reflectances[x]];
            if (tenBit_) {
                out[2 * x] = static_cast<std::uint8_t>(level >> 2);
                out[2 * x + 1] = static_cast<std::uint8_t>(level & 3);
            } else {
                out[x] = static_cast<std::uint8_t>(level >> 2);
            }
        }
    }
    baseFrame_ = std::move(frame);
    return baseFrame_;
}

void EmulatedCamera::paintMarker(std::uint8_t* out, std::uint32_t length, const BaseFrame& base,
                                 std::uint32_t frameNumber) const {
    const std::size_t bytesPerSample = base.tenBit ? 2 : 1;
    const int left = markerLeft(frameNumber);
    for (int y = kMarkerTop; y < kMarkerTop + kMarkerSize; ++y) {
        const std::size_t lineStart =
            std::size_t(protocol::kFirstActiveLine + y) * protocol::kRawLineLength + protocol::kFirstActiveSample;
        for (int x = left; x < left + kMarkerSize; ++x) {
            const std::size_t sample = lineStart + std::size_t(x);
            const std::size_t offset = sample * bytesPerSample;
            if (sample >= std::min(base.frameSamples, kRawSamples) || offset + bytesPerSample > length) return;
            if (base.tenBit) {
                out[offset] = static_cast<std::uint8_t>(base.markerLevel >> 2);
                out[offset + 1] = static_cast<std::uint8_t>(base.markerLevel & 3);
            } else {
                out[offset] = static_cast<std::uint8_t>(base.markerLevel >> 2);
            }
        }
    }
}

bool EmulatedCamera::readFrame(std::uint8_t* out, std::uint32_t length, Fault fault, std::uint32_t* bytes) {
    *bytes = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    if (!plugged_) return false;
    if (fault == Fault::Fail) { // the transfer breaks off; the armed frame is lost
        frameArmed_ = false;
        return false;
    }
    const auto timeLimit = Clock::now() + std::chrono::milliseconds(timeoutMs_);
    if (!waitForRelease(lock, timeLimit)) return false;
    const std::shared_ptr<const BaseFrame> base = currentBaseFrame();
    const std::uint32_t frameNumber = frameNumber_++;
    lock.unlock();

    // The frame's bytes go straight into the caller's buffer: one copy.
    const auto frameBytes = static_cast<std::uint32_t>(base->bytes.size());
    std::uint32_t count = std::min(length, frameBytes);
    if (fault == Fault::Short) count /= 2;
    std::memcpy(out, base->bytes.data(), count);
    paintMarker(out, count, *base, frameNumber);

    lock.lock();
    if (!plugged_) return false;
    if (length < frameBytes && fault != Fault::Short) return false; // the frame overran the buffer
    *bytes = count;
    return true;
}

} // namespace orvix::emulator
