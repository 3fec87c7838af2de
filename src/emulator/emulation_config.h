#pragma once
// What the camera emulator emulates, and the syntax of ORVIX_K62DT4_EMULATE:
//
//   <slots>[;<option>]...
//
//   <slots>   slot numbers 0..7 separated by commas, e.g. "0,3"; may be empty
//   rate=N    frames per second of a full 8-bit frame at normal clock, 0..1000
//             (default 15); 10-bit samples and half clock are slower (10 and 7.5
//             frames/s at the default); 0 delivers frames as fast as they are asked for
//   trigger=M periodic external trigger every M ms, 0..600000 (default 0 = none; in
//             trigger mode each trigger releases one frame)
//   scene=S   test scene: chart (default), ramp or flat
//
// Example: ORVIX_K62DT4_EMULATE="0,3;rate=0;scene=ramp". No spaces; options may come
// in any order, each at most once. A value that does not follow this syntax
// emulates no camera.

#include <cstdint>
#include <optional>
#include <string_view>

namespace orvix::emulator {

inline constexpr const char kEmulationVariable[] = "ORVIX_K62DT4_EMULATE";
// A folder where the emulators write the requests they refused (rejection_report.h).
inline constexpr const char kRejectionReportVariable[] = "ORVIX_K62DT4_EMULATE_REJECTIONS";
inline constexpr int kSlotCount = 8;

enum class Scene { Chart, Ramp, Flat };

struct EmulationConfig {
    std::uint8_t slotMask = 0;          // bit n set: a camera is attached at slot n
    int frameRate = 15;                 // 0 = unthrottled
    std::uint32_t triggerIntervalMs = 0; // 0 = no periodic trigger
    Scene scene = Scene::Chart;

    bool hasSlot(int slot) const { return slot >= 0 && slot < kSlotCount && (slotMask >> slot) & 1u; }
    EmulationConfig& withSlot(int slot) {
        if (slot >= 0 && slot < kSlotCount) slotMask = static_cast<std::uint8_t>(slotMask | (1u << slot));
        return *this;
    }
};

// Parses the variable's value; nothing when it is malformed.
std::optional<EmulationConfig> parseEmulationSetting(std::string_view text);

} // namespace orvix::emulator
