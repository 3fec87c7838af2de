// The capture path of one preview frame, and what previewing costs.
//
//   CapturePath/<bits>/<width>  one frame as the preview loop handles it: the window
//                               copy out of a ring slot into the raw Surface, the row
//                               unpacking when the width leaves padding (1358), and the
//                               frame pipeline with automatic exposure metering; colour
//                               mode 8 or 16 (mono: no demosaic, no filters). The ring
//                               is filled first and then stopped, so no transfer thread
//                               competes for the two cores.
//   PreviewCpu/<bits>           Orvix-level preview without a window at the emulated
//                               camera's 15 frames/s for one second per iteration;
//                               cpu_ms_per_s = process CPU time per second of preview
//                               (capture thread, ring thread and the emulated camera's
//                               frame delivery), fps = frames the camera sent per second.

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <thread>

#include "camera/camera.h"
#include "capture/capture_surfaces.h"
#include "device/device_link.h"
#include "emulator/emulator.h"
#include "imaging/frame_pipeline.h"
#include "imaging/pixel_kernels.h"
#include "imaging/processor.h"
#include "imaging/surface.h"

namespace {

using Clock = std::chrono::steady_clock;

void emulateOneCamera(int frameRate) {
    orvix::emulator::EmulationConfig config;
    config.withSlot(0);
    config.frameRate = frameRate;
    orvix::emulator::Emulator::instance().configure(config);
}

std::unique_ptr<orvix::Camera> emulatedCamera(int frameRate, int bits, int width) {
    emulateOneCamera(frameRate);
    auto camera = std::make_unique<orvix::Camera>();
    if (!camera->initialize(0)) return nullptr;
    camera->setColorMode(bits);
    camera->setCaptureWindowEx(1360, 0, width, 1024, 0, 1024);
    camera->setAutoIris(1);
    return camera;
}

// The parts a capture engine runs a frame through: the device link, the capture's
// Surfaces and the frame pipeline.
void CapturePath(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    const int width = static_cast<int>(state.range(1));
    const std::int32_t colorType = bits == 16 ? 1 : 0;
    emulateOneCamera(0);
    orvix::DeviceLink link;
    orvix::CaptureSurfaces surfaces;
    orvix::ProcessorInfo cpu{};
    (void)orvix::detectProcessor(&cpu);
    orvix::FramePipeline pipeline(cpu);
    if (!link.isDevicePresent(0) || link.setTenBitMode(bits == 16 ? 1 : 0) != 1 ||
        link.setCaptureWindow(0, 0, width, 1024, 0) != orvix::kLinkOk || !surfaces.allocate() ||
        !surfaces.prepare(colorType, width, 1024))
        return state.SkipWithError("no emulated camera");
    link.setTriggerMode(0);
    if (link.startContinuousTransfer() != orvix::kLinkOk) return state.SkipWithError("no transfer");
    for (int frames = 0; frames < 12;)
        if (link.pollFrame() == orvix::kPollNewFrame) ++frames;
    link.stopContinuousTransfer();

    orvix::Surface& raw = *surfaces.raw(colorType);
    const bool unpack = raw.stride() != static_cast<std::uint32_t>(raw.width()) * raw.bytesPerPixel();
    const orvix::PixelKernel unpackKernel = bits == 16 ? orvix::unpackRows16 : orvix::unpackRows8;
    orvix::FrameSettings settings; // a new camera's filters: none changes a pixel
    settings.filter.gamma = 100;
    settings.filter.bayerGainRed = settings.filter.bayerGainGreen = settings.filter.bayerGainBlue = 100;
    settings.filter.grayGainR = settings.filter.grayGainG1 = settings.filter.grayGainG2 = settings.filter.grayGainB = 128;
    settings.filter.bayerMode = 3;
    settings.autoIris = 1;
    for (auto _ : state) {
        link.convertRingFrame(raw.bits(), 0, 0, 1);
        if (unpack) raw.blit(unpackKernel, &raw, nullptr, 0, 0, nullptr, 0);
        benchmark::DoNotOptimize(pipeline.process(colorType, surfaces.frame(colorType), settings));
        benchmark::DoNotOptimize(raw.bits());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(raw.byteCount()));
}
BENCHMARK(CapturePath)->Args({8, 1360})->Args({16, 1360})->Args({8, 1358})->Args({16, 1358})
    ->Unit(benchmark::kMicrosecond);

void PreviewCpu(benchmark::State& state) {
    auto camera = emulatedCamera(15, static_cast<int>(state.range(0)), 1360);
    if (!camera || camera->startPreview() != 1) {
        state.SkipWithError("no emulated camera");
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // the frame rate settles
    double cpuSeconds = 0;
    double wallSeconds = 0;
    const auto delivered = [] {
        const auto camera = orvix::emulator::Emulator::instance().cameraState(0);
        return camera ? static_cast<double>(camera->framesDelivered) : 0.0;
    };
    const double deliveredBefore = delivered();
    for (auto _ : state) {
        const std::clock_t cpuStart = std::clock();
        const auto wallStart = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        cpuSeconds += static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        wallSeconds += std::chrono::duration<double>(Clock::now() - wallStart).count();
    }
    const double framesSent = delivered() - deliveredBefore;
    camera->stopPreview();
    state.counters["cpu_ms_per_s"] = 1000.0 * cpuSeconds / wallSeconds;
    state.counters["fps"] = framesSent / wallSeconds;
}
BENCHMARK(PreviewCpu)->Arg(8)->Arg(16)->Arg(24)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
