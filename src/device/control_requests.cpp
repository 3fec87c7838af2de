// Pipe requests, the 64-byte command packets, and the register and mode operations
// built on them.

#include <cstring>

#include "device/device_link.h"
#include "device/driver_protocol.h"
#include "platform/clock.h"

namespace orvix {

namespace {

using Packet = DeviceLink::Packet;

Packet commandPacket(std::uint8_t code) {
    Packet packet{};
    packet[0] = code;
    return packet;
}

void putLe32(std::uint8_t* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool isSensorAddress(std::uint16_t address) { return address < 192 || (address >= 256 && address <= 1023); }

// Data bits of a sensor register: 6 for 0..191, 16 for 256..383, 22 for 384..1023.
int sensorDataBits(std::uint16_t address) {
    if (address < 192) return 6;
    if (address < 384) return 16;
    return 22;
}

constexpr std::uint32_t kSromIdBase = 8;
constexpr std::uint32_t kSromPauseMs = 10;
constexpr std::uint8_t kFirstFpgaRegister = 0x10;
constexpr std::uint16_t kTriggerRegisterA = 32;
constexpr std::uint16_t kTriggerRegisterB = 33;
constexpr std::uint16_t kOutputModeRegister = 8;

// The values the camera takes: 10 bits of gain, exposure within its line range.
std::uint16_t gainValue(int gain) { return static_cast<std::uint16_t>(gain & 0x3FF); }

std::uint16_t exposureValue(int lines) {
    auto value = static_cast<std::uint16_t>(lines);
    if (value < DeviceLink::exposureMin()) value = static_cast<std::uint16_t>(DeviceLink::exposureMin());
    if (value > DeviceLink::exposureMax()) value = static_cast<std::uint16_t>(DeviceLink::exposureMax());
    return value;
}

} // namespace

// ---- pipe requests ----------------------------------------------------------------------

int DeviceLink::pipeTransfer(DeviceHandle& handle, std::uint32_t pipe, std::uint32_t length, void* buffer, bool write,
                             std::uint32_t* bytesReturned) {
    if (bytesReturned) *bytesReturned = 0;
    if (!buffer) return -2;
    if (!handle.isOpen()) return -3;
    std::uint8_t pipeNumber[4];
    putLe32(pipeNumber, pipe);
    const std::uint32_t code = write ? protocol::kPipeWrite : protocol::kPipeRead;
    return handle.ioControl(code, pipeNumber, sizeof(pipeNumber), buffer, length, bytesReturned) ? 0 : -1;
}

int DeviceLink::pipeWrite(DeviceHandle& handle, std::uint32_t pipe, std::uint32_t length, void* buffer) {
    if (!handle.isOpen()) return kLinkOpenFailed;
    std::uint32_t bytes = 0;
    if (pipeTransfer(handle, pipe, length, buffer, true, &bytes) != 0 || bytes != length) return kLinkRequestFailed;
    return kLinkOk;
}

int DeviceLink::pipeRead(DeviceHandle& handle, std::uint32_t pipe, std::uint32_t length, void* buffer) {
    if (!handle.isOpen()) return kLinkOpenFailed;
    std::uint32_t bytes = 0;
    if (pipeTransfer(handle, pipe, length, buffer, false, &bytes) != 0 || bytes != length) return kLinkRequestFailed;
    return kLinkOk;
}

bool DeviceLink::frameTransfer(DeviceHandle& handle, std::uint32_t length, std::uint8_t* buffer) {
    std::uint8_t pipeNumber[4];
    putLe32(pipeNumber, protocol::kFramePipe);
    std::uint32_t bytes = 0;
    return handle.ioControl(protocol::kFrameTransfer, pipeNumber, sizeof(pipeNumber), buffer, length, &bytes) &&
           bytes == length;
}

// ---- packets ----------------------------------------------------------------------------------

// Opens the selected device, writes one packet to the command pipe, closes. 1 on success.
int DeviceLink::sendCommand(const Packet& packet) {
    MutexLock lock(requestMutex_);
    DeviceHandle handle;
    if (!openDevice(devicePath_, handle)) return 0;
    Packet buffer = packet;
    const int result = pipeWrite(handle, protocol::kCommandPipe, protocol::kPacketLength, buffer.data());
    closeDevice(handle);
    return result == kLinkOk ? 1 : 0;
}

// A query on an open handle: the packet goes out, then the answer is read twice into
// the same buffer; the first read only drains the stale answer, the second must bring
// all 64 bytes. 1 when it did.
static int exchangeQuery(DeviceLink::DeviceHandle& handle, Packet& packet) {
    if (DeviceLink::pipeWrite(handle, protocol::kCommandPipe, protocol::kPacketLength, packet.data()) != kLinkOk)
        return 0;
    (void)DeviceLink::pipeRead(handle, protocol::kResponsePipe, protocol::kPacketLength, packet.data());
    return DeviceLink::pipeRead(handle, protocol::kResponsePipe, protocol::kPacketLength, packet.data()) == kLinkOk ? 1
                                                                                                                    : 0;
}

// -1 when the device could not be opened, else the exchange's result (1 or 0); the
// answer is left in `packet`.
int DeviceLink::query(Packet& packet) {
    MutexLock lock(requestMutex_);
    DeviceHandle handle;
    if (!openDevice(devicePath_, handle)) return -1;
    const int result = exchangeQuery(handle, packet);
    closeDevice(handle);
    return result;
}

// Serial-ROM requests pause after their transfers, before the handle is closed.
int DeviceLink::sendSromPacket(Packet& packet, bool expectAnswer) {
    MutexLock lock(requestMutex_);
    DeviceHandle handle;
    if (!openDevice(devicePath_, handle)) return 0;
    const int result = expectAnswer ? exchangeQuery(handle, packet)
                                    : (pipeWrite(handle, protocol::kCommandPipe, protocol::kPacketLength,
                                                 packet.data()) == kLinkOk ? 1 : 0);
    platform::sleepMs(kSromPauseMs);
    closeDevice(handle);
    return result;
}

// ---- sensor registers and internal values -------------------------------------------------------

int DeviceLink::writeSensorRegister(std::uint16_t address, int value) {
    if (!isSensorAddress(address)) return 0;
    const int dataBits = sensorDataBits(address);
    const std::uint32_t mask = (1u << dataBits) - 1u;
    const std::uint32_t word = ((static_cast<std::uint32_t>(value) & mask) << 10) + (address & 0x3FFu);
    Packet packet = commandPacket(protocol::kCmdSerialWrite);
    packet[1] = static_cast<std::uint8_t>(dataBits + 10);
    putLe32(&packet[2], word);
    if (!sendCommand(packet)) return 0;
    MutexLock lock(requestMutex_);
    shadow_[address] = value;
    return 1;
}

int DeviceLink::shadowValue(std::uint16_t address) const {
    MutexLock lock(requestMutex_);
    return shadow_[address];
}

int DeviceLink::readSensorRegister(std::uint16_t address, int* value) const {
    if (!isSensorAddress(address) || !value) return 0;
    *value = shadowValue(address);
    return 1;
}

int DeviceLink::writeControlValue(std::uint8_t id, std::uint16_t value) {
    Packet packet = commandPacket(protocol::kCmdSerialWrite);
    packet[1] = id;
    packet[2] = static_cast<std::uint8_t>(value >> 8);
    packet[3] = static_cast<std::uint8_t>(value & 0xFF);
    return sendCommand(packet);
}

int DeviceLink::setGlobalGain(int gain) {
    const std::uint16_t value = gainValue(gain);
    globalGain_.store(value);
    return writeControlValue(protocol::kControlGlobalGain, value);
}

int DeviceLink::setExposure(int lines) {
    const std::uint16_t value = exposureValue(lines);
    exposure_.store(value);
    return writeControlValue(protocol::kControlExposure, value);
}

void DeviceLink::rememberGains(int gain, int exposure) {
    globalGain_.store(gainValue(gain));
    exposure_.store(exposureValue(exposure));
}

int DeviceLink::setOutputMode(int mode) {
    if (mode < 0 || mode > 4) return 0;
    return writeSensorRegister(kOutputModeRegister, mode & 7);
}

// ---- FPGA and serial ROM ----------------------------------------------------------------------

int DeviceLink::writeFpgaRegister(std::uint8_t address, std::uint16_t value) {
    if (address < kFirstFpgaRegister) return 0;
    Packet packet = commandPacket(protocol::kCmdFpgaWrite);
    packet[1] = address;
    packet[2] = static_cast<std::uint8_t>(value & 0xFF);
    packet[3] = static_cast<std::uint8_t>(value >> 8);
    return sendCommand(packet);
}

int DeviceLink::readFpgaRegister(std::uint8_t address, std::uint16_t* value) {
    Packet packet = commandPacket(protocol::kCmdFpgaRead);
    packet[1] = address;
    const int result = query(packet);
    if (result < 0) return 0; // not opened: *value untouched
    if (value) *value = result ? static_cast<std::uint16_t>(packet[0] | packet[1] << 8) : 0;
    return result;
}

int DeviceLink::readSromId(int index, std::uint8_t* value) {
    const auto byteIndex = static_cast<std::uint8_t>(index);
    if (byteIndex > 7) return 0;
    Packet packet = commandPacket(protocol::kCmdSromRead);
    packet[1] = static_cast<std::uint8_t>(byteIndex + kSromIdBase);
    if (!sendSromPacket(packet, true)) return 0;
    if (value) *value = packet[0];
    return 1;
}

int DeviceLink::writeSromId(int index, int value) {
    const auto byteIndex = static_cast<std::uint8_t>(index);
    if (byteIndex > 7) return 0;
    Packet packet = commandPacket(protocol::kCmdSromWrite);
    packet[1] = static_cast<std::uint8_t>(byteIndex + kSromIdBase);
    packet[2] = static_cast<std::uint8_t>(value & 0xFF);
    return sendSromPacket(packet, false);
}

// ---- modes ------------------------------------------------------------------------------------

int DeviceLink::readHalfClock(int* on) {
    Packet packet = commandPacket(protocol::kCmdHalfClockQuery);
    if (query(packet) != 1) return 0;
    if (on) *on = packet[0] != 0 ? 1 : 0;
    return 1;
}

int DeviceLink::setHalfClock(int on) {
    Packet packet = commandPacket(protocol::kCmdHalfClock);
    packet[1] = on ? 1 : 0;
    int opened = 0;
    {
        MutexLock lock(requestMutex_);
        DeviceHandle handle;
        opened = openDevice(devicePath_, handle);
        if (opened) (void)pipeWrite(handle, protocol::kCommandPipe, protocol::kPacketLength, packet.data());
        closeDevice(handle);
    }
    // The camera restarts at the new clock: select it again, which restores the
    // defaults, the full-frame window and 8-bit samples.
    selectDevice(currentDevice());
    return opened;
}

int DeviceLink::setTenBitMode(int on) {
    // The running transfer's length is fixed in its sample width: the camera would
    // refuse its next frame in the other width.
    if (transferRunning()) return 0;
    tenBit_.store(on);
    Packet packet = commandPacket(protocol::kCmdTenBitMode);
    packet[1] = on ? 1 : 0;
    (void)sendCommand(packet);
    return 1;
}

int DeviceLink::setTriggerMode(int on) {
    Packet packet = commandPacket(protocol::kCmdTriggerMode);
    packet[1] = on ? 1 : 0;
    if (!sendCommand(packet)) return 0;
    int r32 = shadowValue(kTriggerRegisterA);
    int r33 = shadowValue(kTriggerRegisterB);
    if (on) {
        r32 &= ~0x10;
        r33 = (r33 & ~0xF) | 0xE;
    } else {
        r32 |= 0x10;
        r33 = (r33 & ~0xF) | 0x1;
    }
    (void)writeSensorRegister(kTriggerRegisterA, r32);
    (void)writeSensorRegister(kTriggerRegisterB, r33);
    return 1;
}

int DeviceLink::sendFrameLength() {
    Packet packet = commandPacket(protocol::kCmdFrameLength);
    putLe32(&packet[1], frameSamples_);
    (void)sendCommand(packet);
    return 1;
}

void DeviceLink::sendDeviceSelect() { (void)sendCommand(commandPacket(protocol::kCmdDeviceSelect)); }

int DeviceLink::setMirrorV(int) { return 0; }

void DeviceLink::setTransferTimeout(int ms) {
    transferTimeoutMs_.store(ms);
    std::uint8_t input[protocol::kSetTimeoutInputLength] = {};
    putLe32(input, 1);
    putLe32(input + 4, static_cast<std::uint32_t>(ms));
    MutexLock lock(requestMutex_);
    DeviceHandle handle;
    if (!openDevice(devicePath_, handle)) return;
    std::uint32_t bytes = 0;
    (void)handle.ioControl(protocol::kSetTimeout, input, sizeof(input), nullptr, 0, &bytes);
    closeDevice(handle);
}

} // namespace orvix
