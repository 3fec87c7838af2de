#pragma once
// The requests the camera driver takes, checked to the byte before anything reaches
// the camera:
//
//   open        "\\.\OvixK62DT4-n" (n 0..7), write access, write sharing, open-existing
//   0x222051    pipe write: input the 4-byte pipe number 0; output a 64-byte packet
//   0x22204E    pipe read: pipe 1 for a 64-byte answer, or pipe 0 for the 64-byte
//               frame request packet (0x02), which the driver sends as the pipe says
//   0x2220A9    frame transfer: pipe 2, the frame's bytes (checked by the camera
//               against the frame length it was sent)
//   0x2220A0    set time-out: 44 input bytes starting with int32 1, no output buffer
//
// Every other control code (0x2220A6 among them), pipe or length is refused.
//
// Command packets: byte 0 is the command, the bytes each command lists follow, every
// other byte is 0. Field values are checked as well:
//   0x04 sensor form: bit count 16, 26 or 32 matching the register (6, 16 or 22 data
//        bits for 0..191, 256..383, 384..1023), no address 192..255, the value within
//        its data bits; internal form: exposure (id 1) 8..1068, global gain (id 2)
//        0..1023, sent most significant byte first
//   0x09 the sample count of the sensor's raw frame (1791 x 1060) rounded up to a
//        multiple of 1024: 1,898,496
//   0x0A, 0x23, 0x28  byte 1 is 0 or 1
//   0x20, 0x21  serial-ROM address 8..15 (the user ID)
//   0x25 FPGA register 0x10..0xFF; 0x26 any address (below 0x10 reads 0)
//   0x02, 0x06, 0x24  no further bytes

#include <array>
#include <cstdint>
#include <string>

#include "emulator/request_log.h"

namespace orvix::emulator {

using Packet = std::array<std::uint8_t, 64>;

struct Refusal {
    Rejection kind = Rejection::None;
    std::string reason;

    bool refused() const { return kind != Rejection::None; }
};

// Parses a device name "\\.\OvixK62DT4-n"; the slot n, or -1.
int slotOfDevicePath(const char* path);

Refusal checkOpen(const char* path, std::uint32_t access, std::uint32_t shareMode, std::uint32_t disposition);

// The request's route by control code and pipe: *kind is Command, AnswerRead,
// FrameTransfer or SetTimeout and *pipe the pipe named (0 for the set-time-out
// request), unless the request is refused.
Refusal routeRequest(std::uint32_t code, const void* input, std::uint32_t inputLength, const void* output,
                     std::uint32_t outputLength, RequestKind* kind, std::uint32_t* pipe);

// A packet on the command pipe; `throughReadCode` for one sent with the pipe-read code.
Refusal checkCommandPacket(const Packet& packet, bool throughReadCode);

// The frame length the camera takes with command 0x09, in samples.
std::uint32_t contractFrameSamples();

} // namespace orvix::emulator
