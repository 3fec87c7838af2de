// Preview windows of every size and place an application can ask for through
// Orvix_SetPreviewWindow: far larger than the screen (40000 x 40000 in the 8- and
// 16-bit modes, whose display images are the window's size), at the ends of the int
// range, empty and negative. X11 carries 16-bit positions and sizes, so there the
// window is made at the box clamped to that range; on Windows positions and edges
// stay within the 27-bit coordinate space of its graphics layer.
// In every case the preview starts, frames keep coming, the part of the window that
// can be seen is painted, and the window goes again with Orvix_Close.

#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "OrvixSdk_K62DT4.h"
#include "preview/window_probe.h"
#include "support/test_environment.h"

namespace orvix::test {
namespace {

using namespace std::chrono_literals;

const bool kEmulationSet = (setEnvironment("ORVIX_K62DT4_EMULATE", "0;rate=0"), true);

struct Box {
    int x, y, width, height;
};

#ifdef _WIN32
constexpr bool kClampsTo16Bits = false;
#else
constexpr bool kClampsTo16Bits = true;
#endif

ORVIX_WINDOW asWindow(platform::WindowHandle w) {
#ifdef _WIN32
    return reinterpret_cast<ORVIX_WINDOW>(w);
#else
    return static_cast<ORVIX_WINDOW>(w);
#endif
}

int clampTo(int v, int low, int high) { return v < low ? low : v > high ? high : v; }

// The box the window system makes the window at.
Box expectedBox(const Box& asked) {
    if (!kClampsTo16Bits) {
        constexpr int kLimit = (1 << 27) - 1;
        const int x = clampTo(asked.x, -kLimit, kLimit);
        const int y = clampTo(asked.y, -kLimit, kLimit);
        return {x, y, clampTo(asked.width, 0, kLimit - x), clampTo(asked.height, 0, kLimit - y)};
    }
    return {clampTo(asked.x, -32768, 32767), clampTo(asked.y, -32768, 32767), clampTo(asked.width, 1, 32767),
            clampTo(asked.height, 1, 32767)};
}

class PreviewWindowLimitsTest : public ::testing::Test {
protected:
    static constexpr int kParentWidth = 320;
    static constexpr int kParentHeight = 240;

    void SetUp() override {
        ASSERT_TRUE(probe.ok()) << "needs a display (run under xvfb-run)";
        parent = probe.createAppWindow(kParentWidth, kParentHeight);
        handle = Orvix_Initialize(0);
        ASSERT_NE(handle, nullptr);
        image.resize(1360 * 1024 * 8);
    }
    void TearDown() override {
        if (handle) {
            EXPECT_EQ(Orvix_Release(handle), 1);
        }
        probe.destroyWindow(parent);
    }

    // Starts the preview in a child of `parent` at `box` and waits for `frames`
    // frames.
    void previewAt(const Box& box, int frames = 2) {
        ASSERT_EQ(Orvix_SetPreviewWindow(handle, asWindow(parent), box.x, box.y, box.width, box.height), 1);
        ASSERT_EQ(Orvix_Preview(handle), 1);
        waitForFrames(frames);
    }

    // Frames are told apart by the moving marker of the emulated scene. (The image
    // reads as all zero until the first frame arrives.)
    void waitForFrames(int frames) {
        std::vector<unsigned char> previous(image.size(), 0);
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        for (int seen = 0; seen < frames;) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "frames stopped after " << seen;
            probe.settle(); // Windows: the window belongs to this thread
            if (Orvix_GetImage(handle, image.data(), static_cast<int>(image.size()), 1) == 1 &&
                std::memcmp(previous.data(), image.data(), image.size()) != 0) {
                previous = image;
                ++seen;
            }
            std::this_thread::sleep_for(5ms);
        }
    }

    void expectWindowAt(const Box& box) {
        const platform::WindowHandle child = probe.firstChild(parent);
        ASSERT_NE(child, 0u) << "no preview window in the parent";
        int x = 0, y = 0, width = 0, height = 0;
        ASSERT_TRUE(probe.geometry(child, x, y, width, height));
        const Box want = expectedBox(box);
        EXPECT_EQ(x, want.x);
        EXPECT_EQ(y, want.y);
        EXPECT_EQ(width, want.width);
        EXPECT_EQ(height, want.height);
    }

    // Some pixel of the parent's client area shows something other than the
    // window's black background: a frame was painted where it can be seen. A frame
    // is painted after it is processed, and a window of 32767 x 32767 pixels takes
    // its time, so this waits a while.
    bool parentShowsAFrame() {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        do {
            for (const Rgb& p : probe.readClient(parent, kParentWidth, kParentHeight))
                if (p != Rgb{0, 0, 0} && p != Rgb{255, 255, 255}) return true;
            std::this_thread::sleep_for(20ms);
        } while (std::chrono::steady_clock::now() < deadline);
        return false;
    }

    WindowProbe probe;
    platform::WindowHandle parent = 0;
    ORVIX_HANDLE handle = nullptr;
    std::vector<unsigned char> image;
};

class FarLargerThanTheScreen : public PreviewWindowLimitsTest, public ::testing::WithParamInterface<int> {};

TEST_P(FarLargerThanTheScreen, TheWindowIsMadeAndPaintedWhereItCanBeSeen) {
#if defined(__SANITIZE_THREAD__)
    // A gray frame is stretched to the whole window, a gigabyte of single-threaded
    // work that takes ThreadSanitizer about a minute a frame; the other builds paint it.
    if (GetParam() <= 16) GTEST_SKIP() << "the gigabyte stretch runs in the builds without ThreadSanitizer";
#endif
    ASSERT_EQ(Orvix_SetColorMode(handle, GetParam()), 1);
    const Box box{0, 0, 40000, 40000};
    // Each frame is stretched to the window's size (a gigabyte in 8 bits): one
    // painted is enough.
    previewAt(box, 1);
    expectWindowAt(box);
    // 24 and more bits: a display image of the window's size would need more than a
    // Surface takes, so nothing is painted, but frames go on.
    if (kClampsTo16Bits && GetParam() <= 16) {
        EXPECT_TRUE(parentShowsAFrame());
    }
    EXPECT_EQ(Orvix_Close(handle), 1);
    EXPECT_EQ(probe.firstChild(parent), 0u);
}

INSTANTIATE_TEST_SUITE_P(ColourModes, FarLargerThanTheScreen, ::testing::Values(8, 16, 24),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "bit"; });

TEST_F(PreviewWindowLimitsTest, AWindowLargerThanTheScreenMostlyAboveAndLeftIsPaintedInTheVisiblePart) {
    for (int bits : {8, 24}) {
        SCOPED_TRACE(std::to_string(bits) + " bits");
        ASSERT_EQ(Orvix_SetColorMode(handle, bits), 1);
        const Box box{-3000, -2000, 3320, 2240};
        previewAt(box);
        expectWindowAt(box);
        EXPECT_TRUE(parentShowsAFrame());
        EXPECT_EQ(Orvix_Close(handle), 1);
    }
}

TEST_F(PreviewWindowLimitsTest, PositionsAndSizesAtTheEndsOfTheIntRange) {
    ASSERT_EQ(Orvix_SetColorMode(handle, 24), 1);
    for (const Box box : {Box{INT_MIN, INT_MAX, 64, 48}, Box{INT_MAX, INT_MIN, 64, 48}, Box{0, 0, INT_MAX, 64},
                          Box{0, 0, 64, INT_MAX}, Box{5, 5, 0, 0}, Box{5, 5, -5, INT_MIN}}) {
        SCOPED_TRACE(std::to_string(box.x) + ", " + std::to_string(box.y) + ", " + std::to_string(box.width) +
                     " x " + std::to_string(box.height));
        previewAt(box);
        expectWindowAt(box);
        EXPECT_EQ(Orvix_Close(handle), 1);
    }
}

} // namespace
} // namespace orvix::test
