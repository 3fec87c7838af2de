#include <gtest/gtest.h>

#include <string>

#include "device/device_link.h"
#include "emulated_cameras.h"

namespace orvix::test {
namespace {

using emulator::RequestKind;

class Discovery : public EmulatedCameras {};

// What every selection sends, in order: 8-bit mode, device select, frame length,
// trigger mode off with its two register rewrites.
void expectSelectionPackets(const std::vector<std::vector<std::uint8_t>>& sent, std::size_t from) {
    ASSERT_GE(sent.size(), from + 6);
    EXPECT_EQ(sent[from], EmulatedCameras::packet({0x0A, 0}));
    EXPECT_EQ(sent[from + 1], EmulatedCameras::packet({0x06}));
    EXPECT_EQ(sent[from + 2], EmulatedCameras::packet({0x09, 0x00, 0xF8, 0x1C, 0x00})); // 1,898,496
    EXPECT_EQ(sent[from + 3], EmulatedCameras::packet({0x28, 0}));
    EXPECT_EQ(sent[from + 4][0], 0x04);
    EXPECT_EQ(sent[from + 5][0], 0x04);
}

TEST_F(Discovery, NoCameraAttached) {
    attach({});
    DeviceLink link;
    for (int i = 0; i < DeviceLink::maxDevices(); ++i) EXPECT_EQ(link.isDevicePresent(i), 0);
    EXPECT_EQ(link.currentDevice(), 0);
    EXPECT_EQ(link.selectDevice(0), 0);
    EXPECT_EQ(link.writeFpgaRegister(0x40, 1), 0);
    int value = -1;
    EXPECT_EQ(link.readSensorRegister(33, &value), 1); // the trigger-off rewrite failed
    EXPECT_EQ(value, 0);
}

TEST_F(Discovery, PresenceAndTheConstructorSequence) {
    attach({0, 2});
    DeviceLink link;
    EXPECT_EQ(DeviceLink::maxDevices(), 8);
    EXPECT_EQ(link.isDevicePresent(0), 1);
    EXPECT_EQ(link.isDevicePresent(1), 0);
    EXPECT_EQ(link.isDevicePresent(2), 1);
    EXPECT_EQ(link.isDevicePresent(8), 0);
    EXPECT_EQ(link.isDevicePresent(-1), 0);
    EXPECT_EQ(link.devicePath(), "\\\\.\\OvixK62DT4-0");

    // Enumeration opens the eight names in order with write access, write sharing and
    // open-existing, and closes each one that opened; nothing is sent meanwhile.
    const auto log = emulator().log();
    ASSERT_GE(log.size(), 11u);
    std::size_t at = 0;
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(log[at].kind, RequestKind::Open);
        EXPECT_EQ(log[at].path, "\\\\.\\OvixK62DT4-" + std::to_string(i));
        EXPECT_EQ(log[at].access, 0x40000000u);
        EXPECT_EQ(log[at].shareMode, 2u);
        EXPECT_EQ(log[at].disposition, 3u);
        EXPECT_EQ(log[at].succeeded, i == 0 || i == 2);
        ++at;
        if (i == 0 || i == 2) {
            EXPECT_EQ(log[at++].kind, RequestKind::Close);
        }
    }
    const auto sent = packets();
    expectSelectionPackets(sent, 0);
    ASSERT_EQ(sent.size(), 9u);
    EXPECT_EQ(sent[6], packet({0x04, 2, 0, 0}));  // gain 0
    EXPECT_EQ(sent[7], packet({0x04, 1, 0, 8}));  // exposure 0 raised to 8
    EXPECT_EQ(sent[8], sensorWritePacket(16, 8)); // output mode 0 into register 8
    EXPECT_EQ(link.globalGain(), 0);
    EXPECT_EQ(link.exposure(), 8);
}

TEST_F(Discovery, SelectionRestoresDefaultsAndAddressesOnlyTheSelectedDevice) {
    attach({0, 3});
    DeviceLink link;
    link.setTenBitMode(1);
    link.setNoWait(1);
    link.setTransferTimeout(500);
    ASSERT_EQ(link.setCaptureWindow(8, 8, 640, 480, 1), 0);
    emulator().clearLog();

    EXPECT_EQ(link.selectDevice(8), 22);
    EXPECT_EQ(link.devicePath(), "\\\\.\\OvixK62DT4-0");
    EXPECT_TRUE(emulator().log().empty());
    EXPECT_EQ(link.currentDevice(), 0);

    EXPECT_EQ(link.selectDevice(3), 0);
    EXPECT_EQ(link.currentDevice(), 3);
    EXPECT_EQ(link.devicePath(), "\\\\.\\OvixK62DT4-3");
    EXPECT_EQ(link.tenBitMode(), 0);
    EXPECT_EQ(link.transferTimeout(), 3000);
    EXPECT_EQ(link.subSample(), 0);
    EXPECT_EQ(link.windowCopy().width, 1360);
    EXPECT_EQ(link.windowCopy().height, 1024);
    EXPECT_EQ(link.transferLength(), 1898496u);
    link.writeFpgaRegister(0x40, 1);
    link.readSromId(0, nullptr);
    for (const auto& entry : entries(RequestKind::Open)) EXPECT_EQ(entry.path, "\\\\.\\OvixK62DT4-3");
    expectSelectionPackets(packets(), 0);
    EXPECT_EQ(entries(RequestKind::Open).size(), entries(RequestKind::Close).size());
}

TEST_F(Discovery, PresenceChangesOnlyThroughEnumeration) {
    attach({0, 1});
    DeviceLink link;
    emulator().unplug(1);
    EXPECT_EQ(link.isDevicePresent(1), 1);
    EXPECT_EQ(link.selectDevice(1), 0); // a vanished device still selects
    EXPECT_EQ(link.writeFpgaRegister(0x40, 1), 0); // and its requests fail
    link.enumerateDevices();
    EXPECT_EQ(link.isDevicePresent(1), 0);
    EXPECT_EQ(link.isDevicePresent(0), 1);
    EXPECT_EQ(link.currentDevice(), 0);
}

TEST_F(Discovery, OpenAndClose) {
    attach({4});
    DeviceLink::DeviceHandle handle;
    EXPECT_EQ(DeviceLink::closeDevice(handle), 0);
    EXPECT_EQ(DeviceLink::openDevice("\\\\.\\OvixK62DT4-5", handle), 0);
    EXPECT_EQ(DeviceLink::openDevice("\\\\.\\OvixK62DT4-4", handle), 1);
    EXPECT_EQ(DeviceLink::closeDevice(handle), 1);
    EXPECT_FALSE(handle.isOpen());
    EXPECT_EQ(DeviceLink::closeDevice(handle), 0);
}

} // namespace
} // namespace orvix::test
