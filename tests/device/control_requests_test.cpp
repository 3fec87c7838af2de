#include <gtest/gtest.h>

#include "device/device_link.h"
#include "emulated_cameras.h"

namespace orvix::test {
namespace {

using emulator::RequestKind;

class ControlRequests : public EmulatedCameras {
protected:
    void SetUp() override {
        attach({0});
        link = std::make_unique<DeviceLink>();
        emulator().clearLog();
    }
    void TearDown() override {
        link.reset();
        EmulatedCameras::TearDown();
    }
    std::unique_ptr<DeviceLink> link;
};

TEST_F(ControlRequests, SensorRegisterSerialWordsAndShadow) {
    int value = -1;
    EXPECT_EQ(link->readSensorRegister(34, &value), 1);
    EXPECT_EQ(value, 0);
    // Selecting the device switched the trigger off, which rewrote register 33.
    EXPECT_EQ(link->readSensorRegister(33, &value), 1);
    EXPECT_EQ(value, 1);

    EXPECT_EQ(link->writeSensorRegister(200, 1), 0);
    EXPECT_EQ(link->writeSensorRegister(1024, 1), 0);
    EXPECT_EQ(link->readSensorRegister(200, &value), 0);
    EXPECT_TRUE(emulator().log().empty());

    EXPECT_EQ(link->writeSensorRegister(191, 0x7F), 1);
    EXPECT_EQ(link->writeSensorRegister(300, 0x12345), 1);
    EXPECT_EQ(link->writeSensorRegister(400, 0x123456), 1);
    const auto sent = packets();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], sensorWritePacket(16, (0x3Fu << 10) + 191));
    EXPECT_EQ(sent[1], sensorWritePacket(26, (0x2345u << 10) + 300));
    EXPECT_EQ(sent[2], sensorWritePacket(32, ((0x123456u & 0x3FFFFF) << 10) + 400));
    // The shadow keeps the value as given; the camera got the masked one.
    EXPECT_EQ(link->readSensorRegister(191, &value), 1);
    EXPECT_EQ(value, 0x7F);
    EXPECT_EQ(link->readSensorRegister(400, &value), 1);
    EXPECT_EQ(value, 0x123456);
    EXPECT_EQ(state(0).sensorRegisters[191], 0x3Fu);
    EXPECT_EQ(state(0).sensorRegisters[300], 0x2345u);

    // A failed write leaves the shadow alone.
    emulator().failNext(0, RequestKind::Command, 1);
    EXPECT_EQ(link->writeSensorRegister(191, 5), 0);
    EXPECT_EQ(link->readSensorRegister(191, &value), 1);
    EXPECT_EQ(value, 0x7F);
}

TEST_F(ControlRequests, GainAndExposureAreClampedAndRemembered) {
    EXPECT_EQ(link->setExposure(5), 1);
    EXPECT_EQ(link->exposure(), 8);
    EXPECT_EQ(link->setExposure(5000), 1);
    EXPECT_EQ(link->exposure(), 1068);
    EXPECT_EQ(link->setExposure(-1), 1); // 0xFFFF as unsigned 16-bit
    EXPECT_EQ(link->exposure(), 1068);
    EXPECT_EQ(link->setExposure(70000), 1); // 70000 & 0xFFFF = 4464
    EXPECT_EQ(link->setGlobalGain(1500), 1);
    EXPECT_EQ(link->globalGain(), 476);
    const auto sent = packets();
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[0], packet({0x04, 1, 0x00, 0x08}));
    EXPECT_EQ(sent[1], packet({0x04, 1, 0x04, 0x2C}));
    EXPECT_EQ(sent[2], packet({0x04, 1, 0x04, 0x2C}));
    EXPECT_EQ(sent[3], packet({0x04, 1, 0x04, 0x2C}));
    EXPECT_EQ(sent[4], packet({0x04, 2, 0x01, 0xDC}));
    EXPECT_EQ(state(0).globalGain, 476);
    EXPECT_EQ(state(0).exposure, 1068);
    EXPECT_EQ(DeviceLink::globalGainMax(), 1023);
    EXPECT_EQ(DeviceLink::exposureMin(), 8);

    // Remembered even when the camera is gone.
    emulator().unplug(0);
    EXPECT_EQ(link->setGlobalGain(12), 0);
    EXPECT_EQ(link->globalGain(), 12);
}

TEST_F(ControlRequests, OutputModeAndMirror) {
    EXPECT_EQ(link->setOutputMode(5), 0);
    EXPECT_EQ(link->setOutputMode(-1), 0);
    EXPECT_TRUE(emulator().log().empty());
    EXPECT_EQ(link->setOutputMode(4), 1);
    ASSERT_EQ(packets().size(), 1u);
    EXPECT_EQ(packets()[0], sensorWritePacket(16, (4u << 10) + 8));
    EXPECT_EQ(link->setMirrorV(1), 0);
    EXPECT_EQ(link->mirrorV(), 0);
}

TEST_F(ControlRequests, TriggerModeRewritesRegisters32And33) {
    ASSERT_EQ(link->writeSensorRegister(32, 0x3F), 1);
    ASSERT_EQ(link->writeSensorRegister(33, 0x21), 1);
    emulator().clearLog();
    EXPECT_EQ(link->setTriggerMode(1), 1);
    auto sent = packets();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], packet({0x28, 1}));
    EXPECT_EQ(sent[1], sensorWritePacket(16, (0x2Fu << 10) + 32));
    EXPECT_EQ(sent[2], sensorWritePacket(16, ((0x2Eu & 0x3F) << 10) + 33));
    int value = 0;
    link->readSensorRegister(33, &value);
    EXPECT_EQ(value, 0x2E);
    EXPECT_TRUE(state(0).triggerMode);

    emulator().clearLog();
    EXPECT_EQ(link->setTriggerMode(0), 1);
    sent = packets();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], packet({0x28, 0}));
    EXPECT_EQ(sent[1], sensorWritePacket(16, (0x3Fu << 10) + 32));
    EXPECT_EQ(sent[2], sensorWritePacket(16, (0x21u << 10) + 33));

    // The trigger packet failing: no register is touched.
    emulator().clearLog();
    emulator().failNext(0, RequestKind::Command, 1);
    EXPECT_EQ(link->setTriggerMode(1), 0);
    EXPECT_TRUE(packets().empty());
    link->readSensorRegister(33, &value);
    EXPECT_EQ(value, 0x21);
}

TEST_F(ControlRequests, FpgaAccessUsesTheSecondAnswer) {
    EXPECT_EQ(link->writeFpgaRegister(0x0F, 1), 0);
    EXPECT_TRUE(emulator().log().empty());
    EXPECT_EQ(link->writeFpgaRegister(0x40, 0x1234), 1);
    ASSERT_EQ(packets().size(), 1u);
    EXPECT_EQ(packets()[0], packet({0x25, 0x40, 0x34, 0x12}));

    std::uint16_t value = 0;
    EXPECT_EQ(link->readFpgaRegister(0x24, &value), 1);
    EXPECT_EQ(value, 1280);
    EXPECT_EQ(link->readFpgaRegister(0xA2, &value), 1); // the first read brings 0x24's answer
    EXPECT_EQ(value, 0x000A);
    EXPECT_EQ(link->readFpgaRegister(0x40, &value), 1);
    EXPECT_EQ(value, 0x1234);

    emulator().clearLog();
    EXPECT_EQ(link->readFpgaRegister(0x0F, &value), 1); // reads are sent below 0x10
    EXPECT_EQ(value, 0);
    const auto log = emulator().log();
    ASSERT_EQ(log.size(), 5u); // open, command, two answer reads, close
    EXPECT_EQ(log[1].kind, RequestKind::Command);
    EXPECT_EQ(log[1].code, 0x222051u);
    EXPECT_EQ(log[2].kind, RequestKind::AnswerRead);
    EXPECT_EQ(log[2].code, 0x22204Eu);
    EXPECT_EQ(log[2].length, 64u);
    EXPECT_EQ(log[3].kind, RequestKind::AnswerRead);
    EXPECT_EQ(log[4].kind, RequestKind::Close);
}

TEST_F(ControlRequests, FpgaReadFailures) {
    std::uint16_t value = 77;
    emulator().failNext(0, RequestKind::AnswerRead, 1); // the first read's outcome is ignored
    EXPECT_EQ(link->readFpgaRegister(0x24, &value), 1);
    EXPECT_EQ(value, 1280);

    value = 77;
    emulator().shortenNext(0, RequestKind::AnswerRead, 2);
    EXPECT_EQ(link->readFpgaRegister(0x24, &value), 0);
    EXPECT_EQ(value, 0);

    value = 77;
    emulator().failNext(0, RequestKind::Command, 1);
    EXPECT_EQ(link->readFpgaRegister(0x24, &value), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(entries(RequestKind::AnswerRead).size(), 4u); // none after the failed command

    value = 77;
    emulator().failNext(0, RequestKind::Open, 1);
    EXPECT_EQ(link->readFpgaRegister(0x24, &value), 0);
    EXPECT_EQ(value, 77);
}

TEST_F(ControlRequests, SerialRomAddressing) {
    std::uint8_t value = 0;
    EXPECT_EQ(link->readSromId(8, &value), 0);
    EXPECT_EQ(link->readSromId(-1, &value), 0);
    EXPECT_EQ(link->writeSromId(8, 1), 0);
    EXPECT_TRUE(emulator().log().empty());

    EXPECT_EQ(link->writeSromId(3, 0x1AB), 1);
    EXPECT_EQ(link->readSromId(3, &value), 1);
    EXPECT_EQ(value, 0xAB);
    EXPECT_EQ(link->readSromId(256, &value), 1); // taken as a byte: index 0
    const auto sent = packets();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], packet({0x20, 11, 0xAB}));
    EXPECT_EQ(sent[1], packet({0x21, 11}));
    EXPECT_EQ(sent[2], packet({0x21, 8}));
    EXPECT_EQ(state(0).srom[11], 0xAB);

    emulator().unplug(0);
    EXPECT_EQ(link->readSromId(0, &value), 0);
    EXPECT_EQ(link->writeSromId(0, 1), 0);
}

TEST_F(ControlRequests, HalfClockReselectsTheDevice) {
    int on = -1;
    EXPECT_EQ(link->readHalfClock(&on), 1);
    EXPECT_EQ(on, 0);
    link->setTenBitMode(1);
    emulator().clearLog();
    EXPECT_EQ(link->setHalfClock(1), 1);
    const auto sent = packets();
    ASSERT_EQ(sent.size(), 7u);
    EXPECT_EQ(sent[0], packet({0x23, 1}));
    EXPECT_EQ(sent[1], packet({0x0A, 0}));
    EXPECT_EQ(sent[2], packet({0x06}));
    EXPECT_EQ(link->tenBitMode(), 0);
    EXPECT_EQ(link->readHalfClock(&on), 1);
    EXPECT_EQ(on, 1);

    emulator().unplug(0);
    EXPECT_EQ(link->setHalfClock(0), 0);
    EXPECT_EQ(link->readHalfClock(&on), 0);
}

TEST_F(ControlRequests, TenBitModeFrameLengthAndTimeout) {
    EXPECT_EQ(link->setTenBitMode(1), 1);
    EXPECT_EQ(link->transferLength(), 3796992u);
    EXPECT_EQ(link->sendFrameLength(), 1);
    link->sendDeviceSelect();
    link->setTransferTimeout(250);
    EXPECT_EQ(link->transferTimeout(), 250);
    const auto sent = packets();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], packet({0x0A, 1}));
    EXPECT_EQ(sent[1], packet({0x09, 0x00, 0xF8, 0x1C, 0x00}));
    EXPECT_EQ(sent[2], packet({0x06}));
    const auto timeouts = entries(RequestKind::SetTimeout);
    ASSERT_EQ(timeouts.size(), 1u);
    EXPECT_EQ(timeouts[0].code, 0x2220A0u);
    EXPECT_EQ(timeouts[0].length, 0u);
    EXPECT_EQ(timeouts[0].byteCount, 44u);
    EXPECT_EQ(timeouts[0].bytes[0], 1);
    EXPECT_EQ(timeouts[0].bytes[4], 250);
    EXPECT_EQ(state(0).transferTimeoutMs, 250u);
    EXPECT_TRUE(state(0).tenBit);

    emulator().unplug(0);
    EXPECT_EQ(link->setTenBitMode(0), 1); // always 1
    EXPECT_EQ(link->sendFrameLength(), 1);
}

TEST_F(ControlRequests, PipeRequestResults) {
    DeviceLink::DeviceHandle closed;
    std::uint8_t buffer[64] = {0x06};
    std::uint32_t bytes = 99;
    EXPECT_EQ(DeviceLink::pipeTransfer(closed, 0, 64, nullptr, true, &bytes), -2);
    EXPECT_EQ(DeviceLink::pipeTransfer(closed, 0, 64, buffer, true, &bytes), -3);
    EXPECT_EQ(DeviceLink::pipeWrite(closed, 0, 64, buffer), 10);
    EXPECT_EQ(DeviceLink::pipeRead(closed, 1, 64, buffer), 10);

    DeviceLink::DeviceHandle handle;
    ASSERT_EQ(DeviceLink::openDevice(link->devicePath().c_str(), handle), 1);
    EXPECT_EQ(DeviceLink::pipeTransfer(handle, 0, 64, buffer, true, &bytes), 0);
    EXPECT_EQ(bytes, 64u);
    EXPECT_EQ(DeviceLink::pipeWrite(handle, 0, 64, buffer), 0);
    EXPECT_EQ(DeviceLink::pipeRead(handle, 1, 64, buffer), 12); // nothing to answer
    emulator().shortenNext(0, RequestKind::Command, 1);
    EXPECT_EQ(DeviceLink::pipeWrite(handle, 0, 64, buffer), 12);
    emulator().failNext(0, RequestKind::Command, 1);
    EXPECT_EQ(DeviceLink::pipeTransfer(handle, 0, 64, buffer, true, &bytes), -1);
    DeviceLink::closeDevice(handle);
    // Every request of the link opened and closed its own handle.
    EXPECT_EQ(entries(RequestKind::Open).size(), entries(RequestKind::Close).size());
}

} // namespace
} // namespace orvix::test
