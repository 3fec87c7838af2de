// The filter section over bands of rows against the plain form: the demosaic kernel
// over the whole frame, then every tone step over the whole frame in turn. Every
// colour type, many frame sizes, band heights, settings (steps on and off, tables
// clipping, brightness up and down, hue and saturation), processor records, earlier
// content of the output (rows and columns the steps leave alone), fourth channels and
// 10-bit words with stray high bits.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/demosaic.h"
#include "imaging/filter_section.h"
#include "imaging/frame_pipeline.h"
#include "imaging/processor.h"
#include "imaging/sample_map.h"
#include "imaging/surface.h"
#include "imaging/tone_filters.h"

namespace orvix {
namespace {

constexpr std::uint16_t kOutputBits[] = {8, 16, 24, 32, 48, 64};

bool rawIs16(std::int32_t type) { return type == 1 || type >= 4; }

struct Frame {
    Frame(std::int32_t type, std::int32_t width, std::int32_t height) : type(type) {
        raw.create(width, height, rawIs16(type) ? 16 : 8);
        if (type >= 2) colour.create(width, height, kOutputBits[type]);
        work.createLike(&output());
    }
    Surface& output() { return type >= 2 ? colour : raw; }
    std::vector<std::uint8_t> bytes() { return std::vector<std::uint8_t>(output().bits(), output().bits() + output().byteCount()); }

    std::int32_t type;
    Surface raw, colour, work;
};

void fillRandom(Surface& s, std::mt19937& rng, bool tenBitWords, bool strayHighBits) {
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> word(0, 1023);
    std::uniform_int_distribution<int> rare(0, 60);
    for (std::int32_t y = 0; y < s.height(); ++y) {
        std::uint8_t* row = s.bits() + static_cast<std::size_t>(y) * s.stride();
        if (!tenBitWords) {
            for (std::uint32_t i = 0; i < s.stride(); ++i) row[i] = static_cast<std::uint8_t>(byte(rng));
            continue;
        }
        for (std::uint32_t i = 0; i + 1 < s.stride(); i += 2) {
            std::uint16_t w = static_cast<std::uint16_t>(word(rng));
            if (strayHighBits && rare(rng) == 0) w = static_cast<std::uint16_t>(w | 0x8400);
            std::memcpy(row + i, &w, 2);
        }
    }
}

// The plain form: the chosen demosaic kernel over the whole frame, then the steps.
std::vector<std::uint8_t> plainSection(Frame& f, const FilterSettings& settings, const ProcessorInfo& cpu) {
    FilterTableCache tables;
    if (f.type >= 2) {
        DemosaicParams params{settings.bayerMode, settings.bayerGainRed, settings.bayerGainGreen, settings.bayerGainBlue};
        const DemosaicParams* pointer = &params;
        f.colour.blit(chooseDemosaicKernel(cpu, f.raw.bitsPerPixel(), f.colour.bitsPerPixel(), params), &f.raw, nullptr,
                      0, 0, &pointer, 0);
    }
    applyToneFilters(f.output(), &f.work, settings, tables);
    return f.bytes();
}

FilterSettings randomSettings(std::mt19937& rng) {
    auto pick = [&](std::initializer_list<std::int32_t> values) {
        std::uniform_int_distribution<std::size_t> i(0, values.size() - 1);
        return *(values.begin() + i(rng));
    };
    FilterSettings s;
    s.bayerMode = pick({0, 1, 2, 3});
    s.bayerGainRed = pick({100, 130, 200, 250});
    s.bayerGainGreen = 100;
    s.bayerGainBlue = pick({100, 160, 0, 399});
    s.gamma = pick({100, 120, 50, 200, 0});
    s.contrast = pick({0, 20, -50, 127, 130});
    s.sharpness = pick({0, 5, 30});
    s.brightness = pick({0, 10, -128, 255, -1});
    s.hue = pick({0, 0, 30, -200});
    s.saturation = pick({0, 20, -255});
    return s;
}

std::vector<ProcessorInfo> processors() {
    ProcessorInfo detected{};
    detectProcessor(&detected);
    ProcessorInfo sse2Only{};
    sse2Only.declaredFeatures = sse2Only.usableFeatures = kFeatureMmx | kFeatureSse | kFeatureSse2;
    return {ProcessorInfo{}, sse2Only, detected};
}

TEST(FilterBands, EveryTypeSizeBandAndSettingGivesThePlainSectionsBytes) {
    std::mt19937 rng(2718);
    const std::int32_t sizes[][2] = {{4, 4}, {5, 6}, {7, 5}, {9, 9}, {17, 12}, {19, 7}, {33, 21}, {64, 10},
                                     {100, 40}, {1360, 8}};
    const std::int32_t bandRows[] = {0, 1, 2, 3, 5, 64};
    int cases = 0;
    for (const ProcessorInfo& cpu : processors()) {
        for (std::int32_t type = 0; type <= 5; ++type) {
            for (const auto& size : sizes) {
                for (int repeat = 0; repeat < 3; ++repeat) {
                    const FilterSettings settings = randomSettings(rng);
                    Frame plain(type, size[0], size[1]);
                    // Stray high bits in one frame of three: a row holding one is done with
                    // the reference arithmetic, so the other frames keep the vector rows busy.
                    fillRandom(plain.raw, rng, rawIs16(type), rawIs16(type) && repeat == 2);
                    if (type >= 2) fillRandom(plain.colour, rng, type >= 4, false); // the previous frame
                    Frame banded(type, size[0], size[1]);
                    std::memcpy(banded.raw.bits(), plain.raw.bits(), plain.raw.byteCount());
                    std::memcpy(banded.output().bits(), plain.output().bits(), plain.output().byteCount());
                    const std::vector<std::uint8_t> expected = plainSection(plain, settings, cpu);

                    FramePipeline pipeline(cpu);
                    SectionOptions options = pipeline.sectionOptions();
                    options.bandRows = bandRows[static_cast<std::size_t>(cases) % 6];
                    options.wideVectors = cases % 2 == 0; // the AVX-512 lookups, where they run, and the AVX2 ones
                    pipeline.setSectionOptions(options);
                    (void)pipeline.applyFilterSection(type, FrameSurfaces{&banded.raw, &banded.output(), nullptr, &banded.work},
                                                      settings);
                    ASSERT_TRUE(banded.bytes() == expected)
                        << "type " << type << " wide " << options.wideVectors << " size " << size[0] << "x" << size[1] << " bands " << options.bandRows
                        << " features " << cpu.usableFeatures << " gamma " << settings.gamma << " contrast "
                        << settings.contrast << " sharpness " << settings.sharpness << " brightness "
                        << settings.brightness << " hue " << settings.hue << " saturation " << settings.saturation;
                    ++cases;
                }
            }
        }
    }
}

TEST(FilterBands, WithoutAWorkSurfaceSharpenIsLeftOutAndTheOtherStepsCombine) {
    std::mt19937 rng(5);
    for (std::int32_t type : {0, 2, 3, 5}) {
        FilterSettings settings;
        settings.bayerMode = 2;
        settings.bayerGainRed = settings.bayerGainGreen = settings.bayerGainBlue = 100;
        settings.gamma = 150;
        settings.contrast = -20;
        settings.sharpness = 12;
        settings.brightness = 40;
        Frame plain(type, 45, 13);
        fillRandom(plain.raw, rng, rawIs16(type), false);
        Frame banded(type, 45, 13);
        std::memcpy(banded.raw.bits(), plain.raw.bits(), plain.raw.byteCount());
        plain.work.release();
        const std::vector<std::uint8_t> expected = plainSection(plain, settings, ProcessorInfo{});
        FramePipeline pipeline(ProcessorInfo{});
        (void)pipeline.applyFilterSection(type, FrameSurfaces{&banded.raw, &banded.output(), nullptr, nullptr}, settings);
        EXPECT_TRUE(banded.bytes() == expected) << type;
    }
}

TEST(SampleMap, CombinesStepsAsRunningThemInTurnAndKeepsSamplesAboveTenBitsApart) {
    LookupTable gamma, contrast;
    buildGammaTable(140, SampleDepth::Bits10, gamma);
    buildContrastTable(-30, SampleDepth::Bits10, contrast);
    detail::SampleMap tablesFirst(SampleDepth::Bits10);
    tablesFirst.appendTable(gamma);
    tablesFirst.appendTable(contrast);
    tablesFirst.appendBrightness(-100);
    LookupTable brightness;
    buildBrightnessTable(-100, SampleDepth::Bits10, brightness);
    for (std::int32_t s = 0; s <= 1023; ++s) {
        ASSERT_EQ(tablesFirst(s), brightness.values[contrast.values[gamma.values[static_cast<std::size_t>(s)]]]) << s;
    }
    // A table step reads 4000 as 1023; brightness first scales it by its factor.
    EXPECT_EQ(tablesFirst(4000), tablesFirst(1023));
    detail::SampleMap brightnessOnly(SampleDepth::Bits10);
    brightnessOnly.appendBrightness(-200);
    EXPECT_EQ(brightnessOnly(4000), static_cast<std::int32_t>(4000 * brightnessFactor(-200)));
    EXPECT_EQ(brightnessOnly(65535), 1023);
    EXPECT_TRUE(detail::SampleMap(SampleDepth::Bits8).isIdentity());
    EXPECT_FALSE(brightnessOnly.isIdentity());

    // Rows of every layout, plain and with each vector form, in place and between two
    // rows: now and then (or often) a sample above the range, which the vector forms
    // map one by one, and a fourth sample that is copied whatever it holds.
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> word(0, 1023);
    std::uniform_int_distribution<int> stray(0, 65535);
    for (int strayEvery : {13, 700}) {
        std::uniform_int_distribution<int> chance(0, strayEvery - 1);
        for (int samplesPerPixel : {1, 3, 4}) {
            for (std::int32_t width : {1, 15, 16, 33, 97, 1360}) {
                std::vector<std::uint16_t> row(static_cast<std::size_t>(width * samplesPerPixel));
                for (std::uint16_t& w : row) {
                    w = static_cast<std::uint16_t>(chance(rng) == 0 ? stray(rng) : word(rng));
                }
                const int channels = std::min(samplesPerPixel, 3);
                for (int form = 0; form < 3; ++form) {
                    const bool vectors = form > 0;
                    const bool wide = form == 2;
                    std::vector<std::uint16_t> inPlace = row;
                    std::vector<std::uint16_t> separate(row.size(), 0x5A5A);
                    detail::mapRow(tablesFirst, reinterpret_cast<std::uint8_t*>(inPlace.data()),
                                   reinterpret_cast<std::uint8_t*>(inPlace.data()), width, samplesPerPixel, channels,
                                   vectors, wide);
                    detail::mapRow(tablesFirst, reinterpret_cast<const std::uint8_t*>(row.data()),
                                   reinterpret_cast<std::uint8_t*>(separate.data()), width, samplesPerPixel, channels,
                                   vectors, wide);
                    for (std::size_t i = 0; i < row.size(); ++i) {
                        const bool fourth = samplesPerPixel == 4 && i % 4 == 3;
                        const std::uint16_t expected =
                            fourth ? row[i] : static_cast<std::uint16_t>(tablesFirst(row[i]));
                        ASSERT_EQ(inPlace[i], expected) << "form " << form << ", " << samplesPerPixel << " x " << width;
                        ASSERT_EQ(separate[i], expected) << "form " << form << ", " << samplesPerPixel << " x " << width;
                    }
                }
            }
        }
    }
}

TEST(SampleMap, TheBytePermuteLookupMapsExactlyTheWordsItIsGiven) {
    if (!detail::avx512VbmiUsable()) GTEST_SKIP() << "the AVX-512 byte permutes do not run here";
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> entry(0, 1023);
    std::uniform_int_distribution<int> word(0, 65535);
    LookupTable table;
    for (std::uint16_t& value : table.values) value = static_cast<std::uint16_t>(entry(rng));
    detail::SampleMap map(SampleDepth::Bits10);
    map.appendTable(table);
    // Every 10-bit index once, in a shuffled order.
    std::vector<std::uint16_t> every(1024);
    for (std::size_t i = 0; i < every.size(); ++i) every[i] = static_cast<std::uint16_t>(i);
    std::shuffle(every.begin(), every.end(), rng);
    std::vector<std::uint16_t> mapped = every;
    detail::lookupWordsVbmi(map.bytePlanes(), mapped.data(), 1024);
    for (std::size_t i = 0; i < every.size(); ++i) ASSERT_EQ(mapped[i], table.values[every[i]]) << every[i];
    // Any count (whole blocks and every tail), bits above the tenth ignored, and the
    // words on either side left alone.
    for (std::int32_t count = 0; count <= 600; count += count < 300 ? 1 : 37) {
        std::vector<std::uint16_t> words(static_cast<std::size_t>(count) + 80);
        for (std::uint16_t& w : words) w = static_cast<std::uint16_t>(word(rng));
        std::vector<std::uint16_t> result = words;
        detail::lookupWordsVbmi(map.bytePlanes(), result.data() + 8, count);
        for (std::size_t i = 0; i < words.size(); ++i) {
            const bool inside = i >= 8 && i < 8 + static_cast<std::size_t>(count);
            ASSERT_EQ(result[i], inside ? table.values[words[i] & 1023u] : words[i]) << "count " << count << " at " << i;
        }
    }
}

} // namespace
} // namespace orvix
