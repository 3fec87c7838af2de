// The survey behind `orvix list`: every matching device, and whether it can be used.

#include <string>

#include "platform/posix/usb_devices.h"
#include "platform/usb_cameras.h"

namespace orvix::platform::usb {

namespace {

std::string openProblem(int error, const MatchedDevice& match) {
    if (error == LIBUSB_ERROR_ACCESS)
        return "no permission to open " + match.nodePath() +
               " (EACCES): install the udev rule ('orvix usb-rule " + formatUsbId(match.id()) +
               "' prints it), then unplug and replug the camera";
    if (error == LIBUSB_ERROR_BUSY) return match.nodePath() + " is in use by another program";
    return "cannot open " + match.nodePath() + " (" + libusb_error_name(error) + ")";
}

// Empty when the device opens and has the camera's endpoints.
std::string problemOf(const MatchedDevice& match) {
    CameraPipes pipes;
    std::string problem;
    if (!match.cameraPipes(&pipes, &problem)) return "not a camera: " + problem;
    libusb_device_handle* handle = nullptr;
    const int opened = libusb_open(match.device(), &handle);
    if (opened != 0) return openProblem(opened, match);
    libusb_close(handle);
    return {};
}

} // namespace

std::vector<UsbCameraReport> surveyUsbCameras() {
    std::vector<UsbCameraReport> reports;
    const std::vector<MatchedDevice> matches = matchingDevices(configuredUsbIds());
    for (std::size_t i = 0; i < matches.size(); ++i) {
        const MatchedDevice& match = matches[i];
        UsbCameraReport report;
        report.slot = i < static_cast<std::size_t>(kMaxCameras) ? static_cast<int>(i) : -1;
        report.bus = match.bus();
        report.portPath = match.portPath();
        report.address = match.address();
        report.id = match.id();
        report.problem = problemOf(match);
        if (report.slot < 0 && report.problem.empty()) report.problem = "beyond the eighth camera: not used";
        report.usable = report.problem.empty();
        reports.push_back(std::move(report));
    }
    return reports;
}

} // namespace orvix::platform::usb
