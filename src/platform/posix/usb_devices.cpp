#include "platform/posix/usb_devices.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "platform/no_destructor.h"

namespace orvix::platform::usb {

namespace {

class Context {
public:
    Context() {
        if (libusb_init(&context_) != 0) context_ = nullptr;
    }
    libusb_context* get() const { return context_; }

private:
    libusb_context* context_ = nullptr;
};

struct DeviceListDeleter {
    void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};
using DeviceList = std::unique_ptr<libusb_device*, DeviceListDeleter>;

struct ConfigDeleter {
    void operator()(libusb_config_descriptor* config) const { libusb_free_config_descriptor(config); }
};
using ConfigDescriptor = std::unique_ptr<libusb_config_descriptor, ConfigDeleter>;

ConfigDescriptor activeConfiguration(libusb_device* device) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0 &&
        libusb_get_config_descriptor(device, 0, &config) != 0)
        return nullptr;
    return ConfigDescriptor(config);
}

const libusb_interface_descriptor* firstInterfaceSetting(const libusb_config_descriptor& config) {
    for (int i = 0; i < config.bNumInterfaces; ++i) {
        const libusb_interface& interface = config.interface[i];
        for (int a = 0; a < interface.num_altsetting; ++a) {
            const libusb_interface_descriptor& setting = interface.altsetting[a];
            if (setting.bInterfaceNumber == 0 && setting.bAlternateSetting == 0) return &setting;
        }
    }
    return nullptr;
}

const char* directionName(std::uint8_t address) {
    return (address & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN ? "IN" : "OUT";
}

const char* transferTypeName(std::uint8_t attributes) {
    switch (attributes & LIBUSB_TRANSFER_TYPE_MASK) {
    case LIBUSB_TRANSFER_TYPE_CONTROL: return "control";
    case LIBUSB_TRANSFER_TYPE_ISOCHRONOUS: return "isochronous";
    case LIBUSB_TRANSFER_TYPE_BULK: return "bulk";
    default: return "interrupt";
    }
}

} // namespace

libusb_context* usbContext() {
    static NoDestructor<Context> context;
    return context->get();
}

MatchedDevice::MatchedDevice(libusb_device* device, UsbId id) : device_(libusb_ref_device(device)), id_(id) {}

MatchedDevice::~MatchedDevice() {
    if (device_) libusb_unref_device(device_);
}

MatchedDevice::MatchedDevice(MatchedDevice&& other) noexcept : device_(other.device_), id_(other.id_) {
    other.device_ = nullptr;
}

MatchedDevice& MatchedDevice::operator=(MatchedDevice&& other) noexcept {
    if (this != &other) {
        if (device_) libusb_unref_device(device_);
        device_ = other.device_;
        id_ = other.id_;
        other.device_ = nullptr;
    }
    return *this;
}

int MatchedDevice::bus() const { return libusb_get_bus_number(device_); }

int MatchedDevice::address() const { return libusb_get_device_address(device_); }

std::vector<std::uint8_t> MatchedDevice::portNumbers() const {
    std::uint8_t ports[8] = {};
    const int count = libusb_get_port_numbers(device_, ports, static_cast<int>(sizeof ports));
    return count > 0 ? std::vector<std::uint8_t>(ports, ports + count) : std::vector<std::uint8_t>{};
}

std::string MatchedDevice::portPath() const {
    std::string path;
    for (std::uint8_t port : portNumbers()) path += (path.empty() ? "" : ".") + std::to_string(port);
    return path;
}

std::string MatchedDevice::nodePath() const {
    char path[32];
    std::snprintf(path, sizeof path, "/dev/bus/usb/%03d/%03d", bus(), address());
    return path;
}

bool MatchedDevice::cameraPipes(CameraPipes* pipes, std::string* problem) const {
    const ConfigDescriptor config = activeConfiguration(device_);
    if (!config) {
        *problem = "its configuration descriptor cannot be read";
        return false;
    }
    const libusb_interface_descriptor* setting = firstInterfaceSetting(*config);
    if (!setting) {
        *problem = "it has no interface 0 with alternate setting 0";
        return false;
    }
    if (setting->bNumEndpoints < 3) {
        *problem = "interface 0 has " + std::to_string(setting->bNumEndpoints) + " endpoints, not 3";
        return false;
    }
    static const std::uint8_t wantedDirection[3] = {LIBUSB_ENDPOINT_OUT, LIBUSB_ENDPOINT_IN, LIBUSB_ENDPOINT_IN};
    for (int pipe = 0; pipe < 3; ++pipe) {
        const libusb_endpoint_descriptor& endpoint = setting->endpoint[pipe];
        const bool bulk = (endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_BULK;
        if (!bulk || (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) != wantedDirection[pipe]) {
            char text[160];
            std::snprintf(text, sizeof text, "endpoint %d of interface 0 (0x%02x) is %s %s, pipe %d needs bulk %s",
                          pipe + 1, endpoint.bEndpointAddress, transferTypeName(endpoint.bmAttributes),
                          directionName(endpoint.bEndpointAddress), pipe, pipe == 0 ? "OUT" : "IN");
            *problem = text;
            return false;
        }
        pipes->endpoint[pipe] = endpoint.bEndpointAddress;
    }
    return true;
}

std::vector<MatchedDevice> matchingDevices(const std::vector<UsbId>& ids) {
    std::vector<MatchedDevice> matches;
    if (ids.empty()) return matches; // libusb is not started for nothing
    libusb_context* context = usbContext();
    if (!context) return matches;
    libusb_device** raw = nullptr;
    const ssize_t count = libusb_get_device_list(context, &raw);
    if (count < 0) return matches;
    const DeviceList list(raw);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(raw[i], &descriptor) != 0) continue;
        const UsbId id{descriptor.idVendor, descriptor.idProduct};
        if (std::find(ids.begin(), ids.end(), id) != ids.end()) matches.emplace_back(raw[i], id);
    }
    std::sort(matches.begin(), matches.end(), [](const MatchedDevice& a, const MatchedDevice& b) {
        if (a.bus() != b.bus()) return a.bus() < b.bus();
        return a.portNumbers() < b.portNumbers();
    });
    return matches;
}

} // namespace orvix::platform::usb
