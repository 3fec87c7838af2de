// The emulated driver refuses every request the camera's contract does not allow:
// each test makes requests the device link never makes, straight on the device
// files, and sees them fail with no bytes, leave the camera as it was, and be logged.

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "driver_requests.h"
#include "emulated_cameras.h"
#include "support/test_environment.h"

namespace orvix::test {
namespace {

using emulator::Rejection;
using emulator::RequestKind;
using platform::DeviceFile;
using Packet = DriverPacket;

class EmulatorRejections : public EmulatedCameras {
protected:
    void SetUp() override {
        attach({0});
        file = openSlot(0);
        ASSERT_TRUE(file);
        ASSERT_TRUE(setTimeout(file, 50));
        ASSERT_TRUE(sendFrameLength(file));
        emulator().clearLog();
    }
    void TearDown() override {
        file.close();
        EmulatedCameras::TearDown();
    }

    // The kinds of the requests refused since the last call, taken from the emulator.
    static std::vector<Rejection> refused() {
        std::vector<Rejection> kinds;
        for (const auto& entry : emulator().takeRejections()) kinds.push_back(entry.rejection);
        return kinds;
    }
    static std::vector<Rejection> times(std::size_t count, Rejection kind) { return std::vector<Rejection>(count, kind); }

    // A request with a 4-byte pipe number: true when it succeeded; `bytes` as returned.
    bool request(std::uint32_t code, std::uint32_t pipe, void* buffer, std::uint32_t length) {
        bytes = 77;
        return onPipe(file, code, pipe, buffer, length, &bytes);
    }
    // An armed frame is still there when a frame arrives within the time-out.
    bool frameStillArmed() {
        std::vector<std::uint8_t> frame(kFrameBytes8);
        std::uint32_t got = 0;
        return onPipe(file, protocol::kFrameTransfer, protocol::kFramePipe, frame.data(), kFrameBytes8, &got);
    }

    DeviceFile file;
    std::uint32_t bytes = 0;
};

TEST_F(EmulatorRejections, OpensOtherThanTheDriversNamesAndMode) {
    const char* good = "\\\\.\\OvixK62DT4-0";
    for (const char* bad : {"\\\\.\\OvixK62DT4-8", "\\\\.\\OvixK62DT4-00", "\\\\.\\OvixK62DT4", "COM1", ""})
        EXPECT_FALSE(DeviceFile::open(bad, protocol::kGenericWrite, protocol::kFileShareWrite, protocol::kOpenExisting))
            << bad;
    EXPECT_FALSE(DeviceFile::open(good, 0xC0000000u, protocol::kFileShareWrite, protocol::kOpenExisting)); // read+write
    EXPECT_FALSE(DeviceFile::open(good, protocol::kGenericWrite, 0, protocol::kOpenExisting));       // exclusive
    EXPECT_FALSE(DeviceFile::open(good, protocol::kGenericWrite, 3, protocol::kOpenExisting));       // read sharing too
    EXPECT_FALSE(DeviceFile::open(good, protocol::kGenericWrite, protocol::kFileShareWrite, 4));     // open always
    std::vector<Rejection> expected = times(5, Rejection::DeviceName);
    const auto modes = times(4, Rejection::OpenMode);
    expected.insert(expected.end(), modes.begin(), modes.end());
    EXPECT_EQ(refused(), expected);

    // A name of the driver with no camera behind it is not found, not refused.
    EXPECT_FALSE(openSlot(5));
    EXPECT_TRUE(refused().empty());
    const auto log = emulator().log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().kind, RequestKind::Open);
    EXPECT_FALSE(log.back().succeeded);
}

TEST_F(EmulatorRejections, ControlCodesTheDriverDoesNotServe) {
    ASSERT_TRUE(send(file, Packet{0x02}));
    std::vector<std::uint8_t> frame(kFrameBytes8);
    // The frame transfer of the other direction is never issued; a code of another
    // function, method or device type is none of the driver's.
    EXPECT_FALSE(request(protocol::kFrameTransferOut, protocol::kFramePipe, frame.data(), kFrameBytes8));
    EXPECT_EQ(bytes, 0u);
    for (std::uint32_t code : {0x222052u, 0x22204Du, 0x2220A8u, 0x2220A1u, 0x0022204Eu | 0x80000000u, 0u})
        EXPECT_FALSE(request(code, protocol::kFramePipe, frame.data(), kFrameBytes8)) << std::hex << code;
    EXPECT_EQ(refused(), times(7, Rejection::ControlCode));
    EXPECT_TRUE(frameStillArmed()) << "no refused request took the frame";
    EXPECT_EQ(state(0).framesDelivered, 1u);
}

TEST_F(EmulatorRejections, PipeRequestsOnlyOnTheirPipes) {
    Packet packet{0x25, 0x50, 7, 0};
    std::vector<std::uint8_t> frame(kFrameBytes8);
    ASSERT_TRUE(send(file, Packet{0x02}));
    EXPECT_FALSE(request(protocol::kFrameTransfer, protocol::kCommandPipe, packet.data(), 64)); // a command as a frame
    EXPECT_FALSE(request(protocol::kFrameTransfer, protocol::kResponsePipe, frame.data(), kFrameBytes8));
    EXPECT_FALSE(request(protocol::kPipeWrite, protocol::kResponsePipe, packet.data(), 64));   // answers are read
    EXPECT_FALSE(request(protocol::kPipeWrite, protocol::kFramePipe, frame.data(), kFrameBytes8));
    EXPECT_FALSE(request(protocol::kPipeRead, protocol::kFramePipe, frame.data(), kFrameBytes8)); // frames are transfers
    EXPECT_FALSE(request(protocol::kPipeRead, 3, packet.data(), 64));
    EXPECT_FALSE(request(protocol::kPipeWrite, 0x100, packet.data(), 64)); // pipe 256, low byte 0
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(refused(), times(7, Rejection::Pipe));
    EXPECT_EQ(readFpga(file, 0x50), 0) << "the packet sent as a frame transfer was not taken";
    EXPECT_TRUE(frameStillArmed());

    // The pipe number is exactly four bytes of input.
    std::uint8_t longInput[8] = {};
    EXPECT_FALSE(file.ioControl(protocol::kPipeWrite, longInput, 8, packet.data(), 64, &bytes));
    EXPECT_FALSE(file.ioControl(protocol::kPipeWrite, longInput, 2, packet.data(), 64, &bytes));
    EXPECT_FALSE(file.ioControl(protocol::kPipeWrite, nullptr, 4, packet.data(), 64, &bytes));
    EXPECT_FALSE(file.ioControl(protocol::kFrameTransfer, nullptr, 0, frame.data(), kFrameBytes8, &bytes));
    EXPECT_EQ(refused(), times(4, Rejection::PipeInput));
    EXPECT_EQ(readFpga(file, 0x50), 0);
}

TEST_F(EmulatorRejections, PacketsAndAnswersAreSixtyFourBytes) {
    Packet packet{0x25, 0x50, 7, 0};
    std::uint8_t longer[128] = {0x25, 0x50, 7, 0};
    EXPECT_FALSE(request(protocol::kPipeWrite, protocol::kCommandPipe, packet.data(), 32));
    EXPECT_FALSE(request(protocol::kPipeWrite, protocol::kCommandPipe, longer, 65));
    EXPECT_FALSE(request(protocol::kPipeWrite, protocol::kCommandPipe, nullptr, 64));
    EXPECT_FALSE(request(protocol::kPipeRead, protocol::kCommandPipe, Packet{0x02}.data(), 63));
    EXPECT_EQ(bytes, 0u);
    ASSERT_TRUE(send(file, Packet{0x26, 0x24}));
    Packet answer{};
    EXPECT_FALSE(request(protocol::kPipeRead, protocol::kResponsePipe, answer.data(), 32));
    EXPECT_FALSE(request(protocol::kPipeRead, protocol::kResponsePipe, longer, 128));
    EXPECT_EQ(refused(), times(6, Rejection::BufferLength));
    // The refused reads took no answer from the response pipe: the stale one, then 0x24's.
    EXPECT_TRUE(readAnswer(file, answer));
    EXPECT_TRUE(readAnswer(file, answer));
    EXPECT_EQ(answer[0] | answer[1] << 8, 1280);
    EXPECT_EQ(readFpga(file, 0x50), 0);
}

TEST_F(EmulatorRejections, SetTimeoutTakesFortyFourBytesStartingWithOneAndNoOutput) {
    std::uint8_t input[64] = {1, 0, 0, 0, 0xE8, 0x03}; // 1000 ms
    std::uint8_t output[4] = {};
    EXPECT_FALSE(file.ioControl(protocol::kSetTimeout, input, 8, nullptr, 0, &bytes));
    EXPECT_FALSE(file.ioControl(protocol::kSetTimeout, input, 48, nullptr, 0, &bytes));
    EXPECT_FALSE(file.ioControl(protocol::kSetTimeout, input, 44, output, sizeof(output), &bytes));
    EXPECT_FALSE(file.ioControl(protocol::kSetTimeout, input, 44, nullptr, 4, &bytes));
    EXPECT_FALSE(file.ioControl(protocol::kSetTimeout, nullptr, 44, nullptr, 0, &bytes));
    input[0] = 2;
    EXPECT_FALSE(file.ioControl(protocol::kSetTimeout, input, 44, nullptr, 0, &bytes));
    EXPECT_EQ(refused(), times(6, Rejection::TimeoutRequest));
    EXPECT_EQ(state(0).transferTimeoutMs, 50u);
    input[0] = 1;
    EXPECT_TRUE(file.ioControl(protocol::kSetTimeout, input, 44, nullptr, 0, &bytes));
    EXPECT_EQ(state(0).transferTimeoutMs, 1000u);
}

TEST_F(EmulatorRejections, CommandPacketsAreTakenOnlyAsTheContractLaysThemOut) {
    const Packet refusedPackets[] = {
        {0x07},                       // no such command
        {0x00},                       // nor 0
        {0x06, 1},                    // device select takes no further byte
        {0x25, 0x50, 7, 0, 1},        // FPGA write with a fifth byte
        {0x25, 0x0F, 7, 0},           // FPGA write below the registers
        {0x0A, 2},                    // ten-bit mode is 0 or 1
        {0x23, 0xFF},                 // so is half clock
        {0x28, 2},                    // and trigger mode
        {0x20, 3, 0x55},              // serial-ROM write outside the user ID
        {0x20, 16, 0x55},
        {0x21, 7},                    // serial-ROM read outside the user ID
        {0x02, 0, 0, 0, 0, 0, 0, 1},  // frame request with a stray byte
    };
    for (const Packet& packet : refusedPackets) EXPECT_FALSE(send(file, packet)) << int(packet[0]);
    Packet answer{};
    EXPECT_FALSE(readAnswer(file, answer)) << "the refused serial-ROM read queued no answer";
    // Through the pipe-read code only the frame request is sent.
    EXPECT_FALSE(send(file, Packet{0x25, 0x52, 8, 0}, protocol::kPipeRead));
    EXPECT_EQ(refused(), times(std::size(refusedPackets) + 1, Rejection::Packet));

    const auto camera = state(0);
    EXPECT_FALSE(camera.tenBit);
    EXPECT_FALSE(camera.halfClock);
    EXPECT_FALSE(camera.triggerCommand);
    EXPECT_EQ(camera.srom[3], 'D');
    EXPECT_EQ(camera.srom[16], 0);
    EXPECT_EQ(camera.deviceSelects, 0u);
    EXPECT_EQ(readFpga(file, 0x50), 0);
    EXPECT_EQ(readFpga(file, 0x52), 0);
}

TEST_F(EmulatorRejections, SensorWritesMatchTheirRegisterAndValueRanges) {
    const Packet refusedPackets[] = {
        sensorWrite(16, (1u << 10) + 200),         // 192..255 are no registers
        sensorWrite(16, (1u << 10) + 255),
        sensorWrite(26, (1u << 10) + 8),           // register 8 takes 16 bits on the wire
        sensorWrite(32, (1u << 10) + 8),
        sensorWrite(16, (1u << 10) + 300),         // register 300 takes 26
        sensorWrite(26, (1u << 10) + 500),         // register 500 takes 32
        sensorWrite(16, (0x40u << 10) + 8),        // 7 bits for a 6-bit register
        sensorWrite(26, (0x10000u << 10) + 300),   // 17 bits for a 16-bit register
        sensorWrite(20, (1u << 10) + 8),           // no such bit count
        Packet{0x04, 3, 0, 8},                     // no such value id
        Packet{0x04, 1, 0, 7},                     // exposure below 8
        Packet{0x04, 1, 0x04, 0x2D},               // exposure 1069
        Packet{0x04, 2, 0x04, 0x00},               // global gain 1024
        Packet{0x04, 2, 0x01, 0x00, 5},            // a byte after the value
        Packet{0x04, 16, 8, 4, 0, 0, 1},           // a byte after the serial word
    };
    for (const Packet& packet : refusedPackets) EXPECT_FALSE(send(file, packet)) << int(packet[1]);
    EXPECT_EQ(refused(), times(std::size(refusedPackets), Rejection::Packet));
    const auto camera = state(0);
    EXPECT_EQ(camera.sensorRegisters[8], 0u);
    EXPECT_EQ(camera.sensorRegisters[200], 0u);
    EXPECT_EQ(camera.sensorRegisters[300], 0u);
    EXPECT_EQ(camera.sensorRegisters[500], 0u);
    EXPECT_EQ(camera.exposure, 64u); // power-on
    EXPECT_EQ(camera.globalGain, 512u);

    // The extremes of each range are taken.
    EXPECT_TRUE(send(file, sensorWrite(16, (0x3Fu << 10) + 191)));
    EXPECT_TRUE(send(file, sensorWrite(26, (0xFFFFu << 10) + 383)));
    EXPECT_TRUE(send(file, sensorWrite(32, (0x3FFFFFu << 10) + 1023)));
    EXPECT_TRUE(send(file, Packet{0x04, 1, 0x04, 0x2C}));
    EXPECT_TRUE(send(file, Packet{0x04, 2, 0x03, 0xFF}));
    EXPECT_EQ(state(0).sensorRegisters[1023], 0x3FFFFFu);
    EXPECT_EQ(state(0).exposure, 1068u);
    EXPECT_EQ(state(0).globalGain, 1023u);
}

TEST_F(EmulatorRejections, FrameLengthOnlyAsTheRawFrameAndTransfersOnlyOfIt) {
    // Another frame length than the raw frame's is refused and the camera keeps its own.
    for (std::uint32_t samples : {100u, 1898460u, 1898497u, 1899520u, 0u}) {
        Packet packet{0x09, static_cast<std::uint8_t>(samples), static_cast<std::uint8_t>(samples >> 8),
                      static_cast<std::uint8_t>(samples >> 16), static_cast<std::uint8_t>(samples >> 24)};
        EXPECT_FALSE(send(file, packet)) << samples;
    }
    EXPECT_EQ(refused(), times(5, Rejection::FrameLength));
    EXPECT_EQ(state(0).frameLengthSamples, 1898496u);

    // Transfers of another length than the frame's, in either sample width.
    std::vector<std::uint8_t> frame(kFrameBytes10 + 64);
    ASSERT_TRUE(send(file, Packet{0x02}));
    for (std::uint32_t length : {100u, kFrameBytes8 - 1, kFrameBytes8 + 1, kFrameBytes10})
        EXPECT_FALSE(request(protocol::kFrameTransfer, protocol::kFramePipe, frame.data(), length)) << length;
    ASSERT_TRUE(send(file, Packet{0x0A, 1}));
    for (std::uint32_t length : {kFrameBytes8, kFrameBytes10 - 2, kFrameBytes10 + 64})
        EXPECT_FALSE(request(protocol::kFrameTransfer, protocol::kFramePipe, frame.data(), length)) << length;
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(refused(), times(7, Rejection::FrameLength));
    EXPECT_EQ(state(0).framesDelivered, 0u);
    EXPECT_TRUE(request(protocol::kFrameTransfer, protocol::kFramePipe, frame.data(), kFrameBytes10));
    EXPECT_EQ(bytes, kFrameBytes10);
}

TEST_F(EmulatorRejections, NoFrameBeforeAFrameLengthWasSent) {
    ASSERT_TRUE(emulator().replug(0)); // power-on: no frame length
    DeviceFile fresh = openSlot(0);
    ASSERT_TRUE(setTimeout(fresh, 50));
    ASSERT_TRUE(send(fresh, Packet{0x02}));
    std::vector<std::uint8_t> frame(kFrameBytes8);
    std::uint32_t got = 9;
    EXPECT_FALSE(onPipe(fresh, protocol::kFrameTransfer, protocol::kFramePipe, frame.data(), kFrameBytes8, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(refused(), times(1, Rejection::FrameLength));
    ASSERT_TRUE(sendFrameLength(fresh));
    EXPECT_TRUE(takeFrame(fresh, frame, kFrameBytes8));
}

TEST_F(EmulatorRejections, RefusalsAreLoggedCountedAndReportedUntilTaken) {
    EXPECT_FALSE(send(file, Packet{0x07}));
    EXPECT_FALSE(file.ioControl(protocol::kFrameTransferOut, nullptr, 0, nullptr, 0, &bytes));
    EXPECT_EQ(emulator().rejectionCount(), 2u);

    // In the log, in order, as requests of kind Rejected with what was asked and why.
    const auto log = emulator().log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].kind, RequestKind::Rejected);
    EXPECT_EQ(log[0].rejection, Rejection::Packet);
    EXPECT_EQ(log[0].code, protocol::kPipeWrite);
    EXPECT_EQ(log[0].bytes[0], 0x07);
    EXPECT_FALSE(log[0].succeeded);
    EXPECT_NE(log[0].reason.find("unknown command 0x7"), std::string::npos) << log[0].reason;
    EXPECT_EQ(log[1].rejection, Rejection::ControlCode);
    EXPECT_NE(log[1].reason.find("0x2220A6"), std::string::npos) << log[1].reason;

    // Clearing the log keeps them; the report the test main checks at exit names them.
    emulator().clearLog();
    EXPECT_EQ(emulator().rejectionCount(), 2u);
    const std::string report = unexpectedRejections();
    EXPECT_NE(report.find("requests refused by the emulated driver: 2"), std::string::npos) << report;
    EXPECT_NE(report.find("slot 0, packet: unknown command 0x7"), std::string::npos) << report;
    EXPECT_NE(report.find("slot 0, control code: control code 0x2220A6"), std::string::npos) << report;

    // Taken by the test, they are no longer counted or reported.
    EXPECT_EQ(emulator().takeRejections().size(), 2u);
    EXPECT_EQ(emulator().rejectionCount(), 0u);
    EXPECT_EQ(unexpectedRejections(), "");
    EXPECT_TRUE(emulator().takeRejections().empty());
}

} // namespace
} // namespace orvix::test
