#pragma once
// A test's USB cameras: fake devices plugged into the program's testbed for one test
// and unplugged again at its end (those the test did not unplug itself).
//
//   UsbCameraBench bench;
//   FakeUsbCamera& camera = bench.add({.bus = 1, .ports = {2}, .emulatorSlot = 0});
//   ...
//   bench.unplug(0);   // mid-test: as pulling the cable
//
// The emulated cameras behind them are the test's to configure (Emulator::configure,
// with serveDeviceFiles(false) so the library's device files go to the USB driver)
// before they are added.

#include <vector>

#include "usb/fake_usb_camera.h"

namespace orvix::test::usb {

class UsbCameraBench {
public:
    UsbCameraBench();
    ~UsbCameraBench();
    UsbCameraBench(const UsbCameraBench&) = delete;
    UsbCameraBench& operator=(const UsbCameraBench&) = delete;

    // Plugs in a device (throws when umockdev refuses it); devices are numbered from
    // 0 in the order added.
    FakeUsbCamera& add(const FakeCameraSetup& setup);
    FakeUsbCamera& device(int index) const { return *devices_.at(static_cast<std::size_t>(index)); }
    int size() const { return static_cast<int>(devices_.size()); }
    bool unplug(int index) { return device(index).unplug(); }

private:
    UsbTestbed& testbed_;
    std::vector<FakeUsbCamera*> devices_; // owned by the testbed
};

} // namespace orvix::test::usb
