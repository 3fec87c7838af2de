#include "usb/usb_descriptors.h"

namespace orvix::test::usb {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

std::vector<std::uint8_t> describe(std::uint8_t deviceClass, std::uint16_t vendor, std::uint16_t product,
                                   std::uint8_t interfaceClass, const std::vector<EndpointDescriptor>& endpoints) {
    std::vector<std::uint8_t> out;
    // Device: USB 2.0, 64-byte control packets, one configuration, no strings.
    out.insert(out.end(), {18, 1});
    put16(out, 0x0200);
    out.insert(out.end(), {deviceClass, 0, 0, 64});
    put16(out, vendor);
    put16(out, product);
    put16(out, 0x0100);
    out.insert(out.end(), {0, 0, 0, 1});

    // Configuration 1, bus powered (500 mA), with one interface.
    const auto total = static_cast<std::uint16_t>(9 + 9 + 7 * endpoints.size());
    out.insert(out.end(), {9, 2});
    put16(out, total);
    out.insert(out.end(), {1, 1, 0, 0x80, 250});
    out.insert(out.end(), {9, 4, 0, 0, static_cast<std::uint8_t>(endpoints.size()), interfaceClass, 0, 0, 0});
    for (const EndpointDescriptor& endpoint : endpoints) {
        out.insert(out.end(), {7, 5, endpoint.address, endpoint.type});
        put16(out, endpoint.maxPacket);
        out.push_back(endpoint.interval);
    }
    return out;
}

} // namespace

std::vector<EndpointDescriptor> endpointsOf(EndpointLayout layout) {
    const EndpointDescriptor commandOut{0x01};
    const EndpointDescriptor answerIn{0x82};
    const EndpointDescriptor frameIn{0x83};
    switch (layout) {
    case EndpointLayout::Camera:
        return {commandOut, answerIn, frameIn};
    case EndpointLayout::SecondOut:
        return {commandOut, EndpointDescriptor{0x02}, frameIn};
    case EndpointLayout::InterruptIn:
        return {commandOut, EndpointDescriptor{0x82, kTransferInterrupt, 64, 4}, frameIn};
    case EndpointLayout::TwoEndpoints:
        return {commandOut, answerIn};
    }
    return {};
}

std::vector<std::uint8_t> deviceDescriptors(std::uint16_t vendor, std::uint16_t product,
                                            const std::vector<EndpointDescriptor>& endpoints) {
    return describe(0x00, vendor, product, 0xFF, endpoints);
}

std::vector<std::uint8_t> hubDescriptors(std::uint16_t vendor, std::uint16_t product) {
    return describe(0x09, vendor, product, 0x09, {EndpointDescriptor{0x81, kTransferInterrupt, 4, 12}});
}

} // namespace orvix::test::usb
