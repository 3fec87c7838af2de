#pragma once
// One emulated camera as its driver presents it: the command pipe's packets and their
// effects, the response pipe's answers, frames on the frame pipe, the transfer
// time-out, triggers and removal.
//
// Registers read back as the camera's do. Sensor registers (1024) and FPGA registers
// 0x10..0xFF keep what was written, with these exceptions and power-on values:
//   sensor 32 = 0x10 and 33 = 0x01: free-running readout (see trigger mode below).
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
// Trigger mode holds only while both halves of it are in place: command 0x28 with 1,
// and sensor register 32 with bit 0x10 clear and register 33 with 0xE in its low four
// bits. Any other combination reads out freely.
//
// Frames: the camera has no frame length until command 0x09 sets one (power-on and
// after replugging), and takes only frame transfers of exactly that many samples, one
// byte (8-bit mode) or one word (10-bit mode) each; other lengths are refused
// (checkFrameTransfer). A frame request (0x02) arms one frame; the transfer then
// returns it at the camera's next frame time (in trigger mode one readout time after
// a trigger). A transfer without an armed frame, or in trigger mode without a
// trigger, fails when the transfer time-out has passed. Removal fails every pending
// and later request at once.
//
// Frame content: the scene (scene.h) in the active area, samples 424..1783 of lines
// 14..1037; every other sample (the blanking around it and the padding up to the
// frame length) carries a level of 256..1023 that varies from sample to sample. In
// 10-bit mode bits 2..7 of each sample's high byte, which carry no data, hold noise
// too. So a window cut from the wrong place, or samples not masked to 10 bits, show.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "emulator/emulation_config.h"
#include "emulator/request_rules.h"

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
    bool triggerMode = false;    // in effect (command and registers)
    bool triggerCommand = false; // the last 0x28 said on
    std::uint32_t frameLengthSamples = 0;
    std::uint32_t transferTimeoutMs = 0;
    std::uint32_t framesDelivered = 0;
    std::uint32_t deviceSelects = 0;
};

// How an injected fault changes a request.
enum class Fault { None, Fail, Short };

class EmulatedCamera {
public:
    EmulatedCamera(const EmulationConfig& options, std::shared_ptr<SromContents> srom);
    EmulatedCamera(const EmulatedCamera&) = delete;
    EmulatedCamera& operator=(const EmulatedCamera&) = delete;

    // Requests whose shape the driver has checked (request_rules.h); each returns true
    // on success and sets *bytes to the count transferred.
    bool command(const Packet& packet, std::uint32_t* bytes);
    bool readAnswer(std::uint8_t* out, std::uint32_t length, Fault fault, std::uint32_t* bytes);
    // A frame transfer of `length` bytes is refused unless it is the frame's length.
    Refusal checkFrameTransfer(std::uint32_t length) const;
    bool readFrame(std::uint8_t* out, std::uint32_t length, Fault fault, std::uint32_t* bytes);
    bool setTransferTimeout(const std::uint8_t* input); // the 44-byte input

    void unplug();
    bool plugged() const;
    void fireTrigger();
    // Ends the frame transfers waiting now: they fail as at their time-out.
    void cancelFrameTransfers();
    CameraState state() const;

    // The FPGA register as the host reads it.
    std::uint16_t fpgaRegister(std::uint8_t address) const;
    // Makes the register read `value` until the host next writes it, as when the
    // camera itself changed it.
    void setFpgaReading(std::uint8_t address, std::uint16_t value);

private:
    using Clock = std::chrono::steady_clock;
    struct BaseFrame;

    void applyCommand(const Packet& packet);
    void serialWrite(const Packet& packet);
    bool triggerMode() const;
    std::uint32_t frameBytes() const;
    void writeFpgaRegister(std::uint8_t address, std::uint16_t value);
    std::uint16_t readFpgaRegister(std::uint8_t address) const;
    void answer(std::array<std::uint8_t, 64> fresh);
    void setMode(bool tenBit, bool halfClock);
    Clock::duration framePeriod() const;
    Clock::time_point nextFrameTime(Clock::time_point now) const;
    void collectPeriodicTriggers(Clock::time_point now);
    bool waitForRelease(std::unique_lock<std::mutex>& lock, Clock::time_point timeLimit, std::uint32_t cancelMark);
    std::shared_ptr<const BaseFrame> currentBaseFrame();
    std::shared_ptr<const BaseFrame> buildBaseFrame() const;
    void paintMarker(std::uint8_t* out, std::uint32_t length, const BaseFrame& base, std::uint32_t frameNumber) const;

    const EmulationConfig options_;
    const std::shared_ptr<SromContents> srom_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool plugged_ = true;
    std::uint32_t cancels_ = 0; // cancelFrameTransfers calls; a waiting transfer notes the count it began with
    std::array<std::uint32_t, 1024> sensor_{};
    std::array<std::uint16_t, 256> fpga_{};
    std::array<std::int32_t, 256> fpgaReading_; // -1: the register reads as modelled
    bool stillHeld_ = false;
    std::uint16_t exposure_ = 64;
    std::uint16_t gain_ = 512;
    bool halfClock_ = false;
    bool tenBit_ = false;
    bool triggerCommand_ = false;
    std::uint32_t frameSamples_ = 0; // 0: none sent yet
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
