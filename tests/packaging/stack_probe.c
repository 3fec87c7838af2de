/* Probe of the stack alignment check: a vector in a stack slot whose address escapes,
 * read back as the operand of an SSE instruction that faults on misaligned memory.
 * Built once as the library is built (the function must realign its frame) and once
 * with the compiler's default 16-byte assumption (the check must report it). */
#include <emmintrin.h>

void orvix_probe_consume(__m128i* value);

__attribute__((target("sse2"))) void orvix_probe_spill(int x, __m128i* inOut) {
    __m128i value = _mm_set1_epi32(x);
    orvix_probe_consume(&value);
    _mm_storeu_si128(inOut, _mm_and_si128(_mm_loadu_si128(inOut), value));
}
