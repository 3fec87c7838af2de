// Uses the platform layer's USB survey beside the public interface: which devices
// match is a question of the bus, not of a camera handle.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "emulator/emulation_config.h"
#include "platform/usb_cameras.h"
#include "usb_report.h"

namespace usb = orvix::platform::usb;

namespace {

std::string idList(const std::vector<usb::UsbId>& ids) {
    std::string text;
    for (const usb::UsbId& id : ids) text += (text.empty() ? "" : ", ") + usb::formatUsbId(id);
    return text;
}

bool emulatorSwitchedOn() {
    const char* setting = std::getenv(orvix::emulator::kEmulationVariable);
    return setting && *setting;
}

} // namespace

bool printUsbCameras() {
    if (emulatorSwitchedOn()) return true;
    const std::vector<usb::UsbId> ids = usb::configuredUsbIds();
    if (ids.empty()) {
        const char* variable = std::getenv(usb::kUsbIdsVariable);
        if (variable && *variable)
            std::fprintf(stderr, "orvix: %s='%s' is not a list of VID:PID ids (hexadecimal, e.g. 4f56:6b62)\n",
                         usb::kUsbIdsVariable, variable);
        return true;
    }
    const std::vector<usb::UsbCameraReport> reports = usb::surveyUsbCameras();
    if (reports.empty()) {
        std::printf("no USB device matches %s ('lsusb' lists the attached devices and their ids)\n",
                    idList(ids).c_str());
        return false;
    }
    bool anyUsable = false;
    std::printf("USB devices matching %s:\n", idList(ids).c_str());
    for (const usb::UsbCameraReport& report : reports) {
        const std::string slot = report.slot >= 0 ? "slot " + std::to_string(report.slot) : "no slot";
        std::printf("  %-7s bus %03d port %-8s device %03d (%s)  %s\n", slot.c_str(), report.bus,
                    report.portPath.empty() ? "-" : report.portPath.c_str(), report.address,
                    usb::formatUsbId(report.id).c_str(), report.usable ? "ready" : report.problem.c_str());
        anyUsable = anyUsable || report.usable;
    }
    return anyUsable;
}

int commandUsbRule(int argc, char** argv) {
    const auto ids = argc == 1 ? usb::parseUsbIds(argv[0]) : std::nullopt;
    if (!ids) {
        std::fputs("usage: orvix usb-rule VID:PID[,VID:PID...]   (the ids 'lsusb' shows for the camera)\n", stderr);
        return 2;
    }
    std::fputs(usb::udevRules(*ids).c_str(), stdout);
    return 0;
}
