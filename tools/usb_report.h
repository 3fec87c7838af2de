#pragma once
// Linux: the USB side of `orvix list`, and `orvix usb-rule`.

// Prints the USB devices matching the configured camera ids, with their slots, bus
// and port, and why one cannot be used; nothing while the emulator is switched on.
// False when ids are configured but no matching device can be used.
bool printUsbCameras();

// `orvix usb-rule VID:PID[,VID:PID...]`: prints the udev rule file for those ids.
int commandUsbRule(int argc, char** argv);
