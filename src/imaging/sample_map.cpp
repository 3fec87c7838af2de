// Composing consecutive per-sample filter steps into one map, and applying it to rows.

#include "imaging/sample_map.h"

#include <algorithm>
#include <cstring>

#include "imaging/demosaic_internal.h"
#include "imaging/simd_target.h"

namespace orvix::detail {

SampleMap::SampleMap(SampleDepth depth) : maxValue_(maxSample(depth)) {
    for (std::int32_t s = 0; s < 1024; ++s) {
        values_[static_cast<std::size_t>(s)] = static_cast<std::uint16_t>(std::min(s, maxValue_));
        after_[static_cast<std::size_t>(s)] = values_[static_cast<std::size_t>(s)];
    }
    refreshCopies();
}

void SampleMap::composeWith(const std::uint16_t* step) {
    for (std::int32_t s = 0; s <= maxValue_; ++s) {
        values_[static_cast<std::size_t>(s)] = step[values_[static_cast<std::size_t>(s)]];
        after_[static_cast<std::size_t>(s)] = step[after_[static_cast<std::size_t>(s)]];
    }
    aboveConstant_ = step[aboveConstant_];
    identity_ = false;
}

void SampleMap::appendTable(const LookupTable& table) {
    if (above_ == AboveRange::Same) {
        // The table step reads a sample above M as M.
        above_ = AboveRange::Constant;
        aboveConstant_ = values_[static_cast<std::size_t>(maxValue_)];
    }
    composeWith(table.values.data());
    refreshCopies();
}

void SampleMap::appendBrightness(std::int32_t brightness) {
    const SampleDepth depth = maxValue_ == 255 ? SampleDepth::Bits8 : SampleDepth::Bits10;
    LookupTable table;
    buildBrightnessTable(brightness, depth, table);
    if (above_ == AboveRange::Same) {
        above_ = AboveRange::Factor;
        aboveFactor_ = brightnessFactor(brightness);
        // after_ applies the steps that follow to the scaled sample: none yet.
        composeWith(table.values.data());
        for (std::int32_t s = 0; s <= maxValue_; ++s) {
            after_[static_cast<std::size_t>(s)] = static_cast<std::uint16_t>(s);
        }
    } else {
        composeWith(table.values.data());
    }
    refreshCopies();
}

std::int32_t SampleMap::operator()(std::int32_t sample) const {
    if (sample <= maxValue_) {
        return values_[static_cast<std::size_t>(sample)];
    }
    switch (above_) {
    case AboveRange::Same: return sample;
    case AboveRange::Constant: return aboveConstant_;
    case AboveRange::Factor:
    default: {
        const auto scaled = static_cast<std::int32_t>(
            std::clamp(static_cast<double>(sample) * aboveFactor_, 0.0, static_cast<double>(maxValue_)));
        return after_[static_cast<std::size_t>(scaled)];
    }
    }
}

void SampleMap::refreshCopies() {
    for (std::size_t s = 0; s < 256; ++s) {
        bytes_[s] = static_cast<std::uint8_t>(values_[s]);
    }
    planes_.fill(0);
    for (std::size_t s = 0; s < 1024; ++s) {
        words_[s] = values_[s];
        planes_[s] = static_cast<std::uint8_t>(values_[s] & 0xFF);
        planes_[1024 + s / 4] = static_cast<std::uint8_t>(planes_[1024 + s / 4] | ((values_[s] >> 8) & 3) << (2 * (s % 4)));
    }
}

namespace {

template <typename Sample>
void mapPixels(const SampleMap& map, const std::uint8_t* in, std::uint8_t* out, std::int32_t first,
               std::int32_t width, int samplesPerPixel, int channels) {
    for (std::int32_t k = first; k < width; ++k) {
        for (int c = 0; c < samplesPerPixel; ++c) {
            const std::ptrdiff_t at =
                (static_cast<std::ptrdiff_t>(k) * samplesPerPixel + c) * static_cast<std::ptrdiff_t>(sizeof(Sample));
            Sample sample;
            std::memcpy(&sample, in + at, sizeof sample);
            if (c < channels) {
                // In range the table itself, without a call per sample.
                if constexpr (sizeof(Sample) == 1) {
                    sample = map.bytes()[sample];
                } else {
                    sample = static_cast<Sample>(sample <= 1023 ? map.words()[sample] : map(sample));
                }
            }
            std::memcpy(out + at, &sample, sizeof sample);
        }
    }
}

} // namespace

void mapRow(const SampleMap& map, const std::uint8_t* in, std::uint8_t* out, std::int32_t width, int samplesPerPixel,
            int channels, bool vectors, bool wideVectors) {
    const bool eightBit = map.maxValue() == 255;
    std::int32_t done = 0;
#if ORVIX_HAVE_X86_SIMD
    // The vector forms map every sample but a fourth one.
    const bool layoutFits = channels == std::min(samplesPerPixel, 3);
    if (vectors && layoutFits && avx2Usable()) {
        const bool wide = wideVectors && avx512VbmiUsable();
        if (eightBit) {
            done = wide ? mapRowBytesVbmi(map, in, out, width, samplesPerPixel)
                        : mapRowBytesAvx2(map, in, out, width, samplesPerPixel);
        } else {
            done = wide ? mapRowWordsVbmi(map, in, out, width, samplesPerPixel)
                        : mapRowWordsAvx2(map, in, out, width, samplesPerPixel);
        }
    }
#else
    (void)vectors;
    (void)wideVectors;
#endif
    if (eightBit) {
        mapPixels<std::uint8_t>(map, in, out, done, width, samplesPerPixel, channels);
    } else {
        mapPixels<std::uint16_t>(map, in, out, done, width, samplesPerPixel, channels);
    }
}

} // namespace orvix::detail
