#pragma once
// The camera driver's request interface: device names, control codes, pipes and the
// 64-byte command packets. Shared by the device link (which issues them) and the
// emulated driver (which answers them).

#include <cstdint>

namespace orvix::protocol {

// CTL_CODE(device type, function, method, access) as the driver builds its codes.
constexpr std::uint32_t controlCode(std::uint32_t deviceType, std::uint32_t function, std::uint32_t method,
                                    std::uint32_t access) {
    return (deviceType << 16) | (access << 14) | (function << 2) | method;
}

inline constexpr std::uint32_t kDeviceTypeUnknown = 0x22;
inline constexpr std::uint32_t kMethodBuffered = 0;
inline constexpr std::uint32_t kMethodInDirect = 1;
inline constexpr std::uint32_t kMethodOutDirect = 2;
inline constexpr std::uint32_t kAnyAccess = 0;

// Data buffer always passed as the output buffer; the driver picks the direction
// from the pipe.
inline constexpr std::uint32_t kPipeWrite = controlCode(kDeviceTypeUnknown, 0x814, kMethodInDirect, kAnyAccess);
inline constexpr std::uint32_t kPipeRead = controlCode(kDeviceTypeUnknown, 0x813, kMethodOutDirect, kAnyAccess);
inline constexpr std::uint32_t kFrameTransfer = controlCode(kDeviceTypeUnknown, 0x82A, kMethodInDirect, kAnyAccess);
inline constexpr std::uint32_t kFrameTransferOut = controlCode(kDeviceTypeUnknown, 0x829, kMethodOutDirect, kAnyAccess);
inline constexpr std::uint32_t kSetTimeout = controlCode(kDeviceTypeUnknown, 0x828, kMethodBuffered, kAnyAccess);
static_assert(kPipeWrite == 0x222051 && kPipeRead == 0x22204E && kFrameTransfer == 0x2220A9 &&
              kFrameTransferOut == 0x2220A6 && kSetTimeout == 0x2220A0);

// Input buffer of the set-time-out request: int32 1, int32 milliseconds, 36 bytes
// the driver does not interpret.
inline constexpr std::uint32_t kSetTimeoutInputLength = 44;

inline constexpr std::uint32_t kCommandPipe = 0;  // host to camera
inline constexpr std::uint32_t kResponsePipe = 1; // camera to host
inline constexpr std::uint32_t kFramePipe = 2;    // camera to host

inline constexpr std::uint32_t kPacketLength = 64;

enum Command : std::uint8_t {
    kCmdFrameRequest = 0x02,
    kCmdSerialWrite = 0x04,
    kCmdDeviceSelect = 0x06,
    kCmdFrameLength = 0x09,
    kCmdTenBitMode = 0x0A,
    kCmdSromWrite = 0x20,
    kCmdSromRead = 0x21,
    kCmdHalfClock = 0x23,
    kCmdHalfClockQuery = 0x24,
    kCmdFpgaWrite = 0x25,
    kCmdFpgaRead = 0x26,
    kCmdTriggerMode = 0x28,
};

// Value ids of the internal form of the serial write.
inline constexpr std::uint8_t kControlExposure = 1;
inline constexpr std::uint8_t kControlGlobalGain = 2;

// Device files: "\\.\OvixK62DT4-n", n = 0..7, opened for writing, shared for
// writing, existing only.
inline constexpr const char kDevicePrefix[] = "OvixK62DT4";
inline constexpr int kMaxDevices = 8;
inline constexpr std::uint32_t kGenericWrite = 0x40000000u;
inline constexpr std::uint32_t kFileShareWrite = 2;
inline constexpr std::uint32_t kOpenExisting = 3;

// Raw frame geometry of the sensor readout.
inline constexpr int kRawLineLength = 1791;
inline constexpr int kRawLines = 1060;
inline constexpr int kFirstActiveSample = 424;
inline constexpr int kFirstActiveLine = 14;
inline constexpr int kActiveWidth = 1360;
inline constexpr int kActiveHeight = 1024;
inline constexpr int kFrameSampleGranule = 1024;

constexpr std::uint32_t roundedFrameSamples(std::uint32_t rawSamples) {
    return (rawSamples + kFrameSampleGranule - 1) / kFrameSampleGranule * kFrameSampleGranule;
}
static_assert(roundedFrameSamples(kRawLineLength * kRawLines) == 1898496u);

inline constexpr std::uint32_t kDefaultTransferTimeoutMs = 3000;

} // namespace orvix::protocol
