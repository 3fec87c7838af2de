#pragma once
// A trigger capture around the camera settings dialog, for the dialog host tests:
// started before the dialog, checked while the dialog holds it and after the dialog
// released it. The emulated cameras are at slots 0 and 3, slot 0 triggered every
// 20 ms.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "../camera/emulated_frames.h"
#include "camera/camera.h"

namespace orvix::test {

// 8 bits, 640 x 480, every frame copied into `frame`; true once frames flow.
inline bool startHeldTriggerCapture(Camera& camera, std::vector<std::uint8_t>& frame) {
    frame.assign(640 * 480, 0);
    return camera.setColorMode(8) == 1 && camera.setCaptureWindowEx(1360, 0, 640, 1024, 0, 480) == 1 &&
           camera.trigger(0, frame.data(), static_cast<std::int32_t>(frame.size()), 1) == 1 &&
           framesFollow(0, framesSent(0), 2);
}

// Inside the dialog: the capture is held. At most the one transfer armed as the hold
// began may still end, and the window and the device stay as they are.
inline void expectTriggerHeld(Camera& camera) {
    EXPECT_EQ(camera.captureState(), kCaptureTrigger);
    const std::uint32_t opening = framesSent(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // about 15 triggers
    EXPECT_LE(framesSent(0), opening + 1) << "the trigger capture went on under the dialog";
    EXPECT_EQ(camera.setCaptureWindowEx(1360, 0, 320, 1024, 0, 240), 0);
    EXPECT_EQ(camera.setDeviceNumber(3), 0);
    EXPECT_EQ(camera.width(), 640);
}

// After the dialog closed with OK: the stored format is kept for the next start, and
// the capture goes on with the configuration it started with, its frames still
// fitting the 640 x 480 buffer.
inline void expectTriggerReleased(Camera& camera) {
    EXPECT_EQ(camera.width(), 1360);
    EXPECT_EQ(camera.captureState(), kCaptureTrigger);
    EXPECT_TRUE(framesFollow(0, framesSent(0), 3));
    EXPECT_EQ(camera.popError(), 0);
    EXPECT_EQ(camera.close(), 1);
}

} // namespace orvix::test
