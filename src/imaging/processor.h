#pragma once
// Processor feature detection: what CPUID reports and which of those instruction
// sets really execute, gathered into a ProcessorInfo once per Camera.

#include <cstdint>

#include "imaging/processor_info.h"
#include "platform/cpu.h"

namespace orvix {

// The bits this detection knows (MMX, SSE, SSE2, 3DNow!, SSE3, leaf 1 ECX bit 8).
inline constexpr std::int32_t kExaminedFeatures = 0x3F;

// What detection asks of a processor. runningProcessor() answers for the one the
// code runs on; tests give other answers.
class ProcessorQueries {
public:
    virtual ~ProcessorQueries() = default;
    virtual bool hasCpuid() const = 0;
    virtual platform::CpuidRegisters cpuid(std::uint32_t leaf) const = 0;
    virtual bool probe(std::int32_t feature) const = 0;
};
const ProcessorQueries& runningProcessor();

// Fills `info` (may be null) and returns the declared features. Without CPUID the
// result is 0 and `info` is zeroed, so no vectorised kernel is ever chosen.
std::int32_t detectProcessor(ProcessorInfo* info);
std::int32_t detectProcessor(const ProcessorQueries& processor, ProcessorInfo* info);

// CPUID leaf 0 runs without faulting.
bool hasCpuid();
// The feature's sample instruction runs without faulting; true at once for the
// features without a sample instruction (SSE3, leaf 1 ECX bit 8), false for
// unknown bits.
bool probeInstructionSet(std::int32_t feature);

// Family, model and stepping from the leaf 1 signature (EAX). The family is bits
// 8..11, or (bits 20..27) × 16 + 15 when those are 15; the model is bits 4..7 (the
// extended model is not used); the stepping bits 0..3.
struct ProcessorSignature {
    std::int32_t family = 0;
    std::int32_t model = 0;
    std::int32_t stepping = 0;
};
ProcessorSignature decodeSignature(std::uint32_t eax);

inline constexpr int kProcessorNameSize = 31;
// Writes the name of a vendor string (compared over 12 characters), family and
// model into `name` (kProcessorNameSize bytes), "Unknown" when the table has no row.
void nameProcessor(std::int32_t family, std::int32_t model, const char* vendor, char* name);

} // namespace orvix
