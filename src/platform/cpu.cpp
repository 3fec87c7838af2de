// CPUID and the table of probe routines; the fault guards are in posix/ and win32/.

#include "platform/cpu.h"

#include "platform/x86_probes.h"

#if defined(ORVIX_X86)
#include <cpuid.h>
#endif

namespace orvix::platform {

#if defined(ORVIX_X86)

#if defined(__ELF__)
#define ORVIX_PROBE_VISIBILITY __attribute__((visibility("hidden")))
#else
#define ORVIX_PROBE_VISIBILITY
#endif

#define ORVIX_DECLARE_PROBE(id, name)                                                                        \
    extern "C" ORVIX_PROBE_VISIBILITY int id() __asm__(name);                                                \
    extern "C" ORVIX_PROBE_VISIBILITY const char id##FaultBegin[] __asm__(name "_fault_begin");              \
    extern "C" ORVIX_PROBE_VISIBILITY const char id##FaultEnd[] __asm__(name "_fault_end");                  \
    extern "C" ORVIX_PROBE_VISIBILITY const char id##Landing[] __asm__(name "_landing");

ORVIX_DECLARE_PROBE(orvixProbeCpuid, "orvix_probe_cpuid")
ORVIX_DECLARE_PROBE(orvixProbeMmx, "orvix_probe_mmx")
ORVIX_DECLARE_PROBE(orvixProbeSse, "orvix_probe_sse")
ORVIX_DECLARE_PROBE(orvixProbeSse2, "orvix_probe_sse2")
ORVIX_DECLARE_PROBE(orvixProbe3dNow, "orvix_probe_3dnow")
ORVIX_DECLARE_PROBE(orvixProbeInvalid, "orvix_probe_invalid")

namespace detail {

namespace {

#define ORVIX_PROBE_ENTRY(id)                                                                                \
    ProbeRoutine {                                                                                           \
        id, reinterpret_cast<std::uintptr_t>(id##FaultBegin), reinterpret_cast<std::uintptr_t>(id##FaultEnd), \
            reinterpret_cast<std::uintptr_t>(id##Landing)                                                    \
    }

// In the order of SampleInstruction.
const ProbeRoutine* routines() {
    static const ProbeRoutine table[] = {
        ORVIX_PROBE_ENTRY(orvixProbeCpuid), ORVIX_PROBE_ENTRY(orvixProbeMmx),
        ORVIX_PROBE_ENTRY(orvixProbeSse),   ORVIX_PROBE_ENTRY(orvixProbeSse2),
        ORVIX_PROBE_ENTRY(orvixProbe3dNow), ORVIX_PROBE_ENTRY(orvixProbeInvalid),
    };
    return table;
}

constexpr int kRoutineCount = static_cast<int>(SampleInstruction::Invalid) + 1;

} // namespace

const ProbeRoutine* probeRoutine(SampleInstruction instruction) {
    const int index = static_cast<int>(instruction);
    return index >= 0 && index < kRoutineCount ? &routines()[index] : nullptr;
}

std::uintptr_t probeLanding(std::uintptr_t faultAddress) {
    const ProbeRoutine* table = routines();
    for (int i = 0; i < kRoutineCount; ++i) {
        if (faultAddress >= table[i].begin && faultAddress < table[i].end) return table[i].landing;
    }
    return 0;
}

} // namespace detail

CpuidRegisters cpuid(std::uint32_t leaf) {
    CpuidRegisters r;
    __cpuid_count(leaf, 0, r.eax, r.ebx, r.ecx, r.edx);
    return r;
}

#else

CpuidRegisters cpuid(std::uint32_t) { return {}; }

#endif

} // namespace orvix::platform
