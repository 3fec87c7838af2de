#pragma once
// libusb underneath the camera driver and the survey: the process's libusb context,
// the matching devices in slot order, and the check of a device's endpoints.

#include <libusb.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/usb_cameras.h"

namespace orvix::platform::usb {

// The process's libusb context, made on first use and never destroyed (transfers of
// camera threads may still run while static objects are destroyed). Null when libusb
// could not be initialised.
libusb_context* usbContext();

// The endpoint addresses of pipes 0, 1 and 2.
struct CameraPipes {
    std::uint8_t endpoint[3] = {};
};

// One device whose ids match, with a reference on it for the life of the object.
class MatchedDevice {
public:
    MatchedDevice(libusb_device* device, UsbId id);
    ~MatchedDevice();
    MatchedDevice(MatchedDevice&& other) noexcept;
    MatchedDevice& operator=(MatchedDevice&& other) noexcept;
    MatchedDevice(const MatchedDevice&) = delete;
    MatchedDevice& operator=(const MatchedDevice&) = delete;

    libusb_device* device() const { return device_; }
    UsbId id() const { return id_; }
    int bus() const;
    int address() const;
    std::vector<std::uint8_t> portNumbers() const;
    std::string portPath() const; // "1.4.2"
    std::string nodePath() const; // "/dev/bus/usb/001/004"

    // Pipes 0..2 when interface 0, alternate setting 0 begins with a bulk OUT, a bulk
    // IN and a bulk IN endpoint; else false, with what is wrong in *problem.
    bool cameraPipes(CameraPipes* pipes, std::string* problem) const;

private:
    libusb_device* device_;
    UsbId id_;
};

// The attached devices matching `ids`, ordered by bus number, then port path.
std::vector<MatchedDevice> matchingDevices(const std::vector<UsbId>& ids);

} // namespace orvix::platform::usb
