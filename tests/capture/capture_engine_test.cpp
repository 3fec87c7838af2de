// The capture engine through the exported functions, with the emulated camera and a
// window of the test's own: a capture keeps the configuration it started with while
// the settings change under it, the delivery target belongs to the session that set
// it, images are there only once a frame has been processed, and every stop returns
// within its bound, from a frame handler, another thread or a release.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>
#include <vector>

#include "OrvixSdk_K62DT4.h"
#include "camera/api_camera.h"
#include "device/emulated_cameras.h"
#include "message_window.h"
#include "platform/registry.h"
#include "support/test_environment.h"

namespace orvix::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kBytes24 = kWidth * 3 * kHeight;

// A stop that waits for no time-out: well below the 3 s trigger time-out, with room
// for a frame in progress under the sanitizers on a loaded machine. Under Wine,
// destroying a top-level window takes its X11 driver about 2 s by itself.
#if defined(_WIN32)
constexpr long long kPromptMs = 3000;
#else
constexpr long long kPromptMs = 2500;
#endif

long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

ORVIX_WINDOW toWindow(platform::WindowHandle handle) {
#if defined(_WIN32)
    return reinterpret_cast<ORVIX_WINDOW>(handle);
#else
    return static_cast<ORVIX_WINDOW>(handle);
#endif
}

bool isFrame(const Message& m) { return m.message == ORVIX_WM_FRAME && m.lParam == 0; }
std::vector<FrameInfo> frameInfos(const std::vector<Message>& received) {
    std::vector<FrameInfo> infos;
    for (const Message& m : received)
        if (isFrame(m)) infos.push_back(readFrameInfo(reinterpret_cast<const FrameInfo*>(m.wParam)));
    return infos;
}
std::size_t frameCount(const std::vector<Message>& received) {
    return static_cast<std::size_t>(std::count_if(received.begin(), received.end(), isFrame));
}

// How a test starts capture.
enum class Mode { Preview, CallbackPreview, Trigger, CaptureState };

const char* nameOf(Mode mode) {
    switch (mode) {
    case Mode::Preview: return "preview";
    case Mode::CallbackPreview: return "callback preview";
    case Mode::Trigger: return "trigger";
    case Mode::CaptureState: return "capture state";
    }
    return "";
}

class CaptureEngineApi : public EmulatedCameras {
protected:
    void SetUp() override {
        resetSettings();
        attach({0, 3}, 15);
        ASSERT_TRUE(window_.ok()) << "needs a window system (run under xvfb-run)";
        camera_ = std::make_unique<ApiCamera>();
        ASSERT_EQ(Orvix_SetColorMode(cam(), 24), 1);
        ASSERT_EQ(Orvix_SetCaptureWindowEx(cam(), 1360, 0, kWidth, 1024, 0, kHeight), 1);
        (void)camera_->errors();
    }
    void TearDown() override {
        camera_.reset();
        resetSettings();
        EmulatedCameras::TearDown();
    }

    ORVIX_HANDLE cam() const { return camera_->get(); }

    int start(Mode mode, std::vector<std::uint8_t>& buffer) {
        const int size = static_cast<int>(buffer.size());
        switch (mode) {
        case Mode::Preview: return Orvix_StartPreview(cam());
        case Mode::CallbackPreview: return Orvix_CallBackPreview(cam(), toWindow(window_.handle()), buffer.data(), size, 1);
        case Mode::Trigger: return Orvix_Trigger(cam(), toWindow(window_.handle()), buffer.data(), size, 1);
        case Mode::CaptureState: return Orvix_Capture(cam());
        }
        return 0;
    }

    // A frame delivered in the running capture, read back as its frame description.
    // The window-less preview and the capture state tell the format only by the
    // image's size: `size` is set when the image fills exactly `bufferBytes` (it fits
    // them, and not one byte less).
    FrameInfo nextFrame(Mode mode, std::size_t bufferBytes) {
        FrameInfo info{};
        std::vector<std::uint8_t> image(bufferBytes);
        const int size = static_cast<int>(bufferBytes);
        switch (mode) {
        case Mode::Preview: {
            int copied = 0;
            for (int i = 0; i < 300 && !copied; ++i) {
                copied = Orvix_GetImage(cam(), image.data(), size, 1);
                if (!copied) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            (void)camera_->errors(); // ERR_MEMORY until the first frame is processed
            if (copied && Orvix_GetImage(cam(), image.data(), size - 1, 1) == 0) info.size = size;
            EXPECT_EQ(camera_->errors(), Codes{ERR_MEMORY});
            break;
        }
        case Mode::CaptureState:
            if (Orvix_SnapShot(cam(), image.data(), size, 1) == 1 && Orvix_SnapShot(cam(), image.data(), size - 1, 1) == 0)
                info.size = size;
            EXPECT_EQ(camera_->errors(), Codes{ERR_MEMORY});
            break;
        case Mode::Trigger:
            std::this_thread::sleep_for(std::chrono::milliseconds(50)); // armed
            EXPECT_TRUE(emulator().fireTrigger(0));
            [[fallthrough]];
        case Mode::CallbackPreview: {
            const auto infos =
                frameInfos(window_.collect([](const std::vector<Message>& r) { return frameCount(r) >= 1; }, 3000));
            if (!infos.empty()) info = infos.back();
            break;
        }
        }
        return info;
    }

    // Messages posted before a stop that are still on their way.
    void drainMessages() { (void)window_.collect([](const std::vector<Message>&) { return false; }, 200); }

    MessageWindow window_;
    std::unique_ptr<ApiCamera> camera_;
};

class SettersDuringCapture : public CaptureEngineApi, public ::testing::WithParamInterface<Mode> {};

TEST_P(SettersDuringCapture, TakeEffectAtTheNextStartOnly) {
    const Mode mode = GetParam();
    SCOPED_TRACE(nameOf(mode));
    std::vector<std::uint8_t> buffer(kBytes24);
    ASSERT_EQ(start(mode, buffer), 1);
    const bool messages = mode == Mode::CallbackPreview || mode == Mode::Trigger;
    FrameInfo first = nextFrame(mode, kBytes24);
    if (messages) {
        EXPECT_EQ(first.bitsPerPixel, 24);
        EXPECT_EQ(first.width, kWidth);
    } else {
        EXPECT_EQ(first.size, kBytes24);
    }

    // Every setter of the capture format while frames flow. The stored values change
    // at once; the window and device changes are refused.
    EXPECT_EQ(Orvix_SetColorMode(cam(), 8), 1);
    EXPECT_EQ(Orvix_SetSubSample(cam(), 1), 1);
    EXPECT_EQ(Orvix_SetWaitTime(cam(), 0), 1);
    EXPECT_EQ(Orvix_SetHalfClock(cam(), 1), 1);
    EXPECT_EQ(Orvix_SetMirrorV(cam(), 1), 1);
    EXPECT_EQ(Orvix_SetAutoIris(cam(), 0), 1);
    EXPECT_EQ(Orvix_SetPreviewWindow(cam(), 0, 10, 10, 320, 240), 1);
    EXPECT_EQ(Orvix_SetCaptureWindowEx(cam(), 1360, 0, 320, 1024, 0, 240), 0);
    EXPECT_EQ(Orvix_SetCaptureWindow(cam(), 1360, 1024), 0);
    EXPECT_EQ(Orvix_SetDeviceNumber(cam(), 3), 0);
    EXPECT_EQ(Orvix_GetColorMode(cam()), 8);
    EXPECT_EQ(Orvix_GetSubSample(cam()), 1);
    EXPECT_EQ(Orvix_GetWaitTime(cam()), 0);
    EXPECT_EQ(Orvix_Width(cam()), kWidth);

    // Frames keep coming in the format the capture started with.
    for (int i = 0; i < 3; ++i) {
        const FrameInfo later = nextFrame(mode, kBytes24);
        if (messages) {
            EXPECT_EQ(later.bitsPerPixel, 24);
            EXPECT_EQ(later.width, kWidth);
            EXPECT_EQ(later.height, kHeight);
        } else {
            EXPECT_EQ(later.size, kBytes24);
        }
    }
    EXPECT_EQ(camera_->errors(), Codes{});

    // The next start takes the new values: 8 bits, half size.
    EXPECT_EQ(Orvix_Close(cam()), 1);
    drainMessages();
    const std::size_t smallBytes = std::size_t(kWidth / 2) * (kHeight / 2);
    std::vector<std::uint8_t> small(smallBytes);
    ASSERT_EQ(start(mode, small), 1);
    const FrameInfo next = nextFrame(mode, smallBytes);
    if (messages) {
        EXPECT_EQ(next.bitsPerPixel, 8);
        EXPECT_EQ(next.width, kWidth / 2);
        EXPECT_EQ(next.height, kHeight / 2);
    } else {
        EXPECT_EQ(next.size, static_cast<std::int32_t>(smallBytes));
    }
    EXPECT_EQ(Orvix_Close(cam()), 1);
    EXPECT_EQ(camera_->errors(), Codes{});
}

INSTANTIATE_TEST_SUITE_P(EveryCaptureMode, SettersDuringCapture,
                         ::testing::Values(Mode::Preview, Mode::CallbackPreview, Mode::Trigger, Mode::CaptureState));

TEST_F(CaptureEngineApi, TheImageIsTheLastProcessedFrameInTheFormatItWasCapturedIn) {
    std::vector<std::uint8_t> image(kBytes24);
    // Before any frame of the capture there is no image, also right after a start.
    ASSERT_EQ(Orvix_StartPreview(cam()), 1);
    EXPECT_EQ(Orvix_GetImage(cam(), image.data(), kBytes24, 1), 0);
    EXPECT_EQ(camera_->errors(), Codes{ERR_MEMORY});
    ASSERT_EQ(Orvix_StopPreview(cam()), 1);

    ASSERT_EQ(Orvix_SnapShot(cam(), image.data(), kBytes24, 1), 1);
    ASSERT_EQ(Orvix_SetColorMode(cam(), 8), 1);
    std::vector<std::uint8_t> copy(kBytes24);
    EXPECT_EQ(Orvix_GetImage(cam(), copy.data(), kBytes24, 1), 1) << "the 24-bit snapshot, not an 8-bit image";
    EXPECT_EQ(copy, image);
    EXPECT_EQ(camera_->errors(), Codes{});
}

TEST_F(CaptureEngineApi, TheDeliveryTargetIsForgottenWithItsSession) {
    std::vector<std::uint8_t> old(kBytes24);
    ASSERT_EQ(Orvix_CallBackPreview(cam(), toWindow(window_.handle()), old.data(), kBytes24, 1), 1);
    ASSERT_GE(frameCount(window_.collect([](const std::vector<Message>& r) { return frameCount(r) >= 2; }, 3000)), 2u);
    // A stop and a start keep the session: frames still reach the buffer and window.
    ASSERT_EQ(Orvix_StopPreview(cam()), 1);
    ASSERT_EQ(Orvix_StartPreview(cam()), 1);
    EXPECT_GE(frameCount(window_.collect([](const std::vector<Message>& r) { return frameCount(r) >= 1; }, 3000)), 1u);
    ASSERT_EQ(Orvix_Close(cam()), 1);
    drainMessages();

    // After Close the buffer belongs to the application again.
    std::fill(old.begin(), old.end(), std::uint8_t{0xAB});
    std::vector<std::uint8_t> image(kBytes24);
    ASSERT_EQ(Orvix_StartPreview(cam()), 1);
    int copied = 0;
    for (int i = 0; i < 300 && copied < 3; ++i) {
        copied += Orvix_GetImage(cam(), image.data(), kBytes24, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(copied, 3);
    EXPECT_EQ(frameCount(window_.collect([](const std::vector<Message>&) { return false; }, 200)), 0u);
    ASSERT_EQ(Orvix_Close(cam()), 1);
    EXPECT_TRUE(std::all_of(old.begin(), old.end(), [](std::uint8_t b) { return b == 0xAB; }));
    (void)camera_->errors(); // ERR_MEMORY while no frame had been processed

    // The same after a callback preview whose window could not be made.
    ASSERT_EQ(Orvix_SetPreviewWindow(cam(), toWindow(platform::WindowHandle{0x7ffff00}), 0, 0, 320, 240), 1);
    EXPECT_EQ(Orvix_CallBackPreview(cam(), toWindow(window_.handle()), old.data(), kBytes24, 1), 0);
    EXPECT_EQ(camera_->errors(), Codes{ERR_WINDOW});
    ASSERT_EQ(Orvix_Close(cam()), 1);
    ASSERT_EQ(Orvix_StartPreview(cam()), 1);
    copied = 0;
    for (int i = 0; i < 300 && copied < 2; ++i) {
        copied += Orvix_GetImage(cam(), image.data(), kBytes24, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(Orvix_Close(cam()), 1);
    EXPECT_TRUE(std::all_of(old.begin(), old.end(), [](std::uint8_t b) { return b == 0xAB; }));
    (void)camera_->errors();
}

TEST_F(CaptureEngineApi, StopsReturnPromptlyFromAFrameHandlerAnotherThreadOrARelease) {
    std::vector<std::uint8_t> buffer(kBytes24);
    // From the handler of the first frame message.
    ASSERT_EQ(Orvix_CallBackPreview(cam(), toWindow(window_.handle()), buffer.data(), kBytes24, 1), 1);
    long long stopMs = -1;
    (void)window_.collect(
        [&](const std::vector<Message>& r) {
            if (frameCount(r) == 0) return false;
            const auto start = Clock::now();
            EXPECT_EQ(Orvix_StopPreview(cam()), 1);
            EXPECT_EQ(Orvix_GetImage(cam(), buffer.data(), kBytes24, 1), 1) << "the image stays readable";
            stopMs = msSince(start);
            return true;
        },
        3000);
    EXPECT_GE(stopMs, 0);
    EXPECT_LT(stopMs, kPromptMs);

    // From another thread, while frames flow.
    ASSERT_EQ(Orvix_StartPreview(cam()), 1);
    ASSERT_GE(frameCount(window_.collect([](const std::vector<Message>& r) { return frameCount(r) >= 1; }, 3000)), 1u);
    std::atomic<long long> otherMs{-1};
    std::thread([&] {
        const auto start = Clock::now();
        EXPECT_EQ(Orvix_StopPreview(cam()), 1);
        otherMs = msSince(start);
    }).join();
    EXPECT_GE(otherMs.load(), 0);
    EXPECT_LT(otherMs.load(), kPromptMs);

    // A wait time of INT_MAX does not hold a stop.
    ASSERT_EQ(Orvix_SetWaitTime(cam(), INT_MAX), 1);
    ASSERT_EQ(Orvix_StartPreview(cam()), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto start = Clock::now();
    EXPECT_EQ(Orvix_StopPreview(cam()), 1);
    EXPECT_LT(msSince(start), kPromptMs);

    // A release from another thread during preview.
    ASSERT_EQ(Orvix_SetWaitTime(cam(), 10), 1);
    ASSERT_EQ(Orvix_StartPreview(cam()), 1);
    ASSERT_GE(frameCount(window_.collect([](const std::vector<Message>& r) { return frameCount(r) >= 1; }, 3000)), 1u);
    const ORVIX_HANDLE handle = cam();
    std::atomic<long long> releaseMs{-1};
    std::thread([&] {
        const auto began = Clock::now();
        EXPECT_EQ(Orvix_Release(handle), 1);
        releaseMs = msSince(began);
    }).join();
    EXPECT_LT(releaseMs.load(), kPromptMs);
    EXPECT_EQ(Orvix_StopPreview(handle), 0) << "the handle is gone";
    camera_->forget();
}

TEST_F(CaptureEngineApi, AStoredEndlessWaitTimeDoesNotHoldAStop) {
    camera_.reset();
    {
        platform::RegistryKey root = platform::RegistryKey::createCurrentUser(platform::kSettingsKeyPath);
        ASSERT_TRUE(root);
        ASSERT_TRUE(root.setInt("WaitTime", INT_MAX));
    }
    camera_ = std::make_unique<ApiCamera>();
    EXPECT_EQ(Orvix_GetWaitTime(cam()), INT_MAX);
    ASSERT_EQ(Orvix_StartPreview(cam()), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = Clock::now();
    EXPECT_EQ(Orvix_StopPreview(cam()), 1);
    EXPECT_LT(msSince(start), kPromptMs);
    camera_->release();
    EXPECT_LT(msSince(start), 2 * kPromptMs);
}

} // namespace
} // namespace orvix::test
