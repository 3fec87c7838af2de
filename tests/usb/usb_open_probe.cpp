// Opens the USB device at a bus and address with libusb and prints what libusb_open
// returned ("open: 0", "open: -3", ...), for the harness test of a node the user may
// not open (run as another user, see unprivileged.h).
//
//   usb_open_probe BUS ADDRESS

#include <libusb.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: usb_open_probe BUS ADDRESS\n");
        return 2;
    }
    const int bus = std::atoi(argv[1]), address = std::atoi(argv[2]);
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0) {
        std::printf("init failed\n");
        return 1;
    }
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    int result = 1;
    bool found = false;
    for (ssize_t i = 0; i < count; ++i) {
        if (libusb_get_bus_number(list[i]) != bus || libusb_get_device_address(list[i]) != address) continue;
        found = true;
        libusb_device_handle* handle = nullptr;
        result = libusb_open(list[i], &handle);
        std::printf("open: %d\n", result);
        if (handle) libusb_close(handle);
    }
    if (!found) std::printf("not listed\n");
    if (list) libusb_free_device_list(list, 1);
    libusb_exit(context);
    return found && result == 0 ? 0 : 1;
}
