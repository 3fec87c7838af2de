// Processor detection: the name table, the signature arithmetic, detection against
// a scripted processor, and the real probes on the machine running the tests.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "imaging/processor.h"

namespace orvix {
namespace {

std::string nameOf(std::int32_t family, std::int32_t model, const char* vendor) {
    char name[kProcessorNameSize];
    std::memset(name, 'x', sizeof(name));
    nameProcessor(family, model, vendor, name);
    EXPECT_NE(std::memchr(name, '\0', sizeof(name)), nullptr) << "the name is terminated";
    return name;
}

TEST(ProcessorName, AmdRows) {
    EXPECT_EQ(nameOf(4, 9, "AuthenticAMD"), "AMD Am486");
    EXPECT_EQ(nameOf(5, 0, "AuthenticAMD"), "AMD K5");
    EXPECT_EQ(nameOf(5, 3, "AuthenticAMD"), "AMD K5");
    EXPECT_EQ(nameOf(5, 4, "AuthenticAMD"), "Unknown");
    EXPECT_EQ(nameOf(5, 5, "AuthenticAMD"), "Unknown");
    EXPECT_EQ(nameOf(5, 6, "AuthenticAMD"), "AMD K6");
    EXPECT_EQ(nameOf(5, 7, "AuthenticAMD"), "AMD K6");
    EXPECT_EQ(nameOf(5, 8, "AuthenticAMD"), "AMD K6-2");
    EXPECT_EQ(nameOf(5, 9, "AuthenticAMD"), "AMD K6-3");
    EXPECT_EQ(nameOf(5, 15, "AuthenticAMD"), "AMD K6-3");
    EXPECT_EQ(nameOf(6, 0, "AuthenticAMD"), "AMD ATHLON");
    EXPECT_EQ(nameOf(6, 15, "AuthenticAMD"), "AMD ATHLON");
    EXPECT_EQ(nameOf(15, 0, "AuthenticAMD"), "Unknown");
}

TEST(ProcessorName, IntelRows) {
    const std::map<std::pair<int, int>, std::string> rows = {
        {{4, 0}, "INTEL 486DX"},       {{4, 1}, "INTEL 486DX"},       {{4, 2}, "INTEL 486SX"},
        {{4, 3}, "INTEL 486DX2"},      {{4, 4}, "INTEL 486SL"},       {{4, 5}, "INTEL 486SX2"},
        {{4, 7}, "INTEL 486DX2E"},     {{4, 8}, "INTEL 486DX4"},      {{5, 1}, "INTEL Pentium"},
        {{5, 2}, "INTEL Pentium"},     {{5, 3}, "INTEL Pentium"},     {{5, 4}, "INTEL Pentium-MMX"},
        {{6, 1}, "INTEL Pentium-Pro"}, {{6, 3}, "INTEL Pentium-II"},  {{6, 5}, "INTEL Pentium-II"},
        {{6, 6}, "INTEL Celeron"},     {{6, 7}, "INTEL Pentium-III"}, {{6, 8}, "INTEL Pentium-III"},
        {{6, 10}, "INTEL Pentium-III"}, {{15, 0}, "INTEL Pentium-4"},
    };
    for (int family : {3, 4, 5, 6, 15, 31}) {
        for (int model = 0; model < 16; ++model) {
            const auto row = rows.find({family, model});
            const std::string expected = row == rows.end() ? "Unknown" : row->second;
            EXPECT_EQ(nameOf(family, model, "GenuineIntel"), expected) << family << "/" << model;
        }
    }
}

TEST(ProcessorName, OtherVendorsAndUnknownOnes) {
    EXPECT_EQ(nameOf(5, 4, "CyrixInstead"), "Cyrix");
    EXPECT_EQ(nameOf(99, 99, "CyrixInstead"), "Cyrix");
    EXPECT_EQ(nameOf(6, 9, "CentaurHauls"), "Centaur");
    EXPECT_EQ(nameOf(6, 0, "HygonGenuine"), "Unknown");
    EXPECT_EQ(nameOf(6, 0, "GenuineInte"), "Unknown") << "all 12 characters are compared";
    EXPECT_EQ(nameOf(6, 0, ""), "Unknown");
    EXPECT_EQ(nameOf(6, 0, nullptr), "Unknown");
    // Characters after the twelfth do not matter.
    EXPECT_EQ(nameOf(6, 6, "GenuineIntelX"), "INTEL Celeron");
}

TEST(ProcessorSignature, FamilyModelAndStepping) {
    // Family 6, model 8, stepping 3 (extended fields ignored below family 15).
    ProcessorSignature s = decodeSignature(0x00F30683);
    EXPECT_EQ(s.family, 6);
    EXPECT_EQ(s.model, 8);
    EXPECT_EQ(s.stepping, 3);
    // Base family 15, extended family 0: 15; the extended model is not used.
    s = decodeSignature(0x000F0F27);
    EXPECT_EQ(s.family, 15);
    EXPECT_EQ(s.model, 2);
    EXPECT_EQ(s.stepping, 7);
    // Base family 15, extended family 1: 1 × 16 + 15.
    EXPECT_EQ(decodeSignature(0x00100F00).family, 31);
    EXPECT_EQ(decodeSignature(0x0FF00F00).family, 255 * 16 + 15);
}

// A processor whose CPUID answers and probe results are given by the test.
class ScriptedProcessor : public ProcessorQueries {
public:
    bool cpuidPresent = true;
    std::map<std::uint32_t, platform::CpuidRegisters> leaves;
    std::int32_t faulting = 0; // features whose sample instruction faults
    mutable std::int32_t probed = 0;
    mutable std::map<std::uint32_t, int> leafCalls;

    bool hasCpuid() const override { return cpuidPresent; }
    platform::CpuidRegisters cpuid(std::uint32_t leaf) const override {
        ++leafCalls[leaf];
        const auto it = leaves.find(leaf);
        return it == leaves.end() ? platform::CpuidRegisters{} : it->second;
    }
    bool probe(std::int32_t feature) const override {
        probed |= feature;
        return (faulting & feature) == 0;
    }

    void setVendor(const char* vendor) {
        std::uint32_t words[3];
        std::memcpy(words, vendor, 12);
        leaves[0].ebx = words[0];
        leaves[0].edx = words[1];
        leaves[0].ecx = words[2];
    }
};

constexpr std::uint32_t kEdxMmx = 1u << 23, kEdxSse = 1u << 25, kEdxSse2 = 1u << 26;

TEST(DetectProcessor, RecordsVendorSignatureNameAndFeatures) {
    ScriptedProcessor cpu;
    cpu.setVendor("GenuineIntel");
    cpu.leaves[1] = {0x00000F29, 0, 0x1u | 0x100u, kEdxMmx | kEdxSse | kEdxSse2};
    ProcessorInfo info;
    std::memset(&info, 0x5A, sizeof(info));
    EXPECT_EQ(detectProcessor(cpu, &info), 0x01 | 0x02 | 0x04 | 0x10 | 0x20);
    EXPECT_STREQ(info.vendor, "GenuineIntel");
    EXPECT_EQ(info.family, 15);
    EXPECT_EQ(info.model, 2);
    EXPECT_EQ(info.stepping, 9);
    EXPECT_STREQ(info.name, "Unknown") << "Intel family 15 model 2 has no row";
    EXPECT_EQ(info.declaredFeatures, 0x37);
    EXPECT_EQ(info.usableFeatures, 0x37);
    EXPECT_EQ(info.examinedFeatures, 0x3F);
    EXPECT_EQ(cpu.leafCalls[0x80000001u], 0) << "no extended leaves reported";
    EXPECT_EQ(info.name[std::strlen(info.name) + 1], 0) << "the record is zeroed before it is filled";
}

TEST(DetectProcessor, SseTwoThatFaultsIsDeclaredButNotUsable) {
    ScriptedProcessor cpu;
    cpu.setVendor("GenuineIntel");
    cpu.leaves[1] = {0x00000665, 0, 0, kEdxMmx | kEdxSse | kEdxSse2};
    cpu.faulting = kFeatureSse2;
    ProcessorInfo info{};
    EXPECT_EQ(detectProcessor(cpu, &info), 0x07);
    EXPECT_EQ(info.declaredFeatures & kFeatureSse2, kFeatureSse2);
    EXPECT_EQ(info.usableFeatures & kFeatureSse2, 0);
    EXPECT_FALSE(info.canUse(kFeatureSse2));
    EXPECT_TRUE(info.canUse(kFeatureMmx));
    EXPECT_STREQ(info.name, "INTEL Celeron");
}

TEST(DetectProcessor, ThreeDNowComesFromTheExtendedLeafOnlyWhenItExists) {
    ScriptedProcessor cpu;
    cpu.setVendor("AuthenticAMD");
    cpu.leaves[1] = {0x00000580, 0, 0, kEdxMmx};
    cpu.leaves[0x80000001u].edx = 1u << 31;
    // Leaf 0x80000000 below 0x80000000: the extended leaf is not read.
    cpu.leaves[0x80000000u].eax = 0x7FFFFFFFu;
    EXPECT_EQ(detectProcessor(cpu, nullptr), kFeatureMmx);
    EXPECT_EQ(cpu.leafCalls[0x80000001u], 0);

    cpu.leaves[0x80000000u].eax = 0x80000001u;
    cpu.faulting = kFeature3dNow;
    ProcessorInfo info{};
    EXPECT_EQ(detectProcessor(cpu, &info), kFeatureMmx | kFeature3dNow);
    EXPECT_EQ(info.usableFeatures, kFeatureMmx);
    EXPECT_STREQ(info.name, "AMD K6-2");
}

TEST(DetectProcessor, OnlyReportedFeaturesAreProbed) {
    ScriptedProcessor cpu;
    cpu.setVendor("CentaurHauls");
    cpu.leaves[1] = {0x00000600, 0, 0x1, kEdxSse};
    EXPECT_EQ(detectProcessor(cpu, nullptr), kFeatureSse | kFeatureSse3);
    EXPECT_EQ(cpu.probed, kFeatureSse | kFeatureSse3);
}

TEST(DetectProcessor, WithoutCpuidTheRecordIsEmpty) {
    ScriptedProcessor cpu;
    cpu.cpuidPresent = false;
    cpu.leaves[1].edx = kEdxMmx | kEdxSse2;
    ProcessorInfo info;
    std::memset(&info, 0x5A, sizeof(info));
    EXPECT_EQ(detectProcessor(cpu, &info), 0);
    EXPECT_EQ(info.declaredFeatures, 0);
    EXPECT_EQ(info.usableFeatures, 0);
    EXPECT_EQ(info.vendor[0], 0);
    EXPECT_FALSE(info.canUse(kFeatureMmx));
    EXPECT_TRUE(cpu.leafCalls.empty());
}

// ---- the processor running the tests -------------------------------------------------

TEST(RunningProcessor, InstructionsWithoutSamplesAreUsableAndUnknownBitsAreNot) {
    EXPECT_TRUE(probeInstructionSet(kFeatureSse3));
    EXPECT_TRUE(probeInstructionSet(kFeatureEcx8));
    EXPECT_FALSE(probeInstructionSet(0x40));
    EXPECT_FALSE(probeInstructionSet(0));
}

#if defined(__x86_64__) || defined(__i386__)

TEST(RunningProcessor, GuardTurnsAnInvalidInstructionIntoFalse) {
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(platform::executes(platform::SampleInstruction::Invalid));
    // The process goes on, and the guard is gone again: normal probes still work.
    EXPECT_TRUE(platform::executes(platform::SampleInstruction::Cpuid));
}

TEST(RunningProcessor, DetectionMatchesWhatTheProcessorReports) {
    ASSERT_TRUE(hasCpuid());
    ProcessorInfo info{};
    const std::int32_t declared = detectProcessor(&info);
    EXPECT_EQ(declared, info.declaredFeatures);
    EXPECT_EQ(std::strlen(info.vendor), 12u);
    EXPECT_GT(std::strlen(info.name), 0u);
    EXPECT_EQ(info.examinedFeatures, 0x3F);
    EXPECT_EQ(info.usableFeatures & ~info.declaredFeatures, 0) << "only reported features are usable";

    const platform::CpuidRegisters leaf1 = platform::cpuid(1);
    EXPECT_EQ((declared & kFeatureSse2) != 0, ((leaf1.edx >> 26) & 1u) != 0);
    const ProcessorSignature s = decodeSignature(leaf1.eax);
    EXPECT_EQ(info.family, s.family);
    EXPECT_EQ(info.model, s.model);
#if defined(__x86_64__)
    // Every 64-bit x86 processor runs MMX, SSE and SSE2.
    EXPECT_TRUE(info.canUse(kFeatureMmx));
    EXPECT_TRUE(info.canUse(kFeatureSse));
    EXPECT_TRUE(info.canUse(kFeatureSse2));
#endif
}

#else

TEST(RunningProcessor, OtherProcessorsHaveNoRecord) {
    EXPECT_FALSE(hasCpuid());
    ProcessorInfo info{};
    EXPECT_EQ(detectProcessor(&info), 0);
    EXPECT_EQ(info.usableFeatures, 0);
}

#endif

} // namespace
} // namespace orvix
