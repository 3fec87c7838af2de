#pragma once
// Shared set-up of the end-to-end tests of the USB driver: the emulated cameras
// attached but not serving device files, so the library's device files go to the USB
// driver, and fake USB cameras on the testbed answered by them. Every test fails for
// each request the emulated driver refused during it.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "camera/api_camera.h"
#include "emulator/emulator.h"
#include "support/test_environment.h"
#include "usb/usb_camera_bench.h"

namespace orvix::test::usb {

using Clock = std::chrono::steady_clock;

inline long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

inline emulator::Emulator& emulated() { return emulator::Emulator::instance(); }

// A camera at `ports` of `bus`, answered by the emulated camera of `slot`.
inline FakeCameraSetup cameraAt(int bus, std::vector<int> ports, int slot,
                               EndpointLayout endpoints = EndpointLayout::Camera) {
    FakeCameraSetup setup;
    setup.bus = bus;
    setup.ports = std::move(ports);
    setup.emulatorSlot = slot;
    setup.endpoints = endpoints;
    return setup;
}

class UsbCameraTest : public ::testing::Test {
protected:
    void SetUp() override { resetSettings(); }
    void TearDown() override {
        camera_.reset(); // the library lets go of the devices before they are unplugged
        bench_.reset();
        for (const auto& refused : emulated().takeRejections())
            ADD_FAILURE() << "the emulated driver refused: " << emulator::describeRejection(refused);
        emulated().deactivate();
        resetSettings();
    }

    // Emulated cameras at `slots`, reached only through the USB driver.
    static void emulate(std::initializer_list<int> slots, int frameRate = 0) {
        emulator::EmulationConfig config;
        for (int slot : slots) config.withSlot(slot);
        config.frameRate = frameRate;
        emulated().configure(config);
        emulated().serveDeviceFiles(false);
        emulated().clearLog();
    }

    UsbCameraBench& bench() {
        if (!bench_) bench_ = std::make_unique<UsbCameraBench>();
        return *bench_;
    }

    ORVIX_HANDLE openCamera() {
        camera_ = std::make_unique<ApiCamera>();
        (void)camera_->errors();
        return camera_->get();
    }
    ORVIX_HANDLE cam() const { return camera_->get(); }
    Codes errors() const { return camera_->errors(); }

    // The emulated driver's log entries of the kinds that travel over USB, for `slot`
    // (all slots with -1).
    static std::vector<emulator::LogEntry> transfers(int slot = -1) {
        std::vector<emulator::LogEntry> kept;
        for (const auto& entry : emulated().log()) {
            const bool travels = entry.kind == emulator::RequestKind::Command ||
                                 entry.kind == emulator::RequestKind::AnswerRead ||
                                 entry.kind == emulator::RequestKind::FrameTransfer;
            if (travels && (slot < 0 || entry.slot == slot)) kept.push_back(entry);
        }
        return kept;
    }

    // Waits until the emulated camera at `slot` has sent `count` frames more than
    // `since`; false when it has not within 5 s.
    static bool framesFollow(int slot, std::uint32_t since, std::uint32_t count) {
        for (int wait = 0; wait < 500; ++wait) {
            const auto state = emulated().cameraState(slot);
            if (state && state->framesDelivered >= since + count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    static std::uint32_t framesSent(int slot) {
        const auto state = emulated().cameraState(slot);
        return state ? state->framesDelivered : 0;
    }

    std::unique_ptr<UsbCameraBench> bench_;
    std::unique_ptr<ApiCamera> camera_;
};

} // namespace orvix::test::usb
