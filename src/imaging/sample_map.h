#pragma once
// What a run of consecutive per-sample filter steps (gamma, contrast, brightness,
// with nothing between them) does to one sample, as one table, and the row pass that
// applies it. The result is the same as running the steps one after another:
//   - a table step maps s to T[min(s, M)];
//   - brightness maps s <= M to its table and a 10-bit sample above 1023 to the
//     truncation of s x factor, limited to 0..M.
// After any step a sample is within 0..M, so only the first step sees a sample above
// M, and what such a sample becomes is kept apart from the table.

#include <array>
#include <cstdint>

#include "imaging/filter_tables.h"

namespace orvix::detail {

class SampleMap {
public:
    explicit SampleMap(SampleDepth depth);

    // Appends a step.
    void appendTable(const LookupTable& table);
    void appendBrightness(std::int32_t brightness);

    bool isIdentity() const { return identity_; }
    std::int32_t maxValue() const { return maxValue_; }
    // The map of a sample (any 16-bit value).
    std::int32_t operator()(std::int32_t sample) const;
    // The table as bytes (8-bit depth).
    const std::uint8_t* bytes() const { return bytes_.data(); }
    // The table as 32-bit entries (10-bit depth), for gathering.
    const std::int32_t* words() const { return words_.data(); }
    // The 10-bit table for byte-permute lookups: the low bytes of the 1024 entries, then
    // their high bits packed four entries a byte (256 bytes; entry 4m + i at bits 2i
    // and 2i + 1 of byte m). The entries of a 10-bit map are at most 1023.
    const std::uint8_t* bytePlanes() const { return planes_.data(); }

private:
    enum class AboveRange { Same, Constant, Factor };

    void composeWith(const std::uint16_t* step);
    void refreshCopies();

    std::int32_t maxValue_;
    bool identity_ = true;
    std::array<std::uint16_t, 1024> values_{};
    // A sample above M: itself, one constant, or after[truncation of s x factor].
    AboveRange above_ = AboveRange::Same;
    std::int32_t aboveConstant_ = 0;
    double aboveFactor_ = 1.0;
    std::array<std::uint16_t, 1024> after_{};
    std::array<std::uint8_t, 256> bytes_{};
    std::array<std::int32_t, 1024> words_{};
    std::array<std::uint8_t, 1024 + 256> planes_{};
};

// Applies the map to the first `channels` samples of each of `width` pixels of
// `samplesPerPixel` samples (8- or 16-bit as the map's depth), from `in` to `out`
// (which may be the same row); a further sample of a pixel is copied unchanged.
// `vectors` allows the AVX2 form where the processor has it, and with `wideVectors`
// the AVX-512 form where that runs.
void mapRow(const SampleMap& map, const std::uint8_t* in, std::uint8_t* out, std::int32_t width, int samplesPerPixel,
            int channels, bool vectors, bool wideVectors = true);

// The AVX2 forms, for 1, 3 or 4 samples per pixel (the fourth copied unchanged);
// they return how many pixels they did (the rest is left to the caller): whole
// vectors, except that the byte form finishes a row of at least 32 bytes with a last
// vector overlapping the one before when `in` and `out` do not overlap.
std::int32_t mapRowBytesAvx2(const SampleMap& map, const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
                             int samplesPerPixel);
std::int32_t mapRowWordsAvx2(const SampleMap& map, const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
                             int samplesPerPixel);

// True where the AVX-512 byte-permute kernels are built and the processor and the
// operating system run them.
bool avx512VbmiUsable();

// The AVX-512 forms of the two above; they do every pixel of the row. Call only
// where avx512VbmiUsable().
std::int32_t mapRowBytesVbmi(const SampleMap& map, const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
                             int samplesPerPixel);
std::int32_t mapRowWordsVbmi(const SampleMap& map, const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
                             int samplesPerPixel);

// words[i] = table[words[i] & 1023] for i < count, in place, through the table's byte
// planes (SampleMap::bytePlanes); nothing outside words[0..count) is read or written.
// Call only where avx512VbmiUsable().
void lookupWordsVbmi(const std::uint8_t* planes, std::uint16_t* words, std::int32_t count);

} // namespace orvix::detail
