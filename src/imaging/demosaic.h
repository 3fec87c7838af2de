#pragma once
// Bayer demosaic: one raw sample per pixel behind the 2 x 2 colour filter becomes
// B, G, R per pixel, red and blue scaled by the Bayer gains.
//
// Pattern phases: every pixel has a row phase a and a column phase b (0 or 1) that
// alternate along rows and columns; the Bayer mode gives the phases of the first
// pixel: mode 0 -> (0, 0), 1 -> (1, 0), 2 -> (0, 1), 3 -> (1, 1). Phases (0, 0) and
// (1, 1) are green sites, (0, 1) blue and (1, 0) red.
//
// Every interpolated pixel is the colour at the centre of the 2 x 2 quad whose
// lower-right corner is the pixel: green the mean of the quad's two greens, blue and
// red bilinear (weights 9, 3, 3, 1) over the four nearest samples of that colour.
// The two outermost rows and columns on each side are not interpolated.

#include <cstdint>

#include "imaging/processor_info.h"
#include "imaging/kernel_types.h"

namespace orvix {

// Parameter record of the demosaic kernels (the kernel context is the address of a
// variable holding a pointer to it).
struct DemosaicParams {
    std::int32_t bayerMode = 0;
    std::int32_t gainRed = 100;   // percent
    std::int32_t gainGreen = 100; // percent; carried but never applied
    std::int32_t gainBlue = 100;  // percent
};

// Phases (a, b) of the first pixel for a Bayer mode (only the two low bits count).
inline int bayerRowPhase(std::int32_t mode) { return (mode & 1) ? 1 : 0; }
inline int bayerColumnPhase(std::int32_t mode) { return (mode & 2) ? 1 : 0; }

// Fixed-point gain: truncation of percent x 1.28, so 100 % gives 128. Negative
// percentages give 0 and very large ones saturate instead of overflowing.
std::int32_t fixedPointGain(std::int32_t percent);

// Reference kernel: 8-bit raw to 24- or 32-bit B, G, R (a fourth byte is not written).
// Blue and red are (sum x k) >> 11, limited to 0..255.
std::int32_t demosaic8To24(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                           std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                           std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                           void* context, std::int32_t extra);

// Reference kernel: 16-bit raw (10 significant bits) to 48- or 64-bit; each channel
// limited to 0..1023 (a fourth word is not written).
std::int32_t demosaic16To48(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                            std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                            std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                            void* context, std::int32_t extra);

// Vectorised kernels, 8-bit raw to 24-bit only, for gains 0..200. They compute the
// same quads, sums and green as demosaic8To24 but apply the gain in 16-bit lanes as
// ((sum >> 4) x k) >> 7, so blue and red can be lower by up to 2. Columns 2..13 and
// m + 2..W - 3 (m = 16 x ((W - 4) / 16)) are recomputed with the reference kernel,
// and columns 0, 1 and W - 1 of every row are set to 0. Column W - 2 may hold an
// interpolated value or its previous content.
//
// The Mmx variant works 8 pixels per step with the multimedia registers in 32-bit
// builds; it covers the same columns as the 16-pixel variants, so its output is
// identical to theirs. 64-bit builds have no such variant: there it runs the SSE2
// code (identical output). The Sse3 variant differs from Sse2 only in its loads.
std::int32_t demosaic8To24Mmx(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                              std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                              std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                              void* context, std::int32_t extra);
std::int32_t demosaic8To24Sse2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                               std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                               std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                               void* context, std::int32_t extra);
std::int32_t demosaic8To24Sse3(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                               std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                               std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                               void* context, std::int32_t extra);

// Vectorised kernels with the reference arithmetic: the bytes of demosaic8To24
// (8-bit raw to 24- or 32-bit, any gain) and of demosaic16To48 (16-bit raw to 48- or
// 64-bit). Sixteen pixels per step with AVX2 where the processor has it, else eight
// with SSE2; a call too narrow for one step, a gain beyond what the 16-bit lanes
// hold (above 25599 % for 8-bit samples, 6399 % for 16-bit ones) and a 16-bit row
// reading a sample above 1023 are done with the reference arithmetic. On builds
// without x86 vector units they are the reference kernels.
std::int32_t demosaic8To24ExactSse2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                    std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                    std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                    void* context, std::int32_t extra);
std::int32_t demosaic16To48Sse2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                void* context, std::int32_t extra);

// Largest percentage the 16-bit lane arithmetic of the vectorised kernels handles.
inline constexpr std::int32_t kVectorDemosaicMaxGain = 200;

// The kernel for one frame, first match wins: 16-bit raw -> demosaic16To48 (its
// vectorised form demosaic16To48Sse2 when the processor record allows SSE2); 32-bit
// destination or a red, green or blue gain outside 0..200 -> demosaic8To24 (or
// demosaic8To24ExactSse2, the same bytes); then SSE3, SSE2, MMX by the processor
// record; otherwise demosaic8To24.
PixelKernel chooseDemosaicKernel(const ProcessorInfo& cpu, int srcBitsPerPixel, int dstBitsPerPixel,
                                 const DemosaicParams& params);

} // namespace orvix
