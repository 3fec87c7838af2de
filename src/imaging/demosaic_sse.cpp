// The 16-pixel demosaic loops with SSE2 and with SSE3 (the latter differs only in
// its unaligned loads).

#include "imaging/simd_target.h"

#if ORVIX_HAVE_X86_SIMD

#include <emmintrin.h>
#include <pmmintrin.h>

#include <cstddef>
#include <cstdint>

#include "imaging/demosaic_internal.h"

namespace orvix::detail {

#define ORVIX_ROWS_NAME demosaicRowsSse2
#define ORVIX_ROWS_NAMESPACE sse2_rows
#define ORVIX_ROWS_TARGET ORVIX_TARGET_SSE2
#define ORVIX_ROWS_LOAD _mm_loadu_si128
#include "imaging/demosaic_sse_rows.inc"
#undef ORVIX_ROWS_NAME
#undef ORVIX_ROWS_NAMESPACE
#undef ORVIX_ROWS_TARGET
#undef ORVIX_ROWS_LOAD

#define ORVIX_ROWS_NAME demosaicRowsSse3
#define ORVIX_ROWS_NAMESPACE sse3_rows
#define ORVIX_ROWS_TARGET ORVIX_TARGET_SSE3
#define ORVIX_ROWS_LOAD _mm_lddqu_si128
#include "imaging/demosaic_sse_rows.inc"
#undef ORVIX_ROWS_NAME
#undef ORVIX_ROWS_NAMESPACE
#undef ORVIX_ROWS_TARGET
#undef ORVIX_ROWS_LOAD

} // namespace orvix::detail

#endif
