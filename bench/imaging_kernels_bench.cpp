// Speed of the demosaic and filter kernels on full 1360 x 1024 frames, in pixels per
// second, beside a naive scalar bilinear demosaic and (when built with OpenCV) its
// single-thread Bayer-to-BGR conversion; then the whole filter section of a Camera per
// colour type.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "imaging/frame_pipeline.h"
#include "imaging/processor.h"
#include "imaging/processor_info.h"
#include "imaging/surface.h"
#include "imaging/demosaic.h"
#include "imaging/demosaic_internal.h"
#include "imaging/filter_kernels.h"
#include "imaging/filter_tables.h"
#include "imaging/gray_gains.h"
#include "imaging/hue_saturation.h"
#include "imaging/white_balance.h"

#if ORVIX_BENCH_WITH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace orvix {
namespace {

constexpr std::int32_t kWidth = 1360;
constexpr std::int32_t kHeight = 1024;
constexpr std::int64_t kPixels = static_cast<std::int64_t>(kWidth) * kHeight;

struct Image {
    std::uint16_t bytesPerPixel;
    std::uint32_t stride;
    std::vector<std::uint8_t> bits;

    explicit Image(int bitsPerPixel)
        : bytesPerPixel(static_cast<std::uint16_t>(bitsPerPixel / 8)),
          stride(static_cast<std::uint32_t>((kWidth * (bitsPerPixel / 8) + 3) & ~3)),
          bits(static_cast<std::size_t>(stride) * kHeight) {}
};

// A smooth scene with some noise, in the sensor's mosaic.
Image rawFrame(int bitsPerPixel) {
    Image raw(bitsPerPixel);
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> noise(0, 15);
    for (std::int32_t y = 0; y < kHeight; ++y) {
        for (std::int32_t x = 0; x < kWidth; ++x) {
            const int value = ((x * 3 + y) % 200) + 20 + noise(rng);
            if (bitsPerPixel == 8) {
                raw.bits[static_cast<std::size_t>(y) * raw.stride + static_cast<std::size_t>(x)] =
                    static_cast<std::uint8_t>(value);
            } else {
                const std::uint16_t word = static_cast<std::uint16_t>(value * 4);
                std::memcpy(&raw.bits[static_cast<std::size_t>(y) * raw.stride + 2 * static_cast<std::size_t>(x)],
                            &word, 2);
            }
        }
    }
    return raw;
}

template <typename Record>
void run(PixelKernel kernel, Image& dst, const Image& src, Record* record) {
    KernelRect rect{0, 0, kWidth, kHeight};
    Record* pointer = record;
    kernel(dst.bits.data(), src.bits.data(), &rect, 0, 0, dst.bytesPerPixel, src.bytesPerPixel, dst.stride,
           src.stride, &pointer, 0);
}

void countPixels(benchmark::State& state) { state.SetItemsProcessed(state.iterations() * kPixels); }

void demosaicBench(benchmark::State& state, PixelKernel kernel, int srcBpp, int dstBpp) {
    const Image raw = rawFrame(srcBpp);
    Image out(dstBpp);
    DemosaicParams params{3, 130, 100, 160};
    for (auto _ : state) {
        run(kernel, out, raw, &params);
        benchmark::DoNotOptimize(out.bits.data());
        benchmark::ClobberMemory();
    }
    countPixels(state);
}

// A plain textbook bilinear demosaic (GR/BG pattern), one pixel at a time.
void naiveBilinear(const Image& raw, Image& out) {
    auto s = [&](int x, int y) { return static_cast<int>(raw.bits[static_cast<std::size_t>(y) * raw.stride + x]); };
    for (int y = 1; y < kHeight - 1; ++y) {
        for (int x = 1; x < kWidth - 1; ++x) {
            int r, g, b;
            const bool evenRow = (y & 1) == 0;
            const bool evenColumn = (x & 1) == 0;
            const int cross = (s(x - 1, y) + s(x + 1, y) + s(x, y - 1) + s(x, y + 1)) / 4;
            const int diagonal = (s(x - 1, y - 1) + s(x + 1, y - 1) + s(x - 1, y + 1) + s(x + 1, y + 1)) / 4;
            const int horizontal = (s(x - 1, y) + s(x + 1, y)) / 2;
            const int vertical = (s(x, y - 1) + s(x, y + 1)) / 2;
            if (evenRow && evenColumn) { // green on a red row
                g = s(x, y);
                r = horizontal;
                b = vertical;
            } else if (evenRow) { // red
                r = s(x, y);
                g = cross;
                b = diagonal;
            } else if (evenColumn) { // blue
                b = s(x, y);
                g = cross;
                r = diagonal;
            } else { // green on a blue row
                g = s(x, y);
                b = horizontal;
                r = vertical;
            }
            std::uint8_t* p = &out.bits[static_cast<std::size_t>(y) * out.stride + 3 * static_cast<std::size_t>(x)];
            p[0] = static_cast<std::uint8_t>(b);
            p[1] = static_cast<std::uint8_t>(g);
            p[2] = static_cast<std::uint8_t>(r);
        }
    }
}

void BM_DemosaicNaiveBilinear(benchmark::State& state) {
    const Image raw = rawFrame(8);
    Image out(24);
    for (auto _ : state) {
        naiveBilinear(raw, out);
        benchmark::DoNotOptimize(out.bits.data());
        benchmark::ClobberMemory();
    }
    countPixels(state);
}
BENCHMARK(BM_DemosaicNaiveBilinear);

BENCHMARK_CAPTURE(demosaicBench, demosaic8To24_24bit, demosaic8To24, 8, 24);
BENCHMARK_CAPTURE(demosaicBench, demosaic8To24_32bit, demosaic8To24, 8, 32);
BENCHMARK_CAPTURE(demosaicBench, demosaic8To24Mmx, demosaic8To24Mmx, 8, 24);
BENCHMARK_CAPTURE(demosaicBench, demosaic8To24Sse2, demosaic8To24Sse2, 8, 24);
BENCHMARK_CAPTURE(demosaicBench, demosaic8To24Sse3, demosaic8To24Sse3, 8, 24);
BENCHMARK_CAPTURE(demosaicBench, demosaic16To48, demosaic16To48, 16, 48);
BENCHMARK_CAPTURE(demosaicBench, demosaic16To48Sse2_48bit, demosaic16To48Sse2, 16, 48);
BENCHMARK_CAPTURE(demosaicBench, demosaic16To48Sse2_64bit, demosaic16To48Sse2, 16, 64);
BENCHMARK_CAPTURE(demosaicBench, demosaic8To24ExactSse2_24bit, demosaic8To24ExactSse2, 8, 24);
BENCHMARK_CAPTURE(demosaicBench, demosaic8To24ExactSse2_32bit, demosaic8To24ExactSse2, 8, 32);
BENCHMARK_CAPTURE(demosaicBench, exactSse2Lanes_48bit, detail::demosaicExactWithSse2, 16, 48);
BENCHMARK_CAPTURE(demosaicBench, exactSse2Lanes_24bit, detail::demosaicExactWithSse2, 8, 24);
// The 16-pixel loops on their own (the kernels above use the 32-pixel loop where
// the processor has AVX2).
BENCHMARK_CAPTURE(demosaicBench, rowsSse2Only, detail::demosaic8To24WithRowsSse2, 8, 24);
BENCHMARK_CAPTURE(demosaicBench, rowsSse3Only, detail::demosaic8To24WithRowsSse3, 8, 24);
BENCHMARK_CAPTURE(demosaicBench, rowsMmxRegisters, detail::demosaic8To24MmxRegisters, 8, 24);

// The kernel the frame pipeline chooses on this processor for the depths.
void chosenDemosaicBench(benchmark::State& state, int srcBpp, int dstBpp) {
    ProcessorInfo cpu{};
    detectProcessor(&cpu);
    DemosaicParams params{3, 130, 100, 160};
    demosaicBench(state, chooseDemosaicKernel(cpu, srcBpp, dstBpp, params), srcBpp, dstBpp);
}
BENCHMARK_CAPTURE(chosenDemosaicBench, chosen8To24, 8, 24);
BENCHMARK_CAPTURE(chosenDemosaicBench, chosen8To32, 8, 32);
BENCHMARK_CAPTURE(chosenDemosaicBench, chosen16To48, 16, 48);
BENCHMARK_CAPTURE(chosenDemosaicBench, chosen16To64, 16, 64);

#if ORVIX_BENCH_WITH_OPENCV
// OpenCV runs single-threaded: 0 threads makes its parallel loops sequential.
void openCvBench(benchmark::State& state, int depth) {
    cv::setNumThreads(0);
    const Image raw = rawFrame(depth == CV_8U ? 8 : 16);
    const cv::Mat in(kHeight, kWidth, depth == CV_8U ? CV_8UC1 : CV_16UC1, const_cast<std::uint8_t*>(raw.bits.data()),
                     raw.stride);
    cv::Mat out(kHeight, kWidth, depth == CV_8U ? CV_8UC3 : CV_16UC3);
    for (auto _ : state) {
        cv::cvtColor(in, out, cv::COLOR_BayerGR2BGR);
        benchmark::DoNotOptimize(out.data);
        benchmark::ClobberMemory();
    }
    countPixels(state);
}
BENCHMARK_CAPTURE(openCvBench, cvtColorBayer8, CV_8U);
BENCHMARK_CAPTURE(openCvBench, cvtColorBayer16, CV_16U);

// The type 2 filter section built from OpenCV (gamma 120, contrast 20, sharpness 5,
// brightness 10), single-threaded: cvtColor Bayer to BGR, cv::LUT with our gamma and
// contrast tables combined, filter2D with the sharpen step as a 4 x 4 kernel, cv::LUT
// with our brightness table. Where its arithmetic differs from ours: the demosaic is
// OpenCV's bilinear one (no red and blue gains, borders filled, its own rounding);
// filter2D computes s + k/10 x (s - mean of the 4 x 4 window) in floating point and
// rounds once, where ours truncates the mean and the correction separately, and it
// filters the borders (reflected) that ours leaves alone.
void openCvChain(benchmark::State& state) {
    cv::setNumThreads(0);
    const Image raw = rawFrame(8);
    const cv::Mat in(kHeight, kWidth, CV_8UC1, const_cast<std::uint8_t*>(raw.bits.data()), raw.stride);
    LookupTable gamma, contrast, brightness;
    buildGammaTable(120, SampleDepth::Bits8, gamma);
    buildContrastTable(20, SampleDepth::Bits8, contrast);
    buildBrightnessTable(10, SampleDepth::Bits8, brightness);
    cv::Mat toneTable(1, 256, CV_8U), brightnessTable(1, 256, CV_8U);
    for (int i = 0; i < 256; ++i) {
        toneTable.at<std::uint8_t>(i) = static_cast<std::uint8_t>(contrast.values[gamma.values[static_cast<std::size_t>(i)]]);
        brightnessTable.at<std::uint8_t>(i) = static_cast<std::uint8_t>(brightness.values[static_cast<std::size_t>(i)]);
    }
    const float k = 5.0f / 10.0f;
    cv::Mat sharpenKernel(4, 4, CV_32F, cv::Scalar(-k / 16.0f));
    sharpenKernel.at<float>(2, 2) += 1.0f + k;
    cv::Mat bgr(kHeight, kWidth, CV_8UC3), toned(kHeight, kWidth, CV_8UC3), sharp(kHeight, kWidth, CV_8UC3),
        out(kHeight, kWidth, CV_8UC3);
    for (auto _ : state) {
        cv::cvtColor(in, bgr, cv::COLOR_BayerGR2BGR);
        cv::LUT(bgr, toneTable, toned);
        cv::filter2D(toned, sharp, -1, sharpenKernel, cv::Point(2, 2));
        cv::LUT(sharp, brightnessTable, out);
        benchmark::DoNotOptimize(out.data);
        benchmark::ClobberMemory();
    }
    countPixels(state);
}
BENCHMARK(openCvChain)->Unit(benchmark::kMillisecond);
#endif

void BM_MeasureWhiteBalance8(benchmark::State& state) {
    Image raw = rawFrame(8);
    for (auto _ : state) {
        WhiteBalanceParams params{};
        run(measureWhiteBalance8, raw, raw, &params);
        benchmark::DoNotOptimize(params);
    }
    countPixels(state);
}
BENCHMARK(BM_MeasureWhiteBalance8);

void BM_MeasureWhiteBalance16(benchmark::State& state) {
    Image raw = rawFrame(16);
    for (auto _ : state) {
        WhiteBalanceParams params{};
        run(measureWhiteBalance16, raw, raw, &params);
        benchmark::DoNotOptimize(params);
    }
    countPixels(state);
}
BENCHMARK(BM_MeasureWhiteBalance16);

void grayGainBench(benchmark::State& state, PixelKernel kernel) {
    const Image source = rawFrame(8);
    Image frame = source;
    GrayGainParams params{0, 256, 128, 140, 300, -10, 0, 5, 0};
    for (auto _ : state) {
        run(kernel, frame, source, &params);
        benchmark::DoNotOptimize(frame.bits.data());
        benchmark::ClobberMemory();
    }
    countPixels(state);
}
BENCHMARK_CAPTURE(grayGainBench, applyGrayGains8, applyGrayGains8);
BENCHMARK_CAPTURE(grayGainBench, applyGrayGains8Mmx, applyGrayGains8Mmx);
BENCHMARK_CAPTURE(grayGainBench, applyGrayGains8Sse2, applyGrayGains8Sse2);

void BM_MeasureGrayGains8(benchmark::State& state) {
    Image raw = rawFrame(8);
    for (auto _ : state) {
        GrayGainParams params{};
        run(measureGrayGains8, raw, raw, &params);
        benchmark::DoNotOptimize(params);
    }
    countPixels(state);
}
BENCHMARK(BM_MeasureGrayGains8);

// A demosaiced colour frame (or a raw mono one) to filter.
Image filterInput(int bitsPerPixel) {
    if (bitsPerPixel == 8 || bitsPerPixel == 16) {
        return rawFrame(bitsPerPixel);
    }
    const Image raw = rawFrame(bitsPerPixel == 48 ? 16 : 8);
    Image out(bitsPerPixel);
    DemosaicParams params{3, 100, 100, 100};
    run(bitsPerPixel == 48 ? demosaic16To48 : demosaic8To24, out, raw, &params);
    return out;
}

// In-place filter step; the input is restored outside the timing every iteration.
void filterBench(benchmark::State& state, PixelKernel kernel, int bitsPerPixel, std::int32_t setting) {
    const Image input = filterInput(bitsPerPixel);
    Image frame = input;
    FilterTableCache tables;
    FilterStepParams params{setting, &tables};
    for (auto _ : state) {
        state.PauseTiming();
        frame.bits = input.bits;
        state.ResumeTiming();
        run(kernel, frame, frame, &params);
        benchmark::DoNotOptimize(frame.bits.data());
        benchmark::ClobberMemory();
    }
    countPixels(state);
}
BENCHMARK_CAPTURE(filterBench, applyGamma8, applyGamma8, 8, 120);
BENCHMARK_CAPTURE(filterBench, applyGamma16, applyGamma16, 16, 120);
BENCHMARK_CAPTURE(filterBench, applyGamma24, applyGamma24, 24, 120);
BENCHMARK_CAPTURE(filterBench, applyGamma48, applyGamma48, 48, 120);
BENCHMARK_CAPTURE(filterBench, applyContrast8, applyContrast8, 8, 20);
BENCHMARK_CAPTURE(filterBench, applyContrast16, applyContrast16, 16, 20);
BENCHMARK_CAPTURE(filterBench, applyContrast24, applyContrast24, 24, 20);
BENCHMARK_CAPTURE(filterBench, applyContrast48, applyContrast48, 48, 20);
BENCHMARK_CAPTURE(filterBench, applyBrightness8, applyBrightness8, 8, 10);
BENCHMARK_CAPTURE(filterBench, applyBrightness16, applyBrightness16, 16, 10);
BENCHMARK_CAPTURE(filterBench, applyBrightness24, applyBrightness24, 24, 10);
BENCHMARK_CAPTURE(filterBench, applyBrightness48, applyBrightness48, 48, 10);

void sharpenBench(benchmark::State& state, PixelKernel kernel, int bitsPerPixel) {
    const Image source = filterInput(bitsPerPixel);
    Image frame = source;
    FilterTableCache tables;
    FilterStepParams params{5, &tables};
    for (auto _ : state) {
        run(kernel, frame, source, &params);
        benchmark::DoNotOptimize(frame.bits.data());
        benchmark::ClobberMemory();
    }
    countPixels(state);
}
BENCHMARK_CAPTURE(sharpenBench, sharpen8, sharpen8, 8);
BENCHMARK_CAPTURE(sharpenBench, sharpen16, sharpen16, 16);
BENCHMARK_CAPTURE(sharpenBench, sharpen24, sharpen24, 24);
BENCHMARK_CAPTURE(sharpenBench, sharpen48, sharpen48, 48);

void hueBench(benchmark::State& state, PixelKernel kernel, int bitsPerPixel) {
    const Image input = filterInput(bitsPerPixel);
    Image frame = input;
    HlsAdjust adjust{30, 0, 20};
    for (auto _ : state) {
        state.PauseTiming();
        frame.bits = input.bits;
        state.ResumeTiming();
        run(kernel, frame, frame, &adjust);
        benchmark::DoNotOptimize(frame.bits.data());
        benchmark::ClobberMemory();
    }
    countPixels(state);
}
BENCHMARK_CAPTURE(hueBench, adjustHueSaturation24, adjustHueSaturation24, 24);
BENCHMARK_CAPTURE(hueBench, adjustHueSaturation48, adjustHueSaturation48, 48);

// The colour section of one 24-bit frame as the pipeline runs it: demosaic (kernel
// chosen for this processor), gamma 120, contrast 20, the sharpen copy, sharpness 5,
// brightness 10, with the camera's table cache.
void BM_ColourPipeline24(benchmark::State& state) {
    const Image raw = rawFrame(8);
    Image output(24);
    Image work(24);
    ProcessorInfo cpu{};
    cpu.declaredFeatures = cpu.usableFeatures = kFeatureMmx | kFeatureSse | kFeatureSse2 | kFeatureSse3;
    FilterTableCache tables;
    FilterStepParams gamma{120, &tables};
    FilterStepParams contrast{20, &tables};
    FilterStepParams sharpness{5, &tables};
    FilterStepParams brightness{10, &tables};
    for (auto _ : state) {
        DemosaicParams params{3, 130, 100, 160};
        run(chooseDemosaicKernel(cpu, 8, 24, params), output, raw, &params);
        run(applyGamma24, output, output, &gamma);
        run(applyContrast24, output, output, &contrast);
        std::memcpy(work.bits.data(), output.bits.data(), output.bits.size());
        run(sharpen24, output, work, &sharpness);
        run(applyBrightness24, output, output, &brightness);
        benchmark::DoNotOptimize(output.bits.data());
        benchmark::ClobberMemory();
    }
    countPixels(state);
}
BENCHMARK(BM_ColourPipeline24)->Unit(benchmark::kMillisecond);

// The whole filter section of a camera's pipeline, per colour type, as a captured frame goes
// through it: demosaic (kernel chosen for this processor) or the mono frame itself,
// then gamma 120, contrast 20, sharpness 5 (with its copy into workSurface) and
// brightness 10. With a hue argument the hue and saturation step runs as well.
void filterSectionBench(benchmark::State& state, std::int32_t type, std::int32_t hue) {
    ProcessorInfo cpu{};
    detectProcessor(&cpu);
    FramePipeline pipeline(cpu);
    static constexpr std::uint16_t kOutputBits[] = {8, 16, 24, 32, 48, 64};
    const int rawBits = type == 1 || type >= 4 ? 16 : 8;
    Surface rawSurface;
    Surface outputSurface;
    Surface work;
    rawSurface.create(kWidth, kHeight, static_cast<std::uint16_t>(rawBits));
    const bool inPlace = type <= 1;
    if (!inPlace) outputSurface.create(kWidth, kHeight, kOutputBits[type]);
    Surface& output = inPlace ? rawSurface : outputSurface;
    work.createLike(&output);
    const FrameSurfaces surfaces{&rawSurface, &output, nullptr, &work};
    const Image raw = rawFrame(rawBits);
    auto loadRaw = [&] {
        for (std::int32_t y = 0; y < kHeight; ++y) {
            std::memcpy(rawSurface.bits() + static_cast<std::size_t>(y) * rawSurface.stride(),
                        raw.bits.data() + static_cast<std::size_t>(y) * raw.stride, raw.stride);
        }
    };
    loadRaw();
    FilterSettings f;
    f.bayerMode = 3;
    f.bayerGainRed = 130;
    f.bayerGainGreen = 100;
    f.bayerGainBlue = 160;
    f.gamma = 120;
    f.contrast = 20;
    f.sharpness = 5;
    f.brightness = 10;
    f.hue = hue;
    f.saturation = hue != 0 ? 20 : 0;
    for (auto _ : state) {
        if (inPlace) {
            // Mono types filter the raw frame itself: start every frame from the same one.
            state.PauseTiming();
            loadRaw();
            state.ResumeTiming();
        }
        (void)pipeline.applyFilterSection(type, surfaces, f);
        benchmark::DoNotOptimize(output.bits());
        benchmark::ClobberMemory();
    }
    countPixels(state);
}
BENCHMARK_CAPTURE(filterSectionBench, type0_mono8, 0, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(filterSectionBench, type1_mono10, 1, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(filterSectionBench, type2_colour24, 2, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(filterSectionBench, type3_colour32, 3, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(filterSectionBench, type4_colour48, 4, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(filterSectionBench, type5_colour64, 5, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(filterSectionBench, type2_colour24_hue30, 2, 30)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace orvix

BENCHMARK_MAIN();
