#pragma once
// The processor record that selects vectorised kernels: what CPUID reports and which
// of those instruction sets really execute.

#include <cstdint>

namespace orvix {

enum ProcessorFeature : std::int32_t {
    kFeatureMmx = 0x01,
    kFeatureSse = 0x02,
    kFeatureSse2 = 0x04,
    kFeature3dNow = 0x08,
    kFeatureSse3 = 0x10,
    kFeatureEcx8 = 0x20, // leaf 1 ECX bit 8, recorded but never used
};

struct ProcessorInfo {
    char vendor[13];
    char name[31];
    std::int32_t family;
    std::int32_t model;
    std::int32_t stepping;
    std::int32_t declaredFeatures;
    std::int32_t usableFeatures;
    std::int32_t examinedFeatures;

    // A feature may be used when it is both reported and proven to execute.
    bool canUse(std::int32_t feature) const {
        return (declaredFeatures & feature) == feature && (usableFeatures & feature) == feature;
    }
};

} // namespace orvix
