#include <gtest/gtest.h>

#include <vector>

#include "device/device_link.h"
#include "emulated_cameras.h"
#include "emulator/scene.h"
#include "platform/clock.h"

namespace orvix::test {
namespace {

using emulator::RequestKind;

constexpr int kExposure = 64;
constexpr int kGain = 512;
constexpr std::uint8_t kCanary = 0xA5;

// Expected sample of the chart at sensor pixel (x, y), 10-bit.
std::uint16_t expectedLevel(int x, int y) {
    return emulator::sampleLevel(emulator::sceneReflectance(emulator::Scene::Chart, x, y), kExposure, kGain);
}

int keptIndex(int n, int subSample) { return subSample == 0 ? n : (n >> 1) * (2 << subSample) + (n & 1); }

// Compares a packed window copy with the scene, leaving out the marker's lines;
// returns the number of samples that differ.
int mismatches(const std::vector<std::uint8_t>& copy, int x0, int y0, int width, int height, int subSample,
               bool tenBit) {
    const int outWidth = width >> subSample;
    const int outHeight = height >> subSample;
    int wrong = 0;
    for (int dy = 0; dy < outHeight; ++dy) {
        const int y = y0 + keptIndex(dy, subSample);
        if (emulator::inMarkerLines(y)) continue;
        for (int dx = 0; dx < outWidth; ++dx) {
            const std::uint16_t level = expectedLevel(x0 + keptIndex(dx, subSample), y);
            const std::size_t i = std::size_t(dy) * std::size_t(outWidth) + std::size_t(dx);
            const unsigned got = tenBit ? unsigned(copy[2 * i] | copy[2 * i + 1] << 8) : copy[i];
            if (got != (tenBit ? level : level >> 2u)) ++wrong;
        }
    }
    return wrong;
}

class FrameTransfer : public EmulatedCameras {
protected:
    void SetUp() override { start({0}); }
    void TearDown() override {
        link.reset();
        EmulatedCameras::TearDown();
    }
    void start(std::initializer_list<int> slots) {
        link.reset();
        attach(slots);
        link = std::make_unique<DeviceLink>();
        link->setExposure(kExposure);
        link->setGlobalGain(kGain);
        emulator().clearLog();
    }
    // A destination of exactly the copy's size followed by guard bytes.
    std::vector<std::uint8_t> destination() const {
        return std::vector<std::uint8_t>(link->frameCopyBytes() + 64, kCanary);
    }
    static bool guardIntact(const std::vector<std::uint8_t>& dst) {
        for (std::size_t i = dst.size() - 64; i < dst.size(); ++i)
            if (dst[i] != kCanary) return false;
        return true;
    }
    // Waits (bounded) for pollFrame to give `wanted`.
    int pollUntil(int wanted) {
        int result = -1;
        for (int i = 0; i < 20000 && result != wanted; ++i) {
            result = link->pollFrame();
            if (result != wanted) platform::sleepMs(1);
        }
        return result;
    }
    int finishWhenDone() {
        int result = kLinkBusy;
        for (int i = 0; i < 20000 && result == kLinkBusy; ++i) {
            result = link->finishSingleTransfer();
            if (result == kLinkBusy) platform::sleepMs(1);
        }
        return result;
    }
    bool waitForFrameRequest() {
        for (int i = 0; i < 20000; ++i) {
            for (const auto& entry : entries(RequestKind::Command))
                if (entry.bytes[0] == 0x02) return true;
            platform::sleepMs(1);
        }
        return false;
    }
    std::unique_ptr<DeviceLink> link;
};

TEST_F(FrameTransfer, CaptureWindowLimitsAndFrameLength) {
    EXPECT_EQ(link->setCaptureWindow(0, 0, 1360, 1024, 0), 0);
    EXPECT_EQ(link->setCaptureWindow(1, 0, 1360, 1024, 0), 1);
    EXPECT_EQ(link->setCaptureWindow(0, 1, 1360, 1024, 0), 1);
    EXPECT_EQ(link->setCaptureWindow(0, 0, 3, 1024, 0), 1);
    EXPECT_EQ(link->setCaptureWindow(0, 0, 1360, 2, 0), 1);
    EXPECT_EQ(link->setCaptureWindow(0, 0, 1360, 1024, 4), 1);
    EXPECT_EQ(link->setCaptureWindow(-1, 0, 100, 100, 0), 1);
    EXPECT_EQ(link->setCaptureWindow(0, 0, 4, 3, 3), 0);
    EXPECT_EQ(link->frameCopyBytes(), 0u); // 4 x 3 at 1/8 is empty
    EXPECT_EQ(link->frameSamples(), 1898496u);
    const auto sent = packets();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], packet({0x09, 0x00, 0xF8, 0x1C, 0x00}));
}

TEST_F(FrameTransfer, BufferSetUpResults) {
    EXPECT_EQ(link->setupFrameBuffers(0, 0, 10, 100, 0, 10, 10), 3);
    EXPECT_EQ(link->setupFrameBuffers(100, 0, 101, 100, 0, 10, 10), 3);
    EXPECT_EQ(link->setupFrameBuffers(100, 50, 60, 100, 0, 10, 10), 3); // runs past the line
    EXPECT_EQ(link->setupFrameBuffers(100, 0, 10, 0, 0, 10, 10), 4);
    EXPECT_EQ(link->setupFrameBuffers(100, 0, 10, 100, 95, 10, 10), 4);
    EXPECT_EQ(link->setupFrameBuffers(100, 0, 10, 100, 0, 10, 1), 1);
    EXPECT_TRUE(emulator().log().empty());
    EXPECT_EQ(link->setupFrameBuffers(100, 0, 10, 100, 0, 10, 2), 0);
    EXPECT_EQ(link->frameSamples(), 10240u);
    // The link sends the frame length of any geometry it is given; the camera takes
    // only its raw frame's.
    EXPECT_TRUE(packets().empty());
    const auto refused = emulator().takeRejections();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].rejection, emulator::Rejection::FrameLength);
    EXPECT_EQ(std::vector<std::uint8_t>(refused[0].bytes.begin(), refused[0].bytes.end()),
              packet({0x09, 0x00, 0x28, 0x00, 0x00}));
}

TEST_F(FrameTransfer, OneShotDeliversTheFullWindow) {
    auto dst = destination();
    EXPECT_EQ(link->convertFrame(nullptr, 0, 0, 1), 14);
    ASSERT_EQ(link->startSingleTransfer(), 0);
    ASSERT_EQ(link->convertFrame(dst.data(), 0, 0, 1), 0);
    EXPECT_EQ(mismatches(dst, 0, 0, 1360, 1024, 0, false), 0);
    EXPECT_TRUE(guardIntact(dst));

    // Open, the frame request written to the command pipe, the frame read, close.
    const auto log = emulator().log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].kind, RequestKind::Open);
    EXPECT_EQ(log[1].kind, RequestKind::Command);
    EXPECT_EQ(log[1].code, 0x222051u);
    EXPECT_EQ(log[1].bytes[0], 0x02);
    EXPECT_EQ(log[2].kind, RequestKind::FrameTransfer);
    EXPECT_EQ(log[2].code, 0x2220A9u);
    EXPECT_EQ(log[2].pipe, 2u);
    EXPECT_EQ(log[2].length, 1898496u);
    EXPECT_EQ(log[3].kind, RequestKind::Close);
    EXPECT_EQ(link->finishSingleTransfer(), 0);
}

TEST_F(FrameTransfer, TenBitWindowAtItsPosition) {
    link->setTenBitMode(1);
    ASSERT_EQ(link->setCaptureWindow(101, 37, 500, 301, 0), 0);
    auto dst = destination();
    ASSERT_EQ(dst.size(), 500u * 301u * 2u + 64u);
    ASSERT_EQ(link->startSingleTransfer(), 0);
    ASSERT_EQ(link->convertFrame(dst.data(), 0, 0, 1), 0);
    EXPECT_EQ(mismatches(dst, 101, 37, 500, 301, 0, true), 0);
    EXPECT_TRUE(guardIntact(dst));
    EXPECT_EQ(entries(RequestKind::FrameTransfer).at(0).length, 3796992u);
}

TEST_F(FrameTransfer, SubSampledWindowsKeepBayerQuadsAndFitTheirDestination) {
    struct Case {
        int x, y, width, height, subSample;
        bool tenBit;
    };
    for (const Case& c : {Case{0, 0, 1360, 1024, 1, false}, Case{0, 0, 1360, 1024, 2, true},
                          Case{100, 40, 1001, 777, 2, false}, Case{3, 5, 1357, 1019, 1, true},
                          Case{0, 0, 1360, 1024, 3, false}}) {
        link->setTenBitMode(c.tenBit ? 1 : 0);
        ASSERT_EQ(link->setCaptureWindow(c.x, c.y, c.width, c.height, c.subSample), 0);
        auto dst = destination();
        const std::size_t samples = std::size_t(c.width >> c.subSample) * std::size_t(c.height >> c.subSample);
        ASSERT_EQ(dst.size(), samples * (c.tenBit ? 2 : 1) + 64);
        ASSERT_EQ(link->startSingleTransfer(), 0);
        ASSERT_EQ(link->convertFrame(dst.data(), 0, 0, 1), 0);
        EXPECT_EQ(mismatches(dst, c.x, c.y, c.width, c.height, c.subSample, c.tenBit), 0) << c.width << "/" << c.subSample;
        EXPECT_TRUE(guardIntact(dst));
    }
}

TEST_F(FrameTransfer, RingDeliversTheNewestFrame) {
    ASSERT_EQ(link->setCaptureWindow(0, 0, 1360, 1024, 0), 0);
    EXPECT_EQ(link->pollFrame(), kPollNotRunning);
    EXPECT_EQ(link->stopContinuousTransfer(), 0); // nothing running
    emulator().clearLog();
    ASSERT_EQ(link->startContinuousTransfer(), 0);
    EXPECT_EQ(link->startContinuousTransfer(), 21);
    EXPECT_EQ(link->setCaptureWindow(0, 0, 640, 480, 0), 21); // not while frames are coming in
    EXPECT_EQ(link->setupFrameBuffers(1791, 424, 640, 1060, 14, 480, 10), 21);
    auto dst = destination();
    for (int frame = 0; frame < 3; ++frame) {
        ASSERT_EQ(pollUntil(kPollNewFrame), kPollNewFrame);
        ASSERT_EQ(link->convertRingFrame(dst.data(), 0, 0, 1), 0);
        EXPECT_EQ(mismatches(dst, 0, 0, 1360, 1024, 0, false), 0);
    }
    EXPECT_TRUE(guardIntact(dst));
    EXPECT_EQ(link->convertRingFrame(nullptr, 0, 0, 1), 14);
    EXPECT_EQ(link->stopContinuousTransfer(), 0);
    EXPECT_EQ(link->pollFrame(), kPollNotRunning);

    // The ring thread's requests: a frame request sent as a pipe read on the command
    // pipe, then the frame on the frame pipe, again and again, on one handle.
    const auto log = emulator().log();
    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(log.front().kind, RequestKind::Open);
    EXPECT_EQ(log.back().kind, RequestKind::Close);
    for (std::size_t i = 1; i + 1 < log.size(); i += 2) {
        EXPECT_EQ(log[i].kind, RequestKind::Command);
        EXPECT_EQ(log[i].code, 0x22204Eu);
        EXPECT_EQ(log[i].bytes[0], 0x02);
        EXPECT_EQ(log[i + 1].kind, RequestKind::FrameTransfer);
        EXPECT_EQ(log[i + 1].length, 1898496u);
    }
}

TEST_F(FrameTransfer, TenBitRingWindow) {
    link->setTenBitMode(1);
    ASSERT_EQ(link->setCaptureWindow(64, 900, 640, 120, 0), 0); // crosses the marker's lines
    auto dst = destination();
    ASSERT_EQ(link->startContinuousTransfer(), 0);
    ASSERT_EQ(pollUntil(kPollNewFrame), kPollNewFrame);
    ASSERT_EQ(link->convertRingFrame(dst.data(), 0, 0, 1), 0);
    EXPECT_EQ(link->stopContinuousTransfer(), 0);
    EXPECT_EQ(mismatches(dst, 64, 900, 640, 120, 0, true), 0);
    EXPECT_TRUE(guardIntact(dst));
}

TEST_F(FrameTransfer, SelectingTheDeviceOrSampleWidthWhileFramesComeInSendsNothing) {
    // Selection would send 8-bit mode and the full-frame defaults, and a change of
    // sample width the other width: the running 10-bit ring's next transfer would no
    // longer be the frame's length, nor its copy fit the destination.
    link->setTenBitMode(1);
    ASSERT_EQ(link->setCaptureWindow(0, 0, 640, 480, 0), 0);
    ASSERT_EQ(link->startContinuousTransfer(), 0);
    ASSERT_EQ(pollUntil(kPollNewFrame), kPollNewFrame);
    emulator().clearLog();
    EXPECT_EQ(link->selectDevice(0), kLinkBusy);
    EXPECT_EQ(link->setTenBitMode(0), 0);
    EXPECT_EQ(link->tenBitMode(), 1);
    EXPECT_EQ(link->windowCopy().width, 640);
    auto dst = destination();
    for (int frame = 0; frame < 2; ++frame) {
        int result = kPollNoFrame;
        for (int i = 0; i < 20000 && result == kPollNoFrame; ++i, platform::sleepMs(1)) result = link->pollFrame();
        ASSERT_EQ(result, kPollNewFrame);
        ASSERT_EQ(link->convertRingFrame(dst.data(), 0, 0, 1), 0);
    }
    EXPECT_EQ(link->stopContinuousTransfer(), 0);
    EXPECT_EQ(mismatches(dst, 0, 0, 640, 480, 0, true), 0);
    for (const auto& sent : packets()) EXPECT_EQ(sent[0], 0x02) << "only frame requests";
    EXPECT_EQ(link->selectDevice(0), kLinkOk); // stopped: selection works again
    EXPECT_EQ(link->tenBitMode(), 0);
}

TEST(PollFrameIndices, NewestCompletedSlot) {
    int chosen = -1;
    EXPECT_EQ(chooseNewestSlot(5, 5, 10, &chosen), kPollNoFrame);
    EXPECT_EQ(chooseNewestSlot(7, 5, 10, &chosen), kPollNewFrame);
    EXPECT_EQ(chosen, 6);
    EXPECT_EQ(chooseNewestSlot(1, 8, 10, &chosen), kPollNewFrame); // wrapped
    EXPECT_EQ(chosen, 0);
    EXPECT_EQ(chooseNewestSlot(0, 8, 10, &chosen), kPollNewFrame);
    EXPECT_EQ(chosen, 9);
    EXPECT_EQ(chooseNewestSlot(6, 5, 10, &chosen), kPollNewFrame);
    EXPECT_EQ(chosen, 5);
}

TEST_F(FrameTransfer, UnplugDuringTheRingEndsItWithFailure) {
    ASSERT_EQ(link->startContinuousTransfer(), 0);
    ASSERT_EQ(pollUntil(kPollNewFrame), kPollNewFrame);
    emulator().unplug(0);
    EXPECT_EQ(pollUntil(kPollFailed), kPollFailed);
    EXPECT_EQ(link->pollFrame(), kPollFailed);
    EXPECT_EQ(link->pollFrame(), kPollFailed);
    EXPECT_EQ(link->stopContinuousTransfer(), 19);
    EXPECT_EQ(link->pollFrame(), kPollNotRunning);
    // An unplugged camera: the next ring cannot open it.
    ASSERT_EQ(link->startContinuousTransfer(), 0);
    EXPECT_EQ(pollUntil(kPollFailed), kPollFailed);
    EXPECT_EQ(link->stopContinuousTransfer(), 10);
    EXPECT_EQ(link->startSingleTransfer(), 10);
}

TEST_F(FrameTransfer, OneShotFailures) {
    emulator().failNext(0, RequestKind::Command, 1);
    EXPECT_EQ(link->startSingleTransfer(), 18);
    emulator().shortenNext(0, RequestKind::FrameTransfer, 1);
    EXPECT_EQ(link->startSingleTransfer(), 19);
    emulator().failNext(0, RequestKind::FrameTransfer, 1);
    EXPECT_EQ(link->startSingleTransfer(), 19);
    emulator().failNext(0, RequestKind::Open, 1);
    EXPECT_EQ(link->startSingleTransfer(), 10);
    EXPECT_EQ(link->startSingleTransfer(), 0);
}

TEST_F(FrameTransfer, TriggeredOneShotWithoutWaiting) {
    ASSERT_EQ(link->setTriggerMode(1), 1);
    link->setNoWait(1);
    ASSERT_EQ(link->startSingleTransfer(), 0);
    EXPECT_EQ(link->startSingleTransfer(), 21);
    EXPECT_EQ(link->finishSingleTransfer(), 21);
    auto dst = destination();
    EXPECT_EQ(link->convertFrame(dst.data(), 0, 0, 1), 21); // the buffer is still being filled
    ASSERT_TRUE(waitForFrameRequest());
    ASSERT_TRUE(emulator().fireTrigger(0));
    EXPECT_EQ(finishWhenDone(), 0);
    ASSERT_EQ(link->convertFrame(dst.data(), 0, 0, 1), 0);
    EXPECT_EQ(mismatches(dst, 0, 0, 1360, 1024, 0, false), 0);
}

TEST_F(FrameTransfer, TriggerWithoutTriggerEndsAtTheTimeout) {
    link->setTransferTimeout(100);
    ASSERT_EQ(link->setTriggerMode(1), 1);
    EXPECT_EQ(link->startSingleTransfer(), 19);
}

TEST_F(FrameTransfer, UnplugDuringAOneShotFailsIt) {
    ASSERT_EQ(link->setTriggerMode(1), 1); // the transfer waits for a trigger that never comes
    link->setNoWait(1);
    ASSERT_EQ(link->startSingleTransfer(), 0);
    ASSERT_TRUE(waitForFrameRequest());
    emulator().unplug(0);
    EXPECT_EQ(finishWhenDone(), 19);
}

TEST_F(FrameTransfer, DestroyingTheLinkEndsItsTransfers) {
    ASSERT_EQ(link->startContinuousTransfer(), 0);
    ASSERT_EQ(pollUntil(kPollNewFrame), kPollNewFrame);
    link.reset(); // the ring is stopped, not left running on freed buffers

    start({0});
    ASSERT_EQ(link->setTriggerMode(1), 1);
    link->setTransferTimeout(100);
    link->setNoWait(1);
    ASSERT_EQ(link->startSingleTransfer(), 0);
    link.reset(); // waits for the one-shot thread, which ends at the time-out
}

} // namespace
} // namespace orvix::test
