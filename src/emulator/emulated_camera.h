#pragma once
// One emulated camera as its driver presents it: the command pipe's packets and their
// effects, the response pipe's answers, frames on the frame pipe, the transfer
// time-out, triggers and removal.
//
// Registers read back as the camera's do. Sensor registers (1024) and FPGA registers
// 0x10..0xFF keep what was written, with these exceptions and power-on values:
//   0xA2 monitor preview mode: writes take bit 1 (monitor enabled), bit 4 (live) and
//        bit 0 (still strobe, set and clear again to hold the current picture) and keep
//        bits 5..15; reads give bit 1 and bits 5..15 as written, bit 3 = live picture
//        running (bits 1 and 4 written), bit 2 = a still picture held. Power-on: live,
//        reading 0x000A.
//   0x20..0x32 monitor timing of the 1280 x 1024 size; 0x60 = 0x0002 (colour,
//   automatic Bayer gain, gains locked); 0x62..0x66 Bayer gains 0x0100; 0xA0 = 0x0500
//   (48 MHz clock). Addresses below 0x10 hold no register and read 0.
// The serial ROM holds 256 bytes and keeps them across unplugging: bytes 0..7 an
// identification ("K62DT4", slot, 0), bytes 8..15 the user ID, initially 0.
//
// Answers: the response pipe holds the answer of the last query behind the one before
// it, so the first read after a query returns the previous (stale) answer and the
// second the current one. A read of an empty response pipe fails at once.
//
// Frames: a frame request (0x02) arms one frame; a frame read on the frame pipe then
// returns one raw frame of the frame length (0x09) in samples, one byte (8-bit mode) or
// one word (10-bit mode) per sample, delivered at the camera's next frame time (in
// trigger mode one readout time after a trigger). A read without an armed frame, or
// in trigger mode without a trigger, fails when the transfer time-out has passed. A
// read shorter than the frame fails (the frame is lost); a longer one returns the
// frame's length. Removal fails every pending and later request at once.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "emulator/emulation_config.h"

namespace orvix::emulator {

using SromContents = std::array<std::uint8_t, 256>;

// A snapshot of a camera's state, for tests.
struct CameraState {
    std::array<std::uint32_t, 1024> sensorRegisters{};
    std::array<std::uint16_t, 256> fpgaRegisters{}; // as stored (not as read)
    SromContents srom{};
    std::uint16_t exposure = 0;
    std::uint16_t globalGain = 0;
    bool halfClock = false;
    bool tenBit = false;
    bool triggerMode = false;
    std::uint32_t frameLengthSamples = 0;
    std::uint32_t transferTimeoutMs = 0;
    std::uint32_t framesDelivered = 0; // frames sent, also those that overran the buffer
    std::uint32_t deviceSelects = 0;
};

// How an injected fault changes a request.
enum class Fault { None, Fail, Short };

class EmulatedCamera {
public:
    EmulatedCamera(const EmulationConfig& options, std::shared_ptr<SromContents> srom);
    EmulatedCamera(const EmulatedCamera&) = delete;
    EmulatedCamera& operator=(const EmulatedCamera&) = delete;

    // Requests; each returns true on success and sets *bytes to the count transferred.
    bool command(const std::uint8_t* packet, std::uint32_t length, std::uint32_t* bytes);
    bool readAnswer(std::uint8_t* out, std::uint32_t length, Fault fault, std::uint32_t* bytes);
    bool readFrame(std::uint8_t* out, std::uint32_t length, Fault fault, std::uint32_t* bytes);
    bool setTransferTimeout(const std::uint8_t* input, std::uint32_t length);

    void unplug();
    bool plugged() const;
    void fireTrigger();
    CameraState state() const;

    // The FPGA register as the host reads it.
    std::uint16_t fpgaRegister(std::uint8_t address) const;
    // Makes the register read `value` until the host next writes it, as when the
    // camera itself changed it.
    void setFpgaReading(std::uint8_t address, std::uint16_t value);

private:
    using Clock = std::chrono::steady_clock;
    struct BaseFrame;

    void applyCommand(const std::array<std::uint8_t, 64>& packet);
    void serialWrite(const std::array<std::uint8_t, 64>& packet);
    void writeFpgaRegister(std::uint8_t address, std::uint16_t value);
    std::uint16_t readFpgaRegister(std::uint8_t address) const;
    void answer(std::array<std::uint8_t, 64> fresh);
    void setMode(bool tenBit, bool halfClock);
    Clock::duration framePeriod() const;
    Clock::time_point nextFrameTime(Clock::time_point now) const;
    void collectPeriodicTriggers(Clock::time_point now);
    bool waitForRelease(std::unique_lock<std::mutex>& lock, Clock::time_point timeLimit);
    std::shared_ptr<const BaseFrame> currentBaseFrame();
    void paintMarker(std::uint8_t* out, std::uint32_t length, const BaseFrame& base, std::uint32_t frameNumber) const;

    const EmulationConfig options_;
    const std::shared_ptr<SromContents> srom_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool plugged_ = true;
    std::array<std::uint32_t, 1024> sensor_{};
    std::array<std::uint16_t, 256> fpga_{};
    std::array<std::int32_t, 256> fpgaReading_; // -1: the register reads as modelled
    bool stillHeld_ = false;
    std::uint16_t exposure_ = 64;
    std::uint16_t gain_ = 512;
    bool halfClock_ = false;
    bool tenBit_ = false;
    bool triggerMode_ = false;
    std::uint32_t frameSamples_;
    std::uint32_t timeoutMs_;
    std::uint32_t deviceSelects_ = 0;

    // Response pipe: up to two answers, oldest first.
    std::array<std::array<std::uint8_t, 64>, 2> answers_{};
    int answerCount_ = 0;
    std::array<std::uint8_t, 64> lastAnswer_{};

    bool frameArmed_ = false;
    bool triggerPending_ = false;
    Clock::time_point frameEpoch_;
    Clock::time_point nextPeriodicTrigger_;
    std::uint32_t frameNumber_ = 0;
    std::shared_ptr<const BaseFrame> baseFrame_;
};

} // namespace orvix::emulator
