#include "usb/usb_camera_bench.h"

namespace orvix::test::usb {

UsbCameraBench::UsbCameraBench() : testbed_(UsbTestbed::instance()) {}

UsbCameraBench::~UsbCameraBench() {
    for (FakeUsbCamera* device : devices_) (void)device->unplug();
}

FakeUsbCamera& UsbCameraBench::add(const FakeCameraSetup& setup) {
    FakeUsbCamera& device = testbed_.adopt(std::make_unique<FakeUsbCamera>(testbed_, setup));
    devices_.push_back(&device);
    return device;
}

} // namespace orvix::test::usb
