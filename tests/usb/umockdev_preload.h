#pragma once
// The USB test programs run with umockdev's preload library, which points /sys,
// /dev and the udev socket of every library in the process (libusb's included) at
// the testbed. A program started without it starts itself again with it:
//
//   LD_PRELOAD=libumockdev-preload.so.0 (before any preload already asked for)
//   ASAN_OPTIONS+=:verify_asan_link_order=0   (AddressSanitizer builds: the preload
//                                              comes before the sanitizer's runtime)

namespace orvix::test::usb {

// True when umockdev's preload library is loaded in this process.
bool umockdevPreloadLoaded();

// Returns when the preload library is loaded; otherwise runs the program again with
// it (exec, so this never returns), or exits with a message should that fail.
void runUnderUmockdevPreload(char** argv);

} // namespace orvix::test::usb
