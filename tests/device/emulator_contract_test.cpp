// The emulated driver as the library sees it through the device-file service.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "device/driver_protocol.h"
#include "emulated_cameras.h"
#include "emulator/scene.h"
#include "platform/device_file.h"

namespace orvix::test {
namespace {

using emulator::RequestKind;
using platform::DeviceFile;
using Packet = std::array<std::uint8_t, 64>;

DeviceFile openSlot(int slot) {
    const std::string path = "\\\\.\\OvixK62DT4-" + std::to_string(slot);
    return DeviceFile::open(path.c_str(), protocol::kGenericWrite, protocol::kFileShareWrite, protocol::kOpenExisting);
}

bool onPipe(DeviceFile& file, std::uint32_t code, std::uint32_t pipe, void* buffer, std::uint32_t length,
            std::uint32_t* bytes) {
    std::uint8_t pipeNumber[4] = {static_cast<std::uint8_t>(pipe), 0, 0, 0};
    return file.ioControl(code, pipeNumber, 4, buffer, length, bytes);
}

bool send(DeviceFile& file, Packet packet, std::uint32_t code = protocol::kPipeWrite) {
    std::uint32_t bytes = 0;
    return onPipe(file, code, protocol::kCommandPipe, packet.data(), 64, &bytes) && bytes == 64;
}

bool readAnswer(DeviceFile& file, Packet& answer) {
    std::uint32_t bytes = 0;
    return onPipe(file, protocol::kPipeRead, protocol::kResponsePipe, answer.data(), 64, &bytes) && bytes == 64;
}

std::uint16_t readFpga(DeviceFile& file, std::uint8_t address) {
    Packet answer{};
    EXPECT_TRUE(send(file, Packet{0x26, address}));
    EXPECT_TRUE(readAnswer(file, answer));
    EXPECT_TRUE(readAnswer(file, answer));
    return static_cast<std::uint16_t>(answer[0] | answer[1] << 8);
}

void setTimeout(DeviceFile& file, std::uint32_t ms) {
    std::uint8_t input[44] = {1};
    std::memcpy(input + 4, &ms, 4);
    std::uint32_t bytes = 0;
    ASSERT_TRUE(file.ioControl(protocol::kSetTimeout, input, sizeof(input), nullptr, 0, &bytes));
}

class EmulatorContract : public EmulatedCameras {};

TEST_F(EmulatorContract, OnlyExactNamesOfAttachedCamerasOpen) {
    attach({2});
    EXPECT_TRUE(openSlot(2));
    EXPECT_FALSE(openSlot(1));
    for (const char* bad : {"\\\\.\\OvixK62DT4-8", "\\\\.\\OvixK62DT4-02", "\\\\.\\ovixk62dt4-2", "OvixK62DT4-2",
                            "\\\\.\\OvixK62DT4-2 "})
        EXPECT_FALSE(DeviceFile::open(bad, protocol::kGenericWrite, protocol::kFileShareWrite, protocol::kOpenExisting))
            << bad;
    const char* good = "\\\\.\\OvixK62DT4-2";
    EXPECT_FALSE(DeviceFile::open(good, 0x80000000u, protocol::kFileShareWrite, protocol::kOpenExisting)); // read only
    EXPECT_FALSE(DeviceFile::open(good, protocol::kGenericWrite, protocol::kFileShareWrite, 1));          // create new

    emulator().deactivate(); // nothing emulated: no device file opens (no driver here either)
    EXPECT_FALSE(openSlot(2));
}

TEST_F(EmulatorContract, SeveralHandlesAndUnplugReplug) {
    attach({0});
    DeviceFile first = openSlot(0);
    DeviceFile second = openSlot(0);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(send(first, Packet{0x25, 0x40, 0x34, 0x12}));
    EXPECT_EQ(readFpga(second, 0x40), 0x1234);

    ASSERT_TRUE(emulator().unplug(0));
    EXPECT_FALSE(send(first, Packet{0x06}));
    EXPECT_FALSE(openSlot(0));
    ASSERT_TRUE(emulator().replug(0));
    EXPECT_FALSE(send(first, Packet{0x06})); // handles of the removed camera stay dead
    DeviceFile fresh = openSlot(0);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(readFpga(fresh, 0x40), 0); // power-on state
}

TEST_F(EmulatorContract, AnyRequestOnTheCommandPipeIsACommandOfSixtyFourBytes) {
    attach({0});
    DeviceFile file = openSlot(0);
    EXPECT_TRUE(send(file, Packet{0x25, 0x50, 7, 0}, protocol::kPipeRead));
    EXPECT_TRUE(send(file, Packet{0x25, 0x52, 8, 0}, protocol::kFrameTransfer));
    EXPECT_EQ(readFpga(file, 0x50), 7);
    EXPECT_EQ(readFpga(file, 0x52), 8);
    Packet shortPacket{0x25, 0x54, 9};
    std::uint32_t bytes = 0;
    EXPECT_FALSE(onPipe(file, protocol::kPipeWrite, protocol::kCommandPipe, shortPacket.data(), 32, &bytes));
    EXPECT_EQ(readFpga(file, 0x54), 0);
}

TEST_F(EmulatorContract, AnswersComeBehindTheStaleOneAndAnEmptyPipeFails) {
    attach({0});
    DeviceFile file = openSlot(0);
    Packet answer{};
    EXPECT_FALSE(readAnswer(file, answer)); // nothing asked yet

    ASSERT_TRUE(send(file, Packet{0x26, 0x24}));
    ASSERT_TRUE(readAnswer(file, answer));
    EXPECT_EQ(answer[0] | answer[1] << 8, 0); // stale (power-on: nothing before)
    ASSERT_TRUE(readAnswer(file, answer));
    EXPECT_EQ(answer[0] | answer[1] << 8, 1280);

    ASSERT_TRUE(send(file, Packet{0x24}));
    ASSERT_TRUE(readAnswer(file, answer));
    EXPECT_EQ(answer[0] | answer[1] << 8, 1280); // the previous answer again
    ASSERT_TRUE(readAnswer(file, answer));
    EXPECT_EQ(answer[0], 0); // half clock off
    EXPECT_FALSE(readAnswer(file, answer));
}

TEST_F(EmulatorContract, MonitorRegistersReadBackAsTheCameraDoes) {
    attach({0});
    DeviceFile file = openSlot(0);
    EXPECT_EQ(readFpga(file, 0xA2), 0x000A); // live at power-on
    EXPECT_EQ(readFpga(file, 0xA0), 0x0500);
    EXPECT_EQ(readFpga(file, 0x60), 0x0002);
    EXPECT_EQ(readFpga(file, 0x0F), 0);

    // Switching the preview off: clear bits 0, 1 and 4, then pulse bit 0 (still picture).
    ASSERT_TRUE(send(file, Packet{0x25, 0xA2, 0x08, 0x00}));
    EXPECT_EQ(readFpga(file, 0xA2), 0x0000);
    ASSERT_TRUE(send(file, Packet{0x25, 0xA2, 0x01, 0x00}));
    ASSERT_TRUE(send(file, Packet{0x25, 0xA2, 0x00, 0x00}));
    EXPECT_EQ(readFpga(file, 0xA2), 0x0004);
    // On again: (v AND 0xFFFE) OR 0x12.
    ASSERT_TRUE(send(file, Packet{0x25, 0xA2, 0x16, 0x00}));
    EXPECT_EQ(readFpga(file, 0xA2), 0x000A);
    // Other registers keep what was written.
    ASSERT_TRUE(send(file, Packet{0x25, 0x24, 0x20, 0x03}));
    EXPECT_EQ(readFpga(file, 0x24), 800);
}

TEST_F(EmulatorContract, SerialRomSurvivesUnpluggingButNotReconfiguring) {
    attach({1});
    {
        DeviceFile file = openSlot(1);
        ASSERT_TRUE(send(file, Packet{0x20, 9, 0x5A}));
    }
    EXPECT_EQ(state(1).srom[9], 0x5A);
    EXPECT_EQ(state(1).srom[6], 1); // identification carries the slot
    emulator().unplug(1);
    emulator().replug(1);
    EXPECT_EQ(state(1).srom[9], 0x5A);
    attach({1});
    EXPECT_EQ(state(1).srom[9], 0);
}

TEST_F(EmulatorContract, FrameReadsNeedARequestAndTheFrameLength) {
    attach({0});
    DeviceFile file = openSlot(0);
    setTimeout(file, 50);
    const std::uint32_t frameBytes = 1898496;
    std::vector<std::uint8_t> frame(frameBytes * 2 + 16);
    std::uint32_t bytes = 0;
    EXPECT_FALSE(onPipe(file, protocol::kFrameTransfer, protocol::kFramePipe, frame.data(), frameBytes, &bytes))
        << "no frame without a frame request: fails at the time-out";

    ASSERT_TRUE(send(file, Packet{0x02}));
    EXPECT_FALSE(onPipe(file, protocol::kFrameTransfer, protocol::kFramePipe, frame.data(), frameBytes - 1, &bytes));

    ASSERT_TRUE(send(file, Packet{0x02}));
    ASSERT_TRUE(onPipe(file, protocol::kFrameTransfer, protocol::kFramePipe, frame.data(), frameBytes + 16, &bytes));
    EXPECT_EQ(bytes, frameBytes); // a longer buffer gets the frame's length

    // 10-bit samples with a frame length of 1024: exactly 2048 bytes, active samples only
    // from line 14 on, so a frame this short is all blanking.
    ASSERT_TRUE(send(file, Packet{0x0A, 1}));
    ASSERT_TRUE(send(file, Packet{0x09, 0x00, 0x04, 0x00, 0x00}));
    ASSERT_TRUE(send(file, Packet{0x02}));
    ASSERT_TRUE(onPipe(file, protocol::kFrameTransfer, protocol::kFramePipe, frame.data(), 4096, &bytes));
    EXPECT_EQ(bytes, 2048u);
    EXPECT_EQ(state(0).framesDelivered, 3u); // the one that overran the buffer was sent too
}

TEST_F(EmulatorContract, TriggerModeReleasesOneFramePerTrigger) {
    attach({0}, 0, 0);
    DeviceFile file = openSlot(0);
    setTimeout(file, 50);
    std::vector<std::uint8_t> frame(1898496);
    std::uint32_t bytes = 0;
    const auto request = [&] {
        EXPECT_TRUE(send(file, Packet{0x02}));
        return onPipe(file, protocol::kFrameTransfer, protocol::kFramePipe, frame.data(), 1898496, &bytes);
    };
    ASSERT_TRUE(send(file, Packet{0x28, 1}));
    EXPECT_FALSE(request()); // no trigger: time-out
    ASSERT_TRUE(emulator().fireTrigger(0));
    ASSERT_TRUE(emulator().fireTrigger(0)); // the camera holds one released frame, not two
    EXPECT_TRUE(request());
    EXPECT_FALSE(request());
    ASSERT_TRUE(send(file, Packet{0x28, 0}));
    EXPECT_TRUE(request());
}

TEST_F(EmulatorContract, PeriodicTriggerReleasesFrames) {
    attach({0}, 0, 20);
    DeviceFile file = openSlot(0);
    ASSERT_TRUE(send(file, Packet{0x28, 1}));
    std::vector<std::uint8_t> frame(1898496);
    std::uint32_t bytes = 0;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(send(file, Packet{0x02}));
        EXPECT_TRUE(onPipe(file, protocol::kFrameTransfer, protocol::kFramePipe, frame.data(), 1898496, &bytes));
    }
}

TEST_F(EmulatorContract, InjectedFaultsAndTheLog) {
    attach({0});
    emulator().failNext(0, RequestKind::Open, 1);
    EXPECT_FALSE(openSlot(0));
    DeviceFile file = openSlot(0);
    ASSERT_TRUE(file);

    emulator().failNext(0, RequestKind::Command, 1);
    EXPECT_FALSE(send(file, Packet{0x25, 0x40, 1, 0}));
    emulator().shortenNext(0, RequestKind::Command, 1);
    EXPECT_FALSE(send(file, Packet{0x25, 0x40, 2, 0})); // 32 bytes taken: the camera discards it
    EXPECT_EQ(readFpga(file, 0x40), 0);

    ASSERT_TRUE(send(file, Packet{0x26, 0x24}));
    emulator().failNext(0, RequestKind::AnswerRead, 1);
    Packet answer{};
    EXPECT_FALSE(readAnswer(file, answer)); // the stale answer is lost
    ASSERT_TRUE(readAnswer(file, answer));
    EXPECT_EQ(answer[0] | answer[1] << 8, 1280);

    emulator().shortenNext(0, RequestKind::FrameTransfer, 1);
    ASSERT_TRUE(send(file, Packet{0x02}));
    std::vector<std::uint8_t> frame(1898496);
    std::uint32_t bytes = 0;
    EXPECT_TRUE(onPipe(file, protocol::kFrameTransfer, protocol::kFramePipe, frame.data(), 1898496, &bytes));
    EXPECT_EQ(bytes, 1898496u / 2);

    file.close();
    const auto log = emulator().log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front().kind, RequestKind::Open);
    EXPECT_FALSE(log.front().succeeded);
    EXPECT_EQ(log.front().path, "\\\\.\\OvixK62DT4-0");
    EXPECT_EQ(log.back().kind, RequestKind::Close);
    const auto frames = entries(RequestKind::FrameTransfer);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].code, protocol::kFrameTransfer);
    EXPECT_EQ(frames[0].pipe, 2u);
    EXPECT_EQ(frames[0].length, 1898496u);
}

TEST_F(EmulatorContract, FramesShowTheSceneAtTheExposureAndTheMovingMarker) {
    attach({0});
    DeviceFile file = openSlot(0);
    std::vector<std::uint8_t> first(1898496), second(1898496);
    std::uint32_t bytes = 0;
    ASSERT_TRUE(send(file, Packet{0x04, 1, 0, 128})); // exposure 128
    for (auto* frame : {&first, &second}) {
        ASSERT_TRUE(send(file, Packet{0x02}));
        ASSERT_TRUE(onPipe(file, protocol::kFrameTransfer, protocol::kFramePipe, frame->data(), 1898496, &bytes));
    }
    const auto at = [](const std::vector<std::uint8_t>& frame, int x, int y) {
        return frame[std::size_t(14 + y) * 1791 + 424 + std::size_t(x)];
    };
    for (int y : {0, 1, 500, 800, 1023})
        for (int x : {0, 1, 171, 851, 1359})
            EXPECT_EQ(at(first, x, y),
                      emulator::sampleLevel(emulator::sceneReflectance(emulator::Scene::Chart, x, y), 128, 512) >> 2)
                << x << "," << y;
    EXPECT_EQ(first[0], 0); // blanking
    // The marker moved by 16 columns from frame 0 to frame 1.
    const std::uint8_t marker = static_cast<std::uint8_t>(emulator::sampleLevel(255, 128, 512) >> 2);
    EXPECT_EQ(at(first, 0, 970), marker);
    EXPECT_NE(at(second, 0, 970), marker);
    EXPECT_EQ(at(second, 16, 970), marker);
    EXPECT_EQ(at(second, 47, 970), marker);
    EXPECT_NE(at(second, 48, 970), marker);
}

} // namespace
} // namespace orvix::test
