// The USB driver's own contract, through the platform's device files as the device
// link uses them: which requests it refuses before anything reaches the camera, the
// time-out a camera keeps between its open files, and a short transfer.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "device/driver_protocol.h"
#include "platform/device_file.h"
#include "usb/usb_api_support.h"

namespace orvix::test::usb {
namespace {

namespace protocol = orvix::protocol;
using Packet = std::array<std::uint8_t, 64>;

platform::DeviceFile openSlot(int slot) {
    const std::string path = "\\\\.\\OvixK62DT4-" + std::to_string(slot);
    return platform::DeviceFile::open(path.c_str(), protocol::kGenericWrite, protocol::kFileShareWrite,
                                      protocol::kOpenExisting);
}

bool pipeRequest(platform::DeviceFile& file, std::uint32_t code, std::uint32_t pipe, void* data,
                 std::uint32_t length, std::uint32_t* bytes, std::uint32_t inputLength = 4) {
    const std::uint8_t input[4] = {static_cast<std::uint8_t>(pipe), 0, 0, 0};
    return file.ioControl(code, input, inputLength, data, length, bytes);
}

bool setTimeout(platform::DeviceFile& file, std::uint32_t first, std::uint32_t ms,
                std::uint32_t inputLength = protocol::kSetTimeoutInputLength, void* output = nullptr) {
    std::array<std::uint8_t, 48> input{};
    for (int i = 0; i < 4; ++i) {
        input[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(first >> (8 * i));
        input[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(ms >> (8 * i));
    }
    std::uint32_t bytes = 0;
    return file.ioControl(protocol::kSetTimeout, input.data(), inputLength, output, output ? 4 : 0, &bytes);
}

Packet command(std::uint8_t code, std::uint32_t argument = 0) {
    Packet packet{};
    packet[0] = code;
    for (int i = 0; i < 4; ++i) packet[static_cast<std::size_t>(1 + i)] = static_cast<std::uint8_t>(argument >> (8 * i));
    return packet;
}

class UsbDriverTest : public UsbCameraTest {
protected:
    void SetUp() override {
        UsbCameraTest::SetUp();
        emulate({0});
        bench().add(cameraAt(1, {1}, 0));
    }
};

TEST_F(UsbDriverTest, RequestsOutsideTheContractFailWithoutReachingTheCamera) {
    platform::DeviceFile file = openSlot(0);
    ASSERT_TRUE(file);
    Packet packet = command(protocol::kCmdDeviceSelect);
    std::uint32_t bytes = 99;
    EXPECT_FALSE(pipeRequest(file, protocol::kFrameTransferOut, 0, packet.data(), 64, &bytes)) << "the other direction's code";
    EXPECT_EQ(bytes, 0u);
    EXPECT_FALSE(pipeRequest(file, protocol::kPipeWrite, 0, packet.data(), 64, &bytes, 3)) << "3-byte pipe number";
    EXPECT_FALSE(pipeRequest(file, protocol::kPipeWrite, 3, packet.data(), 64, &bytes)) << "no pipe 3";
    EXPECT_FALSE(pipeRequest(file, protocol::kPipeWrite, 0, nullptr, 64, &bytes)) << "no buffer";
    EXPECT_FALSE(pipeRequest(file, protocol::kPipeWrite, 0, packet.data(), 0, &bytes)) << "no length";
    EXPECT_FALSE(setTimeout(file, 1, 0)) << "a time-out of 0 ms";
    EXPECT_FALSE(setTimeout(file, 1, 3600 * 1000 + 1)) << "more than an hour";
    EXPECT_FALSE(setTimeout(file, 2, 500)) << "first word not 1";
    EXPECT_FALSE(setTimeout(file, 1, 500, 43)) << "43 input bytes";
    std::uint32_t output = 0;
    EXPECT_FALSE(setTimeout(file, 1, 500, protocol::kSetTimeoutInputLength, &output)) << "an output buffer";
    EXPECT_TRUE(transfers(0).empty());

    // The file is still good.
    ASSERT_TRUE(pipeRequest(file, protocol::kPipeWrite, 0, packet.data(), 64, &bytes));
    EXPECT_EQ(bytes, 64u);
    EXPECT_EQ(transfers(0).size(), 1u);
}

TEST_F(UsbDriverTest, ATimeoutSetThroughOneFileEndsTheTransfersOfTheNext) {
    const std::uint32_t frameBytes = emulator::contractFrameSamples();
    {
        platform::DeviceFile file = openSlot(0);
        ASSERT_TRUE(file);
        ASSERT_TRUE(setTimeout(file, 1, 250));
        Packet length = command(protocol::kCmdFrameLength, frameBytes);
        std::uint32_t bytes = 0;
        ASSERT_TRUE(pipeRequest(file, protocol::kPipeWrite, 0, length.data(), 64, &bytes));
    } // the camera's last file closes: its interface is released
    platform::DeviceFile file = openSlot(0);
    ASSERT_TRUE(file);
    std::vector<std::uint8_t> frame(frameBytes);
    std::uint32_t bytes = 0;
    const auto start = Clock::now();
    EXPECT_FALSE(pipeRequest(file, protocol::kFrameTransfer, 2, frame.data(), frameBytes, &bytes))
        << "no frame was asked for";
    const long long took = msSince(start);
    EXPECT_GE(took, 200);
    EXPECT_LT(took, 2000) << "the camera's default of 3000 ms was used";
}

TEST_F(UsbDriverTest, AShortTransferIsAFailedRequestWithTheBytesItMoved) {
    platform::DeviceFile file = openSlot(0);
    ASSERT_TRUE(file);
    Packet query = command(protocol::kCmdHalfClockQuery);
    std::uint32_t bytes = 0;
    ASSERT_TRUE(pipeRequest(file, protocol::kPipeWrite, 0, query.data(), 64, &bytes));
    emulated().shortenNext(0, emulator::RequestKind::AnswerRead, 1);
    Packet answer{};
    EXPECT_FALSE(pipeRequest(file, protocol::kPipeRead, 1, answer.data(), 64, &bytes));
    EXPECT_EQ(bytes, 32u);
    EXPECT_TRUE(pipeRequest(file, protocol::kPipeRead, 1, answer.data(), 64, &bytes));
    EXPECT_EQ(bytes, 64u);
}

TEST_F(UsbDriverTest, OnlyTheCameraNamesOfTheEightSlotsOpen) {
    for (const char* path : {"\\\\.\\OvixK62DT4-8", "\\\\.\\OvixK62DT4-00", "\\\\.\\OvixK62DT4-", "OvixK62DT4-0",
                             "\\\\.\\OvixK62DT4-1" /* no camera there */, ""})
        EXPECT_FALSE(platform::DeviceFile::open(path, protocol::kGenericWrite, protocol::kFileShareWrite,
                                                protocol::kOpenExisting))
            << path;
    EXPECT_TRUE(openSlot(0));
}

TEST_F(UsbDriverTest, AServingEmulatorTakesTheDriversPlace) {
    emulated().serveDeviceFiles(true); // as with ORVIX_K62DT4_EMULATE set
    emulated().clearLog();              // the fake camera's own open of its emulated one
    {
        platform::DeviceFile file = openSlot(0);
        ASSERT_TRUE(file);
        Packet packet = command(protocol::kCmdDeviceSelect);
        std::uint32_t bytes = 0;
        ASSERT_TRUE(pipeRequest(file, protocol::kPipeWrite, 0, packet.data(), 64, &bytes));
    }
    EXPECT_EQ(bench().device(0).stats().opens, 0) << "the USB camera was opened";
    bool openedThroughTheEmulator = false;
    for (const emulator::LogEntry& entry : emulated().log())
        openedThroughTheEmulator = openedThroughTheEmulator || entry.kind == emulator::RequestKind::Open;
    EXPECT_TRUE(openedThroughTheEmulator);
    EXPECT_EQ(transfers(0).size(), 1u);
}

} // namespace
} // namespace orvix::test::usb
