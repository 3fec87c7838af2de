#pragma once
// Shared pieces of the vectorised demosaic kernels: which columns the vector loop
// covers and the finishing pass that every variant runs after it.

#include <cstdint>

#include "imaging/demosaic.h"

namespace orvix::detail {

// Columns covered by the vector loop of one row: `vectorCount` steps of 16 pixels
// from `firstColumn` (2, or 3 when the mode's column phase is 1, so that every step
// starts on a column of phase 0). The last step ends at column m + 1 or m + 2 with
// m = 16 x ((W - 4) / 16), never beyond W - 2, and reads no column beyond W - 1.
struct VectorColumnPlan {
    std::int32_t firstColumn = 2;
    std::int32_t vectorCount = 0;
};
VectorColumnPlan vectorColumnPlan(std::int32_t width, std::int32_t bayerMode);

// The source rows one output row j reads, by role. Rows j and j - 2 hold blue
// (row phase 0) or red (row phase 1) on their odd or even columns, rows j - 1 and
// j + 1 the other colour; "3" is the row weighted 3, "1" the row weighted 1. Green
// comes from the even columns of one of rows j, j - 1 and the odd columns of the other.
struct DemosaicRowSet {
    const std::uint8_t* blue3;
    const std::uint8_t* blue1;
    const std::uint8_t* red3;
    const std::uint8_t* red1;
    const std::uint8_t* greenEven;
    const std::uint8_t* greenOdd;
};

inline DemosaicRowSet demosaicRowSet(const std::uint8_t* srcBits, const KernelRect& rect, std::uint32_t srcStride,
                                     std::int32_t j, std::int32_t bayerMode) {
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(srcStride);
    const std::uint8_t* rowA = srcBits + static_cast<std::ptrdiff_t>(rect.top + j) * stride + rect.left;
    const std::uint8_t* rowA2 = rowA - 2 * stride;
    const std::uint8_t* rowB = rowA - stride;
    const std::uint8_t* rowB2 = rowA + stride;
    const bool phase0 = (bayerRowPhase(bayerMode) ^ (j & 1)) == 0;
    return phase0 ? DemosaicRowSet{rowA, rowA2, rowB, rowB2, rowA, rowB}
                  : DemosaicRowSet{rowB, rowB2, rowA, rowA2, rowB, rowA};
}

// True when the vectorised kernels may run: 1-byte source, 3-byte destination and
// all three gains within 0..200. Otherwise they hand the call to demosaic8To24.
bool vectorDemosaicApplies(std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel,
                           const DemosaicParams& params);

// One demosaic call as the kernel signature hands it over.
struct DemosaicCall {
    std::uint8_t* dstBits = nullptr;
    const std::uint8_t* srcBits = nullptr;
    KernelRect rect;
    std::int32_t dstX = 0;
    std::int32_t dstY = 0;
    std::uint16_t dstBytesPerPixel = 0;
    std::uint16_t srcBytesPerPixel = 0;
    std::uint32_t dstStride = 0;
    std::uint32_t srcStride = 0;
    DemosaicParams params;

    // Source row r of the rectangle and destination row r, at the rectangle's first column.
    const std::uint8_t* sourceRow(std::int32_t r) const {
        return srcBits + static_cast<std::ptrdiff_t>(rect.top + r) * static_cast<std::ptrdiff_t>(srcStride) +
               static_cast<std::ptrdiff_t>(rect.left) * srcBytesPerPixel;
    }
    std::uint8_t* destinationRow(std::int32_t r) const {
        return dstBits + static_cast<std::ptrdiff_t>(dstY + r) * static_cast<std::ptrdiff_t>(dstStride) +
               static_cast<std::ptrdiff_t>(dstX) * dstBytesPerPixel;
    }
};

// The reference arithmetic over the interpolated rows [firstRow, endRow) of a call
// (rows outside 2..H - 3 are skipped), 8- or 16-bit samples by the source depth.
void demosaicReferenceRows(const DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow);
// The same with the sample depth fixed: demosaic8To24's and demosaic16To48's bytes.
void demosaicReferenceRows8(const DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow);
void demosaicReferenceRows16(const DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow);

// Rows [firstRow, endRow) of what `kernel`, one of the demosaic kernels of
// demosaic.h or of this header, writes in a whole call: running it on consecutive
// bands of rows gives the bytes of one call over all of them, and a band never
// writes a row outside itself. False (nothing done) for any other kernel.
bool demosaicRows(PixelKernel kernel, const DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow);

// The exact lane engine: the bytes of the reference kernel (for every gain it takes)
// with 16-bit lanes, for 8-bit sources into 3- or 4-byte pixels and 16-bit sources
// into 6- or 8-byte pixels. Rows [firstRow, endRow), outside 2..H - 3 skipped; a
// 16-bit row reading a sample above 1023 is done with the reference arithmetic.
bool exactLanesApply(const DemosaicCall& call, std::int32_t lanes);
void demosaicExactRowsSse2(const DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow);
void demosaicExactRowsAvx2(const DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow);
// A 10-bit sample map as the mapped rows take it: 1024 entries of 32 bits and, for
// the AVX-512 rows, the same table as byte planes (SampleMap::bytePlanes).
struct RowMap {
    const std::int32_t* words = nullptr;
    const std::uint8_t* bytePlanes = nullptr;
};
// The AVX2 engine with a 10-bit sample map applied to every sample it writes of a
// 16-bit source (an 8-bit source is written unmapped): the bytes of the reference
// followed by the map on columns 2..W - 3 of rows 2..H - 3. With `fourthFree`, the
// fourth word of 8-byte pixels it writes is overwritten (with 0, or with what the
// reference leaves there on rows it falls back on).
void demosaicExactRowsAvx2Mapped(const DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow,
                                 const RowMap& map, bool fourthFree);
// The same bytes with the map looked up by the AVX-512 byte permutes (the rest is the
// AVX2 engine). Call only where avx512VbmiUsable() (sample_map.h).
void demosaicExactRowsAvx512Mapped(const DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow,
                                   const RowMap& map, bool fourthFree);
inline constexpr std::int32_t kExactLanesSse2 = 8;
inline constexpr std::int32_t kExactLanesAvx2 = 16;

// Largest fixed-point gains the exact engine takes: the product of the weighted sum
// (shifted to the top of a 16-bit lane) and the gain must fit 16 bits, so
// (S << 4) x (k << 1) for 8-bit samples and (S << 2) x (k << 3) for 10-bit ones.
inline constexpr std::int32_t kExactMaxGain8 = 32767;
inline constexpr std::int32_t kExactMaxGain16 = 8191;

// Columns of one row of the exact engine: output columns 2..W - 3 in chunks of at
// most kExactChunk, each at least `lanes` wide (the rows are at least lanes + 4 wide).
inline constexpr std::int32_t kExactChunk = 512;

// Fixed-point gains in the form the vector loops use (0..256).
struct VectorGains {
    std::uint16_t red = 128;
    std::uint16_t blue = 128;
};
VectorGains vectorGains(const DemosaicParams& params);

// The vector loops themselves (rows 2..H - 3, the columns of the plan). Each variant
// is compiled only where its instruction set can be compiled; the 8-pixel loop is
// built on every x86 target so that it can be checked, but only 32-bit builds call
// it from demosaic8To24Mmx.
void demosaicRowsSse2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect& rect, std::int32_t dstX,
                      std::int32_t dstY, std::uint32_t dstStride, std::uint32_t srcStride, std::int32_t bayerMode,
                      VectorGains gains);
void demosaicRowsSse3(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect& rect, std::int32_t dstX,
                      std::int32_t dstY, std::uint32_t dstStride, std::uint32_t srcStride, std::int32_t bayerMode,
                      VectorGains gains);
// 32 pixels per step with AVX2 (two 16-pixel groups, one per 128-bit half), the
// same pixels as demosaicRowsSse2; used by the SSE2 and SSE3 kernels when the
// processor and the operating system support AVX2.
void demosaicRowsAvx2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect& rect, std::int32_t dstX,
                      std::int32_t dstY, std::uint32_t dstStride, std::uint32_t srcStride, std::int32_t bayerMode,
                      VectorGains gains);
bool avx2Usable();
void demosaicRowsMmx(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect& rect, std::int32_t dstX,
                     std::int32_t dstY, std::uint32_t dstStride, std::uint32_t srcStride, std::int32_t bayerMode,
                     VectorGains gains);

// Kernels built on one exact engine each, for checking them: the bytes of
// demosaic8To24 (8-bit sources) or demosaic16To48 (16-bit sources).
std::int32_t demosaicExactWithSse2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                   std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                   std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                   void* context, std::int32_t extra);
std::int32_t demosaicExactWithAvx2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                   std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                   std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                   void* context, std::int32_t extra);

// Kernels built on one vector loop each (no AVX2 substitution), for checking them.
std::int32_t demosaic8To24WithRowsSse2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                       std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                       std::uint16_t srcBytesPerPixel, std::uint32_t dstStride,
                                       std::uint32_t srcStride, void* context, std::int32_t extra);
std::int32_t demosaic8To24WithRowsSse3(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                       std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                       std::uint16_t srcBytesPerPixel, std::uint32_t dstStride,
                                       std::uint32_t srcStride, void* context, std::int32_t extra);
std::int32_t demosaic8To24WithRowsAvx2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                       std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                       std::uint16_t srcBytesPerPixel, std::uint32_t dstStride,
                                       std::uint32_t srcStride, void* context, std::int32_t extra);

// The 8-pixel kernel with the multimedia registers, whatever the build's word size
// (demosaic8To24Mmx uses it in 32-bit builds only). Present on x86 builds.
std::int32_t demosaic8To24MmxRegisters(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                       std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                       std::uint16_t srcBytesPerPixel, std::uint32_t dstStride,
                                       std::uint32_t srcStride, void* context, std::int32_t extra);

} // namespace orvix::detail
