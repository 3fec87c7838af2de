// Which camera slot is used and what is known about it, and raw access to the sensor
// registers, the FPGA registers and the serial ROM's ID bytes.

#include <cstdio>
#include <cstring>

#include "camera/camera.h"
#include "device/device_link.h"
#include "device/gain_store.h"

namespace orvix {

namespace {

constexpr char kModelName[] = "OrvixK62DT4";
constexpr int kMinNameBuffer = 16; // "OrvixK62DT4_nn" and its terminator, with room

void setOk(int* ok, int value) {
    if (ok) *ok = value;
}

void formatDeviceName(char* out, std::size_t size, int number) {
    std::snprintf(out, size, "%s_%02d", kModelName, number);
}

} // namespace

// Each camera keeps its own gain block: the leaving camera's block is saved under its
// slot, and the new camera's stored block (or the defaults) is loaded before anything
// is sent to it, so switching slots and back loses nothing.
int Camera::setDeviceNumber(int index) {
    if (!requireLink()) return 0;
    int result = 0;
    (void)engine_->whileIdle([&] {
        GainBlock leaving;
        {
            MutexLock lock(settingsMutex_);
            leaving = gains_;
        }
        (void)saveGainSettings(*link_, leaving);
        if (!link_->isDevicePresent(index) || link_->selectDevice(index) != kLinkOk)
            return (void)errors_.push(ERR_NO_CAMERA);
        GainBlock arriving = leaving;
        (void)loadGainSettings(*link_, arriving);
        // The camera has had these since start-up; sending them again makes the link
        // remember the selected camera's own values.
        (void)link_->setGlobalGain(arriving.globalGain);
        (void)link_->setExposure(arriving.exposure);
        MutexLock lock(settingsMutex_);
        gains_ = arriving;
        result = 1;
    });
    return result;
}

int Camera::enumDevice(char* names) {
    if (!requireLink()) return 0;
    if (!names) return errors_.push(ERR_PARAMETER), 0;
    int found = 0;
    for (int slot = 0; slot < DeviceLink::maxDevices() && found < kDeviceNameCount; ++slot) {
        if (!link_->isDevicePresent(slot)) continue;
        ++found;
        formatDeviceName(names + (found - 1) * kDeviceNameSize, kDeviceNameSize, found);
    }
    for (int entry = found; entry < kDeviceNameCount; ++entry) names[entry * kDeviceNameSize] = '\0';
    return found;
}

int Camera::getDeviceName(int index, char* buffer, int length) {
    if (!requireLink()) return 0;
    if (length < kMinNameBuffer || !buffer) return errors_.push(ERR_PARAMETER), 0;
    if (index < 0 || index >= DeviceLink::maxDevices()) return 0;
    if (!link_->isDevicePresent(index)) return errors_.push(ERR_NO_CAMERA), 0;
    formatDeviceName(buffer, static_cast<std::size_t>(length), index + 1);
    return 1;
}

int Camera::getCameraInfo(CameraInfo* info) {
    if (!requireLink()) return 0;
    if (!info) return errors_.push(ERR_PARAMETER), 0;
    if (static_cast<std::uint32_t>(info->size) < sizeof(CameraInfo)) return errors_.push(ERR_MEMORY), 0;
    info->width = kSensorWidth;
    info->height = kSensorHeight;
    info->globalGainLow = DeviceLink::globalGainMin();
    info->globalGainHigh = DeviceLink::globalGainMax();
    info->colorGainLow = 0;
    info->colorGainHigh = 0;
    info->exposureLow = DeviceLink::exposureMin();
    info->exposureHigh = DeviceLink::exposureMax();
    return 1;
}

int Camera::writeRegister(int address, int value) {
    if (!requireLink()) return 0;
    const auto sensorAddress = static_cast<std::uint16_t>(address & 0xFF);
    if (!link_->writeSensorRegister(sensorAddress, value & 0xFFFF)) return errors_.push(ERR_DEVICE_IO), 0;
    return 1;
}

int Camera::readRegister(int address, int* ok) {
    if (!requireLink()) return setOk(ok, 0), 0;
    int value = 0;
    if (!link_->readSensorRegister(static_cast<std::uint16_t>(address & 0xFF), &value)) {
        setOk(ok, 0);
        return errors_.push(ERR_DEVICE_IO), 0;
    }
    setOk(ok, 1);
    return value & 0xFFFF;
}

int Camera::fpgaWriteRegister(int address, int value) {
    if (!requireLink()) return 0;
    if (!link_->writeFpgaRegister(static_cast<std::uint8_t>(address), static_cast<std::uint16_t>(value))) {
        return errors_.push(ERR_DEVICE_IO), 0;
    }
    return 1;
}

int Camera::fpgaReadRegister(int address, int* ok) {
    if (!requireLink()) return setOk(ok, 0), 0;
    std::uint16_t value = 0;
    if (!link_->readFpgaRegister(static_cast<std::uint8_t>(address), &value)) {
        setOk(ok, 0);
        return errors_.push(ERR_DEVICE_IO), 0;
    }
    setOk(ok, 1);
    return value;
}

int Camera::readSromId(int index, int* ok) {
    if (!requireLink()) return setOk(ok, 0), 0;
    std::uint8_t value = 0;
    if (!link_->readSromId(index, &value)) {
        setOk(ok, 0);
        return errors_.push(ERR_NOT_INITIALIZED), 0;
    }
    setOk(ok, 1);
    return value;
}

int Camera::writeSromId(int index, int value) {
    if (!requireLink()) return 0;
    if (!link_->writeSromId(index, value)) return errors_.push(ERR_NOT_INITIALIZED), 0;
    return 1;
}

} // namespace orvix
