// The gamma, contrast and sharpen tables against plain transcriptions of their
// formulas, for every setting in range at both sample depths, and the table cache.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "imaging/filter_tables.h"

namespace orvix {
namespace {

// The gamma table exactly as the formula reads, scanning o from 2 upward. The
// logarithms of the integers are taken from a list so the scan stays affordable.
std::vector<int> gammaByScan(int g, int M) {
    std::vector<double> logOf(static_cast<std::size_t>(M) + 2, 0.0);
    for (int k = 1; k <= M + 1; ++k) {
        logOf[static_cast<std::size_t>(k)] = std::log10(static_cast<double>(k));
    }
    double gamma = g > 100 ? static_cast<double>(g - 100) * 0.1 + 1.0 : static_cast<double>(g) * 0.01;
    if (gamma <= 0.001) {
        gamma = 0.001;
    } else if (gamma >= 99.999) {
        gamma = 99.999;
    }
    std::vector<int> table(static_cast<std::size_t>(M) + 1);
    table[0] = 0;
    for (int i = 1; i <= M; ++i) {
        const double m = std::log10(static_cast<double>(M)) +
                         gamma * (std::log10(static_cast<double>(i)) - std::log10(static_cast<double>(M)));
        int value = M;
        if (m < 0) {
            value = 1;
        } else {
            for (int o = 2; o <= M - 1; ++o) {
                if (logOf[static_cast<std::size_t>(o - 1)] <= m && m <= logOf[static_cast<std::size_t>(o + 1)]) {
                    value = o;
                    break;
                }
            }
        }
        table[static_cast<std::size_t>(i)] = value;
    }
    return table;
}

std::vector<int> contrastByFormula(int contrast, bool tenBit) {
    const int M = tenBit ? 1023 : 255;
    const int N = M + 1;
    const int c = tenBit ? 4 * contrast : contrast;
    const int half = tenBit ? 512 : 128;
    std::vector<int> table(static_cast<std::size_t>(N));
    for (int i = 0; i <= M; ++i) {
        int value;
        if ((!tenBit && c > 127) || (tenBit && c >= 509)) {
            value = 0;
        } else if (i < c) {
            value = 0;
        } else if (i > M - c) {
            value = M;
        } else {
            value = static_cast<int>((static_cast<double>(N) / (2 * (half - c))) * (i - c));
        }
        table[static_cast<std::size_t>(i)] = value;
    }
    return table;
}

TEST(GammaTable, EqualsTheScanForEverySettingAtBothDepths) {
    for (SampleDepth depth : {SampleDepth::Bits8, SampleDepth::Bits10}) {
        const int M = maxSample(depth);
        for (int g = -3; g <= 203; ++g) {
            LookupTable table;
            buildGammaTable(g, depth, table);
            const std::vector<int> expected = gammaByScan(g, M);
            for (int i = 0; i <= M; ++i) {
                ASSERT_EQ(table.values[static_cast<std::size_t>(i)], expected[static_cast<std::size_t>(i)])
                    << "gamma " << g << " depth " << M << " entry " << i;
            }
        }
    }
}

TEST(GammaTable, KnownValues) {
    LookupTable table;
    buildGammaTable(50, SampleDepth::Bits8, table);
    EXPECT_EQ(table.values[64], 127);
    EXPECT_EQ(table.values[128], 180);
    EXPECT_EQ(table.values[255], 254);
    buildGammaTable(150, SampleDepth::Bits8, table);
    EXPECT_EQ(table.values[128], 4);
    for (int g : {0, 1, 100, 200, 500}) {
        buildGammaTable(g, SampleDepth::Bits8, table);
        EXPECT_EQ(table.values[0], 0);
        EXPECT_EQ(table.values[255], 254);
        buildGammaTable(g, SampleDepth::Bits10, table);
        EXPECT_EQ(table.values[0], 0);
        EXPECT_EQ(table.values[1023], 1022);
    }
}

TEST(ContrastTable, EqualsTheFormulaForEverySettingAtBothDepths) {
    for (bool tenBit : {false, true}) {
        const SampleDepth depth = tenBit ? SampleDepth::Bits10 : SampleDepth::Bits8;
        for (int c = -140; c <= 140; ++c) {
            LookupTable table;
            buildContrastTable(c, depth, table);
            const std::vector<int> expected = contrastByFormula(c, tenBit);
            for (int i = 0; i <= maxSample(depth); ++i) {
                ASSERT_EQ(table.values[static_cast<std::size_t>(i)], expected[static_cast<std::size_t>(i)])
                    << "contrast " << c << " entry " << i;
            }
        }
    }
}

TEST(ContrastTable, KnownValues) {
    LookupTable table;
    buildContrastTable(50, SampleDepth::Bits8, table);
    EXPECT_EQ(table.values[49], 0);
    EXPECT_EQ(table.values[51], 1);
    EXPECT_EQ(table.values[128], 128);
    EXPECT_EQ(table.values[205], 254);
    EXPECT_EQ(table.values[206], 255);
    buildContrastTable(-50, SampleDepth::Bits8, table);
    EXPECT_EQ(table.values[0], 35);
    EXPECT_EQ(table.values[255], 219);
    buildContrastTable(127, SampleDepth::Bits8, table);
    for (int i = 0; i < 127; ++i) {
        EXPECT_EQ(table.values[static_cast<std::size_t>(i)], 0);
    }
    for (int i = 129; i <= 255; ++i) {
        EXPECT_EQ(table.values[static_cast<std::size_t>(i)], 255);
    }
    buildContrastTable(128, SampleDepth::Bits8, table);
    EXPECT_EQ(table.values[200], 0) << "beyond the range every entry is 0";
}

TEST(SharpenTable, EqualsTheFormulaForEverySetting) {
    for (SampleDepth depth : {SampleDepth::Bits8, SampleDepth::Bits10}) {
        const int M = maxSample(depth);
        for (int k = 0; k <= 30; ++k) {
            SharpenTable table;
            buildSharpenTable(k, depth, table);
            for (int x = 0; x < 2 * (M + 1); ++x) {
                ASSERT_EQ(table.values[static_cast<std::size_t>(x)], (k * (x - M)) / 10) << k << " " << x;
            }
        }
    }
}

TEST(BrightnessTable, KnownFactors) {
    LookupTable table;
    buildBrightnessTable(255, SampleDepth::Bits8, table);
    EXPECT_EQ(table.values[100], 255);
    buildBrightnessTable(-255, SampleDepth::Bits8, table);
    EXPECT_EQ(table.values[100], 0);
    buildBrightnessTable(25, SampleDepth::Bits8, table);
    EXPECT_EQ(table.values[100], 198);
    buildBrightnessTable(-128, SampleDepth::Bits8, table);
    EXPECT_EQ(table.values[200], 99);
    buildBrightnessTable(-1, SampleDepth::Bits8, table);
    EXPECT_EQ(table.values[255], 254);
    buildBrightnessTable(100, SampleDepth::Bits10, table);
    EXPECT_EQ(table.values[1000], 1023);
}

TEST(FilterTableCache, RebuildsOnlyWhenSettingOrDepthChange) {
    FilterTableCache cache;
    LookupTable direct;
    buildGammaTable(120, SampleDepth::Bits8, direct);
    {
        auto table = cache.gamma(120, SampleDepth::Bits8);
        EXPECT_EQ(table->values, direct.values);
    }
    cache.gamma(120, SampleDepth::Bits8);
    EXPECT_EQ(cache.buildCount(), 1);
    cache.gamma(121, SampleDepth::Bits8);
    EXPECT_EQ(cache.buildCount(), 2);
    {
        auto table = cache.gamma(121, SampleDepth::Bits10);
        EXPECT_EQ(table->values[1023], 1022);
    }
    EXPECT_EQ(cache.buildCount(), 3);
    // Each kind has its own slot.
    cache.contrast(20, SampleDepth::Bits8);
    cache.sharpen(5, SampleDepth::Bits8);
    cache.gamma(121, SampleDepth::Bits10);
    EXPECT_EQ(cache.buildCount(), 5);

    // A second camera's cache is independent.
    FilterTableCache other;
    {
        auto a = cache.contrast(20, SampleDepth::Bits8);
        auto b = other.contrast(-20, SampleDepth::Bits8);
        EXPECT_NE(a->values[10], b->values[10]);
    }
}

TEST(FilterTableCache, ConcurrentLeasesSeeCompleteTables) {
    FilterTableCache cache;
    LookupTable low;
    LookupTable high;
    buildGammaTable(60, SampleDepth::Bits10, low);
    buildGammaTable(160, SampleDepth::Bits10, high);
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (int n = 0; n < 200; ++n) {
                const bool useLow = (n + t) % 2 == 0;
                auto table = cache.gamma(useLow ? 60 : 160, SampleDepth::Bits10);
                if (table->values != (useLow ? low : high).values) {
                    ++mismatches;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace
} // namespace orvix
