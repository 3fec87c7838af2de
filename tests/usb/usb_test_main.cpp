// Main of the USB test programs: under umockdev's preload library, with the
// program's fake USB bus made before the first test, the cameras matched by the fake
// cameras' ids and nothing emulated through the environment; otherwise as the common
// test main (settings kept apart, refused emulator requests fail the program).

#include <gtest/gtest.h>

#include "emulator/emulation_config.h"
#include "platform/usb_cameras.h"
#include "support/test_environment.h"
#include "usb/umockdev_preload.h"
#include "usb/usb_descriptors.h"
#include "usb/usb_testbed.h"

int main(int argc, char** argv) {
    orvix::test::usb::runUnderUmockdevPreload(argv);
    orvix::test::unsetEnvironment(orvix::emulator::kEmulationVariable);
    namespace usb = orvix::platform::usb;
    orvix::test::setEnvironment(usb::kUsbIdsVariable,
                                usb::formatUsbId({orvix::test::usb::kCameraVendor, orvix::test::usb::kCameraProduct}));
    orvix::test::isolateSettings();
    orvix::test::watchEmulatorRejections();
    ::testing::InitGoogleTest(&argc, argv);
    orvix::test::usb::UsbTestbed::create();
    const int result = RUN_ALL_TESTS();
    orvix::test::usb::UsbTestbed::destroy();
    return orvix::test::finishRejectionWatch() ? result : 1;
}
