// The monitor output operations of a Camera against the emulated camera's request
// log: the FPGA register reads and writes each one makes, in order, and its error
// rules.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "camera/camera.h"
#include "device/emulated_cameras.h"
#include "support/test_environment.h"

namespace orvix::test {
namespace {

using emulator::RequestKind;
using Traffic = std::vector<std::string>;

std::string readOf(int address) {
    char text[16];
    std::snprintf(text, sizeof text, "R %02X", address);
    return text;
}

std::string writeOf(int address, int value) {
    char text[24];
    std::snprintf(text, sizeof text, "W %02X=%04X", address, value);
    return text;
}

class MonitorControl : public EmulatedCameras {
protected:
    void SetUp() override {
        resetSettings();
        attach({0});
        ASSERT_EQ(camera.initialize(0), 1);
        ASSERT_EQ(drain(), std::vector<int>{});
        emulator().clearLog();
    }

    std::vector<int> drain() {
        std::vector<int> codes;
        for (int code = camera.popError(); code != 0; code = camera.popError()) codes.push_back(code);
        return codes;
    }

    // The FPGA requests the camera took since the last call, as "R aa" and "W aa=vvvv".
    static Traffic fpgaTraffic() {
        Traffic traffic;
        for (const auto& entry : entries(RequestKind::Command)) {
            if (!entry.succeeded) continue;
            if (entry.bytes[0] == 0x26) traffic.push_back(readOf(entry.bytes[1]));
            if (entry.bytes[0] == 0x25) traffic.push_back(writeOf(entry.bytes[1], entry.bytes[2] | entry.bytes[3] << 8));
        }
        emulator().clearLog();
        return traffic;
    }

    void setRegister(int address, int value) {
        ASSERT_EQ(camera.fpgaWriteRegister(address, value), 1);
        emulator().clearLog();
    }

    Camera camera;
};

TEST_F(MonitorControl, PreviewSizeWritesTheTimingTableInOrder) {
    EXPECT_EQ(camera.setMonitorPreviewSize(800, 600), 1);
    EXPECT_EQ(fpgaTraffic(), (Traffic{writeOf(0x20, 0x30), writeOf(0x24, 800), writeOf(0x26, 600), writeOf(0x28, 240),
                                      writeOf(0x2A, 66), writeOf(0x2C, 61), writeOf(0x2E, 120), writeOf(0x30, 21),
                                      writeOf(0x32, 6), writeOf(0x20, 0x10)}));
    int width = 0, height = 0;
    EXPECT_EQ(camera.monitorPreviewSize(&width, &height), 1);
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(800, 600));
    EXPECT_EQ(fpgaTraffic(), Traffic{readOf(0x24)});

    EXPECT_EQ(camera.setMonitorPreviewSize(1280, 1024), 1);
    EXPECT_EQ(fpgaTraffic(), (Traffic{writeOf(0x20, 0x430), writeOf(0x24, 1280), writeOf(0x26, 1024),
                                      writeOf(0x28, 432), writeOf(0x2A, 30), writeOf(0x2C, 48), writeOf(0x2E, 184),
                                      writeOf(0x30, 1), writeOf(0x32, 3), writeOf(0x20, 0x410)}));
    EXPECT_EQ(camera.monitorPreviewSize(&width, &height), 1);
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(1280, 1024));
    EXPECT_EQ(drain(), std::vector<int>{});
}

TEST_F(MonitorControl, PreviewSizeRefusesOtherSizesAndReportsFailedWritesQuietly) {
    for (const auto& [width, height] : {std::pair{1280, 600}, std::pair{1024, 768}, std::pair{800, 1024}}) {
        EXPECT_EQ(camera.setMonitorPreviewSize(width, height), 0) << width << " x " << height;
        EXPECT_EQ(drain(), std::vector<int>{ERR_PARAMETER});
    }
    EXPECT_TRUE(entries(RequestKind::Command).empty());

    // One write the camera did not take: the others still go out, the size is not
    // reported as set, and nothing is queued.
    emulator().failNext(0, RequestKind::Command, 1);
    EXPECT_EQ(camera.setMonitorPreviewSize(800, 600), 0);
    EXPECT_EQ(entries(RequestKind::Command).size(), 10u);
    EXPECT_EQ(fpgaTraffic().back(), writeOf(0x20, 0x10));
    EXPECT_EQ(drain(), std::vector<int>{});
}

TEST_F(MonitorControl, PreviewSizeReadBackKnowsThreeSizes) {
    int width = 0, height = 0;
    ASSERT_TRUE(emulator().setFpgaReading(0, 0x24, 1024));
    EXPECT_EQ(camera.monitorPreviewSize(&width, &height), 1);
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(1024, 768));

    width = height = -7;
    ASSERT_TRUE(emulator().setFpgaReading(0, 0x24, 640));
    EXPECT_EQ(camera.monitorPreviewSize(&width, &height), 0);
    EXPECT_EQ(drain(), std::vector<int>{ERR_PARAMETER});
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(-7, -7));

    // A failed read reads as 0, which is no size: a parameter error, not a request error.
    emulator().failNext(0, RequestKind::Command, 1);
    EXPECT_EQ(camera.monitorPreviewSize(&width, &height), 0);
    EXPECT_EQ(drain(), std::vector<int>{ERR_PARAMETER});

    emulator().clearLog();
    EXPECT_EQ(camera.monitorPreviewSize(nullptr, &height), 0);
    EXPECT_EQ(camera.monitorPreviewSize(&width, nullptr), 0);
    EXPECT_EQ(drain(), (std::vector<int>{ERR_PARAMETER, ERR_PARAMETER}));
    EXPECT_TRUE(entries(RequestKind::Command).empty());
}

TEST_F(MonitorControl, ColourProcessingFlagsChangeOnlyTheirOwnBits) {
    int ok = 0;
    setRegister(0x60, 0x0007);
    EXPECT_EQ(camera.monitorColorMode(&ok), 0);
    EXPECT_EQ(camera.monitorBayerGainAuto(&ok), 1);
    EXPECT_EQ(camera.monitorBayerGainLock(&ok), 0);
    emulator().clearLog();

    EXPECT_EQ(camera.setMonitorColorMode(1), 1);
    EXPECT_EQ(fpgaTraffic(), (Traffic{readOf(0x60), writeOf(0x60, 0x0006)}));
    EXPECT_EQ(camera.monitorColorMode(&ok), 1);
    EXPECT_EQ(ok, 1);

    const std::vector<std::pair<std::function<int()>, int>> changes = {
        {[&] { return camera.setMonitorBayerGainLock(1); }, 0x0003},
        {[&] { return camera.setMonitorBayerGainAuto(0); }, 0x0005},
        {[&] { return camera.setMonitorColorMode(0); }, 0x0007},
    };
    for (const auto& [change, written] : changes) {
        setRegister(0x60, 0x0007);
        EXPECT_EQ(change(), 1);
        EXPECT_EQ(fpgaTraffic(), (Traffic{readOf(0x60), writeOf(0x60, written)}));
    }
    setRegister(0x60, 0x0000);
    EXPECT_EQ(camera.setMonitorBayerGainLock(0), 1);
    EXPECT_EQ(camera.setMonitorBayerGainAuto(1), 1);
    EXPECT_EQ(fpgaTraffic(), (Traffic{readOf(0x60), writeOf(0x60, 0x0004), readOf(0x60), writeOf(0x60, 0x0006)}));
    EXPECT_EQ(camera.monitorBayerGainLock(&ok), 0);
    EXPECT_EQ(drain(), std::vector<int>{});
}

TEST_F(MonitorControl, CameraClockReplacesOnlyTheClockCode) {
    int ok = 0;
    const std::pair<int, int> cases[] = {{1, 0x1234}, {2, 0x1534}, {7, 0x1234}, {0, 0x0000}};
    for (const auto& [clock, written] : cases) {
        setRegister(0xA0, 0x1F34);
        EXPECT_EQ(camera.setMonitorCameraClock(clock), 1) << clock;
        EXPECT_EQ(fpgaTraffic(), (Traffic{readOf(0xA0), writeOf(0xA0, written)})) << clock;
        EXPECT_EQ(camera.monitorCameraClock(&ok), (written >> 8) & 0xF) << clock;
    }
    EXPECT_EQ(drain(), std::vector<int>{});
}

TEST_F(MonitorControl, PreviewModeIsLiveOnlyWhileTheRegisterReads000A) {
    int ok = 0;
    EXPECT_EQ(camera.monitorPreviewMode(&ok), 1); // the camera starts live
    EXPECT_EQ(ok, 1);
    ASSERT_TRUE(emulator().setFpgaReading(0, 0xA2, 0x0012));
    EXPECT_EQ(camera.monitorPreviewMode(&ok), 0);
    EXPECT_EQ(ok, 1);
    setRegister(0xA2, 0x0012); // live again
    ASSERT_EQ(camera.monitorPreviewMode(&ok), 1);
    emulator().clearLog();

    // Off: clear bits 0, 1 and 4, then pulse bit 0 on the value read back.
    EXPECT_EQ(camera.setMonitorPreviewMode(0), 1);
    EXPECT_EQ(fpgaTraffic(), (Traffic{readOf(0xA2), writeOf(0xA2, 0x0008), readOf(0xA2), writeOf(0xA2, 0x0001),
                                      writeOf(0xA2, 0x0000)}));
    EXPECT_EQ(camera.monitorPreviewMode(&ok), 0);

    // On: bit 0 cleared, bits 1 and 4 set, the rest kept.
    ASSERT_TRUE(emulator().setFpgaReading(0, 0xA2, 0xFFFF));
    emulator().clearLog();
    EXPECT_EQ(camera.setMonitorPreviewMode(1), 1);
    EXPECT_EQ(fpgaTraffic(), (Traffic{readOf(0xA2), writeOf(0xA2, 0xFFFE)}));
    setRegister(0xA2, 0x0000);
    EXPECT_EQ(camera.setMonitorPreviewMode(1), 1);
    EXPECT_EQ(camera.monitorPreviewMode(&ok), 1);
    EXPECT_EQ(drain(), std::vector<int>{});
}

TEST_F(MonitorControl, BayerGainsTakeTheLow16Bits) {
    int ok = 0;
    EXPECT_EQ(camera.setMonitorBayerGainRed(0x12345), 1);
    EXPECT_EQ(camera.setMonitorBayerGainGreen(0xFFFF), 1);
    EXPECT_EQ(camera.setMonitorBayerGainBlue(-1), 1);
    EXPECT_EQ(fpgaTraffic(), (Traffic{writeOf(0x62, 0x2345), writeOf(0x64, 0xFFFF), writeOf(0x66, 0xFFFF)}));
    EXPECT_EQ(camera.monitorBayerGainRed(&ok), 0x2345);
    EXPECT_EQ(camera.monitorBayerGainGreen(&ok), 0xFFFF);
    EXPECT_EQ(camera.monitorBayerGainBlue(&ok), 0xFFFF);
    EXPECT_EQ(ok, 1);

    // A gain the camera did not take fails quietly.
    emulator().failNext(0, RequestKind::Command, 3);
    EXPECT_EQ(camera.setMonitorBayerGainRed(1), 0);
    EXPECT_EQ(camera.setMonitorBayerGainGreen(1), 0);
    EXPECT_EQ(camera.setMonitorBayerGainBlue(1), 0);
    EXPECT_EQ(drain(), std::vector<int>{});
}

TEST_F(MonitorControl, AFailedRequestQueuesMonitorRequestAndEndsTheOperation) {
    int ok = 5;
    const std::vector<std::pair<const char*, std::function<int()>>> operations = {
        {"setMonitorPreviewMode(1)", [&] { return camera.setMonitorPreviewMode(1); }},
        {"setMonitorPreviewMode(0)", [&] { return camera.setMonitorPreviewMode(0); }},
        {"monitorPreviewMode", [&] { return camera.monitorPreviewMode(&ok); }},
        {"setMonitorColorMode", [&] { return camera.setMonitorColorMode(1); }},
        {"monitorColorMode", [&] { return camera.monitorColorMode(&ok); }},
        {"setMonitorCameraClock", [&] { return camera.setMonitorCameraClock(0); }},
        {"monitorCameraClock", [&] { return camera.monitorCameraClock(&ok); }},
        {"setMonitorBayerGainAuto", [&] { return camera.setMonitorBayerGainAuto(1); }},
        {"monitorBayerGainAuto", [&] { return camera.monitorBayerGainAuto(&ok); }},
        {"setMonitorBayerGainLock", [&] { return camera.setMonitorBayerGainLock(1); }},
        {"monitorBayerGainLock", [&] { return camera.monitorBayerGainLock(&ok); }},
        {"monitorBayerGainRed", [&] { return camera.monitorBayerGainRed(&ok); }},
        {"monitorBayerGainGreen", [&] { return camera.monitorBayerGainGreen(&ok); }},
        {"monitorBayerGainBlue", [&] { return camera.monitorBayerGainBlue(&ok); }},
    };
    for (const auto& [name, operation] : operations) {
        ok = 5;
        emulator().clearLog();
        emulator().failNext(0, RequestKind::Command, 1); // the first read
        EXPECT_EQ(operation(), 0) << name;
        EXPECT_EQ(drain(), std::vector<int>{ERR_MONITOR_REQUEST}) << name;
        EXPECT_NE(ok, 1) << name; // getters report 0, setters leave it
        EXPECT_EQ(entries(RequestKind::Command).size(), 1u) << name << ": went on after the failure";
    }
}

TEST_F(MonitorControl, WithoutDeviceLinkNothingIsSent) {
    Camera unlinked; // constructed only
    int ok = 5, width = 0, height = 0;
    const std::vector<std::pair<const char*, std::function<int()>>> operations = {
        {"setMonitorPreviewMode", [&] { return unlinked.setMonitorPreviewMode(1); }},
        {"monitorPreviewMode", [&] { return unlinked.monitorPreviewMode(&ok); }},
        {"setMonitorPreviewSize", [&] { return unlinked.setMonitorPreviewSize(800, 600); }},
        {"monitorPreviewSize", [&] { return unlinked.monitorPreviewSize(&width, &height); }},
        {"setMonitorColorMode", [&] { return unlinked.setMonitorColorMode(1); }},
        {"monitorColorMode", [&] { return unlinked.monitorColorMode(&ok); }},
        {"setMonitorCameraClock", [&] { return unlinked.setMonitorCameraClock(2); }},
        {"monitorCameraClock", [&] { return unlinked.monitorCameraClock(&ok); }},
        {"setMonitorBayerGainAuto", [&] { return unlinked.setMonitorBayerGainAuto(1); }},
        {"monitorBayerGainAuto", [&] { return unlinked.monitorBayerGainAuto(&ok); }},
        {"setMonitorBayerGainLock", [&] { return unlinked.setMonitorBayerGainLock(1); }},
        {"monitorBayerGainLock", [&] { return unlinked.monitorBayerGainLock(&ok); }},
        {"setMonitorBayerGainRed", [&] { return unlinked.setMonitorBayerGainRed(1); }},
        {"setMonitorBayerGainGreen", [&] { return unlinked.setMonitorBayerGainGreen(1); }},
        {"setMonitorBayerGainBlue", [&] { return unlinked.setMonitorBayerGainBlue(1); }},
        {"monitorBayerGainRed", [&] { return unlinked.monitorBayerGainRed(&ok); }},
        {"monitorBayerGainGreen", [&] { return unlinked.monitorBayerGainGreen(&ok); }},
        {"monitorBayerGainBlue", [&] { return unlinked.monitorBayerGainBlue(&ok); }},
        {"setCameraDlg", [&] { return unlinked.setCameraDlg(0); }},
        {"showImageDialog", [&] { return unlinked.showImageDialog(0); }},
        {"showAnalogDialog", [&] { return unlinked.showAnalogDialog(0); }},
    };
    for (const auto& [name, operation] : operations) {
        ok = 5;
        EXPECT_EQ(operation(), 0) << name;
        EXPECT_EQ(unlinked.popError(), ERR_NOT_INITIALIZED) << name;
        EXPECT_EQ(unlinked.popError(), 0) << name;
        EXPECT_NE(ok, 1) << name;
    }
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(0, 0));
    EXPECT_TRUE(entries(RequestKind::Command).empty());
}

} // namespace
} // namespace orvix::test
