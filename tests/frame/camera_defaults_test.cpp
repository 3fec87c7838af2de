// What a Camera holds before and right after start-up, read through its getters: the
// construction defaults, the capture settings a first capture would take, the filter
// and gain blocks, and the colour mode of every stored colour type.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "camera/camera.h"
#include "camera/settings_store.h"
#include "device/emulated_cameras.h"
#include "platform/registry.h"
#include "support/test_environment.h"

namespace orvix {
namespace {

TEST(CameraDefaults, FreshCameraHoldsTheConstructionDefaults) {
    Camera camera;
    EXPECT_EQ(camera.width(), 1360);
    EXPECT_EQ(camera.height(), 1024);
    const CaptureConfig config = camera.captureConfig();
    EXPECT_EQ(config.window.hTotal, 1360);
    EXPECT_EQ(config.window.vTotal, 1024);
    EXPECT_EQ(config.window.hEffective, 1360);
    EXPECT_EQ(config.window.vEffective, 1024);
    EXPECT_EQ(config.window.hStart, 0);
    EXPECT_EQ(config.window.vStart, 0);
    EXPECT_EQ(config.window.bufferCount, 10);
    EXPECT_EQ(camera.getWaitTime(), 10);
    EXPECT_EQ(config.waitTime, 10);
    EXPECT_EQ(camera.getSubSample(), 0);
    EXPECT_EQ(config.subSample, 0);
    EXPECT_EQ(camera.getColorMode(), 8);
    EXPECT_EQ(config.colorType, 0);
    EXPECT_EQ(config.halfClock, 0);
    EXPECT_EQ(camera.captureState(), kCaptureIdle);
    EXPECT_EQ(camera.previewWindow(), 0u);
    EXPECT_EQ(camera.popError(), 0);
}

TEST(CameraDefaults, WithoutStartUpEveryDeviceOperationIsRefused) {
    // No device link, no capture engine, no Surfaces: each refusal queues
    // ERR_NOT_INITIALIZED, and nothing crashes reaching for the missing parts.
    Camera camera;
    std::uint8_t buffer[64] = {};
    EXPECT_EQ(camera.preview(), 0);
    EXPECT_EQ(camera.popError(), ERR_NOT_INITIALIZED);
    EXPECT_EQ(camera.snapShot(buffer, sizeof buffer, 1), 0);
    EXPECT_EQ(camera.popError(), ERR_NOT_INITIALIZED);
    EXPECT_EQ(camera.getImage(buffer, sizeof buffer, 1), 0);
    EXPECT_EQ(camera.popError(), ERR_NOT_INITIALIZED);
    EXPECT_EQ(camera.setCaptureWindowEx(1360, 0, 640, 1024, 0, 480), 0);
    EXPECT_EQ(camera.popError(), ERR_NOT_INITIALIZED);
    EXPECT_EQ(camera.width(), 1360) << "a refused capture window is not stored";
    EXPECT_EQ(camera.close(), 1);
    EXPECT_EQ(camera.popError(), ERR_NOT_INITIALIZED);
    EXPECT_EQ(camera.captureState(), kCaptureIdle);
    EXPECT_EQ(camera.previewWindow(), 0u);
    EXPECT_TRUE(camera.shutDown());
}

TEST(CameraDefaults, PreviewPlacementAndFrameDescription) {
    Camera camera;
    const CaptureConfig config = camera.captureConfig();
    EXPECT_EQ(config.previewParent, 0u);
    EXPECT_EQ(config.previewRect.x, 0);
    EXPECT_EQ(config.previewRect.y, 0);
    EXPECT_EQ(config.previewRect.width, 1360);
    EXPECT_EQ(config.previewRect.height, 1024);
    // The frame description's size field holds the size of the structure.
    static_assert(sizeof(FrameInfo) == 24, "six int32");
}

TEST(CameraDefaults, FilterAndGainBlocksStartAtZero) {
    Camera camera;
    const FilterSettings zero{};
    const FilterSettings filter = camera.filterSettings();
    EXPECT_EQ(std::memcmp(&filter, &zero, sizeof zero), 0);
    const GainBlock gains = camera.gainBlock();
    EXPECT_EQ(gains.globalGain, 0);
    EXPECT_EQ(gains.exposure, 0);
    EXPECT_EQ(gains.autoIris, 0);
    EXPECT_EQ(gains.mirrorV, 0);
    const CaptureConfig config = camera.captureConfig();
    EXPECT_EQ(config.gains.globalGain, 0);
    EXPECT_EQ(config.gains.exposure, 0);
    EXPECT_EQ(config.gains.mirrorV, 0);
    static_assert(sizeof(FilterSettings) == 23 * sizeof(std::int32_t), "one plain block of int32");
    static_assert(sizeof(GainBlock) == 8 * sizeof(std::int32_t), "eight int32");
}

class StoredColorMode : public test::EmulatedCameras {
protected:
    void SetUp() override { test::resetSettings(); }
    void TearDown() override {
        test::resetSettings();
        EmulatedCameras::TearDown();
    }

    // A Camera started with `type` as the stored colour type.
    static std::unique_ptr<Camera> startedWithStoredType(std::int32_t type) {
        test::resetSettings();
        EXPECT_TRUE(platform::RegistryKey::createCurrentUser(platform::kSettingsKeyPath)
                        .setInt(settings::kColorValue, type));
        attach({0});
        auto camera = std::make_unique<Camera>();
        EXPECT_EQ(camera->initialize(0), 1);
        return camera;
    }
};

TEST_F(StoredColorMode, ColorModeOfEveryStoredType) {
    const int expected[] = {8, 16, 24, 32, 48, 64};
    for (int type = 0; type < 6; ++type) {
        SCOPED_TRACE(type);
        const auto camera = startedWithStoredType(type);
        EXPECT_EQ(camera->getColorMode(), expected[type]);
        EXPECT_EQ(camera->captureConfig().colorType, type);
    }
    for (int type : {7, -1}) {
        SCOPED_TRACE(type);
        const auto camera = startedWithStoredType(type);
        EXPECT_EQ(camera->getColorMode(), -1);
        // A valid mode set afterwards replaces it.
        EXPECT_EQ(camera->setColorMode(48), 1);
        EXPECT_EQ(camera->getColorMode(), 48);
        EXPECT_EQ(camera->captureConfig().colorType, 4);
    }
}

TEST_F(StoredColorMode, UnknownModesAreRefusedAndKeepTheStoredOne) {
    const auto camera = startedWithStoredType(3);
    for (int bits : {0, 12, 36, 65, -8}) {
        EXPECT_EQ(camera->setColorMode(bits), 0) << bits;
        EXPECT_EQ(camera->popError(), ERR_PARAMETER);
        EXPECT_EQ(camera->getColorMode(), 32);
    }
}

} // namespace
} // namespace orvix
