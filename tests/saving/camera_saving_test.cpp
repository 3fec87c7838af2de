// Camera::saveImage with the emulated camera: the output image of each colour type as
// its snapshot left it, the errors without a device link, a colour type or an image,
// and saving while snapshots are processed. Also the Surfaces a capture of each
// colour type works on.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <set>
#include <thread>

#include "camera/camera.h"
#include "camera/settings_store.h"
#include "capture/capture_config.h"
#include "capture/capture_surfaces.h"
#include "capture/image_saving.h"
#include "device/emulated_cameras.h"
#include "imaging/surface.h"
#include "platform/registry.h"
#include "saving/saving_support.h"
#include "support/test_environment.h"

namespace orvix::test {
namespace {

// Bytes of a w x h image of the colour type, rows padded to 4 bytes.
std::size_t imageBytes(int type, int width, int height) {
    return static_cast<std::size_t>(Surface::strideFor(width, static_cast<std::uint16_t>(bitsPerPixelOfColorType(type)))) *
           static_cast<std::size_t>(height);
}

class CameraSaveImage : public EmulatedCameras {
protected:
    // Odd sizes, so most depths pad their rows.
    static constexpr int kWidth = 30;
    static constexpr int kHeight = 21;

    void SetUp() override { resetSettings(); }
    void TearDown() override {
        camera_.reset();
        resetSettings();
        EmulatedCameras::TearDown();
    }

    // A started Camera on an emulated camera, capturing a kWidth x kHeight window
    // of the chart's bars.
    Camera& open() {
        attach({0});
        camera_ = std::make_unique<Camera>();
        EXPECT_EQ(camera_->initialize(0), 1);
        EXPECT_EQ(camera_->setCaptureWindowEx(1360, 100, kWidth, 1024, 200, kHeight), 1);
        return *camera_;
    }

    // One snapshot in the colour type; the image GetImage returns afterwards, in
    // memory order.
    Bytes snapImage(int type) {
        Camera& camera = *camera_;
        EXPECT_EQ(camera.setColorMode(bitsPerPixelOfColorType(type)), 1);
        Bytes image(imageBytes(type, kWidth, kHeight));
        EXPECT_EQ(camera.snapShot(nullptr, 0, 1), 1);
        EXPECT_EQ(camera.getImage(image.data(), static_cast<std::int32_t>(image.size()), 1), 1);
        return image;
    }

    TempFolder folder_;
    std::unique_ptr<Camera> camera_;
};

TEST_F(CameraSaveImage, NeedsADeviceLinkAColourTypeAndAnImage) {
    const std::string file = folder_.path("image.bmp");
    Camera bare;
    EXPECT_EQ(bare.saveImage(file.c_str(), kImageFormatBmp), 0);
    EXPECT_EQ(bare.popError(), ERR_NOT_INITIALIZED);

    // Before the first frame there is no image: failure, nothing queued.
    Camera& camera = open();
    EXPECT_EQ(camera.saveImage(file.c_str(), kImageFormatBmp), 0);
    EXPECT_EQ(camera.popError(), 0);
    EXPECT_FALSE(fileExists(file));
}

TEST_F(CameraSaveImage, AStoredColourTypeOutsideTheKnownOnesSavesNothing) {
    // The stored colour type is taken as it is at start-up; setColorMode refuses
    // such a value, the saved settings cannot.
    for (std::int32_t stored : {6, -1}) {
        SCOPED_TRACE(stored);
        resetSettings();
        ASSERT_TRUE(platform::RegistryKey::createCurrentUser(platform::kSettingsKeyPath)
                        .setInt(settings::kColorValue, stored));
        Camera& camera = open();
        EXPECT_EQ(camera.getColorMode(), -1);
        const std::string file = folder_.path("image.raw");
        EXPECT_EQ(camera.saveImage(file.c_str(), kImageFormatRaw), 0);
        EXPECT_EQ(camera.popError(), ERR_NOT_INITIALIZED);
        EXPECT_FALSE(fileExists(file));
        camera_.reset();
    }
}

TEST_F(CameraSaveImage, SavesTheOutputImageOfTheColourTypeItWasCapturedIn) {
    Camera& camera = open();
    const std::string file = folder_.path("image.raw");
    for (int type = 0; type < 6; ++type) {
        SCOPED_TRACE("colour type " + std::to_string(type));
        const Bytes image = snapImage(type);
        ASSERT_EQ(camera.saveImage(file.c_str(), kImageFormatRaw), 1);
        EXPECT_EQ(readFile(file).size(), imageBytes(type, kWidth, kHeight));
        EXPECT_TRUE(readFile(file) == image);
        EXPECT_EQ(camera.saveImage(file.c_str(), 7), 0);

        // A colour mode set afterwards is for the next capture: the image saved is
        // still the one captured.
        ASSERT_EQ(camera.setColorMode(bitsPerPixelOfColorType((type + 1) % 6)), 1);
        ASSERT_EQ(camera.saveImage(file.c_str(), kImageFormatRaw), 1);
        EXPECT_TRUE(readFile(file) == image);
    }
    EXPECT_EQ(camera.popError(), 0);
}

// Every saved image holds a single frame while snapshots keep replacing it. The
// capture window is the band of the emulator's moving marker, which moves between
// frames and otherwise lies over the gray ramp, so every row of one frame equals
// the row two below it (same colour-filter phase) and a torn image does not.
TEST_F(CameraSaveImage, NeverSavesAHalfProcessedFrame) {
    attach({0});
    camera_ = std::make_unique<Camera>();
    ASSERT_EQ(camera_->initialize(0), 1);
    Camera& camera = *camera_;
    constexpr int kBandWidth = 1360;
    constexpr int kBandHeight = 32;
    ASSERT_EQ(camera.setCaptureWindowEx(1360, 0, kBandWidth, 1024, 960, kBandHeight), 1);
    ASSERT_EQ(camera.setColorMode(8), 1);
    ASSERT_EQ(camera.capture(), 1);
    ASSERT_EQ(camera.snapShot(nullptr, 0, 1), 1);

    std::atomic<bool> running{true};
    std::atomic<int> snapped{0};
    std::thread snapper([&] {
        while (running.load())
            if (camera.snapShot(nullptr, 0, 1) == 1) snapped.fetch_add(1);
    });
    int torn = 0;
    std::set<Bytes> distinct;
    const std::string file = folder_.path("frame.raw");
    const std::size_t stride = imageBytes(0, kBandWidth, 1);
    for (int i = 0; i < 80; ++i) {
        ASSERT_EQ(camera.saveImage(file.c_str(), kImageFormatRaw), 1);
        const Bytes data = readFile(file);
        ASSERT_EQ(data.size(), stride * kBandHeight);
        distinct.insert(data);
        for (int y = 0; y + 2 < kBandHeight; ++y) {
            if (std::memcmp(&data[y * stride], &data[(y + 2) * stride], stride) != 0) {
                ++torn;
                break;
            }
        }
    }
    running.store(false);
    snapper.join();
    EXPECT_EQ(torn, 0);
    EXPECT_GT(snapped.load(), 0);
    EXPECT_GT(distinct.size(), 1u) << "the saves never saw a new frame";
}

TEST(CaptureSurfaces, EachColourTypeHasItsRawAndOutputImage) {
    CaptureSurfaces surfaces;
    ASSERT_TRUE(surfaces.allocate());
    for (std::int32_t type = 0; type < 6; ++type) {
        SCOPED_TRACE(type);
        ASSERT_TRUE(surfaces.prepare(type, 20, 10));
        const Surface* output = surfaces.output(type);
        const Surface* raw = surfaces.raw(type);
        ASSERT_NE(output, nullptr);
        ASSERT_NE(raw, nullptr);
        EXPECT_EQ(output->bitsPerPixel(), kDepths[type]);
        EXPECT_EQ(output->width(), 20);
        EXPECT_EQ(output->height(), 10);
        EXPECT_EQ(raw->bitsPerPixel(), isWordTransfer(type) ? 16 : 8);
        EXPECT_EQ(raw, type == 1 || type >= 4 ? surfaces.output(1) : surfaces.output(0));
        EXPECT_EQ(isMonoDisplay(type), type <= 1);
        EXPECT_EQ(isColorDisplay(type), type >= 2);
        EXPECT_NE(isByteTransfer(type), isWordTransfer(type));
        // What the pipeline works on for the type.
        const FrameSurfaces frame = surfaces.frame(type);
        EXPECT_EQ(frame.raw, raw);
        EXPECT_EQ(frame.output, output);
    }
    for (std::int32_t type : {-1, 6}) {
        EXPECT_EQ(surfaces.output(type), nullptr);
        EXPECT_EQ(surfaces.raw(type), nullptr);
        EXPECT_FALSE(surfaces.prepare(type, 20, 10));
        EXPECT_FALSE(isMonoDisplay(type) || isColorDisplay(type) || isByteTransfer(type) || isWordTransfer(type));
    }
}

} // namespace
} // namespace orvix::test
