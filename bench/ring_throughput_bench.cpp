// Ring throughput with the unthrottled emulated camera: how fast frames arrive and how
// fast the capture window is copied out of the ring (8-bit and 10-bit, full window),
// beside a plain memcpy of the same number of bytes.
//
//   RingWindowCopy/<tenBit>   time = time spent in convertRingFrame; bytes_per_second =
//                             window copy rate; ring_fps = frames delivered per second
//   RingMemcpy/<tenBit>       the same, with a memcpy of the window's bytes out of the
//                             chosen slot in place of the window copy
//   WindowCopy/<tenBit>       the same window copy straight out of ten frame-sized
//                             buffers taken in turn, like ring slots, without a ring
//   Memcpy/<bytes>/<ring>     memcpy of the window's bytes out of the same ten
//                             buffers, with the ring idle (0) or streaming meanwhile (1)

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "device/device_link.h"
#include "device/frame_copy.h"
#include "emulator/emulator.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kWindow8Bytes = 1360u * 1024u;
constexpr std::size_t kWindow10Bytes = 1360u * 1024u * 2u;
constexpr std::size_t kSlotBytes = 1898496u * 2u;
constexpr int kSlots = 10;

// Ten frame-sized buffers, filled, so that each pass reads memory the last passes did
// not leave in the cache (as the ring's slots).
struct FrameBuffers {
    FrameBuffers() : bytes(kSlotBytes * kSlots) {
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    }
    const std::uint8_t* slot(std::int64_t n) const { return bytes.data() + std::size_t(n % kSlots) * kSlotBytes; }
    std::vector<std::uint8_t> bytes;
};

std::unique_ptr<orvix::DeviceLink> streamingLink(bool tenBit) {
    orvix::emulator::EmulationConfig config;
    config.withSlot(0);
    config.frameRate = 0; // as fast as frames are asked for
    orvix::emulator::Emulator::instance().configure(config);
    auto link = std::make_unique<orvix::DeviceLink>();
    link->setExposure(64);
    link->setGlobalGain(512);
    link->setTenBitMode(tenBit ? 1 : 0);
    link->setCaptureWindow(0, 0, 1360, 1024, 0);
    if (link->startContinuousTransfer() != orvix::kLinkOk) return nullptr;
    return link;
}

void waitForNewFrame(orvix::DeviceLink& link) {
    while (link.pollFrame() != orvix::kPollNewFrame) std::this_thread::yield();
}

void RingWindowCopy(benchmark::State& state) {
    const bool tenBit = state.range(0) != 0;
    auto link = streamingLink(tenBit);
    if (!link) {
        state.SkipWithError("ring did not start");
        return;
    }
    std::vector<std::uint8_t> dst(link->frameCopyBytes());
    std::int64_t frames = 0;
    const auto start = Clock::now();
    for (auto _ : state) {
        waitForNewFrame(*link);
        const auto copyStart = Clock::now();
        link->convertRingFrame(dst.data(), 0, 0, 1);
        const auto copyEnd = Clock::now();
        benchmark::DoNotOptimize(dst.data());
        state.SetIterationTime(std::chrono::duration<double>(copyEnd - copyStart).count());
        ++frames;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    link->stopContinuousTransfer();
    state.SetBytesProcessed(frames * static_cast<std::int64_t>(dst.size()));
    state.counters["ring_fps"] = seconds > 0 ? static_cast<double>(frames) / seconds : 0.0;
    orvix::emulator::Emulator::instance().deactivate();
}
BENCHMARK(RingWindowCopy)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

void WindowCopy(benchmark::State& state) {
    const bool tenBit = state.range(0) != 0;
    orvix::WindowCopy window;
    window.lineLength = 1791;
    window.originSample = 424;
    window.originLine = 14;
    window.width = 1360;
    window.height = 1024;
    const FrameBuffers frames;
    std::vector<std::uint8_t> dst(orvix::windowCopyBytes(window, tenBit));
    std::int64_t n = 0;
    for (auto _ : state) {
        (tenBit ? orvix::copyWindow10 : orvix::copyWindow8)(frames.slot(n++), window, dst.data());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(dst.size()));
}
BENCHMARK(WindowCopy)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void RingMemcpy(benchmark::State& state) {
    const bool tenBit = state.range(0) != 0;
    auto link = streamingLink(tenBit);
    if (!link) {
        state.SkipWithError("ring did not start");
        return;
    }
    std::vector<std::uint8_t> dst(link->frameCopyBytes());
    const std::size_t windowStart = (std::size_t(14) * 1791 + 424) * (tenBit ? 2 : 1);
    const std::uint8_t* previous = nullptr;
    for (auto _ : state) {
        const std::uint8_t* frame = nullptr;
        do { // a frame not copied before (the slot stays untouched while it is chosen)
            waitForNewFrame(*link);
            frame = link->chosenRingFrame();
        } while (frame == previous);
        previous = frame;
        const auto copyStart = Clock::now();
        std::memcpy(dst.data(), frame + windowStart, dst.size());
        const auto copyEnd = Clock::now();
        benchmark::DoNotOptimize(dst.data());
        state.SetIterationTime(std::chrono::duration<double>(copyEnd - copyStart).count());
    }
    link->stopContinuousTransfer();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(dst.size()));
    orvix::emulator::Emulator::instance().deactivate();
}
BENCHMARK(RingMemcpy)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

void Memcpy(benchmark::State& state) {
    const auto bytes = static_cast<std::size_t>(state.range(0));
    const bool withRing = state.range(1) != 0;
    std::unique_ptr<orvix::DeviceLink> link;
    if (withRing) link = streamingLink(bytes == kWindow10Bytes);
    const FrameBuffers frames;
    std::vector<std::uint8_t> dst(bytes);
    std::int64_t n = 0;
    for (auto _ : state) {
        std::memcpy(dst.data(), frames.slot(n++), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
    if (link) link->stopContinuousTransfer();
    orvix::emulator::Emulator::instance().deactivate();
}
BENCHMARK(Memcpy)
    ->Args({static_cast<std::int64_t>(kWindow8Bytes), 0})
    ->Args({static_cast<std::int64_t>(kWindow10Bytes), 0})
    ->Args({static_cast<std::int64_t>(kWindow8Bytes), 1})
    ->Args({static_cast<std::int64_t>(kWindow10Bytes), 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
