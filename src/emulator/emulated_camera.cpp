#include "emulator/emulated_camera.h"

#include <algorithm>
#include <cstring>

#include "device/driver_protocol.h"
#include "emulator/scene.h"

namespace orvix::emulator {

namespace {

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

constexpr std::uint16_t kTriggerRegisterA = 32;
constexpr std::uint16_t kTriggerRegisterB = 33;
constexpr std::uint32_t kFreeRunBit = 0x10;      // register 32: set = free-running
constexpr std::uint32_t kReadoutModeMask = 0xF;  // register 33: 0xE = triggered, 0x1 = free-running
constexpr std::uint32_t kTriggeredReadout = 0xE;
constexpr std::uint32_t kFreeRunReadout = 0x1;

// A well-mixed 32-bit value of a sample's index in the raw frame.
std::uint32_t sampleHash(std::uint32_t index) {
    std::uint32_t h = index * 0x9E3779B1u;
    h ^= h >> 15;
    h *= 0x85EBCA77u;
    h ^= h >> 13;
    return h;
}

// Level of a sample outside the active area: 256..1023, varying from sample to sample.
std::uint16_t blankingLevel(std::uint32_t index) { return static_cast<std::uint16_t>(256 + sampleHash(index) % 768); }

// Bits 2..7 of a 10-bit sample's high byte, which carry no data.
std::uint8_t unusedHighBits(std::uint32_t index) { return static_cast<std::uint8_t>((sampleHash(index) >> 24) & 0xFC); }

void putSample(std::uint8_t* frame, std::uint32_t index, std::uint16_t level, bool tenBit) {
    if (tenBit) {
        frame[2 * std::size_t(index)] = static_cast<std::uint8_t>(level >> 2);
        frame[2 * std::size_t(index) + 1] = static_cast<std::uint8_t>((level & 3) | unusedHighBits(index));
    } else {
        frame[index] = static_cast<std::uint8_t>(level >> 2);
    }
}

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
    : options_(options), srom_(std::move(srom)), timeoutMs_(protocol::kDefaultTransferTimeoutMs),
      frameEpoch_(Clock::now()), nextPeriodicTrigger_(frameEpoch_) {
    for (const PowerOnRegister& reg : kPowerOnFpga) fpga_[reg.address] = reg.value;
    sensor_[kTriggerRegisterA] = kFreeRunBit;
    sensor_[kTriggerRegisterB] = kFreeRunReadout;
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

void EmulatedCamera::cancelFrameTransfers() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++cancels_;
    }
    changed_.notify_all();
}

void EmulatedCamera::fireTrigger() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (triggerMode()) triggerPending_ = true;
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
    state.triggerMode = triggerMode();
    state.triggerCommand = triggerCommand_;
    state.frameLengthSamples = frameSamples_;
    state.transferTimeoutMs = timeoutMs_;
    state.framesDelivered = frameNumber_;
    state.deviceSelects = deviceSelects_;
    return state;
}

// ---- command pipe ------------------------------------------------------------------

bool EmulatedCamera::command(const Packet& packet, std::uint32_t* bytes) {
    *bytes = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!plugged_) return false;
        const bool wasTriggered = triggerMode();
        applyCommand(packet);
        if (triggerMode() != wasTriggered) { // the readout changed between free-running and triggered
            triggerPending_ = false;
            nextPeriodicTrigger_ = Clock::now() + std::chrono::milliseconds(options_.triggerIntervalMs);
        }
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
        triggerCommand_ = packet[1] != 0;
        break;
    default:
        break; // the driver refuses every other command
    }
}

bool EmulatedCamera::triggerMode() const {
    return triggerCommand_ && (sensor_[kTriggerRegisterA] & kFreeRunBit) == 0 &&
           (sensor_[kTriggerRegisterB] & kReadoutModeMask) == kTriggeredReadout;
}

// The packet's form, address and bit count have been checked by the driver.
void EmulatedCamera::serialWrite(const Packet& packet) {
    const std::uint8_t form = packet[1];
    if (form == protocol::kControlExposure || form == protocol::kControlGlobalGain) {
        const auto value = static_cast<std::uint16_t>(packet[2] << 8 | packet[3]);
        (form == protocol::kControlExposure ? exposure_ : gain_) = value;
        return;
    }
    const std::uint32_t word = readLe32(&packet[2]);
    sensor_[word & 0x3FF] = word >> 10;
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

bool EmulatedCamera::setTransferTimeout(const std::uint8_t* input) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!plugged_) return false;
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

// Waits until a frame is released to the host, or fails at `timeLimit`, removal or a
// cancellation after `cancelMark`.
bool EmulatedCamera::waitForRelease(std::unique_lock<std::mutex>& lock, Clock::time_point timeLimit,
                                    std::uint32_t cancelMark) {
    const auto ended = [this, cancelMark] { return !plugged_ || cancels_ != cancelMark; };
    while (true) {
        if (ended()) return false;
        const auto now = Clock::now();
        const bool triggered = triggerMode();
        if (triggered) collectPeriodicTriggers(now);
        if (frameArmed_ && (!triggered || triggerPending_)) break;
        if (now >= timeLimit) return false;
        auto wake = timeLimit;
        if (triggered && options_.triggerIntervalMs != 0) wake = std::min(wake, nextPeriodicTrigger_);
        changed_.wait_until(lock, wake);
    }
    frameArmed_ = false;
    Clock::time_point release;
    if (triggerMode()) {
        triggerPending_ = false;
        release = Clock::now() + framePeriod(); // exposure and readout after the trigger
    } else {
        release = nextFrameTime(Clock::now());
    }
    if (release > timeLimit) { // the frame would come after the time-out: it is lost
        changed_.wait_until(lock, timeLimit, ended);
        return false;
    }
    changed_.wait_until(lock, release, ended);
    return !ended();
}

std::uint32_t EmulatedCamera::frameBytes() const { return frameSamples_ * (tenBit_ ? 2u : 1u); }

Refusal EmulatedCamera::checkFrameTransfer(std::uint32_t length) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!plugged_) return {}; // fails as every request of a removed camera does
    if (frameSamples_ == 0)
        return {Rejection::FrameLength, "frame transfer of " + std::to_string(length) +
                                            " bytes before any frame length (0x09) was sent"};
    if (length != frameBytes())
        return {Rejection::FrameLength, "frame transfer of " + std::to_string(length) + " bytes; the frame is " +
                                            std::to_string(frameBytes()) + " bytes (" + std::to_string(frameSamples_) +
                                            (tenBit_ ? " 10-bit samples)" : " 8-bit samples)")};
    return {};
}

std::shared_ptr<const EmulatedCamera::BaseFrame> EmulatedCamera::currentBaseFrame() {
    if (!baseFrame_ || baseFrame_->exposure != exposure_ || baseFrame_->gain != gain_ ||
        baseFrame_->tenBit != tenBit_ || baseFrame_->frameSamples != frameSamples_)
        baseFrame_ = buildBaseFrame();
    return baseFrame_;
}

// The frame without the marker: the scene in the active area, blanking levels around
// it and in the padding, noise in the unused bits of 10-bit samples.
std::shared_ptr<const EmulatedCamera::BaseFrame> EmulatedCamera::buildBaseFrame() const {
    std::uint16_t levels[256];
    for (int r = 0; r < 256; ++r) levels[r] = sampleLevel(static_cast<std::uint8_t>(r), exposure_, gain_);

    auto frame = std::make_shared<BaseFrame>();
    frame->exposure = exposure_;
    frame->gain = gain_;
    frame->tenBit = tenBit_;
    frame->frameSamples = frameSamples_;
    frame->markerLevel = levels[kMarkerReflectance];
    frame->bytes.resize(std::size_t{frameSamples_} * (tenBit_ ? 2 : 1));

    const std::uint8_t* scene = mosaickedScene(options_.scene);
    std::uint8_t* out = frame->bytes.data();
    std::uint32_t index = 0;
    for (int line = 0; line < protocol::kRawLines && index < frameSamples_; ++line) {
        const int y = line - protocol::kFirstActiveLine;
        const bool activeLine = y >= 0 && y < kSceneHeight;
        for (int sample = 0; sample < protocol::kRawLineLength && index < frameSamples_; ++sample, ++index) {
            const int x = sample - protocol::kFirstActiveSample;
            const bool active = activeLine && x >= 0 && x < kSceneWidth;
            const std::uint16_t level =
                active ? levels[scene[std::size_t(y) * kSceneWidth + std::size_t(x)]] : blankingLevel(index);
            putSample(out, index, level, tenBit_);
        }
    }
    for (; index < frameSamples_; ++index) putSample(out, index, blankingLevel(index), tenBit_);
    return frame;
}

void EmulatedCamera::paintMarker(std::uint8_t* out, std::uint32_t length, const BaseFrame& base,
                                 std::uint32_t frameNumber) const {
    const std::size_t bytesPerSample = base.tenBit ? 2 : 1;
    const int left = markerLeft(frameNumber);
    for (int y = kMarkerTop; y < kMarkerTop + kMarkerSize; ++y) {
        const std::uint32_t lineStart =
            std::uint32_t(protocol::kFirstActiveLine + y) * protocol::kRawLineLength + protocol::kFirstActiveSample;
        for (int x = left; x < left + kMarkerSize; ++x) {
            const std::uint32_t sample = lineStart + std::uint32_t(x);
            if ((std::size_t(sample) + 1) * bytesPerSample > length) return;
            putSample(out, sample, base.markerLevel, base.tenBit);
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
    if (!waitForRelease(lock, timeLimit, cancels_)) return false;
    // The mode or frame length may have changed (through another handle) since the
    // driver checked the transfer: such a frame does not fit and is lost.
    if (length != frameBytes()) return false;
    const std::shared_ptr<const BaseFrame> base = currentBaseFrame();
    const std::uint32_t frameNumber = frameNumber_++;
    lock.unlock();

    // The frame's bytes go straight into the caller's buffer: one copy.
    const std::uint32_t count = fault == Fault::Short ? length / 2 : length;
    std::memcpy(out, base->bytes.data(), count);
    paintMarker(out, count, *base, frameNumber);

    lock.lock();
    if (!plugged_) return false;
    *bytes = count;
    return true;
}

} // namespace orvix::emulator
