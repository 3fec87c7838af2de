#pragma once
// Faster variants of the conversion kernels the image writers run over every row of
// a full frame, chosen at run time (SSE2 where the processor has it). Each gives the
// same bytes as the plain kernel of src/imaging/pixel_kernels.h, and writes every byte
// of the pixels it converts: the rows of a file are made in memory that is not zeroed.

#include "imaging/kernel_types.h"

namespace orvix {

// The fastest variant of `kernel` for pixels of these sizes on this processor: for
// swapRedBlue24 between 3-byte pixels an SSE2 or SSSE3 routine; between 4-byte pixels
// one that also writes the fourth byte zero; otherwise `kernel` itself.
PixelKernel fileRowKernel(PixelKernel kernel, std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel);

} // namespace orvix
