#pragma once
// The channel from one Camera to one camera's driver: discovery, control requests and
// frame transfers. (Filled in with the device link.)

namespace orvix {

class DeviceLink {
public:
    DeviceLink() = default;
};

} // namespace orvix
