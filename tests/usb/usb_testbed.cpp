#include "usb/usb_testbed.h"

#include <cstdio>
#include <stdexcept>

#include "usb/fake_usb_camera.h"
#include "usb/usb_descriptors.h"

namespace orvix::test::usb {

namespace {

std::unique_ptr<UsbTestbed>& theTestbed() {
    static std::unique_ptr<UsbTestbed> testbed;
    return testbed;
}

std::string hex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

std::string threeDigits(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%03d", value);
    return text;
}

std::string fourHex(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

// The Linux root hub's ids.
constexpr std::uint16_t kRootHubVendor = 0x1d6b;
constexpr std::uint16_t kRootHubProduct = 0x0002;
// An ordinary external hub's.
constexpr std::uint16_t kHubVendor = 0x05e3;
constexpr std::uint16_t kHubProduct = 0x0608;

} // namespace

void UsbTestbed::create() {
    if (!theTestbed()) theTestbed().reset(new UsbTestbed());
}

void UsbTestbed::destroy() { theTestbed().reset(); }

UsbTestbed& UsbTestbed::instance() {
    if (!theTestbed()) throw std::logic_error("the USB testbed is made by the USB test main");
    return *theTestbed();
}

UsbTestbed::UsbTestbed() : testbed_(adoptObject(umockdev_testbed_new())) {
    root_ = takeString(umockdev_testbed_get_root_dir(testbed_.get()));
}

UsbTestbed::~UsbTestbed() {
    // Devices first end their threads; the handlers then stop being called once the
    // testbed (which runs them) is gone, and only then are the devices freed.
    for (auto& device : devices_) device->shutDown();
    for (const std::string& devnode : attached_) {
        GError* error = nullptr;
        umockdev_testbed_detach_ioctl(testbed_.get(), devnode.c_str(), &error);
        (void)takeErrorMessage(error);
    }
    testbed_.reset();
    devices_.clear();
}

std::string UsbTestbed::rootDir() const { return root_; }

std::string UsbTestbed::hostPath(const std::string& path) const { return root_ + path; }

DeviceEntry UsbTestbed::addNode(int bus, const std::string& sysname, const std::string& parentSyspath,
                                std::uint16_t vendor, std::uint16_t product,
                                const std::vector<std::uint8_t>& descriptors) {
    int& next = nextDeviceNumber_[bus];
    if (next == 0) next = 1;
    DeviceEntry entry;
    entry.bus = bus;
    entry.deviceNumber = next++;
    entry.sysname = sysname;
    entry.syspath = (parentSyspath.empty() ? std::string("/sys/devices") : parentSyspath) + "/" + sysname;
    const std::string bus3 = threeDigits(bus), device3 = threeDigits(entry.deviceNumber);
    entry.devnode = "/dev/bus/usb/" + bus3 + "/" + device3;
    // The kernel numbers usb_device nodes 189:((bus - 1) * 128 + device - 1).
    const int minor = (bus - 1) * 128 + entry.deviceNumber - 1;

    std::string record;
    record += "P: " + entry.syspath.substr(4) + "\n";
    record += "N: bus/usb/" + bus3 + "/" + device3 + "\n";
    record += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n";
    record += "E: DEVNAME=" + entry.devnode + "\n";
    record += "E: BUSNUM=" + bus3 + "\nE: DEVNUM=" + device3 + "\n";
    record += "E: PRODUCT=" + fourHex(vendor) + "/" + fourHex(product) + "/100\n";
    // Attribute values end with a newline, as the kernel writes them ("\\n" in the
    // record's syntax).
    const auto attribute = [&record](const char* name, const std::string& value) {
        record += std::string("A: ") + name + "=" + value + "\\n\n";
    };
    attribute("busnum", std::to_string(bus));
    attribute("devnum", std::to_string(entry.deviceNumber));
    attribute("speed", "480");
    attribute("idVendor", fourHex(vendor));
    attribute("idProduct", fourHex(product));
    attribute("bConfigurationValue", "1");
    attribute("bNumConfigurations", "1");
    attribute("dev", "189:" + std::to_string(minor));
    record += "H: descriptors=" + hex(descriptors) + "\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_.get(), record.c_str(), &error))
        throw std::runtime_error("umockdev refused the device " + sysname + ": " + takeErrorMessage(error));
    umockdev_testbed_uevent(testbed_.get(), entry.syspath.c_str(), "add");
    return entry;
}

std::string UsbTestbed::hubPath(int bus, const std::vector<int>& ports, std::vector<std::string>* hubs) {
    std::string sysname = "usb" + std::to_string(bus);
    std::string parent;
    for (std::size_t depth = 0; depth <= ports.size(); ++depth) {
        if (depth == 1)
            sysname = std::to_string(bus) + "-" + std::to_string(ports[0]);
        else if (depth > 1)
            sysname += "." + std::to_string(ports[depth - 1]);
        auto found = hubs_.find(sysname);
        if (found == hubs_.end()) {
            const bool root = depth == 0;
            const DeviceEntry hub = addNode(bus, sysname, parent, root ? kRootHubVendor : kHubVendor,
                                            root ? kRootHubProduct : kHubProduct,
                                            hubDescriptors(root ? kRootHubVendor : kHubVendor,
                                                           root ? kRootHubProduct : kHubProduct));
            found = hubs_.emplace(sysname, Hub{hub.syspath, 0}).first;
        }
        if (depth > 0) {
            ++found->second.devices;
            hubs->push_back(sysname);
        }
        parent = found->second.syspath;
    }
    return parent;
}

DeviceEntry UsbTestbed::addDevice(int bus, const std::vector<int>& ports, std::uint16_t vendor,
                                  std::uint16_t product, const std::vector<std::uint8_t>& descriptors) {
    if (bus < 1 || bus > 127 || ports.empty() || ports.size() > 6)
        throw std::invalid_argument("a USB device sits at 1 to 6 ports of a bus 1..127");
    std::lock_guard<std::mutex> lock(mutex_);
    const std::vector<int> hubPorts(ports.begin(), ports.end() - 1);
    std::string sysname = std::to_string(bus) + "-";
    for (std::size_t i = 0; i < ports.size(); ++i) sysname += (i ? "." : "") + std::to_string(ports[i]);
    if (hubs_.count(sysname)) throw std::invalid_argument("a hub sits at " + sysname);
    if (devicesAt_.count(sysname)) throw std::invalid_argument("a device sits at " + sysname);
    for (std::string hub = sysname; hub.find('.') != std::string::npos;) {
        hub.erase(hub.rfind('.'));
        if (devicesAt_.count(hub)) throw std::invalid_argument("a device, no hub, sits at " + hub);
    }
    std::vector<std::string> hubs;
    const std::string parent = hubPath(bus, hubPorts, &hubs);
    DeviceEntry entry = addNode(bus, sysname, parent, vendor, product, descriptors);
    entry.hubs = std::move(hubs);
    devicesAt_.emplace(sysname, 0);
    return entry;
}

void UsbTestbed::removeNode(const std::string& syspath) {
    umockdev_testbed_uevent(testbed_.get(), syspath.c_str(), "remove");
    umockdev_testbed_remove_device(testbed_.get(), syspath.c_str());
}

void UsbTestbed::removeDevice(const DeviceEntry& device) {
    std::lock_guard<std::mutex> lock(mutex_);
    removeNode(device.syspath);
    devicesAt_.erase(device.sysname);
    for (auto hub = device.hubs.rbegin(); hub != device.hubs.rend(); ++hub) {
        auto found = hubs_.find(*hub);
        if (found == hubs_.end() || --found->second.devices > 0) continue;
        removeNode(found->second.syspath);
        hubs_.erase(found);
    }
}

bool UsbTestbed::attachIoctl(const std::string& devnode, UMockdevIoctlBase* handler, std::string* error) {
    std::lock_guard<std::mutex> lock(mutex_);
    GError* failure = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed_.get(), devnode.c_str(), handler, &failure)) {
        const std::string message = takeErrorMessage(failure);
        if (error) *error = message;
        return false;
    }
    attached_.push_back(devnode);
    return true;
}

FakeUsbCamera& UsbTestbed::adopt(std::unique_ptr<FakeUsbCamera> device) {
    std::lock_guard<std::mutex> lock(mutex_);
    devices_.push_back(std::move(device));
    return *devices_.back();
}

} // namespace orvix::test::usb
