// The filter section of a Camera: the emulated colour chart through every colour
// type, the measurements it stores back, the gray modes, and the order and
// conditions of the filter steps.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "imaging/processor.h"
#include "imaging/surface.h"
#include "emulator/scene.h"
#include "imaging/demosaic.h"
#include "imaging/frame_pipeline.h"
#include "imaging/filter_kernels.h"
#include "imaging/hue_saturation.h"

namespace orvix {
namespace {

// The Surfaces capture start makes for `type`, a pipeline, and the live filter
// settings that a camera keeps and stores each frame's measurements in.
struct FrameRig {
    FrameRig(std::int32_t colorType, std::int32_t width, std::int32_t height, const ProcessorInfo& cpu)
        : type(colorType), pipeline(cpu) {
        if (type <= 3) surface8.create(width, height, 8);
        if (type == 1 || type >= 4) surface16.create(width, height, 16);
        if (type != 1) surface24.create(width, height, 24);
        if (type == 3) surface32.create(width, height, 32);
        if (type == 4) surface48.create(width, height, 48);
        if (type == 5) surface64.create(width, height, 64);
        work.createLike(&output());
        filter.bayerGainRed = filter.bayerGainGreen = filter.bayerGainBlue = 100;
        filter.gamma = 100;
        filter.bayerMode = 3;
        filter.grayGainR = filter.grayGainG1 = filter.grayGainG2 = filter.grayGainB = 128;
    }

    Surface& raw() { return type == 1 || type >= 4 ? surface16 : surface8; }
    Surface& output() {
        Surface* outputs[] = {&surface8, &surface16, &surface24, &surface32, &surface48, &surface64};
        return *outputs[type];
    }
    FrameSurfaces surfaces() { return FrameSurfaces{&raw(), &output(), &surface24, &work}; }

    // One frame through the filter section; its measurements stored as a camera
    // stores them.
    FrameMeasurements run() {
        const FrameMeasurements measured = pipeline.applyFilterSection(type, surfaces(), filter);
        if (measured.whiteBalanceMeasured) filter.storeWhiteBalance(measured.whiteBalance);
        if (measured.grayGainsMeasured) storeMeasuredGrayGains(filter, measured.grayGains);
        return measured;
    }

    std::int32_t type;
    Surface surface8, surface16, surface24, surface32, surface48, surface64, work;
    FramePipeline pipeline;
    FilterSettings filter;
};

ProcessorInfo detectedProcessor() {
    ProcessorInfo cpu{};
    detectProcessor(&cpu);
    return cpu;
}

std::unique_ptr<FrameRig> cameraFor(std::int32_t type, std::int32_t width, std::int32_t height,
                                    const ProcessorInfo& cpu = detectedProcessor()) {
    return std::make_unique<FrameRig>(type, width, height, cpu);
}

std::int32_t sampleAt(const Surface& s, std::int32_t x, std::int32_t y, int channel = 0) {
    const std::uint8_t* p = s.bits() + static_cast<std::size_t>(y) * s.stride() +
                            static_cast<std::size_t>(x) * s.bytesPerPixel();
    if (s.bitsPerPixel() % 16 != 0 || s.bitsPerPixel() == 32) return p[channel];
    std::uint16_t word;
    std::memcpy(&word, p + 2 * channel, 2);
    return word;
}

void setSample(Surface& s, std::int32_t x, std::int32_t y, std::int32_t value) {
    std::uint8_t* p = s.bits() + static_cast<std::size_t>(y) * s.stride() +
                      static_cast<std::size_t>(x) * s.bytesPerPixel();
    if (s.bitsPerPixel() == 8) {
        *p = static_cast<std::uint8_t>(value);
    } else {
        const std::uint16_t word = static_cast<std::uint16_t>(value);
        std::memcpy(p, &word, 2);
    }
}

// Raw frame whose sites of phase (a, b) read green at (0,0)/(1,1), blue at (0,1) and
// red at (1,0) for the Bayer mode.
void fillSites(Surface& raw, std::int32_t mode, std::int32_t green, std::int32_t blue, std::int32_t red) {
    for (std::int32_t y = 0; y < raw.height(); ++y) {
        for (std::int32_t x = 0; x < raw.width(); ++x) {
            const int a = bayerRowPhase(mode) ^ (y & 1);
            const int b = bayerColumnPhase(mode) ^ (x & 1);
            setSample(raw, x, y, a == b ? green : (a == 0 ? blue : red));
        }
    }
}

// Lines of the emulated chart's bars, as the sensor delivers them at the power-on
// exposure and gain, from an even line so the Bayer phase stays that of the scene.
void fillChart(Surface& raw, std::int32_t firstLine) {
    const std::uint8_t* scene = emulator::mosaickedScene(emulator::Scene::Chart);
    for (std::int32_t y = 0; y < raw.height(); ++y) {
        for (std::int32_t x = 0; x < raw.width(); ++x) {
            const std::uint8_t r =
                scene[static_cast<std::size_t>(firstLine + y) * emulator::kSceneWidth + static_cast<std::size_t>(x)];
            const std::uint16_t level = emulator::sampleLevel(r, 64, 512);
            setSample(raw, x, y, raw.bitsPerPixel() == 8 ? level >> 2 : level);
        }
    }
}

TEST(FilterSection, ChartBarsComeOutInTheirColoursForEveryColourType) {
    // Bars left to right: white, yellow, cyan, green, magenta, red, blue, black, with
    // channels of reflectance 200 or 20 (levels 750 and 75, in 8 bits 187 and 18).
    struct Bgr { bool blue, green, red; };
    const Bgr bars[8] = {{1, 1, 1}, {0, 1, 1}, {1, 1, 0}, {0, 1, 0}, {1, 0, 1}, {0, 0, 1}, {1, 0, 0}, {0, 0, 0}};
    for (const bool plainKernels : {false, true})
    for (std::int32_t type = 2; type <= 5; ++type) {
        SCOPED_TRACE(type);
        auto camera = cameraFor(type, emulator::kSceneWidth, 48, plainKernels ? ProcessorInfo{} : detectedProcessor());
        fillChart(camera->raw(), 300);
        camera->run();
        const Surface& out = camera->output();
        const std::int32_t high = type <= 3 ? 187 : 750;
        const std::int32_t low = type <= 3 ? 18 : 75;
        for (int bar = 0; bar < 8; ++bar) {
            SCOPED_TRACE(bar);
            for (std::int32_t x : {170 * bar + 20, 170 * bar + 85, 170 * bar + 150}) {
                EXPECT_EQ(sampleAt(out, x, 24, 0), bars[bar].blue ? high : low);
                EXPECT_EQ(sampleAt(out, x, 25, 1), bars[bar].green ? high : low);
                EXPECT_EQ(sampleAt(out, x, 24, 2), bars[bar].red ? high : low);
            }
        }
        EXPECT_EQ(sampleAt(out, 1, 24, 1), 0) << "border columns stay black";
    }
}

TEST(FilterSection, OneShotWhiteBalanceStoresItsGainsAndBalancesTheSameFrame) {
    auto camera = cameraFor(2, 40, 20);
    fillSites(camera->surface8, 3, 100, 50, 200);
    camera->filter.bayerGainAuto = camera->filter.bayerGainOnce1 = camera->filter.bayerGainOnce2 = 1;
    camera->run();
    EXPECT_EQ(camera->filter.bayerGainBlue, 200);
    EXPECT_EQ(camera->filter.bayerGainGreen, 100);
    EXPECT_EQ(camera->filter.bayerGainRed, 50);
    EXPECT_EQ(camera->filter.bayerGainAuto, 0);
    EXPECT_EQ(camera->filter.bayerGainOnce1 + camera->filter.bayerGainOnce2, 0);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(sampleAt(camera->surface24, 20, 10, c), 100);

    // The measurement is over: the next frame keeps the stored gains.
    fillSites(camera->surface8, 3, 100, 100, 100);
    camera->run();
    EXPECT_EQ(camera->filter.bayerGainBlue, 200);
    EXPECT_EQ(sampleAt(camera->surface24, 20, 10, 0), 200);
    EXPECT_EQ(sampleAt(camera->surface24, 20, 10, 2), 50);

    // Every-frame measurement on a 16-bit frame; a ratio above 4 stores 400.
    auto deep = cameraFor(4, 40, 20);
    fillSites(deep->surface16, 3, 1000, 200, 100);
    deep->filter.bayerGainAuto = 1;
    deep->run();
    EXPECT_EQ(deep->filter.bayerGainBlue, 400);
    EXPECT_EQ(deep->filter.bayerGainRed, 400);
    EXPECT_EQ(deep->filter.bayerGainAuto, 1);
    EXPECT_EQ(sampleAt(deep->surface48, 20, 10, 0), 800);
    EXPECT_EQ(sampleAt(deep->surface48, 20, 10, 2), 400);
}

TEST(FilterSection, GrayModeOneMeasuresWhenAskedAndCorrectsTheSameFrame) {
    auto camera = cameraFor(0, 16, 8);
    Surface& frame = camera->surface8;
    camera->filter.bayerMode = 0;
    camera->filter.grayMode = 1;
    camera->filter.grayGainAuto = 1;
    camera->filter.grayOffsetB = 7; // offsets alone never start the step
    fillSites(frame, 0, 100, 50, 60); // G1 and G2 100, R sites (0,1) 50, B sites (1,0) 60
    setSample(frame, 1, 0, 255);      // saturated samples count nowhere
    camera->run();
    EXPECT_EQ(camera->filter.grayGainR, 256);
    EXPECT_EQ(camera->filter.grayGainB, 213);
    EXPECT_EQ(camera->filter.grayGainG2, 128);
    EXPECT_EQ(camera->filter.grayGainAuto, 0);
    EXPECT_EQ(sampleAt(frame, 3, 0), 100);      // R site doubled
    EXPECT_EQ(sampleAt(frame, 0, 1), 7 + 99);   // B site: 60 x 213 / 128 + offset
    EXPECT_EQ(sampleAt(frame, 0, 0), 100);

    // Every frame (counter negative): it keeps measuring and counting down.
    camera->filter.grayGainAuto = -1;
    fillSites(frame, 0, 100, 25, 100);
    camera->run();
    EXPECT_EQ(camera->filter.grayGainR, 512);
    EXPECT_EQ(camera->filter.grayGainAuto, -2);

    // Unity gains with offsets: the frame passes unchanged.
    auto plain = cameraFor(0, 16, 8);
    plain->filter.grayMode = 1;
    plain->filter.grayOffsetG1 = plain->filter.grayOffsetR = 40;
    fillSites(plain->surface8, 3, 90, 30, 60);
    plain->run();
    EXPECT_EQ(sampleAt(plain->surface8, 5, 5), 90);
    EXPECT_EQ(sampleAt(plain->surface8, 4, 5), 30);
}

TEST(FilterSection, GrayModeTwoShowsTheLuminanceOfTheDemosaicedFrame) {
    auto camera = cameraFor(0, 24, 12);
    camera->filter.bayerMode = 0;
    camera->filter.grayMode = 2;
    fillSites(camera->surface8, 0, 100, 50, 200);
    camera->run();
    EXPECT_EQ(sampleAt(camera->surface24, 10, 6, 2), 200);
    // (59 G + 30 R + 11 B) / 100 of (50, 100, 200).
    for (std::int32_t x = 2; x < 22; ++x) EXPECT_EQ(sampleAt(camera->surface8, x, 6), 124);
    EXPECT_EQ(sampleAt(camera->surface8, 0, 6), 0) << "the uninterpolated border";
}

// The steps as the section runs them, done by hand on a copy of the output.
std::vector<std::uint8_t> expectedChain(FrameRig& camera, const FilterSettings& f) {
    Surface& out = camera.output();
    Surface copy;
    copy.createLike(&out);
    std::memcpy(copy.bits(), out.bits(), out.byteCount());
    const bool colour = camera.type >= 2;
    const int bits = out.bitsPerPixel();
    auto pick = [bits](PixelKernel k8, PixelKernel k16, PixelKernel k24, PixelKernel k48) {
        return bits == 8 ? k8 : bits == 16 ? k16 : bits <= 32 ? k24 : k48;
    };
    auto run = [&](PixelKernel kernel, Surface& source, auto record) {
        auto* pointer = &record;
        copy.blit(kernel, &source, nullptr, 0, 0, &pointer, 0);
    };
    if (colour) run(pick(nullptr, nullptr, adjustHueSaturation24, adjustHueSaturation48), copy, HlsAdjust{f.hue, 0, f.saturation});
    run(pick(applyGamma8, applyGamma16, applyGamma24, applyGamma48), copy, FilterStepParams{f.gamma, nullptr});
    run(pick(applyContrast8, applyContrast16, applyContrast24, applyContrast48), copy, FilterStepParams{f.contrast, nullptr});
    Surface unsharpened;
    unsharpened.createLike(&copy);
    std::memcpy(unsharpened.bits(), copy.bits(), copy.byteCount());
    run(pick(sharpen8, sharpen16, sharpen24, sharpen48), unsharpened, FilterStepParams{f.sharpness, nullptr});
    run(pick(applyBrightness8, applyBrightness16, applyBrightness24, applyBrightness48), copy,
        FilterStepParams{f.brightness, nullptr});
    return std::vector<std::uint8_t>(copy.bits(), copy.bits() + copy.byteCount());
}

TEST(FilterSection, RunsEveryStepInOrderOnEveryLayoutAndReusesItsTables) {
    std::mt19937 rng(7);
    for (std::int32_t type = 0; type <= 5; ++type) {
        SCOPED_TRACE(type);
        auto camera = cameraFor(type, 37, 21);
        Surface& raw = camera->raw();
        std::uniform_int_distribution<int> level(0, raw.bitsPerPixel() == 8 ? 255 : 1023);
        for (std::int32_t y = 0; y < raw.height(); ++y)
            for (std::int32_t x = 0; x < raw.width(); ++x) setSample(raw, x, y, level(rng));
        // The fourth channel of 32/64-bit pixels is never written by the section.
        if (type == 3 || type == 5) std::memset(camera->output().bits(), 0x5A, camera->output().byteCount());
        const std::vector<std::uint8_t> rawFrame(raw.bits(), raw.bits() + raw.byteCount());

        // The demosaic alone gives the filters' input.
        camera->run();
        Surface& out = camera->output();
        FilterSettings f = camera->filter;
        f.hue = 40;
        f.saturation = -30;
        f.gamma = 120;
        f.contrast = 20;
        f.sharpness = 5;
        f.brightness = 10;
        const std::vector<std::uint8_t> expected = expectedChain(*camera, f);
        if (type == 3) {
            EXPECT_EQ(sampleAt(out, 10, 10, 3), 0x5A);
        }

        camera->filter = f;
        std::int32_t builtForFirstFrame = 0;
        for (int frame = 0; frame < 2; ++frame) {
            std::memcpy(raw.bits(), rawFrame.data(), rawFrame.size());
            camera->run();
            EXPECT_TRUE(std::vector<std::uint8_t>(out.bits(), out.bits() + out.byteCount()) == expected);
            if (frame == 0) builtForFirstFrame = camera->pipeline.tables().buildCount();
        }
        // Gamma and contrast, and the sharpen table where the sharpen rows read it,
        // built for the first frame and reused for the second.
        EXPECT_GE(builtForFirstFrame, 2);
        EXPECT_LE(builtForFirstFrame, 3);
        EXPECT_EQ(camera->pipeline.tables().buildCount(), builtForFirstFrame) << "tables rebuilt for the same settings";
    }
}

TEST(FilterSection, NeutralSettingsLeaveAMonoFrameAndMissingSurfacesAreSkipped) {
    auto camera = cameraFor(1, 20, 10);
    fillSites(camera->surface16, 3, 1023, 7, 500);
    const std::vector<std::uint8_t> before(camera->surface16.bits(),
                                           camera->surface16.bits() + camera->surface16.byteCount());
    camera->filter.hue = 90; // no hue step on a mono layout
    camera->run();
    EXPECT_TRUE(std::vector<std::uint8_t>(camera->surface16.bits(),
                                          camera->surface16.bits() + camera->surface16.byteCount()) == before);

    // A work Surface of another shape: the sharpen step is left out rather than
    // copying the frame past its end; the other steps still run.
    camera->work.create(4, 4, 16);
    camera->filter.sharpness = 30;
    camera->filter.brightness = -255;
    camera->run();
    EXPECT_EQ(sampleAt(camera->surface16, 10, 5), 0);

    FramePipeline bare(ProcessorInfo{});
    (void)bare.applyFilterSection(2, FrameSurfaces{}, FilterSettings{}); // no Surfaces at all
    (void)camera->pipeline.applyFilterSection(9, camera->surfaces(), camera->filter);
}

} // namespace
} // namespace orvix
