#pragma once
// The camera driver of Linux, in user space: the device files "\\.\OvixK62DT4-n" as
// libusb transfers to the n-th matching USB camera (usb_cameras.h says which devices
// match and in which order).
//
// Requests of an open file:
//   0x222051 pipe write, 0x22204E pipe read, 0x2220A9 frame transfer: input the 4-byte
//       pipe number 0..2, output the data buffer. One bulk transfer of exactly the
//       buffer's length on the pipe's endpoint, in the endpoint's direction (the pipe
//       decides, as the Windows driver does). Success only when every byte went.
//   0x2220A0 set time-out: 44 input bytes, int32 1 then the time-out in ms (1 to
//       3,600,000), no output. The time-out of the camera's following transfers, on
//       every open file of it (3000 ms when the camera is opened).
// Every other code fails. A transfer takes no longer than its time-out, plus at most
// one second before it is cancelled should libusb not end it, plus the cancellation.
//
// Opening claims interface 0 of the camera; the claim and the device are released
// when the last open file of that camera closes, so another program can use the
// camera while this one holds no file open. Once the camera is unplugged (libusb's
// NO_DEVICE), the pending and every later request on its files fail at once, and a
// new open finds the camera again only when it is back.

#include <memory>

#include "platform/device_file.h"

namespace orvix::platform::usb {

// Null when the name is no camera's, no camera is in that slot, or it cannot be
// opened or used.
std::unique_ptr<DeviceChannel> openCameraFile(const char* path);

} // namespace orvix::platform::usb
