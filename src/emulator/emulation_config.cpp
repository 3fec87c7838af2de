#include "emulator/emulation_config.h"

namespace orvix::emulator {

namespace {

// Splits off the text up to the next `separator` (or the end).
std::string_view takeField(std::string_view& rest, char separator) {
    const auto at = rest.find(separator);
    std::string_view field = rest.substr(0, at);
    rest = at == std::string_view::npos ? std::string_view{} : rest.substr(at + 1);
    return field;
}

// A decimal number of at most `maxValue`, without sign or spaces.
std::optional<std::uint32_t> parseNumber(std::string_view text, std::uint32_t maxValue) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value > maxValue) return std::nullopt;
    return value;
}

bool parseSlots(std::string_view text, EmulationConfig& config) {
    if (text.empty()) return true;
    while (true) {
        const bool last = text.find(',') == std::string_view::npos;
        const std::string_view field = takeField(text, ',');
        const auto slot = parseNumber(field, kSlotCount - 1);
        if (!slot || field.size() != 1) return false;
        config.withSlot(static_cast<int>(*slot));
        if (last) return true;
    }
}

std::optional<Scene> parseScene(std::string_view name) {
    if (name == "chart") return Scene::Chart;
    if (name == "ramp") return Scene::Ramp;
    if (name == "flat") return Scene::Flat;
    return std::nullopt;
}

bool parseOption(std::string_view option, EmulationConfig& config, unsigned& seen) {
    const auto equals = option.find('=');
    if (equals == std::string_view::npos) return false;
    const std::string_view name = option.substr(0, equals);
    const std::string_view value = option.substr(equals + 1);
    unsigned bit = 0;
    if (name == "rate") {
        const auto rate = parseNumber(value, 1000);
        if (!rate) return false;
        config.frameRate = static_cast<int>(*rate);
        bit = 1;
    } else if (name == "trigger") {
        const auto interval = parseNumber(value, 600000);
        if (!interval) return false;
        config.triggerIntervalMs = *interval;
        bit = 2;
    } else if (name == "scene") {
        const auto scene = parseScene(value);
        if (!scene) return false;
        config.scene = *scene;
        bit = 4;
    } else {
        return false;
    }
    if (seen & bit) return false;
    seen |= bit;
    return true;
}

} // namespace

std::optional<EmulationConfig> parseEmulationSetting(std::string_view text) {
    EmulationConfig config;
    const bool hasOptions = text.find(';') != std::string_view::npos;
    if (!parseSlots(takeField(text, ';'), config)) return std::nullopt;
    if (!hasOptions) return config;
    unsigned seen = 0;
    while (true) {
        const bool last = text.find(';') == std::string_view::npos;
        if (!parseOption(takeField(text, ';'), config, seen)) return std::nullopt;
        if (last) return config;
    }
}

} // namespace orvix::emulator
