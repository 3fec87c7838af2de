#pragma once
// Helpers shared by the AVX-512 kernels of 16-bit lanes.

#include "imaging/simd_target.h"

#if ORVIX_HAVE_AVX512_KERNELS

#include <immintrin.h>

#include <cstdint>

namespace orvix::detail {

// The mask of the first n of the 32 word lanes of a vector (none for n <= 0, all for
// n >= 32).
inline __mmask32 firstLanes(std::int32_t n) {
    return n >= 32 ? ~__mmask32{0} : n <= 0 ? __mmask32{0} : static_cast<__mmask32>((1u << n) - 1u);
}

} // namespace orvix::detail

#endif
