// Automatic exposure: the correction arithmetic on raw frames of known levels under a
// clock the test sets, and its convergence on the emulated camera's scene.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>

#include "camera/camera.h"
#include "imaging/frame_pipeline.h"
#include "imaging/surface.h"
#include "device/device_link.h"
#include "device/exposure_correction.h"
#include "device/emulated_cameras.h"
#include "imaging/pixel_kernels.h"
#include "platform/clock.h"
#include "support/test_environment.h"

namespace orvix::test {
namespace {

std::atomic<std::uint32_t> testNow{0};
std::uint32_t testClock() { return testNow.load(); }

class AutoExposure : public EmulatedCameras {
protected:
    void SetUp() override {
        resetSettings();
        attach({0});
        autoexposure::resetClockForTesting();
        testNow.store(50000);
        platform::setTimeSourceForTesting(&testClock);
        link_ = std::make_unique<DeviceLink>();
    }
    void TearDown() override {
        platform::setTimeSourceForTesting(nullptr);
        link_.reset();
        camera_.reset();
        resetSettings();
        EmulatedCameras::TearDown();
    }

    // A raw frame whose every sample reads `level` (0..255) to the metering.
    static std::unique_ptr<Surface> frameAt(int level, std::uint16_t bits = 8) {
        auto raw = std::make_unique<Surface>();
        EXPECT_TRUE(raw->create(200, 100, bits));
        for (std::size_t i = 0; i < raw->byteCount(); i += bits / 8) {
            if (bits == 8) {
                raw->bits()[i] = static_cast<std::uint8_t>(level);
            } else {
                const int word = level << 2;
                raw->bits()[i] = static_cast<std::uint8_t>(word);
                raw->bits()[i + 1] = static_cast<std::uint8_t>(word >> 8);
            }
        }
        return raw;
    }

    // One metering step `ms` after the previous one, its correction applied to the
    // camera and the gain block as a camera applies it. True when the frame was
    // metered.
    bool step(Surface* raw, std::uint32_t ms) {
        testNow.fetch_add(ms);
        FrameSettings settings;
        settings.autoIris = mode_;
        FramePipeline pipeline{ProcessorInfo{}};
        const FrameMeasurements measured = pipeline.process(2, FrameSurfaces{raw, nullptr, nullptr, nullptr}, settings);
        if (measured.exposureMetered && measured.exposure.change)
            storeExposureCorrection(gains_, applyExposureCorrection(*link_, mode_, measured.exposure.factor));
        return measured.exposureMetered;
    }

    void setMode(int mode, int gain, int exposure) {
        mode_ = mode;
        link_->setGlobalGain(gain);
        link_->setExposure(exposure);
    }

    std::unique_ptr<DeviceLink> link_;
    std::unique_ptr<Camera> camera_;
    GainBlock gains_;
    int mode_ = 0;
};

TEST(AutoExposureArithmetic, FactorsFromTheFiveMeans) {
    using autoexposure::correctionFactor;
    EXPECT_DOUBLE_EQ(correctionFactor({230, 230, 230, 230, 230}), 0.85 - 4 * 0.15);
    EXPECT_DOUBLE_EQ(correctionFactor({120, 120, 120, 120, 120}), 1.0);
    EXPECT_DOUBLE_EQ(correctionFactor({80, 80, 80, 80, 80}), 1.25);
    EXPECT_DOUBLE_EQ(correctionFactor({40, 170, 201, 99, 160}), 1.1 - 0.1 - 0.15 + 0.05);
    // The rectangles of a 1360 x 1024 frame.
    const auto r = autoexposure::meteringRegions(1360, 1024);
    EXPECT_EQ(r[0].left, 136);
    EXPECT_EQ(r[0].top, 102);
    EXPECT_EQ(r[0].right, 272);
    EXPECT_EQ(r[0].bottom, 204);
    EXPECT_EQ(r[2].left, 612);
    EXPECT_EQ(r[2].bottom, 563);
    EXPECT_EQ(r[4].right, 1224);
    EXPECT_EQ(r[4].bottom, 921);
}

TEST(AutoExposureArithmetic, TimingRules) {
    using autoexposure::decide;
    EXPECT_TRUE(decide(1.0, 201).change);
    EXPECT_DOUBLE_EQ(decide(1.0, 201).factor, 0.95);
    EXPECT_FALSE(decide(1.25, 180).change); // 1.05 from the 150 ms rule, then suppressed
    EXPECT_TRUE(decide(1.25, 155).change);
    EXPECT_DOUBLE_EQ(decide(1.25, 155).factor, 1.05);
    EXPECT_TRUE(decide(0.5, 180).change); // a reduction is never suppressed
    EXPECT_FALSE(decide(1.1, 100).change);
}

TEST_F(AutoExposure, BrightFramesQuarterTheExposure) {
    setMode(1, 40, 400);
    const auto bright = frameAt(230);
    // The first step in the process sees no elapsed time. 0.85 - 4 x 0.15, subtracted
    // in double precision, lies just below 0.25: 400 becomes 99, not 100.
    EXPECT_TRUE(step(&*bright, 0));
    EXPECT_EQ(link_->exposure(), 99);
    EXPECT_EQ(gains_.exposure, 99);
    EXPECT_TRUE(step(&*frameAt(230, 16), 100)); // the same level as 10-bit samples
    EXPECT_EQ(link_->exposure(), 24);
}

TEST_F(AutoExposure, MidLevelFramesChangeNothing) {
    setMode(1, 40, 400);
    EXPECT_TRUE(step(&*frameAt(120), 0));
    EXPECT_TRUE(step(&*frameAt(120), 100));
    EXPECT_EQ(link_->exposure(), 400);
}

TEST_F(AutoExposure, GainModeRaisesASmallGainToFourAndSetsEveryColourGain) {
    setMode(2, 2, 400);
    EXPECT_TRUE(step(&*frameAt(80), 0));
    EXPECT_EQ(link_->globalGain(), 4);
    EXPECT_EQ(gains_.globalGain, 4);
    EXPECT_EQ(gains_.colorGainRed, 4);
    EXPECT_EQ(gains_.colorGainGreen1, 4);
    EXPECT_EQ(gains_.colorGainGreen2, 4);
    EXPECT_EQ(gains_.colorGainBlue, 4);
    EXPECT_EQ(link_->exposure(), 400);
}

TEST_F(AutoExposure, DarkFramesAtIntervalsThatSuppressRaisingChangeNothing) {
    setMode(1, 40, 400);
    EXPECT_TRUE(step(&*frameAt(120), 0));
    EXPECT_TRUE(step(&*frameAt(80), 180));
    EXPECT_EQ(link_->exposure(), 400);
    EXPECT_TRUE(step(&*frameAt(120), 250)); // slow frames always step down by 5 %
    EXPECT_EQ(link_->exposure(), 380);
}

TEST_F(AutoExposure, OffOrWithoutAFrameDoesNothing) {
    setMode(0, 40, 400);
    EXPECT_FALSE(step(&*frameAt(230), 0));
    mode_ = 1;
    EXPECT_FALSE(step(nullptr, 0));
    EXPECT_EQ(link_->exposure(), 400);
}

TEST_F(AutoExposure, ConvergesOnTheEmulatedSceneDuringSnapshots) {
    link_.reset();
    camera_ = std::make_unique<Camera>();
    ASSERT_EQ(camera_->initialize(0), 1);
    ASSERT_EQ(camera_->setColorMode(8), 1);
    ASSERT_EQ(camera_->setAutoIris(1), 1);
    ASSERT_EQ(camera_->setFilterValue(18, 1068), 1); // overexposed: most of the scene saturates
    ASSERT_EQ(camera_->capture(), 1);
    int previous = -1, unchanged = 0;
    for (int i = 0; i < 40 && unchanged < 3; ++i) {
        testNow.fetch_add(100);
        ASSERT_EQ(camera_->snapShot(nullptr, 0, 1), 1);
        const int now = camera_->getFilterValue(18, nullptr);
        unchanged = now == previous ? unchanged + 1 : 0;
        previous = now;
    }
    EXPECT_EQ(unchanged, 3) << "the exposure settles";
    EXPECT_LT(previous, 1068);
    EXPECT_EQ(camera_->gainBlock().exposure, previous) << "the gain block follows the camera";
    // The centre region (the chart's bars) ends between dark and saturated.
    Surface image;
    ASSERT_TRUE(image.create(kSensorWidth, kSensorHeight, 8));
    ASSERT_EQ(camera_->getImage(image.bits(), static_cast<std::int32_t>(image.byteCount()), 1), 1);
    const auto centre = autoexposure::meteringRegions(image.width(), image.height())[2];
    const int mean = image.blit(meanLevel8, &image, &centre, centre.left, centre.top, nullptr, 0);
    EXPECT_GT(mean, 50);
    EXPECT_LT(mean, 200);
}

} // namespace
} // namespace orvix::test
