#pragma once
// The program's fake USB bus: one umockdev testbed (sysfs, the udev database and
// /dev/bus/usb as libusb sees them under umockdev's preload library) with root hubs,
// the hubs on the way to a port path, and the devices the tests plug in.
//
// There is one testbed for the whole test program, made before any test and so
// before any libusb context: a libusb context keeps its device list up to date from
// the testbed's uevents, so it must see one testbed from its start to its end.
// Devices come and go in it (bench by bench); their device numbers keep growing, as
// on a real bus, so a new device never takes the node of an old one.
//
// The fake devices themselves (FakeUsbCamera) belong to the testbed too, so a
// device's ioctl handler answers for as long as the program runs: a program that
// still holds a removed device open gets ENODEV from it, as from the kernel, instead
// of losing its connection to the handler.

#include <umockdev.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "usb/gobject_handles.h"

namespace orvix::test::usb {

class FakeUsbCamera;

struct DeviceEntry {
    int bus = 0;
    int deviceNumber = 0;
    std::string sysname; // "1-4.2"
    std::string syspath; // "/sys/devices/usb1/1-4/1-4.2"
    std::string devnode; // "/dev/bus/usb/001/007"
    std::vector<std::string> hubs; // sysnames of the hubs on the way below the root hub
};

class UsbTestbed {
public:
    // Made by the USB test main before the tests run, ended after them.
    static void create();
    static void destroy();
    static UsbTestbed& instance();

    ~UsbTestbed();
    UsbTestbed(const UsbTestbed&) = delete;
    UsbTestbed& operator=(const UsbTestbed&) = delete;

    // Adds a high-speed device at `ports` (the port numbers from the root hub of
    // `bus`, one to six of them), with the hubs on the way, and announces it with an
    // "add" uevent.
    DeviceEntry addDevice(int bus, const std::vector<int>& ports, std::uint16_t vendor, std::uint16_t product,
                          const std::vector<std::uint8_t>& descriptors);
    // Announces the removal ("remove" uevent) and takes the device out of sysfs and
    // /dev, and with it the hubs on the way that nothing else hangs from (root hubs
    // stay).
    void removeDevice(const DeviceEntry& device);

    // Serves the ioctls on `devnode` by `handler`; false (and `error` set) on failure.
    bool attachIoctl(const std::string& devnode, UMockdevIoctlBase* handler, std::string* error);

    // The file behind a path of the testbed ("/dev/bus/usb/001/002" gives the node's
    // file in the testbed's folder), for changing it behind umockdev's back.
    std::string hostPath(const std::string& path) const;
    std::string rootDir() const;

    // Keeps a fake device until the program ends (see above).
    FakeUsbCamera& adopt(std::unique_ptr<FakeUsbCamera> device);

private:
    UsbTestbed();
    DeviceEntry addNode(int bus, const std::string& sysname, const std::string& parentSyspath, std::uint16_t vendor,
                        std::uint16_t product, const std::vector<std::uint8_t>& descriptors);
    // The syspath of the hub at `ports` (the root hub for none), added with the hubs
    // above it when missing; the hubs below the root count one more device each.
    std::string hubPath(int bus, const std::vector<int>& ports, std::vector<std::string>* hubs);
    void removeNode(const std::string& syspath);

    mutable std::mutex mutex_;
    GObjectPtr<UMockdevTestbed> testbed_;
    std::string root_;
    struct Hub {
        std::string syspath;
        int devices = 0; // below it; a hub below the root goes with its last device
    };
    std::map<std::string, Hub> hubs_; // by sysname
    std::map<std::string, int> devicesAt_; // sysnames of the devices plugged in (value unused)
    std::map<int, int> nextDeviceNumber_;     // per bus
    std::vector<std::string> attached_;       // devnodes with a handler
    std::vector<std::unique_ptr<FakeUsbCamera>> devices_;
};

} // namespace orvix::test::usb
