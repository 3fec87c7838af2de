#pragma once
// Test set-up for the device tests: emulated cameras configured per test, and
// helpers to read the emulator's request log. Every test fails for each request the
// emulated driver refused during it, unless the test took those refusals itself.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "device/driver_protocol.h"
#include "emulator/emulator.h"

namespace orvix::test {

class EmulatedCameras : public ::testing::Test {
public: // helpers also used by free functions of the tests
    void TearDown() override {
        for (const auto& refused : emulator().takeRejections())
            ADD_FAILURE() << "the emulated driver refused: " << emulator::describeRejection(refused);
        emulator().deactivate();
    }

    static emulator::Emulator& emulator() { return emulator::Emulator::instance(); }

    // Attaches cameras at `slots`; frames come as fast as asked for unless a rate is given.
    static void attach(std::initializer_list<int> slots, int frameRate = 0,
                       std::uint32_t triggerIntervalMs = 0) {
        emulator::EmulationConfig config;
        for (int slot : slots) config.withSlot(slot);
        config.frameRate = frameRate;
        config.triggerIntervalMs = triggerIntervalMs;
        emulator().configure(config);
        emulator().clearLog();
    }

    static std::vector<emulator::LogEntry> entries(emulator::RequestKind kind) {
        std::vector<emulator::LogEntry> kept;
        for (const auto& entry : emulator().log())
            if (entry.kind == kind) kept.push_back(entry);
        return kept;
    }

    // The command packets received (successful ones), in order.
    static std::vector<std::vector<std::uint8_t>> packets() {
        std::vector<std::vector<std::uint8_t>> kept;
        for (const auto& entry : entries(emulator::RequestKind::Command))
            if (entry.succeeded) kept.emplace_back(entry.bytes.begin(), entry.bytes.begin() + entry.byteCount);
        return kept;
    }

    // A 64-byte packet with the given leading bytes and zeros after them.
    static std::vector<std::uint8_t> packet(std::initializer_list<std::uint8_t> leading) {
        std::vector<std::uint8_t> bytes(leading);
        bytes.resize(protocol::kPacketLength, 0);
        return bytes;
    }

    static std::vector<std::uint8_t> sensorWritePacket(int bitCount, std::uint32_t word) {
        return packet({0x04, static_cast<std::uint8_t>(bitCount), static_cast<std::uint8_t>(word),
                       static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word >> 16),
                       static_cast<std::uint8_t>(word >> 24)});
    }

    static emulator::CameraState state(int slot) {
        auto current = emulator().cameraState(slot);
        EXPECT_TRUE(current.has_value());
        return current.value_or(emulator::CameraState{});
    }
};

} // namespace orvix::test
