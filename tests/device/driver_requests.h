#pragma once
// Requests made straight on the emulator's device files, as the device link would
// make them (or, for the refusal tests, as it never does).

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "device/driver_protocol.h"
#include "emulator/emulator.h"
#include "platform/device_file.h"

namespace orvix::test {

using DriverPacket = std::array<std::uint8_t, 64>;

inline constexpr std::uint32_t kFrameBytes8 = 1898496;
inline constexpr std::uint32_t kFrameBytes10 = 2 * kFrameBytes8;

inline std::string devicePathOf(int slot) { return "\\\\.\\OvixK62DT4-" + std::to_string(slot); }

inline platform::DeviceFile openSlot(int slot) {
    return platform::DeviceFile::open(devicePathOf(slot).c_str(), protocol::kGenericWrite, protocol::kFileShareWrite,
                                      protocol::kOpenExisting);
}

inline bool onPipe(platform::DeviceFile& file, std::uint32_t code, std::uint32_t pipe, void* buffer,
                   std::uint32_t length, std::uint32_t* bytes) {
    std::uint8_t pipeNumber[4] = {static_cast<std::uint8_t>(pipe), static_cast<std::uint8_t>(pipe >> 8), 0, 0};
    return file.ioControl(code, pipeNumber, 4, buffer, length, bytes);
}

inline bool send(platform::DeviceFile& file, DriverPacket packet, std::uint32_t code = protocol::kPipeWrite) {
    std::uint32_t bytes = 0;
    return onPipe(file, code, protocol::kCommandPipe, packet.data(), 64, &bytes) && bytes == 64;
}

inline bool readAnswer(platform::DeviceFile& file, DriverPacket& answer) {
    std::uint32_t bytes = 0;
    return onPipe(file, protocol::kPipeRead, protocol::kResponsePipe, answer.data(), 64, &bytes) && bytes == 64;
}

inline std::uint16_t readFpga(platform::DeviceFile& file, std::uint8_t address) {
    DriverPacket answer{};
    EXPECT_TRUE(send(file, DriverPacket{0x26, address}));
    EXPECT_TRUE(readAnswer(file, answer));
    EXPECT_TRUE(readAnswer(file, answer));
    return static_cast<std::uint16_t>(answer[0] | answer[1] << 8);
}

inline bool setTimeout(platform::DeviceFile& file, std::uint32_t ms) {
    std::uint8_t input[44] = {1};
    std::memcpy(input + 4, &ms, 4);
    std::uint32_t bytes = 0;
    return file.ioControl(protocol::kSetTimeout, input, sizeof(input), nullptr, 0, &bytes);
}

// The frame length (0x09 with the raw frame's rounded sample count), as the link sends it.
inline bool sendFrameLength(platform::DeviceFile& file) {
    return send(file, DriverPacket{0x09, 0x00, 0xF8, 0x1C, 0x00});
}

// A sensor register write in the link's form: bit count and serial word.
inline DriverPacket sensorWrite(int bitCount, std::uint32_t word) {
    return DriverPacket{0x04,
                        static_cast<std::uint8_t>(bitCount),
                        static_cast<std::uint8_t>(word),
                        static_cast<std::uint8_t>(word >> 8),
                        static_cast<std::uint8_t>(word >> 16),
                        static_cast<std::uint8_t>(word >> 24)};
}

// Trigger mode as the link switches it: command 0x28, then registers 32 and 33.
inline bool switchTrigger(platform::DeviceFile& file, bool on) {
    const std::uint32_t r32 = on ? 0x00 : 0x10;
    const std::uint32_t r33 = on ? 0x0E : 0x01;
    return send(file, DriverPacket{0x28, static_cast<std::uint8_t>(on ? 1 : 0)}) &&
           send(file, sensorWrite(16, (r32 << 10) + 32)) && send(file, sensorWrite(16, (r33 << 10) + 33));
}

// One frame: request and transfer of `length` bytes.
inline bool takeFrame(platform::DeviceFile& file, std::vector<std::uint8_t>& frame, std::uint32_t length) {
    std::uint32_t bytes = 0;
    if (frame.size() < length) frame.resize(length);
    return send(file, DriverPacket{0x02}) &&
           onPipe(file, protocol::kFrameTransfer, protocol::kFramePipe, frame.data(), length, &bytes) &&
           bytes == length;
}

} // namespace orvix::test
