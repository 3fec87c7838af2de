// The USB driver end to end, through the library's exported functions, against fake
// USB cameras: which devices are cameras and in which slot, control requests and
// snapshots as through the camera's driver (the same requests, the same image),
// live preview, unplugging mid-stream, devices that are no camera, and a camera the
// user may not open.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <thread>

#include "OrvixSdk_K62DT4.h"
#include "usb/unprivileged.h"
#include "usb/usb_api_support.h"

namespace orvix::test::usb {
namespace {

using emulator::LogEntry;
using emulator::RequestKind;

bool contains(const Codes& codes, int code) { return std::find(codes.begin(), codes.end(), code) != codes.end(); }

class UsbCameraApi : public UsbCameraTest {};

TEST_F(UsbCameraApi, CamerasAreTheMatchingDevicesInOrderOfBusThenPortPath) {
    emulate({0, 1, 2, 3});
    // Plugged in out of order; port paths compare number by number (9.2 before 10).
    bench().add(cameraAt(2, {1}, 3));
    bench().add(cameraAt(1, {10}, 2));
    FakeCameraSetup foreign = cameraAt(1, {2}, -1);
    foreign.vendor = 0x1d50;
    foreign.product = 0x6018;
    FakeUsbCamera& other = bench().add(foreign);
    bench().add(cameraAt(1, {9, 2}, 1));
    bench().add(cameraAt(1, {1, 4}, 0));
    openCamera();

    char names[10 * 256] = {};
    EXPECT_EQ(Orvix_EnumDevice(cam(), names), 4);
    char name[32];
    for (int slot = 0; slot < 4; ++slot) EXPECT_EQ(Orvix_GetDeviceName(cam(), slot, name, sizeof name), 1) << slot;
    EXPECT_EQ(Orvix_GetDeviceName(cam(), 4, name, sizeof name), 0);
    EXPECT_EQ(errors(), Codes{ERR_NO_CAMERA});

    // Each slot reaches the camera that sits there: a register written through slot n
    // lands in the emulated camera behind the n-th device.
    for (int slot = 0; slot < 4; ++slot) {
        SCOPED_TRACE(slot);
        ASSERT_EQ(Orvix_SetDeviceNumber(cam(), slot), 1);
        ASSERT_EQ(Orvix_Fpga_WriteRegister(cam(), 0x40, 0x100 + slot), 1);
        for (int other = 0; other < 4; ++other)
            EXPECT_EQ(emulated().fpgaRegister(other, 0x40), other <= slot ? 0x100 + other : 0) << other;
    }
    EXPECT_EQ(errors(), Codes{});
    EXPECT_EQ(other.stats().submitted, 0) << "the device with other ids is no camera";
    EXPECT_EQ(other.stats().claims, 0);
}

TEST_F(UsbCameraApi, ControlRequestsReachTheCameraAndReadBack) {
    emulate({0});
    bench().add(cameraAt(1, {1}, 0));
    openCamera();
    ASSERT_EQ(Orvix_SetDeviceNumber(cam(), 0), 1);
    int ok = 0;
    EXPECT_EQ(Orvix_WriteRegister(cam(), 0x120, 0x12345), 1); // register 0x20, value 0x2345
    EXPECT_EQ(Orvix_ReadRegister(cam(), 0x20, &ok), 0x2345);
    EXPECT_EQ(ok, 1);

    // Gain and exposure reach the camera (in the camera's own units, which the
    // session test below holds to the driver path's bytes).
    ASSERT_EQ(Orvix_SetGlobalGain(cam(), 10), 1);
    ASSERT_EQ(Orvix_SetExposureTime(cam(), 100), 1);
    const auto first = emulated().cameraState(0);
    ASSERT_EQ(Orvix_SetGlobalGain(cam(), 50), 1);
    ASSERT_EQ(Orvix_SetExposureTime(cam(), 400), 1);
    const auto second = emulated().cameraState(0);
    ASSERT_TRUE(first && second);
    EXPECT_LT(first->globalGain, second->globalGain);
    EXPECT_LT(first->exposure, second->exposure);

    EXPECT_EQ(Orvix_WriteSromID(cam(), 3, 0xAB), 1);
    EXPECT_EQ(Orvix_ReadSromID(cam(), 3, &ok), 0xAB);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(emulated().cameraState(0)->srom[8 + 3], 0xAB);

    // The half clock is sent with the next capture start; the query asks the camera.
    EXPECT_EQ(Orvix_GetHalfClock(cam(), &ok), 0);
    EXPECT_EQ(ok, 1);
    ASSERT_EQ(Orvix_SetHalfClock(cam(), 1), 1);
    ASSERT_EQ(Orvix_SetColorMode(cam(), 8), 1);
    std::vector<std::uint8_t> image(1360 * 1024);
    ASSERT_EQ(Orvix_SnapShot(cam(), image.data(), static_cast<int>(image.size()), 1), 1);
    EXPECT_TRUE(emulated().cameraState(0)->halfClock);
    EXPECT_EQ(Orvix_GetHalfClock(cam(), &ok), 1);
    EXPECT_EQ(ok, 1);

    EXPECT_EQ(Orvix_Fpga_WriteRegister(cam(), 0x40, 0xBEEF), 1);
    EXPECT_EQ(Orvix_Fpga_ReadRegister(cam(), 0x40, &ok), 0xBEEF);
    EXPECT_EQ(ok, 1);
    // A request the camera does not answer fails as through the driver.
    EXPECT_EQ(Orvix_Fpga_WriteRegister(cam(), 0x08, 1), 0);
    EXPECT_EQ(errors(), Codes{ERR_DEVICE_IO});
    EXPECT_EQ(emulated().fpgaRegister(0, 0x08), 0);
}

// What a session of requests leaves in the emulated driver's log, in a form to compare:
// kind, slot, pipe, length, bytes returned, success and the packet's bytes. The
// control code is left out: a frame request travels over USB as any command packet
// (bulk OUT), and the fake camera hands it to the driver as the pipe read the ring
// transfer uses, while the one-shot transfer sends it with the pipe write.
std::vector<std::string> describe(const std::vector<LogEntry>& entries) {
    std::vector<std::string> lines;
    for (const LogEntry& entry : entries) {
        std::ostringstream line;
        const char* kind = entry.kind == RequestKind::Command      ? "command"
                           : entry.kind == RequestKind::AnswerRead ? "answer"
                                                                   : "frame";
        line << kind << " slot " << entry.slot << " pipe " << entry.pipe << " length " << entry.length << " returned "
             << entry.bytesReturned << (entry.succeeded ? " ok" : " failed");
        char byte[4];
        for (std::uint32_t i = 0; i < entry.byteCount; ++i) {
            std::snprintf(byte, sizeof byte, " %02x", entry.bytes[i]);
            line << byte;
        }
        lines.push_back(line.str());
    }
    return lines;
}

struct Session {
    std::vector<std::uint8_t> image;
    std::vector<std::string> requests;
};

// Start-up, some settings and register requests, one 8-bit snapshot of the whole
// sensor, release.
Session runSession() {
    Session session;
    session.image.assign(1360 * 1024, 0);
    {
        ApiCamera camera;
        int ok = 0;
        EXPECT_EQ(Orvix_SetExposureTime(camera, 200), 1);
        EXPECT_EQ(Orvix_SetGlobalGain(camera, 40), 1);
        EXPECT_EQ(Orvix_Fpga_WriteRegister(camera, 0x40, 0x1234), 1);
        EXPECT_EQ(Orvix_Fpga_ReadRegister(camera, 0x40, &ok), 0x1234);
        EXPECT_EQ(Orvix_ReadSromID(camera, 0, &ok), 0);
        EXPECT_EQ(Orvix_SetColorMode(camera, 8), 1);
        EXPECT_EQ(Orvix_SnapShot(camera, session.image.data(), static_cast<int>(session.image.size()), 1), 1);
        EXPECT_EQ(camera.errors(), Codes{});
    }
    std::vector<LogEntry> kept;
    for (const auto& entry : emulated().log())
        if (entry.kind == RequestKind::Command || entry.kind == RequestKind::AnswerRead ||
            entry.kind == RequestKind::FrameTransfer)
            kept.push_back(entry);
    session.requests = describe(kept);
    return session;
}

TEST_F(UsbCameraApi, ASessionSendsTheSameRequestsAndGetsTheSameImageAsThroughTheDriver) {
    // Through the emulator's device files, as with the camera's driver.
    emulator::EmulationConfig config;
    config.withSlot(0);
    config.frameRate = 0;
    emulated().configure(config);
    emulated().clearLog();
    const Session driver = runSession();
    ASSERT_FALSE(driver.requests.empty());

    // Through the USB driver, from the same power-on state (so frame numbers and the
    // frame marker start alike) and the same empty settings. The opens, closes and
    // set-time-out requests are the driver's own, which do not travel over USB: the
    // comparison leaves them out (see describe).
    resetSettings();
    emulate({0});
    bench().add(cameraAt(1, {1}, 0));
    emulated().clearLog();
    const Session usb = runSession();

    EXPECT_EQ(usb.requests, driver.requests);
    ASSERT_EQ(usb.image.size(), driver.image.size());
    const auto mismatch = std::mismatch(usb.image.begin(), usb.image.end(), driver.image.begin());
    EXPECT_TRUE(mismatch.first == usb.image.end())
        << "the images differ from byte " << (mismatch.first - usb.image.begin());
}

TEST_F(UsbCameraApi, LivePreviewDeliversFramesThroughRingTransfers) {
    emulate({0}, 60);
    bench().add(cameraAt(1, {1}, 0));
    openCamera();
    ASSERT_EQ(Orvix_SetColorMode(cam(), 8), 1);
    const std::uint32_t before = framesSent(0);
    ASSERT_EQ(Orvix_StartPreview(cam()), 1);
    EXPECT_TRUE(framesFollow(0, before, 8));
    std::vector<std::uint8_t> image(1360 * 1024);
    int copied = 0;
    for (int i = 0; i < 300 && !copied; ++i) {
        copied = Orvix_GetImage(cam(), image.data(), static_cast<int>(image.size()), 1);
        if (!copied) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(copied, 1);
    const auto start = Clock::now();
    EXPECT_EQ(Orvix_StopPreview(cam()), 1);
    EXPECT_LT(msSince(start), 2000);
    (void)errors(); // ERR_MEMORY from the reads before the first frame

    int frames = 0, failed = 0;
    for (const LogEntry& entry : transfers(0)) {
        if (entry.kind != RequestKind::FrameTransfer) continue;
        ++frames;
        if (!entry.succeeded) ++failed;
    }
    EXPECT_GE(frames, 8);
    EXPECT_EQ(failed, 0);
}

TEST_F(UsbCameraApi, UnpluggingMidStreamEndsThePreviewWithTheErrorAndLaterCallsFailPromptly) {
    emulate({0, 1}, 30);
    bench().add(cameraAt(1, {1}, 0));
    bench().add(cameraAt(1, {2}, 1));
    openCamera();
    const std::uint32_t before = framesSent(0);
    ASSERT_EQ(Orvix_StartPreview(cam()), 1);
    ASSERT_TRUE(framesFollow(0, before, 3));

    ASSERT_TRUE(bench().unplug(0));
    emulated().clearLog();
    // The pending transfer fails at once; a stop that came before the ring thread saw
    // it would find a running ring and report no error, so give the thread a moment.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    auto start = Clock::now();
    EXPECT_EQ(Orvix_StopPreview(cam()), 0);
    EXPECT_LT(msSince(start), 2500) << "the stop waits for no time-out";
    const Codes stopped = errors();
    EXPECT_TRUE(contains(stopped, ERR_DEVICE_IO)) << ::testing::PrintToString(stopped);

    start = Clock::now();
    int ok = 1;
    EXPECT_EQ(Orvix_Fpga_ReadRegister(cam(), 0x40, &ok), 0);
    EXPECT_EQ(ok, 0);
    std::vector<std::uint8_t> image(1360 * 1024);
    EXPECT_EQ(Orvix_SnapShot(cam(), image.data(), static_cast<int>(image.size()), 1), 0);
    EXPECT_LT(msSince(start), 1500) << "requests to the unplugged camera fail at once";
    // A preview still starts, as through the driver (the start sends nothing whose
    // answer it waits for); its transfers fail, and it stops without waiting.
    ASSERT_EQ(Orvix_StartPreview(cam()), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    start = Clock::now();
    (void)Orvix_StopPreview(cam());
    EXPECT_LT(msSince(start), 2500) << "the stop waits for no time-out";
    (void)errors();
    EXPECT_TRUE(transfers(1).empty()) << "requests to the unplugged camera's slot reached the camera of the next slot";

    // The other camera is unharmed.
    ASSERT_EQ(Orvix_SetDeviceNumber(cam(), 1), 1);
    EXPECT_EQ(Orvix_Fpga_WriteRegister(cam(), 0x40, 0x77), 1);
    EXPECT_EQ(emulated().fpgaRegister(1, 0x40), 0x77);
}

TEST_F(UsbCameraApi, DevicesWithOtherEndpointsAreNotOpenedAndGetNoRequest) {
    emulate({0, 1, 2, 3});
    FakeUsbCamera& secondOut = bench().add(cameraAt(1, {1}, 0, EndpointLayout::SecondOut));
    FakeUsbCamera& interrupt = bench().add(cameraAt(1, {2}, 1, EndpointLayout::InterruptIn));
    FakeUsbCamera& twoOnly = bench().add(cameraAt(1, {3}, 2, EndpointLayout::TwoEndpoints));
    bench().add(cameraAt(1, {4}, 3));
    openCamera();

    char names[10 * 256] = {};
    EXPECT_EQ(Orvix_EnumDevice(cam(), names), 1);
    char name[32];
    EXPECT_EQ(Orvix_GetDeviceName(cam(), 3, name, sizeof name), 1) << "the camera keeps the slot of its place";
    for (int slot = 0; slot < 3; ++slot) EXPECT_EQ(Orvix_GetDeviceName(cam(), slot, name, sizeof name), 0) << slot;
    EXPECT_EQ(errors(), (Codes{ERR_NO_CAMERA, ERR_NO_CAMERA, ERR_NO_CAMERA}));
    EXPECT_EQ(Orvix_Fpga_WriteRegister(cam(), 0x40, 5), 0) << "slot 0 is refused";
    (void)errors();
    ASSERT_EQ(Orvix_SetDeviceNumber(cam(), 3), 1);
    EXPECT_EQ(Orvix_Fpga_WriteRegister(cam(), 0x40, 5), 1);

    for (FakeUsbCamera* device : {&secondOut, &interrupt, &twoOnly}) {
        SCOPED_TRACE(device->entry().sysname);
        EXPECT_EQ(device->stats().submitted, 0);
        EXPECT_EQ(device->stats().claims, 0);
        EXPECT_EQ(device->stats().implicitClaims, 0);
    }
    for (int slot = 0; slot < 3; ++slot) EXPECT_TRUE(transfers(slot).empty()) << slot;
}

// ---- no permission ------------------------------------------------------------------------------

std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

TEST_F(UsbCameraApi, ACameraTheUserMayNotOpenIsNotUsedAndTheToolSaysWhy) {
    // Root opens any node whatever its mode, so the tool runs as nobody: the bus stays
    // readable (the testbed's folder opened to others), the camera's node is root's
    // alone, as without a udev rule.
    emulate({0});
    FakeUsbCamera& camera = bench().add(cameraAt(1, {1}, 0));
    NodeOnlyForRoot restricted(camera.entry().devnode);
    ASSERT_TRUE(restricted.ok());
    // The settings file stays the parent's; the tool keeps its own in the temporary folder.
    const std::string settings = temporaryPath("orvix-nobody") + ".reg";

    std::string output;
    const int status =
        runAsNobody({"/usr/bin/env", "ORVIX_REGISTRY_FILE=" + settings, ORVIX_TOOL_PATH, "list"}, &output);
    if (status == kCouldNotDropPrivileges) GTEST_SKIP() << "this process may not switch to the user nobody";
    EXPECT_NE(status, 0) << output;
    EXPECT_NE(status, -1) << "the tool did not end";
    const std::string text = lowerCase(output);
    EXPECT_TRUE(text.find("permission") != std::string::npos || text.find("access") != std::string::npos)
        << "the tool should say that the camera may not be opened:\n" << output;
    const bool named = output.find(camera.entry().devnode) != std::string::npos ||
                       output.find(camera.entry().sysname) != std::string::npos || text.find("port 1") != std::string::npos;
    EXPECT_TRUE(named) << "and which device it is:\n" << output;
    EXPECT_EQ(camera.stats().submitted, 0);
    EXPECT_EQ(camera.stats().claims, 0);
    EXPECT_TRUE(transfers(0).empty());
}

} // namespace
} // namespace orvix::test::usb
