// The camera's monitor output: picture size and timing, live or still picture, colour
// processing, Bayer gains and camera clock, all held in FPGA registers. Every setter
// reads the register, changes only its own bits and writes the whole register back,
// so the other settings in it survive; every getter reads the camera.

#include <cstdint>

#include "camera/camera.h"
#include "device/device_link.h"
#include "device/monitor_timing.h"

namespace orvix {

namespace {

constexpr std::uint8_t kTimingControl = 0x20;
constexpr std::uint8_t kHorizontalSize = 0x24;
constexpr std::uint8_t kColorProcessing = 0x60;
constexpr std::uint8_t kBayerGainRed = 0x62;
constexpr std::uint8_t kBayerGainGreen = 0x64;
constexpr std::uint8_t kBayerGainBlue = 0x66;
constexpr std::uint8_t kCameraClock = 0xA0;
constexpr std::uint8_t kPreviewMode = 0xA2;

// 0x60
constexpr std::uint16_t kMonochrome = 0x0001;
constexpr std::uint16_t kAutoBayerGain = 0x0002;
constexpr std::uint16_t kGainsUnlocked = 0x0004;
// 0xA0: the clock code sits in bits 8..11.
constexpr std::uint16_t kClockCodeMask = 0x0F00;
constexpr std::uint16_t kClock48MHz = 0x0500;
constexpr std::uint16_t kClock24MHz = 0x0200;
// 0xA2
constexpr std::uint16_t kPreviewStrobe = 0x0001;
constexpr std::uint16_t kPreviewLiveBits = 0x0012;   // monitor enabled and live
constexpr std::uint16_t kPreviewModeBits = 0x0013;   // the bits the setter changes
constexpr std::uint16_t kPreviewLiveReading = 0x000A;

void setOk(int* ok, int value) {
    if (ok) *ok = value;
}

std::uint16_t setBits(std::uint16_t value, std::uint16_t bits, bool on) {
    return static_cast<std::uint16_t>(on ? value | bits : value & ~bits);
}

// The monitor size the camera reports for its horizontal size register; false for a
// value that is not one of the three known sizes.
bool sizeOfHorizontal(std::uint16_t horizontal, int* width, int* height) {
    switch (horizontal) {
    case 800: *width = 800, *height = 600; return true;
    case 1024: *width = 1024, *height = 768; return true;
    case 1280: *width = 1280, *height = 1024; return true;
    default: return false;
    }
}

// Register access with the error rule of the monitor operations: a failed read or
// write queues ERR_MONITOR_REQUEST. Callers have checked the link.
struct MonitorRegisters {
    DeviceLink& link;
    ErrorQueue& errors;

    bool read(std::uint8_t address, std::uint16_t* value) const {
        if (link.readFpgaRegister(address, value)) return true;
        errors.push(ERR_MONITOR_REQUEST);
        return false;
    }
    bool write(std::uint8_t address, std::uint16_t value) const {
        if (link.writeFpgaRegister(address, value)) return true;
        errors.push(ERR_MONITOR_REQUEST);
        return false;
    }
    // Reads, changes and writes back one register. 1, or 0 with the error queued.
    template <typename Change>
    int modify(std::uint8_t address, Change change) const {
        std::uint16_t value = 0;
        if (!read(address, &value)) return 0;
        return write(address, change(value)) ? 1 : 0;
    }
    // Reads one register for a getter; `extract` turns the register into the result.
    template <typename Extract>
    int get(std::uint8_t address, int* ok, Extract extract) const {
        std::uint16_t value = 0;
        if (!read(address, &value)) return setOk(ok, 0), 0;
        setOk(ok, 1);
        return extract(value);
    }
};

} // namespace

// ---- preview mode ---------------------------------------------------------------------------
// The steps raise the failing request's code as an ORVIXSDK_ERROR and the operation
// catches it at its top, so the first failing step ends the switch.

namespace {

std::uint16_t readOrRaise(DeviceLink& link, std::uint8_t address) {
    std::uint16_t value = 0;
    if (!link.readFpgaRegister(address, &value)) throw ERR_MONITOR_REQUEST;
    return value;
}

void writeOrRaise(DeviceLink& link, std::uint8_t address, std::uint16_t value) {
    if (!link.writeFpgaRegister(address, value)) throw ERR_MONITOR_REQUEST;
}

void switchPreviewMode(DeviceLink& link, bool live) {
    const std::uint16_t current = readOrRaise(link, kPreviewMode);
    if (live) {
        writeOrRaise(link, kPreviewMode, static_cast<std::uint16_t>((current & ~kPreviewStrobe) | kPreviewLiveBits));
        return;
    }
    writeOrRaise(link, kPreviewMode, static_cast<std::uint16_t>(current & ~kPreviewModeBits));
    // Pulse the strobe on what the camera now reports, which holds the picture.
    const auto strobed = static_cast<std::uint16_t>(readOrRaise(link, kPreviewMode) | kPreviewStrobe);
    writeOrRaise(link, kPreviewMode, strobed);
    writeOrRaise(link, kPreviewMode, static_cast<std::uint16_t>(strobed & ~kPreviewStrobe));
}

} // namespace

int Camera::setMonitorPreviewMode(int on) {
    try {
        if (!link_) throw ERR_NOT_INITIALIZED;
        switchPreviewMode(*link_, on != 0);
        return 1;
    } catch (ORVIXSDK_ERROR code) {
        errors_.push(code);
        return 0;
    }
}

int Camera::monitorPreviewMode(int* ok) {
    if (!requireLink()) return setOk(ok, 0), 0;
    return MonitorRegisters{*link_, errors_}.get(kPreviewMode, ok, [](std::uint16_t value) {
        return value == kPreviewLiveReading ? 1 : 0;
    });
}

// ---- picture size ---------------------------------------------------------------------------

namespace {

constexpr TimingTable kTiming800x600 = {
    {kTimingControl, 0x30}, {0x24, 800}, {0x26, 600}, {0x28, 240}, {0x2A, 66},
    {0x2C, 61},             {0x2E, 120}, {0x30, 21},  {0x32, 6},   {kTimingControl, 0x10},
};
constexpr TimingTable kTiming1280x1024 = {
    {kTimingControl, 0x430}, {0x24, 1280}, {0x26, 1024}, {0x28, 432}, {0x2A, 30},
    {0x2C, 48},              {0x2E, 184},  {0x30, 1},    {0x32, 3},   {kTimingControl, 0x410},
};

} // namespace

const TimingTable* monitorTimingFor(int width, int height) {
    if (width == 800 && height == 600) return &kTiming800x600;
    if (width == 1280 && height == 1024) return &kTiming1280x1024;
    return nullptr;
}

bool writeMonitorTiming(DeviceLink& link, const TimingTable& table) {
    bool allTaken = true;
    for (const TimingWrite& write : table) {
        if (!link.writeFpgaRegister(write.address, write.value)) allTaken = false;
    }
    return allTaken;
}


int Camera::setMonitorPreviewSize(int width, int height) {
    if (!requireLink()) return 0;
    const TimingTable* table = monitorTimingFor(width, height);
    if (!table) return errors_.push(ERR_PARAMETER), 0;
    // A failed write makes the result 0 (nothing is queued, as for the gain setters)
    // instead of reporting a size the camera may not have.
    return writeMonitorTiming(*link_, *table) ? 1 : 0;
}

int Camera::monitorPreviewSize(int* width, int* height) {
    if (!requireLink()) return 0;
    if (!width || !height) return errors_.push(ERR_PARAMETER), 0;
    std::uint16_t horizontal = 0; // a failed read leaves 0, which is no known size
    (void)link_->readFpgaRegister(kHorizontalSize, &horizontal);
    if (!sizeOfHorizontal(horizontal, width, height)) return errors_.push(ERR_PARAMETER), 0;
    return 1;
}

// ---- colour processing ----------------------------------------------------------------------

int Camera::setMonitorColorMode(int color) {
    if (!requireLink()) return 0;
    return MonitorRegisters{*link_, errors_}.modify(
        kColorProcessing, [&](std::uint16_t value) { return setBits(value, kMonochrome, color == 0); });
}

int Camera::monitorColorMode(int* ok) {
    if (!requireLink()) return setOk(ok, 0), 0;
    return MonitorRegisters{*link_, errors_}.get(kColorProcessing, ok,
                                                   [](std::uint16_t value) { return (value & kMonochrome) ? 0 : 1; });
}

int Camera::setMonitorBayerGainAuto(int on) {
    if (!requireLink()) return 0;
    return MonitorRegisters{*link_, errors_}.modify(
        kColorProcessing, [&](std::uint16_t value) { return setBits(value, kAutoBayerGain, on != 0); });
}

int Camera::monitorBayerGainAuto(int* ok) {
    if (!requireLink()) return setOk(ok, 0), 0;
    return MonitorRegisters{*link_, errors_}.get(kColorProcessing, ok,
                                                   [](std::uint16_t value) { return (value & kAutoBayerGain) ? 1 : 0; });
}

int Camera::setMonitorBayerGainLock(int on) {
    if (!requireLink()) return 0;
    return MonitorRegisters{*link_, errors_}.modify(
        kColorProcessing, [&](std::uint16_t value) { return setBits(value, kGainsUnlocked, on == 0); });
}

int Camera::monitorBayerGainLock(int* ok) {
    if (!requireLink()) return setOk(ok, 0), 0;
    return MonitorRegisters{*link_, errors_}.get(kColorProcessing, ok,
                                                   [](std::uint16_t value) { return (value & kGainsUnlocked) ? 0 : 1; });
}

// ---- Bayer gains ----------------------------------------------------------------------------

namespace {

int writeBayerGain(DeviceLink& link, std::uint8_t address, int gain) {
    return link.writeFpgaRegister(address, static_cast<std::uint16_t>(gain & 0xFFFF)) ? 1 : 0;
}

} // namespace

int Camera::setMonitorBayerGainRed(int gain) {
    if (!requireLink()) return 0;
    return writeBayerGain(*link_, kBayerGainRed, gain);
}

int Camera::setMonitorBayerGainGreen(int gain) {
    if (!requireLink()) return 0;
    return writeBayerGain(*link_, kBayerGainGreen, gain);
}

int Camera::setMonitorBayerGainBlue(int gain) {
    if (!requireLink()) return 0;
    return writeBayerGain(*link_, kBayerGainBlue, gain);
}

int Camera::monitorBayerGainRed(int* ok) {
    if (!requireLink()) return setOk(ok, 0), 0;
    return MonitorRegisters{*link_, errors_}.get(kBayerGainRed, ok, [](std::uint16_t value) { return int{value}; });
}

int Camera::monitorBayerGainGreen(int* ok) {
    if (!requireLink()) return setOk(ok, 0), 0;
    return MonitorRegisters{*link_, errors_}.get(kBayerGainGreen, ok,
                                                   [](std::uint16_t value) { return int{value}; });
}

int Camera::monitorBayerGainBlue(int* ok) {
    if (!requireLink()) return setOk(ok, 0), 0;
    return MonitorRegisters{*link_, errors_}.get(kBayerGainBlue, ok, [](std::uint16_t value) { return int{value}; });
}

// ---- camera clock ---------------------------------------------------------------------------

int Camera::setMonitorCameraClock(int clock) {
    if (!requireLink()) return 0;
    return MonitorRegisters{*link_, errors_}.modify(kCameraClock, [&](std::uint16_t value) -> std::uint16_t {
        if (clock == 0) return 0; // 16 MHz: the whole register is cleared
        const auto others = static_cast<std::uint16_t>(value & ~kClockCodeMask);
        return static_cast<std::uint16_t>(others | (clock == 2 ? kClock48MHz : kClock24MHz));
    });
}

int Camera::monitorCameraClock(int* ok) {
    if (!requireLink()) return setOk(ok, 0), 0;
    return MonitorRegisters{*link_, errors_}.get(kCameraClock, ok,
                                                   [](std::uint16_t value) { return (value >> 8) & 0xF; });
}

} // namespace orvix
