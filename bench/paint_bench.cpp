// The preview paint path of one frame, under an X server (run it under xvfb-run with
// a screen larger than the frame, for example -screen 0 2800x2200x24):
//
//   Paint/<type>/<width>x<height>   the capture engine's paint of a full 1360 x 1024
//                                   frame of colour type 0..5 into a preview window of
//                                   that size: the display conversion
//                                   (CaptureSurfaces::updateDisplayable), the stretch
//                                   when the window is not the image's size (always for
//                                   type 1), and the upload to the server
//                                   (PreviewWindow::paint). Wall time per frame with the
//                                   frames painted back to back, so the server's part
//                                   of each upload is in the figure (the next frame
//                                   waits for it); cpu_ms is this process's share.
//   Convert/<kernel>/<fast|plain>   one display conversion over the full frame, the
//   Stretch/<bits>/<size>/<...>     kernels the library uses beside their plain
//                                   versions.
//   Upload/<bits>/<width>x<height>  the window's copy of an 8- or 24-bit image alone
//                                   (WindowDC::copyMirrored), through shared memory
//                                   when the server offers it.
//
// The goal for the 1:1 window is at most 1 ms per full frame.

#include <benchmark/benchmark.h>

#include <X11/Xlib.h>

#include <ctime>
#include <memory>
#include <random>
#include <string>

#include "capture/capture_surfaces.h"
#include "capture/preview_window.h"
#include "imaging/pixel_kernels.h"
#include "imaging/surface.h"
#include "platform/preview_window.h"

namespace orvix {
namespace {

constexpr int kWidth = 1360;
constexpr int kHeight = 1024;

double processCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

std::unique_ptr<Surface> randomSurface(int width, int height, std::uint16_t bits, unsigned seed) {
    auto s = std::make_unique<Surface>();
    if (!s->create(width, height, bits)) return nullptr;
    std::mt19937 generator(seed);
    std::uint8_t* p = s->bits();
    for (std::size_t i = 0; i < s->byteCount(); ++i) p[i] = static_cast<std::uint8_t>(generator());
    if (bits == 8) s->setColorTable(Surface::kColorTableModeGrayRamp, nullptr, 0, 0);
    return s;
}

// The application's side: a connection and a window to hold the preview window.
class Host {
public:
    Host() : display_(XOpenDisplay(nullptr)) {}
    ~Host() {
        if (display_) XCloseDisplay(display_);
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    bool ok() const { return display_ != nullptr; }
    platform::WindowHandle window(int width, int height) {
        const Window w = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0,
                                             static_cast<unsigned>(width), static_cast<unsigned>(height), 0, 0, 0);
        XMapWindow(display_, w);
        XSync(display_, False);
        return w;
    }
    void destroy(platform::WindowHandle w) {
        XDestroyWindow(display_, static_cast<Window>(w));
        XSync(display_, False);
    }
    bool fits(int width, int height) const {
        return width <= DisplayWidth(display_, DefaultScreen(display_)) &&
               height <= DisplayHeight(display_, DefaultScreen(display_));
    }

private:
    Display* display_;
};

// Random pixels in a Surface's whole memory.
void fillRandom(Surface& s, unsigned seed) {
    std::mt19937 generator(seed);
    std::uint8_t* p = s.bits();
    for (std::size_t i = 0; i < s.byteCount(); ++i) p[i] = static_cast<std::uint8_t>(generator());
}

void Paint(benchmark::State& state) {
    const int type = static_cast<int>(state.range(0));
    const int width = static_cast<int>(state.range(1));
    const int height = static_cast<int>(state.range(2));
    Host host;
    if (!host.ok()) return state.SkipWithError("needs an X server (run under xvfb-run)");
    if (!host.fits(width, height)) return state.SkipWithError("the screen is smaller than the window");
    const platform::WindowHandle parent = host.window(width, height);
    // The Surfaces and the window as the capture engine keeps them for the colour type.
    CaptureSurfaces surfaces;
    PreviewWindow window;
    if (!surfaces.allocate() || !surfaces.prepare(type, kWidth, kHeight) || !window.allocateDisplay())
        return state.SkipWithError("no Surfaces");
    fillRandom(*surfaces.output(type), static_cast<unsigned>(type));
    if (window.open(parent, PreviewRect{0, 0, width, height}, kWidth, kHeight) != PreviewWindow::OpenResult::Opened)
        return state.SkipWithError("no preview window");
    const bool mono = type <= 1;
    window.prepareDisplay(mono);
    const auto paintOnce = [&] {
        if (const Surface* displayable = surfaces.updateDisplayable(type)) window.paint(*displayable, mono, type == 1);
    };
    paintOnce(); // the staging image is made once

    const double cpuBefore = processCpuMs();
    for (auto _ : state) paintOnce();
    paintOnce(); // waits for the server to take the last upload
    const double cpu = processCpuMs() - cpuBefore;
    state.counters["cpu_ms"] = benchmark::Counter(cpu / static_cast<double>(state.iterations() + 1));
    state.SetItemsProcessed(state.iterations());
    window.close();
    host.destroy(parent);
}

void paintSizes(benchmark::internal::Benchmark* b) {
    for (int type = 0; type <= 5; ++type) {
        b->Args({type, kWidth, kHeight});         // 1:1
        b->Args({type, kWidth / 2, kHeight / 2}); // sub-sampled preview size
        b->Args({type, 640, 480});
        b->Args({type, 1920, 1200});
    }
}
BENCHMARK(Paint)->Apply(paintSizes)->ArgNames({"type", "w", "h"})->Unit(benchmark::kMillisecond)->UseRealTime();

struct Conversion {
    const char* name;
    PixelKernel fast;
    PixelKernel plain;
    int sourceBits;
    int destinationBits;
};
const Conversion kConversions[] = {
    {"convertMono16To8", convertMono16To8, convertMono16To8Plain, 16, 8},
    {"copyBgr", copyBgr, copyBgrPlain, 32, 24},
    {"convertColor16To8_48", convertColor16To8, convertColor16To8Plain, 48, 24},
    {"convertColor16To8_64", convertColor16To8, convertColor16To8Plain, 64, 24},
};

void Convert(benchmark::State& state) {
    const Conversion& c = kConversions[state.range(0)];
    const bool plain = state.range(1) != 0;
    auto source = randomSurface(kWidth, kHeight, static_cast<std::uint16_t>(c.sourceBits), 1);
    auto destination = randomSurface(kWidth, kHeight, static_cast<std::uint16_t>(c.destinationBits), 2);
    state.SetLabel(std::string(c.name) + (plain ? "/plain" : "/fast"));
    for (auto _ : state) {
        destination->blit(plain ? c.plain : c.fast, source.get(), nullptr, 0, 0, nullptr, 0);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(Convert)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->ArgNames({"kernel", "plain"})->Unit(benchmark::kMicrosecond);

void Stretch(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    const int width = static_cast<int>(state.range(1));
    const int height = static_cast<int>(state.range(2));
    const bool plain = state.range(3) != 0;
    auto source = randomSurface(kWidth, kHeight, static_cast<std::uint16_t>(bits), 1);
    auto destination = randomSurface(width, height, static_cast<std::uint16_t>(bits), 2);
    const ScaleKernel kernel =
        bits == 8 ? (plain ? stretchFlip8Plain : stretchFlip8) : (plain ? stretchFlip24Plain : stretchFlip24);
    for (auto _ : state) {
        destination->stretch(kernel, source.get(), nullptr, nullptr, 0, 0);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * width * height);
}
BENCHMARK(Stretch)
    ->ArgsProduct({{8, 24}, {kWidth}, {kHeight}, {0, 1}})
    ->ArgsProduct({{8, 24}, {kWidth / 2}, {kHeight / 2}, {0, 1}})
    ->ArgsProduct({{8, 24}, {1920}, {1200}, {0, 1}})
    ->ArgNames({"bits", "w", "h", "plain"})
    ->Unit(benchmark::kMicrosecond);

void Upload(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    Host host;
    if (!host.ok()) return state.SkipWithError("needs an X server (run under xvfb-run)");
    if (!host.fits(kWidth, kHeight)) return state.SkipWithError("the screen is smaller than the window");
    const platform::WindowHandle parent = host.window(kWidth, kHeight);
    PreviewWindow window; // only for its window class and child window
    if (window.open(parent, PreviewRect{0, 0, kWidth, kHeight}, kWidth, kHeight) != PreviewWindow::OpenResult::Opened)
        return state.SkipWithError("no preview window");
    auto dc = platform::WindowDC::acquire(window.handle());
    if (!dc) return state.SkipWithError("no device context");
    auto image = randomSurface(kWidth, kHeight, static_cast<std::uint16_t>(bits), 3);
    const platform::ColorTable colors = image->colorTable();
    platform::DibView view;
    view.header = &image->header();
    view.colors = &colors;
    view.bits = image->bits();
    view.stride = image->stride();
    dc->copyMirrored(view, kWidth, kHeight);
    const double cpuBefore = processCpuMs();
    for (auto _ : state) dc->copyMirrored(view, kWidth, kHeight);
    dc->copyMirrored(view, kWidth, kHeight);
    state.counters["cpu_ms"] = benchmark::Counter((processCpuMs() - cpuBefore) / static_cast<double>(state.iterations() + 1));
    dc.reset();
    window.close();
    host.destroy(parent);
}
BENCHMARK(Upload)->Arg(8)->Arg(24)->ArgNames({"bits"})->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace orvix

BENCHMARK_MAIN();
