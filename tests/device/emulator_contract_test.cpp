// The emulated driver as the library sees it through the device-file service.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include "device/driver_protocol.h"
#include "driver_requests.h"
#include "emulated_cameras.h"
#include "emulator/scene.h"
#include "platform/device_file.h"

namespace orvix::test {
namespace {

using emulator::Rejection;
using emulator::RequestKind;
using platform::DeviceFile;
using Packet = DriverPacket;

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

    // The malformed names and the other open modes were refused, not just not found.
    std::vector<Rejection> refused;
    for (const auto& entry : emulator().takeRejections()) refused.push_back(entry.rejection);
    const std::vector<Rejection> expected = {Rejection::DeviceName, Rejection::DeviceName, Rejection::DeviceName,
                                             Rejection::DeviceName, Rejection::DeviceName, Rejection::OpenMode,
                                             Rejection::OpenMode};
    EXPECT_EQ(refused, expected);

    emulator().deactivate(); // nothing emulated: no device file opens (no driver here either)
    EXPECT_FALSE(openSlot(2));
}

TEST_F(EmulatorContract, WithoutServingDeviceFilesTheCamerasAnswerOnlyThroughTheEmulatorsOwnOpen) {
    attach({1});
    emulator().serveDeviceFiles(false);
    EXPECT_FALSE(emulator().active());
    EXPECT_FALSE(openSlot(1)) << "the platform's device files go elsewhere";

    // The camera is still there, reached as the driver reaches it: checked and logged.
    auto file = emulator().open(devicePathOf(1).c_str(), protocol::kGenericWrite, protocol::kFileShareWrite,
                                protocol::kOpenExisting);
    ASSERT_TRUE(file);
    Packet packet{0x25, 0x40, 0x34, 0x12};
    std::uint8_t pipe0[4] = {0, 0, 0, 0};
    std::uint32_t bytes = 0;
    EXPECT_TRUE(file->ioControl(protocol::kPipeWrite, pipe0, 4, packet.data(), 64, &bytes));
    EXPECT_EQ(bytes, 64u);
    EXPECT_EQ(emulator().fpgaRegister(1, 0x40), 0x1234);
    Packet refused{0x7F};
    EXPECT_FALSE(file->ioControl(protocol::kPipeWrite, pipe0, 4, refused.data(), 64, &bytes));
    EXPECT_EQ(bytes, 0u);
    const auto rejections = emulator().takeRejections();
    ASSERT_EQ(rejections.size(), 1u);
    EXPECT_EQ(rejections[0].rejection, Rejection::Packet);
    const auto commands = entries(RequestKind::Command);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].slot, 1);
    EXPECT_EQ(commands[0].bytes[0], 0x25);
    file.reset();

    // Configuring keeps the choice; deactivating restores serving for the next configure.
    attach({1});
    EXPECT_FALSE(openSlot(1));
    emulator().deactivate();
    attach({1});
    EXPECT_TRUE(openSlot(1));
}

TEST_F(EmulatorContract, ACancelledFrameTransferFailsAtOnceAndTheNextOneTakesTheNextFrame) {
    attach({0}, 15, 0);
    DeviceFile file = openSlot(0);
    ASSERT_TRUE(setTimeout(file, 3000));
    ASSERT_TRUE(sendFrameLength(file));
    ASSERT_TRUE(switchTrigger(file, true)); // no trigger comes: the transfer waits for its time-out
    auto channel = emulator().open(devicePathOf(0).c_str(), protocol::kGenericWrite, protocol::kFileShareWrite,
                                   protocol::kOpenExisting);
    ASSERT_TRUE(channel);
    auto* emulated = dynamic_cast<emulator::EmulatedFile*>(channel.get());
    ASSERT_NE(emulated, nullptr);

    std::vector<std::uint8_t> frame(kFrameBytes8);
    ASSERT_TRUE(send(file, Packet{0x02}));
    const auto start = std::chrono::steady_clock::now();
    auto waiting = std::async(std::launch::async, [&] {
        std::uint32_t bytes = 0;
        return onPipe(file, protocol::kFrameTransfer, protocol::kFramePipe, frame.data(), kFrameBytes8, &bytes);
    });
    // Cancel until the transfer has ended: a cancel before it began to wait is no cancel of it.
    while (waiting.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) emulated->cancelFrameTransfers();
    EXPECT_FALSE(waiting.get());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    const auto transfers = entries(RequestKind::FrameTransfer);
    ASSERT_EQ(transfers.size(), 1u);
    EXPECT_FALSE(transfers[0].succeeded);
    EXPECT_EQ(transfers[0].bytesReturned, 0u);

    // The camera is unharmed: the armed frame still waits for its trigger.
    ASSERT_TRUE(emulator().fireTrigger(0));
    std::uint32_t bytes = 0;
    EXPECT_TRUE(onPipe(file, protocol::kFrameTransfer, protocol::kFramePipe, frame.data(), kFrameBytes8, &bytes));
    EXPECT_EQ(bytes, kFrameBytes8);
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

TEST_F(EmulatorContract, CommandsGoThroughTheWriteCodeAndTheFrameRequestAlsoThroughTheReadCode) {
    attach({0});
    DeviceFile file = openSlot(0);
    ASSERT_TRUE(setTimeout(file, 100));
    ASSERT_TRUE(sendFrameLength(file));
    EXPECT_TRUE(send(file, Packet{0x25, 0x50, 7, 0}));
    EXPECT_EQ(readFpga(file, 0x50), 7);
    // The ring thread's form: the frame request as a pipe read on the command pipe.
    ASSERT_TRUE(send(file, Packet{0x02}, protocol::kPipeRead));
    std::vector<std::uint8_t> frame(kFrameBytes8);
    std::uint32_t bytes = 0;
    EXPECT_TRUE(onPipe(file, protocol::kFrameTransfer, protocol::kFramePipe, frame.data(), kFrameBytes8, &bytes));
    EXPECT_EQ(bytes, kFrameBytes8);
    const auto commands = entries(RequestKind::Command);
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[3].code, protocol::kPipeRead);
    EXPECT_EQ(commands[3].bytes[0], 0x02);
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
    ASSERT_TRUE(setTimeout(file, 50));
    EXPECT_EQ(state(0).frameLengthSamples, 0u); // none until 0x09 sets it
    ASSERT_TRUE(sendFrameLength(file));
    EXPECT_EQ(state(0).frameLengthSamples, 1898496u);
    std::vector<std::uint8_t> frame(kFrameBytes10);
    std::uint32_t bytes = 0;
    EXPECT_FALSE(onPipe(file, protocol::kFrameTransfer, protocol::kFramePipe, frame.data(), kFrameBytes8, &bytes))
        << "no frame without a frame request: fails at the time-out";
    EXPECT_TRUE(takeFrame(file, frame, kFrameBytes8));

    // 10-bit samples: the same frame length in words.
    ASSERT_TRUE(send(file, Packet{0x0A, 1}));
    EXPECT_TRUE(takeFrame(file, frame, kFrameBytes10));
    EXPECT_EQ(state(0).framesDelivered, 2u);
    EXPECT_EQ(emulator().rejectionCount(), 0u);
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
    ASSERT_TRUE(sendFrameLength(file));
    ASSERT_TRUE(switchTrigger(file, true));
    EXPECT_TRUE(state(0).triggerMode);
    EXPECT_FALSE(request()); // no trigger: time-out
    ASSERT_TRUE(emulator().fireTrigger(0));
    ASSERT_TRUE(emulator().fireTrigger(0)); // the camera holds one released frame, not two
    EXPECT_TRUE(request());
    EXPECT_FALSE(request());
    ASSERT_TRUE(switchTrigger(file, false));
    EXPECT_TRUE(request());
}

TEST_F(EmulatorContract, TriggerModeNeedsTheCommandAndBothRegisters) {
    attach({0});
    DeviceFile file = openSlot(0);
    ASSERT_TRUE(setTimeout(file, 50));
    ASSERT_TRUE(sendFrameLength(file));
    std::vector<std::uint8_t> frame;
    const auto freeRunning = [&] { return takeFrame(file, frame, kFrameBytes8); }; // no trigger fired

    ASSERT_TRUE(send(file, Packet{0x28, 1}));
    EXPECT_TRUE(state(0).triggerCommand);
    EXPECT_FALSE(state(0).triggerMode) << "registers 32 and 33 still read out freely";
    EXPECT_TRUE(freeRunning());
    ASSERT_TRUE(send(file, sensorWrite(16, (0x00u << 10) + 32))); // register 32 without bit 0x10
    EXPECT_TRUE(freeRunning());
    ASSERT_TRUE(send(file, sensorWrite(16, (0x2Eu << 10) + 33))); // register 33 low bits 0xE
    EXPECT_TRUE(state(0).triggerMode);
    EXPECT_FALSE(freeRunning());

    // Either half undone ends trigger mode.
    ASSERT_TRUE(send(file, sensorWrite(16, (0x10u << 10) + 32)));
    EXPECT_TRUE(freeRunning());
    ASSERT_TRUE(send(file, sensorWrite(16, (0x00u << 10) + 32)));
    EXPECT_FALSE(freeRunning());
    ASSERT_TRUE(send(file, Packet{0x28, 0}));
    EXPECT_FALSE(state(0).triggerMode);
    EXPECT_TRUE(freeRunning());
    // A trigger fired outside trigger mode is not kept for later.
    ASSERT_TRUE(emulator().fireTrigger(0));
    ASSERT_TRUE(send(file, Packet{0x28, 1}));
    EXPECT_FALSE(freeRunning());
}

TEST_F(EmulatorContract, PeriodicTriggerReleasesFrames) {
    attach({0}, 0, 20);
    DeviceFile file = openSlot(0);
    ASSERT_TRUE(sendFrameLength(file));
    ASSERT_TRUE(switchTrigger(file, true));
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

    ASSERT_TRUE(sendFrameLength(file));
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
    ASSERT_TRUE(sendFrameLength(file));
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
    // The marker moved by 16 columns from frame 0 to frame 1.
    const std::uint8_t marker = static_cast<std::uint8_t>(emulator::sampleLevel(255, 128, 512) >> 2);
    EXPECT_EQ(at(first, 0, 970), marker);
    EXPECT_NE(at(second, 0, 970), marker);
    EXPECT_EQ(at(second, 16, 970), marker);
    EXPECT_EQ(at(second, 47, 970), marker);
    EXPECT_NE(at(second, 48, 970), marker);
}

// Where a raw sample lies: in the active area (the scene), or outside it.
bool isActiveSample(std::size_t index) {
    if (index >= std::size_t(1791) * 1060) return false; // padding up to the frame length
    const std::size_t line = index / 1791, sample = index % 1791;
    return line >= 14 && line < 14 + 1024 && sample >= 424 && sample < 424 + 1360;
}

TEST_F(EmulatorContract, FramesCarryLevelsOutsideTheActiveAreaAndNoiseInUnusedBits) {
    attach({0});
    DeviceFile file = openSlot(0);
    ASSERT_TRUE(sendFrameLength(file));
    std::vector<std::uint8_t> frame8, frame10;
    ASSERT_TRUE(takeFrame(file, frame8, kFrameBytes8));
    ASSERT_TRUE(send(file, Packet{0x0A, 1}));
    ASSERT_TRUE(takeFrame(file, frame10, kFrameBytes10));

    std::size_t outside = 0, darkOutside8 = 0, outOfRange10 = 0, noisy = 0, wrongInside = 0;
    std::vector<bool> seen(1024, false);
    for (std::size_t i = 0; i < kFrameBytes8; ++i) {
        const unsigned high = frame10[2 * i + 1];
        const unsigned level = unsigned(frame10[2 * i]) << 2 | (high & 3);
        if ((high & 0xFC) != 0) ++noisy;
        if (isActiveSample(i)) {
            const int x = int(i % 1791) - 424, y = int(i / 1791) - 14;
            // The frames are the second and third: the marker's lines differ from frame to frame.
            if (!emulator::inMarkerLines(y) &&
                level != emulator::sampleLevel(emulator::sceneReflectance(emulator::Scene::Chart, x, y), 64, 512))
                ++wrongInside;
            continue;
        }
        ++outside;
        if (frame8[i] < 64) ++darkOutside8;
        if (level < 256) ++outOfRange10;
        seen[level] = true;
    }
    EXPECT_EQ(outside, std::size_t(kFrameBytes8) - 1360u * 1024u);
    EXPECT_EQ(darkOutside8, 0u) << "every sample outside the active area reads 256..1023";
    EXPECT_EQ(outOfRange10, 0u);
    EXPECT_GT(std::count(seen.begin(), seen.end(), true), 700) << "levels vary from sample to sample";
    EXPECT_GT(noisy, std::size_t(kFrameBytes8) * 9 / 10) << "bits 2..7 of the high bytes carry noise";
    EXPECT_EQ(wrongInside, 0u) << "the ten data bits hold the scene";
    // The 8-bit frame holds the upper eight bits of the same levels outside too.
    EXPECT_EQ(frame8[0], frame10[0]);
    EXPECT_EQ(frame8[kFrameBytes8 - 1], frame10[2 * (kFrameBytes8 - 1)]);
}

} // namespace
} // namespace orvix::test
