#include "emulator/request_rules.h"

#include <cstdio>
#include <cstring>

#include "device/driver_protocol.h"

namespace orvix::emulator {

namespace {

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%X", static_cast<unsigned>(value));
    return text;
}

std::uint32_t readLe32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

Refusal refuse(Rejection kind, std::string reason) { return Refusal{kind, std::move(reason)}; }

const char* requestName(std::uint32_t code) {
    switch (code) {
    case protocol::kPipeWrite:
        return "pipe write (0x222051)";
    case protocol::kPipeRead:
        return "pipe read (0x22204E)";
    case protocol::kFrameTransfer:
        return "frame transfer (0x2220A9)";
    default:
        return "request";
    }
}

// ---- command packets ---------------------------------------------------------------

constexpr std::uint32_t kSromUserIdFirst = 8;
constexpr std::uint32_t kSromUserIdLast = 15;
constexpr std::uint8_t kFirstFpgaRegister = 0x10;
constexpr std::uint16_t kExposureMin = 8;
constexpr std::uint16_t kExposureMax = 1068;
constexpr std::uint16_t kGlobalGainMax = 1023;

bool isSensorAddress(std::uint32_t address) { return address < 192 || (address >= 256 && address <= 1023); }

std::uint32_t sensorDataBits(std::uint32_t address) {
    if (address < 192) return 6;
    if (address < 384) return 16;
    return 22;
}

Refusal checkSensorWrite(const Packet& packet) {
    const std::uint32_t bitCount = packet[1];
    const std::uint32_t word = readLe32(&packet[2]);
    const std::uint32_t address = word & 0x3FF;
    if (!isSensorAddress(address))
        return refuse(Rejection::Packet, "sensor write to " + std::to_string(address) + ", which is no register");
    const std::uint32_t dataBits = sensorDataBits(address);
    if (bitCount != dataBits + 10)
        return refuse(Rejection::Packet, "sensor write to register " + std::to_string(address) + " with bit count " +
                                             std::to_string(bitCount) + "; it takes " + std::to_string(dataBits + 10));
    if (dataBits < 22 && (word >> 10) >> dataBits != 0)
        return refuse(Rejection::Packet, "sensor write to register " + std::to_string(address) + " with serial word " +
                                             hex(word) + ": the value has more than " + std::to_string(dataBits) +
                                             " bits");
    return {};
}

Refusal checkControlValue(const Packet& packet) {
    const auto value = static_cast<std::uint16_t>(packet[2] << 8 | packet[3]);
    if (packet[1] == protocol::kControlExposure && (value < kExposureMin || value > kExposureMax))
        return refuse(Rejection::Packet, "exposure " + std::to_string(value) + " outside 8..1068");
    if (packet[1] == protocol::kControlGlobalGain && value > kGlobalGainMax)
        return refuse(Rejection::Packet, "global gain " + std::to_string(value) + " outside 0..1023");
    return {};
}

Refusal checkSwitch(const Packet& packet, const char* name) {
    if (packet[1] > 1)
        return refuse(Rejection::Packet, std::string(name) + " with byte 1 = " + std::to_string(packet[1]) +
                                             "; it takes 0 or 1");
    return {};
}

Refusal checkSromAddress(const Packet& packet) {
    if (packet[1] < kSromUserIdFirst || packet[1] > kSromUserIdLast)
        return refuse(Rejection::Packet,
                      "serial-ROM access to address " + std::to_string(packet[1]) + " outside the user ID (8..15)");
    return {};
}

// The fields of a known command: how many bytes the packet's fields take (byte 0
// included), and the check of their values.
struct CommandFields {
    int length = 0; // 0: no such command
    Refusal check;
};

CommandFields commandFields(const Packet& packet) {
    switch (packet[0]) {
    case protocol::kCmdFrameRequest:
    case protocol::kCmdDeviceSelect:
    case protocol::kCmdHalfClockQuery:
        return {1, {}};
    case protocol::kCmdSerialWrite:
        if (packet[1] == 16 || packet[1] == 26 || packet[1] == 32) return {6, checkSensorWrite(packet)};
        if (packet[1] == protocol::kControlExposure || packet[1] == protocol::kControlGlobalGain)
            return {4, checkControlValue(packet)};
        return {2, refuse(Rejection::Packet, "serial write of form " + std::to_string(packet[1]) +
                                                 "; it takes bit count 16, 26 or 32, or value id 1 or 2")};
    case protocol::kCmdFrameLength: {
        const std::uint32_t samples = readLe32(&packet[1]);
        if (samples != contractFrameSamples())
            return {5, refuse(Rejection::FrameLength, "frame length " + std::to_string(samples) +
                                                          " samples; the raw frame takes " +
                                                          std::to_string(contractFrameSamples()))};
        return {5, {}};
    }
    case protocol::kCmdTenBitMode:
        return {2, checkSwitch(packet, "ten-bit mode (0x0A)")};
    case protocol::kCmdHalfClock:
        return {2, checkSwitch(packet, "half clock (0x23)")};
    case protocol::kCmdTriggerMode:
        return {2, checkSwitch(packet, "trigger mode (0x28)")};
    case protocol::kCmdSromWrite:
        return {3, checkSromAddress(packet)};
    case protocol::kCmdSromRead:
        return {2, checkSromAddress(packet)};
    case protocol::kCmdFpgaWrite:
        if (packet[1] < kFirstFpgaRegister)
            return {4, refuse(Rejection::Packet, "FPGA write to " + hex(packet[1]) + ", below the registers (0x10)")};
        return {4, {}};
    case protocol::kCmdFpgaRead:
        return {2, {}};
    default:
        return {0, refuse(Rejection::Packet, "unknown command " + hex(packet[0]))};
    }
}

} // namespace

int slotOfDevicePath(const char* path) {
    if (!path) return -1;
    static constexpr char kStem[] = "\\\\.\\OvixK62DT4-";
    const std::size_t stemLength = sizeof(kStem) - 1;
    if (std::strncmp(path, kStem, stemLength) != 0) return -1;
    const char digit = path[stemLength];
    if (digit < '0' || digit >= '0' + protocol::kMaxDevices || path[stemLength + 1] != '\0') return -1;
    return digit - '0';
}

std::uint32_t contractFrameSamples() {
    return protocol::roundedFrameSamples(std::uint32_t{protocol::kRawLineLength} * protocol::kRawLines);
}

Refusal checkOpen(const char* path, std::uint32_t access, std::uint32_t shareMode, std::uint32_t disposition) {
    if (slotOfDevicePath(path) < 0)
        return refuse(Rejection::DeviceName, std::string("open of \"") + (path ? path : "(null)") +
                                                 "\", which is no device of the driver");
    if (access != protocol::kGenericWrite || shareMode != protocol::kFileShareWrite ||
        disposition != protocol::kOpenExisting)
        return refuse(Rejection::OpenMode, std::string("open of \"") + path + "\" with access " + hex(access) +
                                               ", share mode " + hex(shareMode) + ", disposition " +
                                               std::to_string(disposition) +
                                               "; the driver takes 0x40000000, 0x2 and 3 (open existing)");
    return {};
}

Refusal routeRequest(std::uint32_t code, const void* input, std::uint32_t inputLength, const void* output,
                     std::uint32_t outputLength, RequestKind* kind, std::uint32_t* pipe) {
    *pipe = 0;
    if (code == protocol::kSetTimeout) {
        *kind = RequestKind::SetTimeout;
        if (!input || inputLength != protocol::kSetTimeoutInputLength)
            return refuse(Rejection::TimeoutRequest, "set time-out with " + std::to_string(input ? inputLength : 0) +
                                                         " input bytes; it takes 44");
        if (output || outputLength != 0)
            return refuse(Rejection::TimeoutRequest, "set time-out with an output buffer of " +
                                                         std::to_string(outputLength) + " bytes; it takes none");
        if (readLe32(static_cast<const std::uint8_t*>(input)) != 1)
            return refuse(Rejection::TimeoutRequest, "set time-out whose first word is not 1");
        return {};
    }
    if (code != protocol::kPipeWrite && code != protocol::kPipeRead && code != protocol::kFrameTransfer)
        return refuse(Rejection::ControlCode, "control code " + hex(code) + ", which the driver does not serve");
    if (!input || inputLength != 4)
        return refuse(Rejection::PipeInput, std::string(requestName(code)) + " with " +
                                                std::to_string(input ? inputLength : 0) +
                                                " input bytes; it takes the 4-byte pipe number");
    *pipe = readLe32(static_cast<const std::uint8_t*>(input));
    if (code == protocol::kFrameTransfer) {
        *kind = RequestKind::FrameTransfer;
        if (*pipe != protocol::kFramePipe)
            return refuse(Rejection::Pipe, "frame transfer on pipe " + std::to_string(*pipe) + "; it serves pipe 2");
        if (!output) return refuse(Rejection::BufferLength, "frame transfer without a buffer");
        return {};
    }
    const bool answer = code == protocol::kPipeRead && *pipe == protocol::kResponsePipe;
    if (*pipe != protocol::kCommandPipe && !answer)
        return refuse(Rejection::Pipe, std::string(requestName(code)) + " on pipe " + std::to_string(*pipe) +
                                           (code == protocol::kPipeWrite ? "; it serves pipe 0"
                                                                         : "; it serves pipes 0 and 1"));
    *kind = answer ? RequestKind::AnswerRead : RequestKind::Command;
    if (!output || outputLength != protocol::kPacketLength)
        return refuse(Rejection::BufferLength, std::string(requestName(code)) + " on pipe " + std::to_string(*pipe) +
                                                   " of " + std::to_string(output ? outputLength : 0) +
                                                   " bytes; it takes 64");
    return {};
}

Refusal checkCommandPacket(const Packet& packet, bool throughReadCode) {
    if (throughReadCode && packet[0] != protocol::kCmdFrameRequest)
        return refuse(Rejection::Packet, "command " + hex(packet[0]) +
                                             " through the pipe-read code; only the frame request (0x02) goes so");
    CommandFields fields = commandFields(packet);
    if (fields.check.refused()) return std::move(fields.check);
    for (std::size_t i = static_cast<std::size_t>(fields.length); i < packet.size(); ++i)
        if (packet[i] != 0)
            return refuse(Rejection::Packet, "command " + hex(packet[0]) + " with byte " + std::to_string(i) + " = " +
                                                 hex(packet[i]) + ", which the command does not use");
    return {};
}

} // namespace orvix::emulator
