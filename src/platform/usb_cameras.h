#pragma once
// Cameras on the USB bus (Linux): which devices are cameras, in which slot, and why
// one cannot be opened.
//
// Linux has no kernel driver for the camera: the device files "\\.\OvixK62DT4-n" are
// served in user space through libusb (device_file_posix.cpp). A camera is a USB
// device whose vendor and product id match one of the configured ids:
//
//   ORVIX_K62DT4_USB=VID:PID[,VID:PID...]     hexadecimal, as lsusb prints them
//
// or, when the variable is unset, the REG_DWORD values "Id0".."Id7" of the key
// "Software\Quelm\OrvixK62DT4Sdk\Usb" in the settings file, each VID << 16 | PID:
//
//   [HKEY_CURRENT_USER\Software\Quelm\OrvixK62DT4Sdk\Usb]
//   "Id0"=dword:4f566b62
//
// Slot n is the n-th matching device in the order of bus number, then port path, so
// a camera keeps its slot across runs while the wiring stays. Its pipes 0, 1 and 2
// are the first three endpoints of interface 0, alternate setting 0, in descriptor
// order, and must be bulk OUT, bulk IN and bulk IN; a device with other endpoints is
// refused.
//
// Not available on Windows, where the camera's kernel driver serves the device files.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvix::platform::usb {

inline constexpr char kUsbIdsVariable[] = "ORVIX_K62DT4_USB";
inline constexpr char kUsbIdsSubkey[] = "Usb";
inline constexpr int kMaxCameras = 8;

struct UsbId {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    bool operator==(const UsbId& other) const { return vendor == other.vendor && product == other.product; }
};

// "VID:PID[,VID:PID...]" (1 to 4 hex digits each, at most 8 ids); nothing when
// malformed.
std::optional<std::vector<UsbId>> parseUsbIds(std::string_view text);
std::string formatUsbId(UsbId id); // "4f56:6b62"

// The ids cameras are matched by: the variable when set (a malformed value matches
// nothing), else the settings file's values.
std::vector<UsbId> configuredUsbIds();

// A udev rule file giving the logged-in user (and the group plugdev) access to
// devices with these ids: packaging/udev/70-orvix-k62dt4.rules with the ids filled in.
std::string udevRules(const std::vector<UsbId>& ids);

// One matching device as the survey found it.
struct UsbCameraReport {
    int slot = -1;             // -1 beyond the eighth match
    int bus = 0;
    std::string portPath;      // "1.4.2": the port numbers from the root hub
    int address = 0;           // the device number in /dev/bus/usb/BBB/DDD
    UsbId id;
    bool usable = false;       // opened, and its endpoints are the camera's
    std::string problem;       // why not, and what to do (empty when usable)
};

// Every device matching the configured ids, in slot order. Each is opened and
// closed again to see whether it can be used; none is claimed.
std::vector<UsbCameraReport> surveyUsbCameras();

} // namespace orvix::platform::usb
