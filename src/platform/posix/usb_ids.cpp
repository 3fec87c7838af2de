// Which USB devices are cameras: the configured ids, and the udev rule for them.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/registry.h"
#include "platform/usb_cameras.h"

namespace orvix::platform::usb {

namespace {

std::optional<std::uint16_t> parseHex16(std::string_view digits) {
    if (digits.empty() || digits.size() > 4) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : digits) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return static_cast<std::uint16_t>(value);
}

std::optional<UsbId> parseOneId(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const auto vendor = parseHex16(text.substr(0, colon));
    const auto product = parseHex16(text.substr(colon + 1));
    if (!vendor || !product) return std::nullopt;
    return UsbId{*vendor, *product};
}

std::vector<UsbId> idsFromSettingsFile() {
    std::vector<UsbId> ids;
    const RegistryKey key = RegistryKey::openCurrentUser(kSettingsKeyPath).openSubkey(kUsbIdsSubkey);
    if (!key) return ids;
    for (int i = 0; i < kMaxCameras; ++i) {
        std::uint32_t value = 0;
        if (!key.queryDword("Id" + std::to_string(i), value)) continue;
        ids.push_back(UsbId{static_cast<std::uint16_t>(value >> 16), static_cast<std::uint16_t>(value & 0xFFFF)});
    }
    return ids;
}

// The rule line of packaging/udev/70-orvix-k62dt4.rules, with VVVV and PPPP replaced.
std::string ruleLine(UsbId id) {
    char vendor[8], product[8];
    std::snprintf(vendor, sizeof vendor, "%04x", id.vendor);
    std::snprintf(product, sizeof product, "%04x", id.product);
    return std::string("SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"") + vendor +
           "\", ATTR{idProduct}==\"" + product + "\", MODE=\"0660\", GROUP=\"plugdev\", TAG+=\"uaccess\"\n";
}

} // namespace

std::optional<std::vector<UsbId>> parseUsbIds(std::string_view text) {
    std::vector<UsbId> ids;
    while (true) {
        const std::size_t comma = text.find(',');
        const auto id = parseOneId(text.substr(0, comma));
        if (!id || ids.size() == static_cast<std::size_t>(kMaxCameras)) return std::nullopt;
        ids.push_back(*id);
        if (comma == std::string_view::npos) return ids;
        text.remove_prefix(comma + 1);
    }
}

std::string formatUsbId(UsbId id) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", id.vendor, id.product);
    return text;
}

std::vector<UsbId> configuredUsbIds() {
    const char* variable = std::getenv(kUsbIdsVariable);
    if (variable && *variable) return parseUsbIds(variable).value_or(std::vector<UsbId>{});
    return idsFromSettingsFile();
}

std::string udevRules(const std::vector<UsbId>& ids) {
    std::string rules = "# K62DT4 cameras: read and write access for the user at the seat and the group\n"
                        "# plugdev (written by orvix usb-rule).\n";
    for (const UsbId& id : ids) rules += ruleLine(id);
    return rules;
}

} // namespace orvix::platform::usb
