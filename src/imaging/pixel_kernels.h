#pragma once
// Pixel conversion kernels: they move pixels between the sample layouts without
// changing what they show. Each has the PixelKernel or ScaleKernel signature, keeps
// no state and returns 1, except the metering kernels, which return the mean level.
//
// Unless a kernel says otherwise it writes destination pixel (dstX + k, memory row
// dstY + j) from source pixel (rect.left + k, memory row rect.top + j) for every
// column k and row j of the rectangle; the Flip variants read source memory row
// rect.bottom - 1 - j instead. Pixels advance by the bytes-per-pixel arguments, so a
// 3-byte rule applied to a 4-byte layout leaves the fourth byte alone. The kernels
// check nothing: Surface::blit clips the rectangle to both images first.
//
// 16-bit samples are little-endian words with 10 significant bits.
//
// The two macros spell out the kernel signatures. Every argument is marked as
// possibly unused: each kernel reads only the part of the contract it needs.

#include <cstdint>

#include "imaging/kernel_types.h"

#define ORVIX_SCALE_KERNEL(name)                                                                             \
    std::int32_t name(ORVIX_KERNEL_ARG std::uint8_t* dstBits, ORVIX_KERNEL_ARG const std::uint8_t* srcBits,  \
                      ORVIX_KERNEL_ARG const KernelRect* dstRect, ORVIX_KERNEL_ARG const KernelRect* srcRect, \
                      ORVIX_KERNEL_ARG std::int32_t dstWidth, ORVIX_KERNEL_ARG std::int32_t dstHeight,       \
                      ORVIX_KERNEL_ARG std::int32_t srcWidth, ORVIX_KERNEL_ARG std::int32_t srcHeight,       \
                      ORVIX_KERNEL_ARG std::uint16_t dstBytesPerPixel,                                       \
                      ORVIX_KERNEL_ARG std::uint16_t srcBytesPerPixel, ORVIX_KERNEL_ARG std::uint32_t dstStride, \
                      ORVIX_KERNEL_ARG std::uint32_t srcStride, ORVIX_KERNEL_ARG std::int32_t tailA,         \
                      ORVIX_KERNEL_ARG std::int32_t tailB)

namespace orvix {

// 16-bit word → 8 bits: d = bits 2..9 of s.
ORVIX_PIXEL_KERNEL(convertMono16To8);
ORVIX_PIXEL_KERNEL(convertMono16To8Flip);
// First three 16-bit words (48 or 64 bpp) → 3 bytes, each bits 2..9, same order.
ORVIX_PIXEL_KERNEL(convertColor16To8);
ORVIX_PIXEL_KERNEL(convertColor16To8Flip);
// First 3 bytes copied unchanged (32 → 24 bpp).
ORVIX_PIXEL_KERNEL(copyBgr);
// As copyBgr, flip: the vertical mirror of a 24- or 32-bit image as 24 bits.
ORVIX_PIXEL_KERNEL(copyBgrFlip);
// 3 bytes with the first and third exchanged; a fourth destination byte is untouched.
ORVIX_PIXEL_KERNEL(swapRedBlue24);
// 4 bytes: B, G, R copied, fourth byte d3 = 255 - s3.
ORVIX_PIXEL_KERNEL(copyBgraInvertAlpha);
// 10-bit word → 16 bits: d = (s << 4) & 0xFFFF.
ORVIX_PIXEL_KERNEL(scaleMono10To16);
// Three 10-bit words → three words (s << 6) & 0xFFFF, same order.
ORVIX_PIXEL_KERNEL(scaleColor10To16);
// As scaleColor10To16, and a fourth word 0xFFFF.
ORVIX_PIXEL_KERNEL(scaleColor10To16Alpha);
// Three 10-bit words → three words (s << 6) & 0xFFFF in reverse order.
ORVIX_PIXEL_KERNEL(scaleColor10To16Swap);
// As scaleColor10To16Swap, and a fourth word 0xFFFF.
ORVIX_PIXEL_KERNEL(scaleColor10To16SwapAlpha);
// 3 bytes B, G, R → 8-bit gray (59 G + 30 R + 11 B) / 100.
ORVIX_PIXEL_KERNEL(convertBgrToGray8);
// Whole rows, vertically flipped: destination row dstY + j from source row
// bottom - 1 - j, starting at the rectangle's first column on both sides. Each row
// copy is as long as the shorter of the two row remainders from that column.
ORVIX_PIXEL_KERNEL(copyFlipRows);
// In place: spreads rows packed back to back (rect.right pixels each, rect.bottom
// rows, from the start of the memory) to their stride positions.
ORVIX_PIXEL_KERNEL(unpackRows8);
ORVIX_PIXEL_KERNEL(unpackRows16);
// Mean sample level of the destination image over the rectangle's width and height
// at (dstX, dstY); 16-bit samples are taken as bits 2..9. 0 for an empty rectangle.
ORVIX_PIXEL_KERNEL(meanLevel8);
ORVIX_PIXEL_KERNEL(meanLevel16);

// Nearest-neighbour scaling of srcRect onto dstRect with a vertical flip (source
// memory rows are read from the bottom of srcRect up). One byte per pixel for
// stretchFlip8, three for stretchFlip24.
ORVIX_SCALE_KERNEL(stretchFlip8);
ORVIX_SCALE_KERNEL(stretchFlip24);

// The plain reference versions of the display conversions and stretches, pixel by
// pixel through the common walk. The kernels above take whole rows at a time for
// their usual layouts (with SSE2 where the build has it) and give exactly these
// bytes; the tests hold them to it.
ORVIX_PIXEL_KERNEL(convertMono16To8Plain);
ORVIX_PIXEL_KERNEL(convertMono16To8FlipPlain);
ORVIX_PIXEL_KERNEL(convertColor16To8Plain);
ORVIX_PIXEL_KERNEL(convertColor16To8FlipPlain);
ORVIX_PIXEL_KERNEL(copyBgrPlain);
ORVIX_PIXEL_KERNEL(copyBgrFlipPlain);
ORVIX_SCALE_KERNEL(stretchFlip8Plain);
ORVIX_SCALE_KERNEL(stretchFlip24Plain);

// The single-precision scale ratio of a source length over a destination length,
// divided in extended precision and rounded once to float.
float stretchRatio(std::int32_t sourceLength, std::int32_t destinationLength);

} // namespace orvix
