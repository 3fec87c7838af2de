// Several application threads on one handle and on two handles, calling setters,
// getters, capture starts and stops, window and device changes, snapshots, saves and
// releases in random order while frames flow, with an unplug of a camera in the
// middle. Every thread must return, nothing may crash, and under the sanitizers
// nothing may be reported. The run is bounded in time.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "OrvixSdk_K62DT4.h"
#include "device/emulated_cameras.h"
#include "message_window.h"
#include "support/test_environment.h"

namespace orvix::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBitsOfMode[] = {8, 16, 24, 32, 48, 64};
// The largest image: 64 bits per pixel at full size.
constexpr std::size_t kLargestImage = std::size_t(1360) * 8 * 1024;

ORVIX_WINDOW toWindow(platform::WindowHandle handle) {
#if defined(_WIN32)
    return reinterpret_cast<ORVIX_WINDOW>(handle);
#else
    return static_cast<ORVIX_WINDOW>(handle);
#endif
}

// A handle that one thread may release and open again while others use it: the
// others then call with a released handle, which the library refuses. Each handle
// keeps to a camera of its own: two handles driving one camera would send it
// conflicting sample widths, which the camera refuses whatever the library does. A
// start-up of the second handle leaves the first handle's camera alone.
struct SharedHandle {
    std::atomic<ORVIX_HANDLE> handle{nullptr};
    int slot = 0;
};

class Worker {
public:
    Worker(SharedHandle& camera, unsigned seed, platform::WindowHandle window, std::string savePath)
        : camera_(camera), rng_(seed), window_(window), savePath_(std::move(savePath)), buffer_(kLargestImage) {}

    void operator()(const std::atomic<bool>& running) {
        while (running.load()) step();
    }

    int calls() const { return calls_; }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    void step() {
        ORVIX_HANDLE h = camera_.handle.load();
        const int size = static_cast<int>(buffer_.size());
        ++calls_;
        switch (pick(22)) {
        case 0: (void)Orvix_SetColorMode(h, kBitsOfMode[pick(6)]); break;
        case 1: (void)Orvix_SetSubSample(h, pick(4)); break;
        case 2: (void)Orvix_SetWaitTime(h, pick(20)); break;
        case 3: (void)Orvix_SetHalfClock(h, pick(2)); break;
        case 4: (void)Orvix_SetCaptureWindowEx(h, 1360, 16 * pick(20), 64 + 16 * pick(40), 1024, 8 * pick(30), 48 + 8 * pick(40)); break;
        case 5: (void)Orvix_SetCaptureWindow(h, 1360, 1024); break;
        case 6: (void)Orvix_SetDeviceNumber(h, camera_.slot); break;
        case 7: (void)Orvix_StartPreview(h); break;
        case 8: (void)Orvix_StopPreview(h); break;
        case 9: (void)Orvix_CallBackPreview(h, toWindow(window_), buffer_.data(), size, pick(2)); break;
        case 10: (void)Orvix_Preview(h); break;
        case 11: (void)Orvix_Trigger(h, toWindow(window_), buffer_.data(), size, 1); break;
        case 12: (void)Orvix_Capture(h); break;
        case 13: (void)Orvix_SnapShot(h, buffer_.data(), size, pick(2)); break;
        case 14: (void)Orvix_GetImage(h, buffer_.data(), size, pick(2)); break;
        case 15: (void)Orvix_SaveImage(h, savePath_.c_str(), pick(2) ? 1 : 0); break;
        case 16: (void)Orvix_Close(h); break;
        case 17: {
            int ok = 0;
            (void)Orvix_GetColorMode(h);
            (void)Orvix_GetSubSample(h);
            (void)Orvix_GetWaitTime(h);
            (void)Orvix_GetAutoIris(h, &ok);
            int a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;
            (void)Orvix_GetCaptureWindowEx(h, &a, &b, &c, &d, &e, &f);
            break;
        }
        case 18: (void)Orvix_SetFilterValue(h, 1 + pick(12), pick(3)); break;
        case 19: (void)Orvix_SetAutoIris(h, pick(3)); break;
        case 20: {
            int ok = 0;
            (void)Orvix_ReadRegister(h, pick(64), &ok);
            (void)Orvix_Fpga_ReadRegister(h, 0x20, &ok);
            break;
        }
        default: (void)Orvix_GetLastError(h); break;
        }
    }

    SharedHandle& camera_;
    std::mt19937 rng_;
    platform::WindowHandle window_;
    std::string savePath_;
    std::vector<std::uint8_t> buffer_;
    int calls_ = 0;
};

class CaptureStress : public EmulatedCameras {
protected:
    void SetUp() override {
        resetSettings();
        attach({0, 3}, 60, 40); // fast frames and a trigger every 40 ms
    }
    void TearDown() override {
        resetSettings();
        EmulatedCameras::TearDown();
    }
};

TEST_F(CaptureStress, ThreadsOnSharedAndSeparateHandlesWhileFramesFlowAndACameraIsUnplugged) {
    MessageWindow window; // may be without a display: the window calls then fail cleanly
    SharedHandle first, second;
    first.slot = 3;
    first.handle = Orvix_Initialize(0);
    second.handle = Orvix_Initialize(0);
    ASSERT_NE(first.handle.load(), nullptr);
    ASSERT_NE(second.handle.load(), nullptr);
    ASSERT_EQ(Orvix_SetDeviceNumber(first.handle.load(), 3), 1);

    std::atomic<bool> running{true};
    std::vector<std::unique_ptr<Worker>> workers;
    for (unsigned i = 0; i < 4; ++i)
        workers.push_back(std::make_unique<Worker>(first, 11 + i, window.ok() ? window.handle() : 0,
                                                   temporaryPath("stress-a" + std::to_string(i))));
    for (unsigned i = 0; i < 2; ++i)
        workers.push_back(std::make_unique<Worker>(second, 23 + i, window.ok() ? window.handle() : 0,
                                                   temporaryPath("stress-b" + std::to_string(i))));

    std::mutex doneMutex;
    std::condition_variable doneChanged;
    int finished = 0;
    std::vector<std::thread> threads;
    const auto runThread = [&](auto body) {
        threads.emplace_back([&, body] {
            body();
            std::lock_guard<std::mutex> lock(doneMutex);
            ++finished;
            doneChanged.notify_all();
        });
    };
    for (auto& worker : workers) runThread([&running, w = worker.get()] { (*w)(running); });
    // The second handle is released and opened again now and then (released first,
    // so that the new handle's start-up finds camera 0 free and talks to it).
    runThread([&] {
        while (running.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            EXPECT_EQ(Orvix_Release(second.handle.exchange(nullptr)), 1);
            second.handle = Orvix_Initialize(0);
        }
    });

    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(emulator().unplug(0)); // every request of camera 0 fails from here
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_TRUE(emulator().replug(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    running = false;

    // Every thread returns within a bound: the longest single call is a stop of a
    // trigger capture (the 3 s transfer time-out) or a snapshot waiting for its frame.
    const std::size_t total = threads.size();
    {
        std::unique_lock<std::mutex> lock(doneMutex);
        const bool allDone =
            doneChanged.wait_for(lock, std::chrono::seconds(60), [&] { return finished == static_cast<int>(total); });
        if (!allDone) {
            ADD_FAILURE() << finished << " of " << total << " threads returned";
            std::fflush(nullptr);
            std::_Exit(1); // a thread hangs in the library: joining it would hang the test too
        }
    }
    for (auto& t : threads) t.join();
    int calls = 0;
    for (const auto& worker : workers) calls += worker->calls();
    EXPECT_GT(calls, 20);
    std::printf("%d calls in %lld ms\n", calls,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count()));

    // Both handles still work: a snapshot succeeds on each.
    std::vector<std::uint8_t> image(kLargestImage);
    for (SharedHandle* camera : {&first, &second}) {
        ORVIX_HANDLE h = camera->handle.load();
        EXPECT_EQ(Orvix_Close(h), 1);
        ASSERT_EQ(Orvix_SetCaptureWindowEx(h, 1360, 0, 1360, 1024, 0, 1024), 1);
        ASSERT_EQ(Orvix_SetSubSample(h, 0), 1);
        EXPECT_EQ(Orvix_SnapShot(h, image.data(), static_cast<int>(image.size()), 1), 1);
        EXPECT_EQ(Orvix_Release(h), 1);
    }
}

} // namespace
} // namespace orvix::test
