#pragma once
// The stored gain block of each camera slot: subkey "Gain_%02d" (the link's selected
// slot) below the library's settings key, values "Global", "ColorG1", "ColorR",
// "ColorB", "ColorG2", "Exposure", "V_Mirror", "AutoIris".

#include <string>

#include "device/gain_block.h"

namespace orvix {

class DeviceLink;

// Built-in block of a slot that has nothing stored.
inline constexpr std::int32_t kDefaultGlobalGain = 512;
inline constexpr std::int32_t kDefaultExposure = 64;

// "Gain_%02d" of a slot.
std::string gainRecordName(int slot);

// Reads the selected slot's block into `gains`. Without a stored record the block
// gets the built-in defaults (mirror from the link). The five gains are read through
// one carried value, so a missing gain repeats the one read before it; a missing
// exposure, mirror or auto-iris value leaves its field as it was. Always 1.
int loadGainSettings(const DeviceLink& link, GainBlock& gains);

// Writes the whole block for the selected slot. 0 when the key could not be created.
int saveGainSettings(const DeviceLink& link, const GainBlock& gains);

} // namespace orvix
