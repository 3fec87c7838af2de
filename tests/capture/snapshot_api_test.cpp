// Single frames through the exported functions: the output geometry of every colour
// mode and sub-sample mode, the raw window content against the emulated camera's
// scene, row order, buffer sizes, and the capture states around snapshots.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>
#include <chrono>
#include <thread>
#include <vector>

#include "OrvixSdk_K62DT4.h"
#include "camera/api_camera.h"
#include "emulator/scene.h"
#include "support/test_environment.h"

namespace orvix::test {
namespace {

const bool kEmulationSet = (setEnvironment("ORVIX_K62DT4_EMULATE", "0;rate=0"), true);

constexpr int kExposure = 100;
constexpr int kGain = 40;

int strideOf(int width, int bits) { return (width * bits / 8 + 3) & ~3; }

class SnapshotApi : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kEmulationSet);
        resetSettings();
        camera_ = std::make_unique<ApiCamera>();
        ASSERT_EQ(Orvix_SetExposureTime(cam(), kExposure), 1);
        ASSERT_EQ(Orvix_SetGlobalGain(cam(), kGain), 1);
        (void)camera_->errors();
    }
    void TearDown() override {
        camera_.reset();
        resetSettings();
    }
    ORVIX_HANDLE cam() const { return camera_->get(); }
    Codes errors() const { return camera_->errors(); }

    // Level the emulated camera gives the sensor pixel (x, y), 10 bits.
    static int level(int x, int y) {
        return emulator::sampleLevel(emulator::sceneReflectance(emulator::Scene::Chart, x, y), kExposure, kGain);
    }

    std::unique_ptr<ApiCamera> camera_;
};

TEST_F(SnapshotApi, EveryColourModeFillsExactlyStrideTimesHeightAndRefusesOneByteLess) {
    const int modes[] = {8, 16, 24, 32, 48, 64};
    for (int bits : modes) {
        SCOPED_TRACE(bits);
        ASSERT_EQ(Orvix_SetColorMode(cam(), bits), 1);
        // A width whose rows need padding in every mode.
        ASSERT_EQ(Orvix_SetCaptureWindowEx(cam(), 1360, 3, 1001, 1024, 5, 301), 1);
        const int size = strideOf(1001, bits) * 301;
        std::vector<std::uint8_t> buffer(size + 16, 0xA5);
        EXPECT_EQ(Orvix_SnapShot(cam(), buffer.data(), size, 1), 1);
        EXPECT_EQ(errors(), Codes{});
        EXPECT_EQ(buffer[size], 0xA5) << "wrote past stride x height";

        EXPECT_EQ(Orvix_SnapShot(cam(), buffer.data(), size - 1, 1), 0);
        EXPECT_EQ(errors(), Codes{ERR_MEMORY});
        EXPECT_EQ(Orvix_GetImage(cam(), buffer.data(), size - 1, 1), 0);
        EXPECT_EQ(errors(), Codes{ERR_MEMORY});
        EXPECT_EQ(Orvix_GetImage(cam(), buffer.data(), size, 1), 1);
    }
}

TEST_F(SnapshotApi, ColourSnapshotShowsTheChartBarsInTheirColours) {
    // The upper part of the chart: eight bars, each a mix of full and no red, green
    // and blue (gray, yellow, cyan, green, magenta, red, blue, black).
    struct Bar {
        bool red, green, blue;
    };
    const Bar bars[] = {{true, true, true},  {true, true, false}, {false, true, true}, {false, true, false},
                        {true, false, true}, {true, false, false}, {false, false, true}, {false, false, false}};
    ASSERT_EQ(Orvix_SetColorMode(cam(), 24), 1);
    const int stride = strideOf(1360, 24);
    std::vector<std::uint8_t> image(static_cast<std::size_t>(stride) * 1024);
    ASSERT_EQ(Orvix_SnapShot(cam(), image.data(), static_cast<int>(image.size()), 1), 1);
    const int barWidth = 1360 / 8;
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const std::uint8_t* pixel = &image[static_cast<std::size_t>(300) * stride + (i * barWidth + barWidth / 2) * 3];
        const int blue = pixel[0], green = pixel[1], red = pixel[2];
        int lowest = 255, highest = 0;
        for (const auto& [value, lit] : {std::pair{red, bars[i].red}, {green, bars[i].green}, {blue, bars[i].blue}}) {
            if (lit) lowest = std::min(lowest, value);
            else highest = std::max(highest, value);
        }
        if (bars[i].red || bars[i].green || bars[i].blue) EXPECT_GT(lowest, 2 * highest + 20);
        else EXPECT_LT(highest, 40);
    }
}

TEST_F(SnapshotApi, ChartBarsKeepTheirColoursAtEveryWindowOffsetColourModeAndSubSample) {
    // The window may start at any column and line: the Bayer sites follow its first
    // sample, so an odd start neither swaps red and blue nor turns red into green.
    struct Bar {
        bool red, green, blue;
    };
    const Bar bars[] = {{true, true, true},  {true, true, false}, {false, true, true}, {false, true, false},
                        {true, false, true}, {true, false, false}, {false, false, true}, {false, false, false}};
    const int width = 1352, height = 512;
    for (int bits : {24, 32, 48, 64})
        for (int subSample : {0, 1, 2})
            for (const auto& [x0, y0] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}}) {
                SCOPED_TRACE(testing::Message() << bits << " bits, sub-sample " << subSample << ", window at (" << x0
                                                << ", " << y0 << ")");
                ASSERT_EQ(Orvix_SetColorMode(cam(), bits), 1);
                ASSERT_EQ(Orvix_SetSubSample(cam(), subSample), 1);
                ASSERT_EQ(Orvix_SetCaptureWindowEx(cam(), 1360, x0, width, 1024, y0, height), 1);
                const int divisor = 1 << subSample;
                const int w = width / divisor, h = height / divisor;
                const int stride = strideOf(w, bits);
                std::vector<std::uint8_t> image(static_cast<std::size_t>(stride) * h);
                ASSERT_EQ(Orvix_SnapShot(cam(), image.data(), static_cast<int>(image.size()), 1), 1);
                const int bytesPerPixel = bits / 8;
                const bool words = bits >= 48;
                const auto channel = [&](const std::uint8_t* pixel, int c) {
                    return words ? (pixel[2 * c] | pixel[2 * c + 1] << 8) >> 2 : pixel[c];
                };
                for (int i = 0; i < 8; ++i) {
                    SCOPED_TRACE(i);
                    const int x = (i * 170 + 85 - x0) / divisor;
                    const std::uint8_t* pixel =
                        &image[static_cast<std::size_t>(300 / divisor) * stride + std::size_t(x) * bytesPerPixel];
                    const int blue = channel(pixel, 0), green = channel(pixel, 1), red = channel(pixel, 2);
                    int lowest = 255, highest = 0;
                    for (const auto& [value, lit] :
                         {std::pair{red, bars[i].red}, {green, bars[i].green}, {blue, bars[i].blue}}) {
                        if (lit) lowest = std::min(lowest, value);
                        else highest = std::max(highest, value);
                    }
                    if (bars[i].red || bars[i].green || bars[i].blue) EXPECT_GT(lowest, 2 * highest + 20);
                    else EXPECT_LT(highest, 40);
                }
            }
    EXPECT_EQ(errors(), Codes{});
}

TEST_F(SnapshotApi, SubSampledModesShrinkEachDimension) {
    ASSERT_EQ(Orvix_SetColorMode(cam(), 24), 1);
    const struct {
        int mode, width, height;
    } cases[] = {{1, 680, 512}, {2, 340, 256}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_EQ(Orvix_SetSubSample(cam(), c.mode), 1);
        const int size = strideOf(c.width, 24) * c.height;
        std::vector<std::uint8_t> buffer(size);
        EXPECT_EQ(Orvix_SnapShot(cam(), buffer.data(), size, 1), 1);
        EXPECT_EQ(Orvix_SnapShot(cam(), buffer.data(), size - 1, 1), 0);
        EXPECT_EQ(errors(), Codes{ERR_MEMORY});
    }
}

TEST_F(SnapshotApi, MonoModesDeliverTheSceneOfTheCaptureWindowTopRowFirst) {
    const int x0 = 101, y0 = 37, width = 1001, height = 120; // stride 1004: rows are respread
    ASSERT_EQ(Orvix_SetCaptureWindowEx(cam(), 1360, x0, width, 1024, y0, height), 1);
    for (int bits : {8, 16}) {
        SCOPED_TRACE(bits);
        ASSERT_EQ(Orvix_SetColorMode(cam(), bits), 1);
        const int stride = strideOf(width, bits);
        std::vector<std::uint8_t> image(stride * height);
        ASSERT_EQ(Orvix_SnapShot(cam(), image.data(), static_cast<int>(image.size()), 1), 1);
        int mismatches = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const int expected = bits == 8 ? level(x0 + x, y0 + y) >> 2 : level(x0 + x, y0 + y);
                const std::uint8_t* p = image.data() + y * stride + x * (bits / 8);
                const int got = bits == 8 ? p[0] : p[0] | p[1] << 8;
                if (got != expected && ++mismatches < 5) ADD_FAILURE() << x << "," << y << ": " << got << " vs " << expected;
            }
        }
        EXPECT_EQ(mismatches, 0);

        // Bottom-up order: the buffer's first row is the picture's last.
        std::vector<std::uint8_t> bottomUp(image.size());
        ASSERT_EQ(Orvix_GetImage(cam(), bottomUp.data(), static_cast<int>(bottomUp.size()), 0), 1);
        for (int y = 0; y < height; ++y)
            ASSERT_EQ(std::memcmp(bottomUp.data() + y * stride, image.data() + (height - 1 - y) * stride, stride), 0)
                << y;
    }
}

TEST_F(SnapshotApi, HalfSizeKeepsWholeColourQuads) {
    ASSERT_EQ(Orvix_SetColorMode(cam(), 8), 1);
    ASSERT_EQ(Orvix_SetSubSample(cam(), 1), 1);
    const int width = 680, height = 512, stride = strideOf(width, 8);
    std::vector<std::uint8_t> image(stride * height);
    ASSERT_EQ(Orvix_SnapShot(cam(), image.data(), static_cast<int>(image.size()), 1), 1);
    const auto source = [](int i) { return i / 2 * 4 + i % 2; };
    for (int y : {0, 1, 2, 3, 200, 301}) // clear of the moving marker's lines
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(image[y * stride + x], level(source(x), source(y)) >> 2) << x << "," << y;
}

TEST_F(SnapshotApi, CaptureStateServesRepeatedSnapshotsOfChangingFrames) {
    ASSERT_EQ(Orvix_SetColorMode(cam(), 8), 1);
    const int size = 1360 * 1024;
    EXPECT_EQ(Orvix_Capture(cam()), 1);
    EXPECT_EQ(Orvix_Capture(cam()), 1);
    EXPECT_EQ(Orvix_StartPreview(cam()), 0); // capture state refuses preview
    std::vector<std::uint8_t> first(size), second(size);
    ASSERT_EQ(Orvix_SnapShot(cam(), first.data(), size, 1), 1);
    ASSERT_EQ(Orvix_SnapShot(cam(), nullptr, 0, 1), 1); // kept only for GetImage
    ASSERT_EQ(Orvix_SnapShot(cam(), second.data(), size, 1), 1);
    EXPECT_NE(first, second) << "the marker moves from frame to frame";
    EXPECT_EQ(std::memcmp(first.data(), second.data(), 900 * 1360), 0) << "the scene above the marker stays";
    EXPECT_EQ(Orvix_StopPreview(cam()), 1);
    EXPECT_EQ(errors(), Codes{});
}

TEST_F(SnapshotApi, StatesRefuseSilentlyAndImageCopiesNeedAnImage) {
    std::vector<std::uint8_t> buffer(1360 * 1024 * 3);
    const int size = static_cast<int>(buffer.size());
    EXPECT_EQ(Orvix_GetImage(cam(), buffer.data(), size, 1), 0);
    EXPECT_EQ(errors(), Codes{ERR_MEMORY});

    ASSERT_EQ(Orvix_StartPreview(cam()), 1);
    EXPECT_EQ(Orvix_StartPreview(cam()), 1);
    EXPECT_EQ(Orvix_SnapShot(cam(), buffer.data(), size, 1), 0);
    EXPECT_EQ(Orvix_Capture(cam()), 0);
    EXPECT_EQ(Orvix_Trigger(cam(), 0, buffer.data(), size, 1), 0);
    EXPECT_EQ(errors(), Codes{});
    int copied = 0;
    for (int i = 0; i < 300 && !copied; ++i) {
        copied = Orvix_GetImage(cam(), buffer.data(), size, 1);
        if (!copied) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(copied, 1) << "a frame arrives while previewing";
    (void)errors(); // ERR_MEMORY until the first frame is processed
    EXPECT_EQ(Orvix_StopPreview(cam()), 1);
    EXPECT_EQ(Orvix_Close(cam()), 1);
    EXPECT_EQ(Orvix_SnapShot(cam(), buffer.data(), size, 1), 1);
}

TEST_F(SnapshotApi, NegativeAndAbsurdSizesAreTooSmallBuffers) {
    ASSERT_EQ(Orvix_SetColorMode(cam(), 8), 1);
    std::uint8_t small[16] = {};
    for (int size : {-1, INT_MIN, 16}) {
        EXPECT_EQ(Orvix_SnapShot(cam(), small, size, 1), 0);
        EXPECT_EQ(errors(), Codes{ERR_MEMORY});
        EXPECT_EQ(Orvix_GetImage(cam(), small, size, 0), 0);
        EXPECT_EQ(errors(), Codes{ERR_MEMORY});
    }
}

TEST_F(SnapshotApi, InvalidGeometryAndUnknownHandles) {
    ASSERT_EQ(Orvix_SetSubSample(cam(), 2), 1);
    EXPECT_EQ(Orvix_SetCaptureWindowEx(cam(), 1360, 1000, 400, 1024, 0, 100), 0); // 1400 > 1360
    (void)errors();
    EXPECT_EQ(Orvix_SnapShot(cam(), nullptr, 0, 1), 0);
    EXPECT_EQ(errors(), Codes{ERR_GEOMETRY});
    EXPECT_EQ(Orvix_StartPreview(cam()), 0);
    EXPECT_EQ(errors(), Codes{ERR_GEOMETRY});

    const ORVIX_HANDLE unknown = reinterpret_cast<ORVIX_HANDLE>(static_cast<std::uintptr_t>(0x7FFF1234u));
    EXPECT_EQ(Orvix_Close(unknown), 0);
    EXPECT_EQ(Orvix_SnapShot(unknown, nullptr, 0, 1), 0);
    EXPECT_EQ(Orvix_StopPreview(unknown), 0);
}

} // namespace
} // namespace orvix::test
