// The capture thread against the emulated camera, with a window of the test's own
// receiving the posted messages: callback preview (frame messages, frame rate, a too
// small buffer), trigger mode (one frame per trigger, the time-out), unplugging during
// preview, and prompt stops.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "camera/camera.h"
#include "imaging/surface.h"
#include "device/emulated_cameras.h"
#include "message_window.h"
#include "platform/preview_window.h"
#include "preview/window_probe.h"
#include "support/test_environment.h"

namespace orvix::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kFrameBytes = kWidth * 3 * kHeight; // 24 bits, rows need no padding

// A stop that waits for no time-out. Under Wine, destroying a top-level window takes
// its X11 driver about 2 s by itself.
#if defined(_WIN32)
constexpr long long kPromptMs = 3000;
#else
constexpr long long kPromptMs = 1000;
#endif

long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool isFrame(const Message& m) { return m.message == ORVIX_WM_FRAME && m.lParam == 0; }
std::size_t frames(const std::vector<Message>& received) {
    return static_cast<std::size_t>(std::count_if(received.begin(), received.end(), isFrame));
}
bool has(const std::vector<Message>& received, std::uint32_t message, std::intptr_t lParam) {
    return std::any_of(received.begin(), received.end(),
                       [&](const Message& m) { return m.message == message && m.wParam == 0 && m.lParam == lParam; });
}

class CaptureThread : public EmulatedCameras {
protected:
    void SetUp() override {
        resetSettings();
        ASSERT_TRUE(window_.ok()) << "needs a window system (run under xvfb-run)";
    }
    void TearDown() override {
        camera_.reset();
        resetSettings();
        EmulatedCameras::TearDown();
    }

    // A 24-bit camera with a 640 x 480 capture window, notifying the test's window.
    Camera& open(int frameRate = 15) {
        attach({0}, frameRate);
        camera_ = std::make_unique<Camera>();
        EXPECT_EQ(camera_->initialize(window_.handle()), 1);
        EXPECT_EQ(camera_->setColorMode(24), 1);
        EXPECT_EQ(camera_->setCaptureWindowEx(1360, 0, kWidth, 1024, 0, kHeight), 1);
        return *camera_;
    }

    std::vector<int> drain() {
        std::vector<int> codes;
        for (int code = camera_->popError(); code != 0; code = camera_->popError()) codes.push_back(code);
        return codes;
    }

    MessageWindow window_;
    std::unique_ptr<Camera> camera_;
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(kFrameBytes);
};

TEST_F(CaptureThread, CallbackPreviewPostsEveryFrameWithItsDescriptionAndRate) {
    Camera& camera = open();
    ASSERT_EQ(camera.callBackPreview(window_.handle(), buffer_.data(), kFrameBytes, 1), 1);
    EXPECT_EQ(camera.callBackPreview(window_.handle(), buffer_.data(), kFrameBytes, 1), 0) << "one window only";
    EXPECT_EQ(camera.preview(), 0);

    // A centred top-level window with the image's client size.
    std::int32_t w = 0, h = 0;
    EXPECT_TRUE(platform::clientSize(camera.previewWindow(), w, h));
    EXPECT_EQ(w, kWidth);
    EXPECT_EQ(h, kHeight);

    const auto received = window_.collect([](const std::vector<Message>& r) { return frames(r) >= 40; }, 6000);
    ASSERT_GE(frames(received), 25u);
    FrameInfo last{};
    std::uintptr_t address = 0;
    for (const Message& m : received) {
        if (!isFrame(m)) continue;
        // Every frame message carries the address of the same frame description.
        if (address == 0) address = m.wParam;
        ASSERT_NE(m.wParam, 0u);
        ASSERT_EQ(m.wParam, address);
        last = readFrameInfo(reinterpret_cast<const FrameInfo*>(m.wParam));
        EXPECT_EQ(last.size, 24);
        EXPECT_EQ(last.width, kWidth);
        EXPECT_EQ(last.height, kHeight);
        EXPECT_EQ(last.bitsPerPixel, 24);
        EXPECT_EQ(last.reserved, 0);
    }
    // 15 frames per second, in tenths; the loop waits 10 ms before each poll.
    EXPECT_GE(last.frameRate, 100);
    EXPECT_LE(last.frameRate, 160);

    const auto start = Clock::now();
    EXPECT_EQ(camera.stopPreview(), 1);
    EXPECT_LT(msSince(start), 1000);
    EXPECT_NE(camera.previewWindow(), 0u) << "stopping leaves the window";
    EXPECT_EQ(camera.close(), 1);
    EXPECT_EQ(camera.previewWindow(), 0u);
    EXPECT_EQ(drain(), std::vector<int>{});
}

TEST_F(CaptureThread, TheWindowShowsTheLastFrameCopiedToTheBuffer) {
    WindowProbe probe;
    ASSERT_TRUE(probe.ok());
    Camera& camera = open();
    // Bars above the gray ramp and the moving marker: the picture is not symmetric.
    ASSERT_EQ(camera.setCaptureWindowEx(1360, 0, kWidth, 1024, 544, kHeight), 1);
    ASSERT_EQ(camera.callBackPreview(window_.handle(), buffer_.data(), kFrameBytes, 1), 1);
    ASSERT_GE(frames(window_.collect([](const std::vector<Message>& r) { return frames(r) >= 3; }, 3000)), 3u);
    ASSERT_EQ(camera.stopPreview(), 1); // the last pass painted, then copied the same frame
    (void)window_.collect([](const std::vector<Message>&) { return false; }, 50);

    const std::vector<Rgb> shown = probe.readClient(camera.previewWindow(), kWidth, kHeight);
    ASSERT_EQ(shown.size(), std::size_t(kWidth) * kHeight);
    int mismatches = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const std::uint8_t* bgr = buffer_.data() + (y * kWidth + x) * 3;
            const Rgb expected{bgr[2], bgr[1], bgr[0]};
            if (shown[std::size_t(y) * kWidth + x] != expected && ++mismatches <= 3)
                ADD_FAILURE() << x << "," << y << ": " << describe(shown[std::size_t(y) * kWidth + x]) << " vs "
                              << describe(expected);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(CaptureThread, ABufferOneByteShortReportsEveryFrameAndPostsNoFrameMessage) {
    Camera& camera = open();
    ASSERT_EQ(camera.callBackPreview(window_.handle(), buffer_.data(), kFrameBytes - 1, 1), 1);
    const auto received = window_.collect(
        [](const std::vector<Message>& r) {
            return std::count_if(r.begin(), r.end(), [](const Message& m) { return m.message == ORVIX_WM_FRAME; }) >= 3;
        },
        4000);
    camera.stopPreview();
    EXPECT_EQ(frames(received), 0u);
    EXPECT_TRUE(has(received, ORVIX_WM_FRAME, ERR_MEMORY));
    EXPECT_TRUE(has(received, ErrorQueue::kErrorMessage, ERR_MEMORY));
    const auto codes = drain();
    ASSERT_FALSE(codes.empty());
    EXPECT_TRUE(std::all_of(codes.begin(), codes.end(), [](int c) { return c == ERR_MEMORY; }));
}

TEST_F(CaptureThread, TriggerModeDeliversOneFramePerTriggerAndKeepsArmingAfterATimeOut) {
    Camera& camera = open();
    ASSERT_EQ(camera.trigger(window_.handle(), buffer_.data(), kFrameBytes, 0), 1);
    EXPECT_EQ(camera.trigger(window_.handle(), buffer_.data(), kFrameBytes, 0), 0) << "trigger mode runs already";
    EXPECT_EQ(camera.snapShot(nullptr, 0, 1), 0);

    std::vector<Message> received;
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // armed again
        ASSERT_TRUE(emulator().fireTrigger(0));
        const auto more =
            window_.collect([](const std::vector<Message>& r) { return frames(r) >= 1; }, 2000);
        received.insert(received.end(), more.begin(), more.end());
    }
    // Nothing follows without a trigger.
    const auto quiet = window_.collect([](const std::vector<Message>& r) { return !r.empty(); }, 400);
    EXPECT_EQ(frames(received), 3u);
    EXPECT_TRUE(quiet.empty());
    for (const Message& m : received)
        if (isFrame(m)) {
            EXPECT_EQ(readFrameInfo(reinterpret_cast<const FrameInfo*>(m.wParam)).frameRate, 0);
        }

    // The 3 s trigger wait ends: the state reads idle, the thread keeps arming.
    const auto start = Clock::now();
    while (camera.captureState() != kCaptureIdle && msSince(start) < 5000)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(camera.captureState(), kCaptureIdle);
    EXPECT_EQ(camera.startPreview(), 0) << "the trigger thread still runs";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(emulator().fireTrigger(0));
    EXPECT_EQ(frames(window_.collect([](const std::vector<Message>& r) { return frames(r) >= 1; }, 2000)), 1u);

    EXPECT_EQ(camera.stopPreview(), 1);
    EXPECT_EQ(camera.close(), 1);
    EXPECT_EQ(drain(), std::vector<int>{});
}

TEST_F(CaptureThread, UnplugDuringPreviewEndsTheThreadAndStopsPromptly) {
    Camera& camera = open();
    ASSERT_EQ(camera.callBackPreview(window_.handle(), buffer_.data(), kFrameBytes, 1), 1);
    ASSERT_GE(frames(window_.collect([](const std::vector<Message>& r) { return frames(r) >= 2; }, 3000)), 2u);

    ASSERT_TRUE(emulator().unplug(0));
    const auto received = window_.collect(
        [](const std::vector<Message>& r) { return has(r, ORVIX_WM_FRAME, ERR_TRANSFER_STOPPED); }, 3000);
    EXPECT_TRUE(has(received, ORVIX_WM_FRAME, ERR_TRANSFER_STOPPED));
    const auto ended = Clock::now();
    while (camera.captureThreadRunning() && msSince(ended) < 1000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(camera.captureThreadRunning()) << "the preview thread ends by itself";
    EXPECT_EQ(drain(), std::vector<int>{ERR_TRANSFER_STOPPED});

    auto start = Clock::now();
    EXPECT_EQ(camera.stopPreview(), 0); // the transfer ended with an error
    EXPECT_EQ(drain(), std::vector<int>{ERR_DEVICE_IO});
    EXPECT_LT(msSince(start), 1000);
    EXPECT_EQ(camera.captureState(), kCaptureIdle);

    start = Clock::now();
    camera_.reset();
    EXPECT_LT(msSince(start), kPromptMs);
}

TEST_F(CaptureThread, ReleaseDuringPreviewAndTriggerModeEndsEverything) {
    Camera& camera = open(0);
    ASSERT_EQ(camera.callBackPreview(window_.handle(), buffer_.data(), kFrameBytes, 1), 1);
    ASSERT_GE(frames(window_.collect([](const std::vector<Message>& r) { return frames(r) >= 2; }, 3000)), 2u);
    auto start = Clock::now();
    camera_.reset();
    EXPECT_LT(msSince(start), kPromptMs);

    Camera& again = open(15);
    ASSERT_EQ(again.trigger(window_.handle(), buffer_.data(), kFrameBytes, 1), 1);
    start = Clock::now();
    camera_.reset(); // waits for the trigger at most its 3 s time-out
    EXPECT_LT(msSince(start), 3000 + kPromptMs);
}

TEST_F(CaptureThread, StartPreviewWithoutWindowFeedsGetImage) {
    Camera& camera = open(0);
    ASSERT_EQ(camera.startPreview(), 1);
    std::vector<std::uint8_t> first(kFrameBytes), later(kFrameBytes);
    int copied = 0;
    for (int i = 0; i < 300 && !copied; ++i) {
        copied = camera.getImage(first.data(), kFrameBytes, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(copied, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(camera.getImage(later.data(), kFrameBytes, 1), 1);
    EXPECT_EQ(camera.stopPreview(), 1);
    EXPECT_EQ(camera.previewWindow(), 0u);
}

} // namespace
} // namespace orvix::test
