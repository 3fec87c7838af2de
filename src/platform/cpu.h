#pragma once
// The processor's identification instruction and trial runs of sample instructions.
//
// On x86 (32 and 64 bits) cpuid() executes CPUID and executes() runs a sample
// instruction under a guard that turns an invalid-instruction fault into `false`
// (a SIGILL handler on Linux, a vectored exception handler on Windows). On other
// processors there is no CPUID: cpuidAvailable() and executes() are false.

#include <cstdint>

namespace orvix::platform {

struct CpuidRegisters {
    std::uint32_t eax = 0;
    std::uint32_t ebx = 0;
    std::uint32_t ecx = 0;
    std::uint32_t edx = 0;
};

enum class SampleInstruction {
    Cpuid,   // cpuid, leaf 0
    Mmx,     // pxor mm0, mm0; emms
    Sse,     // xorps xmm0, xmm0
    Sse2,    // xorpd xmm0, xmm0
    Amd3dNow, // pfrcp mm0, mm0; emms
    Invalid, // ud2, which faults on every processor: shows the guard works
};

// Runs the sample instruction under the fault guard; true when it executed.
bool executes(SampleInstruction instruction);

// CPUID leaf 0 executed under the guard.
inline bool cpuidAvailable() { return executes(SampleInstruction::Cpuid); }

// The registers CPUID returns for `leaf` (sub-leaf 0). Only valid when
// cpuidAvailable(); all zero on other processors.
CpuidRegisters cpuid(std::uint32_t leaf);

} // namespace orvix::platform
