#pragma once
// Owning handles for the harness self-test's plain libusb calls.

#include <libusb.h>

#include <memory>

namespace orvix::test::usb {

struct LibusbContextDeleter {
    void operator()(libusb_context* context) const { libusb_exit(context); }
};
using LibusbContext = std::unique_ptr<libusb_context, LibusbContextDeleter>;

struct LibusbHandleDeleter {
    void operator()(libusb_device_handle* handle) const { libusb_close(handle); }
};
using LibusbHandle = std::unique_ptr<libusb_device_handle, LibusbHandleDeleter>;

struct LibusbTransferDeleter {
    void operator()(libusb_transfer* transfer) const { libusb_free_transfer(transfer); }
};
using LibusbTransfer = std::unique_ptr<libusb_transfer, LibusbTransferDeleter>;

struct LibusbConfigDeleter {
    void operator()(libusb_config_descriptor* config) const { libusb_free_config_descriptor(config); }
};
using LibusbConfig = std::unique_ptr<libusb_config_descriptor, LibusbConfigDeleter>;

// A device list; the devices are referenced while it lives.
class LibusbDeviceList {
public:
    explicit LibusbDeviceList(libusb_context* context) : count_(libusb_get_device_list(context, &list_)) {}
    ~LibusbDeviceList() {
        if (list_) libusb_free_device_list(list_, 1);
    }
    LibusbDeviceList(const LibusbDeviceList&) = delete;
    LibusbDeviceList& operator=(const LibusbDeviceList&) = delete;

    ssize_t size() const { return count_; }
    libusb_device* operator[](ssize_t index) const { return list_[index]; }

private:
    libusb_device** list_ = nullptr;
    ssize_t count_;
};

} // namespace orvix::test::usb
