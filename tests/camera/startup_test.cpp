// Camera start-up and shutdown against the emulator's request log, the failure paths
// of start-up, and the rules a Camera keeps without a device link or while capture
// runs.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "camera/camera.h"
#include "camera/property_ids.h"
#include "capture/startup_faults.h"
#include "device/emulated_cameras.h"
#include "emulated_frames.h"
#include "stored_settings.h"

namespace orvix::test {
namespace {

using emulator::RequestKind;

class CameraStartup : public EmulatedCameras {
protected:
    void SetUp() override { resetSettings(); }
    void TearDown() override {
        failNextStartupAllocation(StartupAllocation::None);
        resetSettings();
        EmulatedCameras::TearDown();
    }

    static std::vector<int> drain(Camera& camera) {
        std::vector<int> codes;
        for (int code = camera.popError(); code != 0; code = camera.popError()) codes.push_back(code);
        return codes;
    }

    // The slot the Camera's control requests go to: the device file that one FPGA
    // register read opens (-1 when it opened none).
    static int selectedSlot(Camera& camera) {
        emulator().clearLog();
        int ok = 0;
        (void)camera.fpgaReadRegister(0x40, &ok);
        const auto opens = entries(RequestKind::Open);
        return opens.empty() ? -1 : opens.front().slot;
    }

    // The requests the cameras received since the log was cleared, besides a running
    // transfer's frames (each a frame request on the command pipe, then the frame), as
    // "kind/slot/first byte" each.
    static std::vector<std::string> requestsBesidesFrames() {
        std::vector<std::string> seen;
        for (const auto& entry : emulator().log()) {
            const bool frameRequest = entry.kind == RequestKind::Command && entry.bytes[0] == protocol::kCmdFrameRequest;
            if (entry.kind != RequestKind::FrameTransfer && !frameRequest)
                seen.push_back(std::to_string(static_cast<int>(entry.kind)) + "/" + std::to_string(entry.slot) + "/" +
                               std::to_string(entry.bytes[0]));
        }
        return seen;
    }

    // (slot, value) of every control-value packet of that id received, in order.
    static std::vector<std::pair<int, int>> controlValues(std::uint8_t id) {
        std::vector<std::pair<int, int>> sent;
        for (const auto& entry : entries(RequestKind::Command)) {
            if (!entry.succeeded || entry.bytes[0] != 0x04 || entry.bytes[1] != id) continue;
            sent.emplace_back(entry.slot, entry.bytes[2] << 8 | entry.bytes[3]);
        }
        return sent;
    }

    // Slots of the device-select packets received, in order.
    static std::vector<int> selections() {
        std::vector<int> slots;
        for (const auto& entry : entries(RequestKind::Command))
            if (entry.succeeded && entry.bytes[0] == 0x06) slots.push_back(entry.slot);
        return slots;
    }
};

constexpr std::uint8_t kGain = 2;
constexpr std::uint8_t kExposure = 1;

TEST_F(CameraStartup, EveryCameraReceivesItsOwnStoredGainAndExposure) {
    attach({0, 3});
    store("Gain_00", {{"Global", 100}, {"Exposure", 200}, {"AutoIris", 2}});
    store("Gain_03", {{"Global", 300}, {"Exposure", 400}, {"AutoIris", 1}});
    Camera camera;
    ASSERT_EQ(camera.initialize(0), 1);
    EXPECT_EQ(drain(camera), std::vector<int>{});

    // The link's own start (gain 0, exposure raised to 8), then slot 0, slot 3 and
    // slot 0 again.
    EXPECT_EQ(selections(), (std::vector<int>{0, 0, 3, 0}));
    EXPECT_EQ(controlValues(kGain), (std::vector<std::pair<int, int>>{{0, 0}, {0, 100}, {3, 300}, {0, 100}}));
    EXPECT_EQ(controlValues(kExposure), (std::vector<std::pair<int, int>>{{0, 8}, {0, 200}, {3, 400}, {0, 200}}));
    EXPECT_EQ(state(0).globalGain, 100);
    EXPECT_EQ(state(3).globalGain, 300);
    EXPECT_EQ(state(3).exposure, 400);

    // Slot 0 stays selected and its block is the one kept.
    const GainBlock gains = camera.gainBlock();
    EXPECT_EQ(gains.globalGain, 100);
    EXPECT_EQ(gains.colorGainRed, 100); // a missing colour gain repeats the one before
    EXPECT_EQ(gains.exposure, 200);
    EXPECT_EQ(gains.autoIris, 2);
    EXPECT_EQ(selectedSlot(camera), 0);
}

// A second handle's start-up must not break a capture another handle runs: its 8-bit
// mode would make the running 16-bit preview's frame transfers the wrong length, and
// its stored gains would change the preview's picture.
TEST_F(CameraStartup, AStartUpLeavesAloneACameraAnotherHandleHasSelected) {
    attach({0, 3}, 60);
    store("Gain_00", {{"Global", 100}, {"Exposure", 200}});
    store("Gain_03", {{"Global", 300}, {"Exposure", 400}});
    std::vector<std::string> startupRequestsToSlot3;
    {
        Camera capturing;
        ASSERT_EQ(capturing.initialize(0), 1);
        ASSERT_EQ(capturing.setDeviceNumber(3), 1);
        ASSERT_EQ(capturing.setColorMode(16), 1); // 10-bit samples
        ASSERT_EQ(capturing.setAutoIris(0), 1);   // frames send nothing to the camera
        ASSERT_EQ(capturing.setFilterValue(kPropertyGlobalGain, 50), 1);
        ASSERT_EQ(capturing.startPreview(), 1);
        ASSERT_TRUE(framesFollow(3, framesSent(3), 1));

        emulator().clearLog();
        Camera starting;
        ASSERT_EQ(starting.initialize(0), 1);
        for (const std::string& request : requestsBesidesFrames())
            if (request.find("/3/") != std::string::npos && request.rfind("0/", 0) != 0 &&
                request.rfind("1/", 0) != 0) // the enumeration's open and close aside
                startupRequestsToSlot3.push_back(request);
        EXPECT_EQ(startupRequestsToSlot3, std::vector<std::string>{});
        // Camera 0, which no other handle has selected, got its start-up as before.
        EXPECT_EQ(selections(), (std::vector<int>{0, 0, 0}));
        EXPECT_EQ(controlValues(kGain), (std::vector<std::pair<int, int>>{{0, 0}, {0, 100}, {0, 100}}));
        EXPECT_EQ(state(3).globalGain, 50);
        EXPECT_TRUE(state(3).tenBit);
        EXPECT_TRUE(framesFollow(3, framesSent(3), 3)); // and the preview goes on
        EXPECT_EQ(capturing.stopPreview(), 1);
        EXPECT_EQ(drain(capturing), std::vector<int>{});
        EXPECT_EQ(drain(starting), std::vector<int>{});

        // The starting handle keeps camera 3's stored values, and sends them when it
        // selects the camera itself.
        ASSERT_EQ(starting.setDeviceNumber(3), 1);
        EXPECT_EQ(starting.getFilterValue(kPropertyGlobalGain, nullptr), 300);
        EXPECT_EQ(state(3).globalGain, 300);
    }
    // Once the handle that had camera 3 is gone, a start-up talks to it again.
    emulator().clearLog();
    Camera later;
    ASSERT_EQ(later.initialize(0), 1);
    EXPECT_EQ(selections(), (std::vector<int>{0, 0, 3, 0}));
}

TEST_F(CameraStartup, CamerasWithoutStoredGainsGetTheBuiltInBlock) {
    attach({2});
    Camera camera;
    ASSERT_EQ(camera.initialize(0), 1);
    // Slot 2, then the final selection of slot 0, which is empty: its requests fail.
    EXPECT_EQ(controlValues(kGain), (std::vector<std::pair<int, int>>{{2, 512}}));
    EXPECT_EQ(controlValues(kExposure), (std::vector<std::pair<int, int>>{{2, 64}}));
    EXPECT_EQ(camera.gainBlock().globalGain, 512);
    EXPECT_EQ(camera.gainBlock().exposure, 64);
    EXPECT_EQ(selectedSlot(camera), 0);
}

TEST_F(CameraStartup, StartupOrderAndTheWindowOfThePreview) {
    attach({0});
    storeFormat(0, 1360, 1024, 640, 480, 10, 20, 4);
    store("", {{"Size", 0}, {"SubSample", 1}, {"Color", 3}});
    Camera camera;
    ASSERT_EQ(camera.initialize(0), 1);
    const CaptureConfig config = camera.captureConfig();
    EXPECT_EQ(config.previewRect.x, 0);
    EXPECT_EQ(config.previewRect.y, 0);
    EXPECT_EQ(config.previewRect.width, 640);
    EXPECT_EQ(config.previewRect.height, 480);
    EXPECT_EQ(config.window.hStart, 10);
    EXPECT_EQ(config.window.vStart, 20);
    EXPECT_EQ(config.window.bufferCount, 4);
    // The stream settings come last: the window went to the link at sub-sample 0.
    EXPECT_EQ(config.subSample, 1);
    EXPECT_EQ(config.colorType, 3);
    EXPECT_NE(camera.processorInfo().vendor[0], '\0');

    // The Surfaces of every colour type and the sharpen filter's work Surface exist:
    // a snapshot works in each type. (The display Surface is used only with a preview
    // window; its allocation failure is among the cases below.)
    ASSERT_EQ(camera.setFilterValue(kPropertySharpness, 10), 1);
    for (const int bits : {8, 16, 24, 32, 48, 64}) {
        ASSERT_EQ(camera.setColorMode(bits), 1);
        EXPECT_EQ(camera.snapShot(nullptr, 0, 1), 1) << bits;
    }
    EXPECT_EQ(drain(camera), std::vector<int>{});
}

TEST_F(CameraStartup, ABadStoredFormatKeepsItsBufferCount) {
    attach({0});
    storeFormat(0, 1500, 1100, 1360, 1024, 0, 1, 6);
    store("", {{"Size", 0}});
    Camera camera;
    ASSERT_EQ(camera.initialize(0), 1);
    EXPECT_EQ(drain(camera), std::vector<int>{ERR_GEOMETRY});
    const VideoFormat format = camera.captureConfig().window;
    EXPECT_EQ(format.hTotal, 1360);
    EXPECT_EQ(format.vStart, 0);
    EXPECT_EQ(format.bufferCount, 6);
}

// Each allocation of start-up in turn fails.
class StartupAllocationFailure : public CameraStartup,
                                 public ::testing::WithParamInterface<StartupAllocation> {};

TEST_P(StartupAllocationFailure, LeavesACameraWithoutDeviceLinkThatKeepsTheStoreIntact) {
    attach({0});
    store("", {{"Color", 5}, {"WaitTime", 40}});
    store("Filter", {{"Brightness", 9}});
    store("Gain_00", {{"Global", 77}});
    {
        Camera camera;
        failNextStartupAllocation(GetParam());
        EXPECT_EQ(camera.initialize(1234), 0);
        EXPECT_EQ(camera.notifyWindow(), 1234u); // stored before the push
        EXPECT_EQ(drain(camera), std::vector<int>{ERR_MEMORY});

        // The construction defaults; the store was not read.
        EXPECT_EQ(camera.width(), 1360);
        EXPECT_EQ(camera.height(), 1024);
        EXPECT_EQ(camera.getColorMode(), 8);
        EXPECT_EQ(camera.getWaitTime(), 10);
        EXPECT_EQ(camera.getSubSample(), 0);
        EXPECT_EQ(camera.filterSettings().brightness, 0);
        EXPECT_EQ(camera.gainBlock().globalGain, 0);

        // The link was dropped: device and capture operations behave as without one.
        EXPECT_EQ(camera.setFilterValue(11, 100), 0);
        char names[10 * 256];
        EXPECT_EQ(camera.enumDevice(names), 0);
        EXPECT_EQ(camera.setCaptureWindowEx(1360, 0, 640, 1024, 0, 480), 0);
        EXPECT_EQ(camera.snapShot(nullptr, 0, 1), 0);
        EXPECT_EQ(drain(camera), (std::vector<int>{ERR_NOT_INITIALIZED, ERR_NOT_INITIALIZED, ERR_NOT_INITIALIZED,
                                                   ERR_NOT_INITIALIZED}));
    }
    // Release saved nothing over the stored values.
    EXPECT_EQ(stored("Filter", "Brightness"), 9);
    EXPECT_EQ(stored("Filter", "Gamma"), std::nullopt);
    EXPECT_EQ(stored("Gain_00", "Global"), 77);
    EXPECT_EQ(stored("Gain_00", "Exposure"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(EachAllocation, StartupAllocationFailure,
                         ::testing::Values(StartupAllocation::DeviceLink, StartupAllocation::Surface8,
                                           StartupAllocation::Surface16, StartupAllocation::Surface24,
                                           StartupAllocation::Surface32, StartupAllocation::Surface48,
                                           StartupAllocation::Surface64, StartupAllocation::WorkSurface,
                                           StartupAllocation::DisplaySurface));

TEST_F(CameraStartup, TheFaultHookFailsOnlyOnce) {
    attach({0});
    failNextStartupAllocation(StartupAllocation::Surface32);
    Camera first;
    EXPECT_EQ(first.initialize(0), 0);
    Camera second;
    EXPECT_EQ(second.initialize(0), 1);
    ASSERT_EQ(second.setColorMode(32), 1);
    EXPECT_EQ(second.snapShot(nullptr, 0, 1), 1); // its 32-bit Surface exists
}

TEST_F(CameraStartup, ACameraThatNeverStartedSavesNothing) {
    { Camera camera; }
    EXPECT_FALSE(keyExists(""));
}

TEST_F(CameraStartup, WithoutDeviceLinkEveryLinkOperationQueuesNotInitialized) {
    Camera camera; // constructed only
    int ok = 5;
    char buffer[10 * 256];
    CameraInfo info{};
    info.size = 36;
    const std::vector<std::pair<const char*, std::function<int()>>> operations = {
        {"getHalfClock", [&] { return camera.getHalfClock(&ok); }},
        {"setMirrorV", [&] { return camera.setMirrorV(1); }},
        {"getMirrorV", [&] { return camera.getMirrorV(); }},
        {"setCaptureWindow", [&] { return camera.setCaptureWindow(1360, 1024); }},
        {"setCaptureWindowEx", [&] { return camera.setCaptureWindowEx(1360, 0, 1360, 1024, 0, 1024); }},
        {"setPreviewWindow", [&] { return camera.setPreviewWindow(0, PreviewRect{}); }},
        {"setDeviceNumber", [&] { return camera.setDeviceNumber(0); }},
        {"enumDevice", [&] { return camera.enumDevice(buffer); }},
        {"getDeviceName", [&] { return camera.getDeviceName(0, buffer, 256); }},
        {"getCameraInfo", [&] { return camera.getCameraInfo(&info); }},
        {"writeRegister", [&] { return camera.writeRegister(0x20, 1); }},
        {"readRegister", [&] { return camera.readRegister(0x20, &ok); }},
        {"fpgaWriteRegister", [&] { return camera.fpgaWriteRegister(0x40, 1); }},
        {"fpgaReadRegister", [&] { return camera.fpgaReadRegister(0x40, &ok); }},
        {"readSromId", [&] { return camera.readSromId(0, &ok); }},
        {"writeSromId", [&] { return camera.writeSromId(0, 1); }},
        {"setFilterValue", [&] { return camera.setFilterValue(1, 0); }},
        {"getFilterValue", [&] { return camera.getFilterValue(1, &ok); }},
    };
    for (const auto& [name, operation] : operations) {
        ok = 5;
        EXPECT_EQ(operation(), 0) << name;
        EXPECT_EQ(drain(camera), std::vector<int>{ERR_NOT_INITIALIZED}) << name;
        EXPECT_NE(ok, 1) << name; // ok-reporting operations set 0, the others leave it
    }
    EXPECT_EQ(info.width, 0);

    // Stored-only settings need no link.
    EXPECT_EQ(camera.setColorMode(16), 1);
    EXPECT_EQ(camera.setSubSample(1), 1);
    EXPECT_EQ(camera.setWaitTime(0), 1);
    EXPECT_EQ(camera.setHalfClock(1), 1);
    EXPECT_EQ(camera.setAutoIris(1), 1);
    EXPECT_EQ(camera.getAutoIris(&ok), 1);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(drain(camera), std::vector<int>{});
}

// A real capture holds the window and the device: preview (without a window of its
// own) and a prepared capture. Trigger mode needs a window system; the dialog host
// tests refuse the same changes while a trigger capture is held.
TEST_F(CameraStartup, WindowAndDeviceChangesAreRefusedWhileCaptureIsActive) {
    attach({0, 3}, 30);
    storeFormat(0, 1360, 1024, 1360, 1024, 0, 0, 10);
    storeFormat(1, 1360, 1024, 640, 480, 0, 0, 10);
    store("", {{"Size", 0}});
    Camera camera;
    ASSERT_EQ(camera.initialize(0), 1);
    ASSERT_EQ(camera.setColorMode(8), 1);
    ASSERT_EQ(camera.setAutoIris(0), 1); // frames send nothing to the camera
    ASSERT_EQ(drain(camera), std::vector<int>{});

    const std::vector<std::pair<CaptureState, std::function<int()>>> starts = {
        {kCapturePreview, [&] { return camera.startPreview(); }},
        {kCaptureSnapshotReady, [&] { return camera.capture(); }},
    };
    for (const auto& [state, start] : starts) {
        ASSERT_EQ(start(), 1) << state;
        ASSERT_EQ(camera.captureState(), state);
        // The transfer thread's own set-up requests come before its first frame.
        if (state == kCapturePreview) {
            ASSERT_TRUE(framesFollow(0, framesSent(0), 1));
        }
        emulator().clearLog();
        EXPECT_EQ(camera.setCaptureWindowEx(1360, 0, 320, 1024, 0, 240), 0) << state;
        EXPECT_EQ(camera.setCaptureWindow(640, 480), 0) << state;
        EXPECT_EQ(camera.setDeviceNumber(3), 0) << state;
        EXPECT_EQ(drain(camera), std::vector<int>{}) << state;
        EXPECT_EQ(camera.width(), 1360) << state;
        EXPECT_EQ(camera.captureConfig().window.hEffective, 1360) << state;
        // Nothing reached a camera, the running preview's frames aside, which go on.
        EXPECT_EQ(requestsBesidesFrames(), std::vector<std::string>{}) << state;
        if (state == kCapturePreview) {
            EXPECT_TRUE(framesFollow(0, framesSent(0), 3));
        }
        EXPECT_EQ(camera.captureState(), state);
        EXPECT_EQ(camera.stopPreview(), 1);
        EXPECT_EQ(camera.captureState(), kCaptureIdle);
        EXPECT_EQ(selectedSlot(camera), 0) << state;
    }
    EXPECT_FALSE(keyExists("Gain_00")); // not even the gains of the slot being left were saved

    EXPECT_EQ(camera.setCaptureWindow(640, 480), 1);
    EXPECT_EQ(camera.width(), 640);
    EXPECT_EQ(camera.setCaptureWindowEx(1360, 0, 320, 1024, 0, 240), 1);
    EXPECT_EQ(camera.width(), 320);
    // The next capture takes the new window: an 8-bit 320 x 240 snapshot fits exactly.
    std::vector<std::uint8_t> image(320 * 240);
    EXPECT_EQ(camera.snapShot(image.data(), static_cast<std::int32_t>(image.size()), 1), 1);
    EXPECT_EQ(camera.setDeviceNumber(3), 1);
    EXPECT_EQ(selectedSlot(camera), 3);
    EXPECT_EQ(stored("Gain_00", "Global"), 512); // the slot being left
    EXPECT_EQ(drain(camera), std::vector<int>{});
}

TEST(ColorTypes, OnlyTheSixKnownTypesAreValidForCapture) {
    for (int type = 0; type < 6; ++type) EXPECT_TRUE(isColorTypeValid(type)) << type;
    for (int type : {-1, 6, 7, 1000}) EXPECT_FALSE(isColorTypeValid(type)) << type;
}

} // namespace
} // namespace orvix::test
