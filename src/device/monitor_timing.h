#pragma once
// The timing registers that switch the camera's monitor output between its picture
// sizes. The monitor operations and the monitor page of the analog gain dialog both
// send them.

#include <cstdint>

namespace orvix {

class DeviceLink;

// One register write of a size's timing sequence.
struct TimingWrite {
    std::uint8_t address;
    std::uint16_t value;
};
using TimingTable = TimingWrite[10];

// The sequence for 800 x 600 or 1280 x 1024; null for any other size.
const TimingTable* monitorTimingFor(int width, int height);

// Sends all ten writes in order, also after a failed one, so the timing control
// register still receives its closing value. False when any write failed.
bool writeMonitorTiming(DeviceLink& link, const TimingTable& table);

} // namespace orvix
