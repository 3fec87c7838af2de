// Camera::saveImage: the output Surface of each colour type, the errors without a
// device link or output Surface, and saving while frames are processed.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "camera/camera.h"
#include "capture/image_saving.h"
#include "imaging/surface.h"
#include "device/device_link.h"
#include "saving/saving_support.h"

namespace orvix::test {
namespace {

Bytes memoryOf(const Surface& s) { return Bytes(s.bits(), s.bits() + s.byteCount()); }

// A Camera with a device link and the eight Surfaces, as start-up leaves it.
std::unique_ptr<Camera> startedCamera() {
    auto camera = std::make_unique<Camera>();
    camera->link = std::make_unique<DeviceLink>();
    for (auto* s : {&camera->surface8, &camera->surface16, &camera->surface24, &camera->surface32, &camera->surface48,
                    &camera->surface64, &camera->workSurface, &camera->displaySurface}) {
        *s = std::make_unique<Surface>();
    }
    return camera;
}

TEST(CameraSaveImage, NeedsADeviceLinkAndAnOutputSurface) {
    TempFolder folder;
    const std::string file = folder.path("image.bmp");
    Camera bare;
    EXPECT_EQ(bare.saveImage(file.c_str(), kImageFormatBmp), 0);
    EXPECT_EQ(bare.errorQueue.pop(), ERR_NOT_INITIALIZED);

    auto camera = startedCamera();
    camera->colorType = 6;
    EXPECT_EQ(camera->saveImage(file.c_str(), kImageFormatBmp), 0);
    EXPECT_EQ(camera->errorQueue.pop(), ERR_NOT_INITIALIZED);

    // Before the first frame the output Surface is empty: failure, nothing queued.
    camera->colorType = 2;
    EXPECT_EQ(camera->saveImage(file.c_str(), kImageFormatBmp), 0);
    EXPECT_EQ(camera->errorQueue.pop(), 0);
    EXPECT_FALSE(fileExists(file));
}

TEST(CameraSaveImage, SavesTheOutputSurfaceOfTheColourType) {
    TempFolder folder;
    const std::string file = folder.path("image.raw");
    auto camera = startedCamera();
    Surface* bySize[] = {camera->surface8.get(),  camera->surface16.get(), camera->surface24.get(),
                         camera->surface32.get(), camera->surface48.get(), camera->surface64.get()};
    for (int i = 0; i < 6; ++i) fillPicture(*bySize[i], 20 + i, 10, kDepths[i]);
    for (std::int32_t type = 0; type < 6; ++type) {
        SCOPED_TRACE(type);
        camera->colorType = type;
        EXPECT_EQ(camera->outputSurface(), bySize[type]);
        EXPECT_EQ(camera->rawSurface(), type == 1 || type >= 4 ? camera->surface16.get() : camera->surface8.get());
        EXPECT_EQ(camera->isMonoDisplay(), type <= 1);
        EXPECT_EQ(camera->isColorDisplay(), type >= 2);
        EXPECT_NE(camera->isByteTransfer(), camera->isWordTransfer());
        ASSERT_EQ(camera->saveImage(file.c_str(), kImageFormatRaw), 1);
        EXPECT_TRUE(readFile(file) == memoryOf(*bySize[type]));
        EXPECT_EQ(camera->saveImage(file.c_str(), 7), 0);
    }
    camera->colorType = -1;
    EXPECT_EQ(camera->outputSurface(), nullptr);
    EXPECT_EQ(camera->rawSurface(), nullptr);
    EXPECT_FALSE(camera->isMonoDisplay() || camera->isColorDisplay() || camera->isByteTransfer() ||
                 camera->isWordTransfer());
}

// A stand-in capture thread rewrites the whole output image under surfaceMutex, one
// value per frame; every saved image holds a single frame.
TEST(CameraSaveImage, NeverSavesAHalfProcessedFrame) {
    TempFolder folder;
    auto camera = startedCamera();
    camera->colorType = 4;
    Surface& output = *camera->surface48;
    ASSERT_TRUE(output.create(400, 300, 48));
    std::atomic<bool> running{true};
    std::thread capture([&] {
        for (std::uint8_t frame = 1; running; ++frame) {
            const std::lock_guard<std::mutex> lock(camera->surfaceMutex);
            std::memset(output.bits(), frame, output.byteCount());
        }
    });
    int torn = 0;
    const std::string file = folder.path("frame.raw");
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(camera->saveImage(file.c_str(), kImageFormatRaw), 1);
        const Bytes data = readFile(file);
        for (std::uint8_t b : data) {
            if (b != data.front()) {
                ++torn;
                break;
            }
        }
    }
    running = false;
    capture.join();
    EXPECT_EQ(torn, 0);
}

} // namespace
} // namespace orvix::test
