// The USB driver end to end with a window of the test's own (under an X server):
// trigger mode releasing one frame per trigger, and a callback preview whose camera
// is unplugged mid-stream, which ends with the library's error message.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "OrvixSdk_K62DT4.h"
#include "capture/message_window.h"
#include "usb/usb_api_support.h"

namespace orvix::test::usb {
namespace {

using emulator::RequestKind;

constexpr int kImageBytes = 1360 * 1024; // 8-bit, full sensor

bool isFrame(const Message& m) { return m.message == ORVIX_WM_FRAME && m.lParam == 0; }
std::size_t frameCount(const std::vector<Message>& received) {
    return static_cast<std::size_t>(std::count_if(received.begin(), received.end(), isFrame));
}
bool isFailure(const Message& m, int code) { return m.message == ORVIX_WM_FRAME && m.wParam == 0 && m.lParam == code; }

class UsbCameraWindow : public UsbCameraTest {
protected:
    void SetUp() override {
        if (!window_.ok()) GTEST_SKIP() << "needs an X server (the x11 run, under xvfb-run)";
        UsbCameraTest::SetUp();
    }
    ORVIX_WINDOW window() const { return static_cast<ORVIX_WINDOW>(window_.handle()); }
    std::vector<Message> collect(std::size_t frames, int timeoutMs) {
        return window_.collect([frames](const std::vector<Message>& r) { return frameCount(r) >= frames; }, timeoutMs);
    }

    MessageWindow window_;
};

TEST_F(UsbCameraWindow, TriggerModeReleasesOneFramePerTriggerAndStopsWithinTheTriggerWait) {
    emulate({0}, 30);
    bench().add(cameraAt(1, {1}, 0));
    openCamera();
    ASSERT_EQ(Orvix_SetColorMode(cam(), 8), 1);
    std::vector<std::uint8_t> buffer(kImageBytes);
    ASSERT_EQ(Orvix_Trigger(cam(), window(), buffer.data(), kImageBytes, 1), 1);

    for (int trigger = 0; trigger < 2; ++trigger) {
        SCOPED_TRACE(trigger);
        EXPECT_EQ(frameCount(collect(1, 300)), 0u) << "no frame without a trigger";
        ASSERT_TRUE(emulated().fireTrigger(0));
        EXPECT_EQ(frameCount(collect(1, 3000)), 1u);
    }
    const auto start = Clock::now();
    EXPECT_EQ(Orvix_StopPreview(cam()), 1);
    EXPECT_LT(msSince(start), 4500) << "the stop waits at most for the armed transfer's 3 s";

    int delivered = 0;
    for (const auto& entry : transfers(0))
        if (entry.kind == RequestKind::FrameTransfer && entry.succeeded) ++delivered;
    EXPECT_EQ(delivered, 2);
    (void)errors();
}

TEST_F(UsbCameraWindow, UnpluggingDuringACallbackPreviewPostsTheStoppedTransferAndTheStopFails) {
    emulate({0}, 30);
    bench().add(cameraAt(1, {1}, 0));
    openCamera();
    ASSERT_EQ(Orvix_SetColorMode(cam(), 8), 1);
    std::vector<std::uint8_t> buffer(kImageBytes);
    ASSERT_EQ(Orvix_CallBackPreview(cam(), window(), buffer.data(), kImageBytes, 1), 1);
    ASSERT_GE(frameCount(collect(3, 5000)), 3u);

    ASSERT_TRUE(bench().unplug(0));
    const auto start = Clock::now();
    const auto received = window_.collect(
        [](const std::vector<Message>& r) {
            return std::any_of(r.begin(), r.end(), [](const Message& m) { return isFailure(m, ERR_TRANSFER_STOPPED); });
        },
        3000);
    EXPECT_TRUE(std::any_of(received.begin(), received.end(),
                            [](const Message& m) { return isFailure(m, ERR_TRANSFER_STOPPED); }));
    EXPECT_LT(msSince(start), 2500) << "the stream ends at once, not at a time-out";
    EXPECT_EQ(Orvix_StopPreview(cam()), 0);
    const Codes queued = errors();
    EXPECT_NE(std::find(queued.begin(), queued.end(), ERR_DEVICE_IO), queued.end()) << ::testing::PrintToString(queued);
    EXPECT_NE(std::find(queued.begin(), queued.end(), ERR_TRANSFER_STOPPED), queued.end())
        << ::testing::PrintToString(queued);
}

} // namespace
} // namespace orvix::test::usb
