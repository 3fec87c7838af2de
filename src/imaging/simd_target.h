#pragma once
// Which vector instruction sets this build can compile for, and the function
// attributes that enable them one function at a time.
//
// The vectorised kernels are compiled with per-function target attributes rather
// than per-file flags: the rest of the library (inline functions from headers
// included) stays at the baseline instruction set, so the library still runs on a
// processor without SSE2, and the run-time choice from the processor record decides
// which variant executes.

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define ORVIX_HAVE_X86_SIMD 1
#define ORVIX_TARGET_MMX __attribute__((target("mmx")))
#define ORVIX_TARGET_SSE2 __attribute__((target("sse2")))
#define ORVIX_TARGET_SSE3 __attribute__((target("sse3")))
#define ORVIX_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define ORVIX_HAVE_X86_SIMD 0
#endif

// AVX-512 with the byte permutes (VBMI), for 64-bit builds outside Windows only: the
// Windows 64-bit ABI lets the compiler keep no stack frame aligned beyond 16 bytes, so
// it cannot spill 512-bit registers safely there, and 32-bit builds have too few
// registers for these kernels to pay off.
#if ORVIX_HAVE_X86_SIMD && defined(__x86_64__) && !defined(_WIN32)
#define ORVIX_HAVE_AVX512_KERNELS 1
#define ORVIX_TARGET_AVX512VBMI __attribute__((target("avx2,avx512f,avx512bw,avx512vbmi")))
#else
#define ORVIX_HAVE_AVX512_KERNELS 0
#endif

// The 64-bit multimedia registers are used only by 32-bit builds; 64-bit builds
// take the SSE2 path for the 8-pixel variants.
#if ORVIX_HAVE_X86_SIMD && defined(__i386__)
#define ORVIX_USE_MMX_KERNELS 1
#else
#define ORVIX_USE_MMX_KERNELS 0
#endif
