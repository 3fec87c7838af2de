#pragma once
// The descriptors of the fake USB devices, as the kernel shows them in a device's
// sysfs attribute `descriptors`: the device descriptor followed by its configuration
// descriptor with the interface and endpoint descriptors inside.

#include <cstdint>
#include <vector>

namespace orvix::test::usb {

// Ids of the fake cameras (any ids do; these are the ones the tests configure).
inline constexpr std::uint16_t kCameraVendor = 0x4f56;
inline constexpr std::uint16_t kCameraProduct = 0x6b62;

inline constexpr std::uint8_t kTransferBulk = 2;
inline constexpr std::uint8_t kTransferInterrupt = 3;

struct EndpointDescriptor {
    std::uint8_t address = 0;    // bit 7 set: IN
    std::uint8_t type = kTransferBulk;
    std::uint16_t maxPacket = 512;
    std::uint8_t interval = 0;

    bool in() const { return (address & 0x80) != 0; }
};

// Which endpoints interface 0 of a fake camera has.
enum class EndpointLayout {
    Camera,        // 0x01 bulk OUT, 0x82 bulk IN, 0x83 bulk IN: the camera's pipes 0, 1, 2
    SecondOut,     // 0x01 bulk OUT, 0x02 bulk OUT, 0x83 bulk IN
    InterruptIn,   // 0x01 bulk OUT, 0x82 interrupt IN, 0x83 bulk IN
    TwoEndpoints,  // 0x01 bulk OUT, 0x82 bulk IN, and no third
};

std::vector<EndpointDescriptor> endpointsOf(EndpointLayout layout);

// A high-speed device of one configuration (value 1) with one interface (0, class
// 0xFF, alternate setting 0) holding `endpoints` in this order.
std::vector<std::uint8_t> deviceDescriptors(std::uint16_t vendor, std::uint16_t product,
                                            const std::vector<EndpointDescriptor>& endpoints);

// A USB 2.0 hub (class 9) with its status-change interrupt endpoint.
std::vector<std::uint8_t> hubDescriptors(std::uint16_t vendor, std::uint16_t product);

} // namespace orvix::test::usb
