#pragma once
// Sample-instruction routines for x86, written in assembly so that a fault inside
// one has a known place to resume: each routine returns 1 when its instructions ran;
// a fault handler that finds the instruction pointer inside [begin, end) moves it to
// `landing`, which returns 0 with the stack as it was at the fault. Internal to the
// platform layer; the routines themselves are in x86_probe_routines.cpp.

#if defined(__x86_64__) || defined(__i386__)
#define ORVIX_X86 1

#include <cstdint>

#include "platform/cpu.h"

namespace orvix::platform::detail {

struct ProbeRoutine {
    int (*run)();
    std::uintptr_t begin;
    std::uintptr_t end;
    std::uintptr_t landing;
};

// The routine of a sample instruction (never null on x86).
const ProbeRoutine* probeRoutine(SampleInstruction instruction);

// The landing for a faulting instruction address, 0 when it is not inside a probe.
std::uintptr_t probeLanding(std::uintptr_t faultAddress);

} // namespace orvix::platform::detail

#endif
