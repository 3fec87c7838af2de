#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "device/frame_copy.h"

namespace orvix {
namespace {

std::uint16_t word(const std::vector<std::uint8_t>& bytes, std::size_t i) {
    return static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
}

TEST(TenBitUnpack, SampleWordsBecomeTenBitValues) {
    const std::vector<std::uint8_t> src = {0xFF, 0x02, 0x80, 0x03, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0xFC};
    std::vector<std::uint8_t> dst(src.size());
    unpackTenBitRow(src.data(), dst.data(), 5);
    EXPECT_EQ(word(dst, 0), 1022); // low 0xFF, high 0x02
    EXPECT_EQ(word(dst, 1), 515);  // 0x80 * 4 + 3
    EXPECT_EQ(word(dst, 2), 0);
    EXPECT_EQ(word(dst, 3), 1023); // bits above the two lowest of the high byte are dropped
    EXPECT_EQ(word(dst, 4), 4);
}

TEST(TenBitUnpack, VectorVersionMatchesThePlainOne) {
    const UnpackTenBitRow sse2 = unpackTenBitRowSse2();
    if (!sse2) GTEST_SKIP() << "no SSE2 on this processor";
    std::mt19937 random(7);
    for (int count : {0, 1, 7, 8, 9, 31, 32, 33, 40, 63, 64, 65, 1360, 1361}) {
        std::vector<std::uint8_t> src(std::size_t(count) * 2 + 1);
        for (auto& b : src) b = static_cast<std::uint8_t>(random());
        // Unaligned source and destination on purpose.
        std::vector<std::uint8_t> plain(std::size_t(count) * 2 + 1, 0), vector(std::size_t(count) * 2 + 1, 0);
        unpackTenBitRow(src.data() + 1, plain.data() + 1, count);
        sse2(src.data() + 1, vector.data() + 1, count);
        EXPECT_EQ(plain, vector) << count;
    }
}

// A frame whose sample at (line, sample) holds a value telling both apart.
std::vector<std::uint8_t> numberedFrame(int lineLength, int lines, bool tenBit) {
    std::vector<std::uint8_t> frame(std::size_t(lineLength) * std::size_t(lines) * (tenBit ? 2 : 1));
    for (int line = 0; line < lines; ++line)
        for (int sample = 0; sample < lineLength; ++sample) {
            const std::size_t i = std::size_t(line) * std::size_t(lineLength) + std::size_t(sample);
            const unsigned value = unsigned(line * 37 + sample) & 0x3FF;
            if (tenBit) {
                frame[2 * i] = static_cast<std::uint8_t>(value >> 2);
                frame[2 * i + 1] = static_cast<std::uint8_t>(value & 3);
            } else {
                frame[i] = static_cast<std::uint8_t>(value);
            }
        }
    return frame;
}

TEST(WindowCopy, SubSamplingKeepsPairsOfColumnsAndLines) {
    WindowCopy window;
    window.lineLength = 40;
    window.originSample = 3;
    window.originLine = 2;
    window.width = 33;
    window.height = 18;
    // Kept columns (and lines) relative to the origin: 1/2 keeps 0 1 4 5 8 9 ...,
    // 1/4 keeps 0 1 8 9 16 17 ...
    const int kept[2][8] = {{0, 1, 4, 5, 8, 9, 12, 13}, {0, 1, 8, 9, 16, 17, 24, 25}};
    for (int subSample : {1, 2}) {
        window.subSample = subSample;
        for (bool tenBit : {false, true}) {
            const auto frame = numberedFrame(40, 24, tenBit);
            std::vector<std::uint8_t> dst(windowCopyBytes(window, tenBit));
            ASSERT_EQ(dst.size(), std::size_t(33 >> subSample) * std::size_t(18 >> subSample) * (tenBit ? 2 : 1));
            (tenBit ? copyWindow10 : copyWindow8)(frame.data(), window, dst.data());
            const int outWidth = window.outputWidth();
            for (int dy = 0; dy < window.outputHeight() && dy < 8; ++dy)
                for (int dx = 0; dx < outWidth && dx < 8; ++dx) {
                    const unsigned want = unsigned((2 + kept[subSample - 1][dy]) * 37 + 3 + kept[subSample - 1][dx]);
                    const std::size_t i = std::size_t(dy) * std::size_t(outWidth) + std::size_t(dx);
                    EXPECT_EQ(tenBit ? word(dst, i) : dst[i], tenBit ? (want & 0x3FF) : (want & 0xFF))
                        << subSample << " " << dx << "," << dy;
                }
        }
    }
}

TEST(WindowCopy, FullWindowCopiesRowsPacked) {
    WindowCopy window;
    window.lineLength = 50;
    window.originSample = 7;
    window.originLine = 1;
    window.width = 21;
    window.height = 3;
    const auto frame = numberedFrame(50, 5, true);
    std::vector<std::uint8_t> dst(windowCopyBytes(window, true));
    copyWindow10(frame.data(), window, dst.data());
    EXPECT_EQ(word(dst, 0), 1 * 37 + 7);
    EXPECT_EQ(word(dst, 20), 1 * 37 + 27);
    EXPECT_EQ(word(dst, 21), 2 * 37 + 7);
    EXPECT_EQ(word(dst, 62), 3 * 37 + 27);
}

} // namespace
} // namespace orvix
