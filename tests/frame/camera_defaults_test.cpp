#include <gtest/gtest.h>

#include <cstring>

#include "camera/camera.h"
#include "imaging/surface.h"
#include "device/device_link.h"

namespace orvix {
namespace {

TEST(CameraDefaults, FreshCameraHoldsTheConstructionDefaults) {
    Camera camera;
    EXPECT_EQ(camera.link, nullptr);
    EXPECT_EQ(camera.surface8, nullptr);
    EXPECT_EQ(camera.displaySurface, nullptr);
    EXPECT_EQ(camera.width(), 1360);
    EXPECT_EQ(camera.height(), 1024);
    EXPECT_EQ(camera.format.hTotal, 1360);
    EXPECT_EQ(camera.format.vTotal, 1024);
    EXPECT_EQ(camera.format.hStart, 0);
    EXPECT_EQ(camera.format.vStart, 0);
    EXPECT_EQ(camera.format.bufferCount, 10);
    EXPECT_EQ(camera.getWaitTime(), 10);
    EXPECT_EQ(camera.getSubSample(), 0);
    EXPECT_EQ(camera.getColorMode(), 8);
    EXPECT_EQ(camera.colorType, 0);
    EXPECT_EQ(camera.halfClock, 0);
    EXPECT_EQ(camera.captureState.load(), kCaptureIdle);
    EXPECT_EQ(camera.threadRun.load(), kThreadStop);
    EXPECT_EQ(camera.errorQueue.pop(), 0);
    EXPECT_STREQ(camera.previewClassName, "");
}

TEST(CameraDefaults, PreviewPlacementAndFrameDescription) {
    Camera camera;
    EXPECT_EQ(camera.previewRect.x, 0);
    EXPECT_EQ(camera.previewRect.y, 0);
    EXPECT_EQ(camera.previewRect.width, 1360);
    EXPECT_EQ(camera.previewRect.height, 1024);
    EXPECT_EQ(camera.frameInfo.size, 24);
    EXPECT_EQ(camera.frameInfo.width, 0);
    EXPECT_EQ(camera.frameInfo.height, 0);
    EXPECT_EQ(camera.frameInfo.bitsPerPixel, 0);
    EXPECT_EQ(camera.frameInfo.frameRate, 0);
    EXPECT_EQ(camera.frameInfo.reserved, 0);
}

TEST(CameraDefaults, FilterAndGainBlocksStartAtZero) {
    Camera camera;
    const FilterSettings zero{};
    EXPECT_EQ(std::memcmp(&camera.filter, &zero, sizeof zero), 0);
    const GainBlock gains = camera.gains;
    EXPECT_EQ(gains.globalGain, 0);
    EXPECT_EQ(gains.exposure, 0);
    EXPECT_EQ(gains.autoIris, 0);
    static_assert(sizeof(FilterSettings) == 23 * sizeof(std::int32_t), "one plain block of int32");
    static_assert(sizeof(GainBlock) == 8 * sizeof(std::int32_t), "eight int32");
}

TEST(CameraDefaults, ColorModeOfEveryStoredType) {
    Camera camera;
    const int expected[] = {8, 16, 24, 32, 48, 64};
    for (int type = 0; type < 6; ++type) {
        camera.colorType = type;
        EXPECT_EQ(camera.getColorMode(), expected[type]);
    }
    camera.colorType = 7;
    EXPECT_EQ(camera.getColorMode(), -1);
    camera.colorType = -1;
    EXPECT_EQ(camera.getColorMode(), -1);
}

} // namespace
} // namespace orvix
