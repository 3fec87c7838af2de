#pragma once
// Lookup tables of the gamma, contrast and sharpen filters, and the per-camera cache
// that keeps them while their setting is unchanged.
//
// Sample depths: 8-bit layouts (largest sample M = 255) and 10-bit layouts stored in
// 16-bit words (M = 1023). A table maps every sample 0..M; the kernels treat a
// 10-bit sample above 1023 as 1023 (they clamp, so no table is read out of range).

#include <array>
#include <cstdint>
#include <mutex>

namespace orvix {

enum class SampleDepth : std::int32_t {
    Bits8 = 8,
    Bits10 = 10,
};

inline constexpr std::int32_t maxSample(SampleDepth depth) { return depth == SampleDepth::Bits8 ? 255 : 1023; }

// One entry per sample value 0..M (the first 256 or 1024 entries are used).
struct LookupTable {
    std::array<std::uint16_t, 1024> values{};
};

// Sharpen correction D[x] for x = 0..2N - 1, indexed by s - blur + M.
struct SharpenTable {
    std::array<std::int32_t, 2048> values{};
};

// Gamma g: exponent (g - 100) x 0.1 + 1 above 100, else g x 0.01, kept within
// 0.001..99.999. T[0] = 0; for i >= 1 with m = log10(M) + gamma x (log10(i) -
// log10(M)): 1 when m < 0, else the smallest o in 2..M - 1 with log10(o - 1) <= m <=
// log10(o + 1), or M when there is none. Found by bisection over the logarithms of
// the integers instead of a scan per entry.
void buildGammaTable(std::int32_t gamma, SampleDepth depth, LookupTable& table);

// Contrast setting c (10-bit layouts use 4 x c, half = 128 or 512): all 0 beyond the
// usable range (c > 127, or 4c >= 509); else i < c -> 0, i > M - c -> M, otherwise
// truncation of (N / (2 x (half - c))) x (i - c).
void buildContrastTable(std::int32_t contrast, SampleDepth depth, LookupTable& table);

// Sharpness k: D[x] = (k x (x - M)) / 10, truncating toward zero.
void buildSharpenTable(std::int32_t sharpness, SampleDepth depth, SharpenTable& table);

// Brightness b: factor 1 + b x (10/255) above 0, 1 - |b| x (1/255) below; every sample
// s -> truncation of s x factor, limited to 0..M.
double brightnessFactor(std::int32_t brightness);
void buildBrightnessTable(std::int32_t brightness, SampleDepth depth, LookupTable& table);

// Tables of one camera, rebuilt only when the setting or the sample depth changes.
// A kernel takes a lease for the time it reads the table; the lease holds the
// cache's lock, so two threads of one camera never see a table half rebuilt. Each
// camera owns its own cache: nothing mutable is shared between cameras.
class FilterTableCache {
public:
    template <typename Table>
    class Lease {
    public:
        Lease(std::unique_lock<std::mutex> lock, const Table& table) : lock_(std::move(lock)), table_(&table) {}
        const Table& operator*() const { return *table_; }
        const Table* operator->() const { return table_; }

    private:
        std::unique_lock<std::mutex> lock_;
        const Table* table_;
    };

    Lease<LookupTable> gamma(std::int32_t setting, SampleDepth depth);
    Lease<LookupTable> contrast(std::int32_t setting, SampleDepth depth);
    Lease<SharpenTable> sharpen(std::int32_t setting, SampleDepth depth);

    // How often a table was (re)built since construction, for tests.
    std::int32_t buildCount() const;

private:
    template <typename Table>
    struct Slot {
        bool valid = false;
        std::int32_t setting = 0;
        SampleDepth depth = SampleDepth::Bits8;
        Table table;
    };

    template <typename Table, typename Builder>
    Lease<Table> lease(Slot<Table>& slot, std::int32_t setting, SampleDepth depth, Builder build);

    mutable std::mutex mutex_;
    Slot<LookupTable> gamma_;
    Slot<LookupTable> contrast_;
    Slot<SharpenTable> sharpen_;
    std::int32_t buildCount_ = 0;
};

} // namespace orvix
