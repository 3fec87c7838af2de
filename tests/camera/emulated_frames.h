#pragma once
// The frames an emulated camera has sent, and a bounded wait for more of them, to see
// whether a capture runs without looking inside it.

#include <chrono>
#include <cstdint>
#include <thread>

#include "device/emulated_cameras.h"

namespace orvix::test {

// Frames the camera at `slot` has sent since it was attached.
inline std::uint32_t framesSent(int slot) { return EmulatedCameras::state(slot).framesDelivered; }

// Waits until the camera at `slot` has sent `count` frames after the first `since`;
// false when it has not within 5 s.
inline bool framesFollow(int slot, std::uint32_t since, std::uint32_t count) {
    for (int wait = 0; wait < 500; ++wait) {
        if (framesSent(slot) >= since + count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace orvix::test
