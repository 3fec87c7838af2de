#include "imaging/processor.h"

#include <cstring>

namespace orvix {

namespace {

using platform::CpuidRegisters;

constexpr std::uint32_t kExtendedLeaves = 0x80000000u;
constexpr std::uint32_t kExtendedFeatures = 0x80000001u;
constexpr int kVendorLength = 12;
constexpr int kAny = -1;

// Where each feature is reported, in the order detection examines them.
enum class Register { Ecx1, Edx1, EdxExtended };
struct FeatureSource {
    std::int32_t feature;
    Register reg;
    int bit;
};
constexpr FeatureSource kFeatureSources[] = {
    {kFeatureMmx, Register::Edx1, 23},         {kFeature3dNow, Register::EdxExtended, 31},
    {kFeatureSse, Register::Edx1, 25},         {kFeatureSse2, Register::Edx1, 26},
    {kFeatureSse3, Register::Ecx1, 0},         {kFeatureEcx8, Register::Ecx1, 8},
};

struct NameRow {
    const char* vendor;
    std::int32_t family; // kAny matches every family
    std::int32_t firstModel;
    std::int32_t lastModel; // kAny with firstModel kAny: every model
    const char* name;
};

// Rows of one vendor stay together; within a vendor the first matching row wins.
constexpr NameRow kNameTable[] = {
    {"AuthenticAMD", 4, kAny, kAny, "AMD Am486"},
    {"AuthenticAMD", 5, 0, 3, "AMD K5"},
    {"AuthenticAMD", 5, 6, 7, "AMD K6"},
    {"AuthenticAMD", 5, 8, 8, "AMD K6-2"},
    {"AuthenticAMD", 5, 9, 15, "AMD K6-3"},
    {"AuthenticAMD", 6, kAny, kAny, "AMD ATHLON"},
    {"GenuineIntel", 4, 0, 1, "INTEL 486DX"},
    {"GenuineIntel", 4, 2, 2, "INTEL 486SX"},
    {"GenuineIntel", 4, 3, 3, "INTEL 486DX2"},
    {"GenuineIntel", 4, 4, 4, "INTEL 486SL"},
    {"GenuineIntel", 4, 5, 5, "INTEL 486SX2"},
    {"GenuineIntel", 4, 7, 7, "INTEL 486DX2E"},
    {"GenuineIntel", 4, 8, 8, "INTEL 486DX4"},
    {"GenuineIntel", 5, 1, 3, "INTEL Pentium"},
    {"GenuineIntel", 5, 4, 4, "INTEL Pentium-MMX"},
    {"GenuineIntel", 6, 1, 1, "INTEL Pentium-Pro"},
    {"GenuineIntel", 6, 3, 3, "INTEL Pentium-II"},
    {"GenuineIntel", 6, 5, 5, "INTEL Pentium-II"},
    {"GenuineIntel", 6, 6, 6, "INTEL Celeron"},
    {"GenuineIntel", 6, 7, 8, "INTEL Pentium-III"},
    {"GenuineIntel", 6, 10, 10, "INTEL Pentium-III"},
    {"GenuineIntel", 15, 0, 0, "INTEL Pentium-4"},
    {"CyrixInstead", kAny, kAny, kAny, "Cyrix"},
    {"CentaurHauls", kAny, kAny, kAny, "Centaur"},
};

bool matches(const NameRow& row, std::int32_t family, std::int32_t model) {
    if (row.family != kAny && row.family != family) return false;
    return row.firstModel == kAny || (model >= row.firstModel && model <= row.lastModel);
}

void copyName(char* name, const char* text) {
    std::strncpy(name, text, kProcessorNameSize - 1);
    name[kProcessorNameSize - 1] = '\0';
}

// Leaf 0 returns the vendor string in EBX, EDX, ECX.
void storeVendor(const CpuidRegisters& leaf0, char* vendor) {
    const std::uint32_t parts[3] = {leaf0.ebx, leaf0.edx, leaf0.ecx};
    for (int i = 0; i < kVendorLength; ++i) {
        vendor[i] = static_cast<char>((parts[i / 4] >> (8 * (i % 4))) & 0xFFu);
    }
    vendor[kVendorLength] = '\0';
}

struct FeatureWords {
    std::uint32_t ecx1 = 0;
    std::uint32_t edx1 = 0;
    std::uint32_t edxExtended = 0;

    bool reports(const FeatureSource& source) const {
        const std::uint32_t word = source.reg == Register::Ecx1   ? ecx1
                                   : source.reg == Register::Edx1 ? edx1
                                                                  : edxExtended;
        return ((word >> source.bit) & 1u) != 0;
    }
};

class RunningProcessor final : public ProcessorQueries {
public:
    bool hasCpuid() const override { return orvix::hasCpuid(); }
    CpuidRegisters cpuid(std::uint32_t leaf) const override { return platform::cpuid(leaf); }
    bool probe(std::int32_t feature) const override { return probeInstructionSet(feature); }
};

} // namespace

const ProcessorQueries& runningProcessor() {
    static const RunningProcessor processor;
    return processor;
}

bool hasCpuid() { return platform::cpuidAvailable(); }

bool probeInstructionSet(std::int32_t feature) {
    using platform::SampleInstruction;
    switch (feature) {
    case kFeatureMmx: return platform::executes(SampleInstruction::Mmx);
    case kFeatureSse: return platform::executes(SampleInstruction::Sse);
    case kFeatureSse2: return platform::executes(SampleInstruction::Sse2);
    case kFeature3dNow: return platform::executes(SampleInstruction::Amd3dNow);
    case kFeatureSse3:
    case kFeatureEcx8: return true; // no sample instruction: usable whenever reported
    default: return false;
    }
}

ProcessorSignature decodeSignature(std::uint32_t eax) {
    ProcessorSignature s;
    s.family = static_cast<std::int32_t>((eax >> 8) & 0xFu);
    if (s.family == 15) s.family = static_cast<std::int32_t>((eax >> 20) & 0xFFu) * 16 + 15;
    s.model = static_cast<std::int32_t>((eax >> 4) & 0xFu);
    s.stepping = static_cast<std::int32_t>(eax & 0xFu);
    return s;
}

void nameProcessor(std::int32_t family, std::int32_t model, const char* vendor, char* name) {
    if (!name) return;
    name[0] = '\0';
    if (vendor) {
        for (const NameRow& row : kNameTable) {
            if (std::strncmp(vendor, row.vendor, kVendorLength) == 0 && matches(row, family, model)) {
                copyName(name, row.name);
                return;
            }
        }
    }
    copyName(name, "Unknown");
}

std::int32_t detectProcessor(ProcessorInfo* info) { return detectProcessor(runningProcessor(), info); }

std::int32_t detectProcessor(const ProcessorQueries& processor, ProcessorInfo* info) {
    if (!processor.hasCpuid()) {
        if (info) *info = ProcessorInfo{};
        return 0;
    }
    const CpuidRegisters leaf0 = processor.cpuid(0);
    const CpuidRegisters leaf1 = processor.cpuid(1);
    FeatureWords words;
    words.ecx1 = leaf1.ecx;
    words.edx1 = leaf1.edx;
    if (processor.cpuid(kExtendedLeaves).eax >= kExtendedLeaves) {
        words.edxExtended = processor.cpuid(kExtendedFeatures).edx;
    }

    std::int32_t declared = 0;
    std::int32_t usable = 0;
    for (const FeatureSource& source : kFeatureSources) {
        if (!words.reports(source)) continue;
        declared |= source.feature;
        if (processor.probe(source.feature)) usable |= source.feature;
    }

    if (info) {
        *info = ProcessorInfo{};
        const ProcessorSignature signature = decodeSignature(leaf1.eax);
        info->declaredFeatures = declared;
        info->usableFeatures = usable;
        info->family = signature.family;
        info->model = signature.model;
        info->stepping = signature.stepping;
        storeVendor(leaf0, info->vendor);
        nameProcessor(signature.family, signature.model, info->vendor, info->name);
        info->examinedFeatures = kExaminedFeatures;
    }
    return declared;
}

} // namespace orvix
