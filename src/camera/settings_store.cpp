// Capture-format persistence: the stored format list, the selected record and the
// stream settings, read at start-up; the defaults created on first use.

#include "camera/settings_store.h"

#include <cstdio>

#include "camera/camera.h"

namespace orvix {

namespace settings {

namespace {

struct FormatValue {
    const char* name;
    std::int32_t VideoFormat::*field;
};

// The record's values in their stored order.
constexpr FormatValue kFormatValues[] = {
    {"TH", &VideoFormat::hTotal},     {"TV", &VideoFormat::vTotal},  {"EH", &VideoFormat::hEffective},
    {"EV", &VideoFormat::vEffective}, {"EHS", &VideoFormat::hStart}, {"EVS", &VideoFormat::vStart},
    {"Buf", &VideoFormat::bufferCount},
};

} // namespace

std::string formatRecordName(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "Size_%02d", n);
    return name;
}

void readVideoFormat(const platform::RegistryKey& record, VideoFormat& format) {
    for (const FormatValue& value : kFormatValues) (void)record.queryInt(value.name, format.*value.field);
}

bool writeVideoFormat(platform::RegistryKey& record, const VideoFormat& format) {
    bool written = true;
    for (const FormatValue& value : kFormatValues) written = record.setInt(value.name, format.*value.field) && written;
    return written;
}

int readFormatList(const platform::RegistryKey& root, VideoFormat* records, int capacity, const VideoFormat& blank) {
    const int limit = capacity < kMaxFormatRecords ? capacity : kMaxFormatRecords;
    int count = 0;
    while (count < limit) {
        const platform::RegistryKey record = root.openSubkey(formatRecordName(count));
        if (!record) break;
        records[count] = blank;
        readVideoFormat(record, records[count]);
        ++count;
    }
    return count;
}

} // namespace settings

namespace {

// First use: the key with one full-frame record and the default stream settings. The
// Camera already holds the same values from construction.
void createDefaultSettings() {
    platform::RegistryKey root = platform::RegistryKey::createCurrentUser(platform::kSettingsKeyPath);
    if (!root) return;
    platform::RegistryKey record = root.createSubkey(settings::formatRecordName(0));
    if (!record) return;
    (void)settings::writeVideoFormat(record, VideoFormat{});
    record.close();
    (void)root.setInt(settings::kSelectedFormatValue, settings::kDefaultSelectedFormat);
    (void)root.setInt(settings::kColorValue, settings::kDefaultColorType);
    (void)root.setInt(settings::kSubSampleValue, settings::kDefaultSubSample);
    (void)root.setInt(settings::kWaitTimeValue, settings::kDefaultWaitTime);
    (void)root.setInt(settings::kClockValue, settings::kDefaultClock);
}

} // namespace

void Camera::loadVideoFormat() {
    const platform::RegistryKey root = platform::RegistryKey::openCurrentUser(platform::kSettingsKeyPath);
    if (!root) return createDefaultSettings();
    std::int32_t selected = 0;
    if (!root.queryInt(settings::kSelectedFormatValue, selected)) return;
    const platform::RegistryKey record = root.openSubkey(settings::formatRecordName(selected));
    if (!record) return;
    MutexLock lock(settingsMutex_);
    settings::readVideoFormat(record, format_);
}

void Camera::loadStreamSettings() {
    const platform::RegistryKey root = platform::RegistryKey::openCurrentUser(platform::kSettingsKeyPath);
    if (!root) return;
    MutexLock lock(settingsMutex_);
    (void)root.queryInt(settings::kColorValue, colorType_);
    (void)root.queryInt(settings::kSubSampleValue, subSample_);
    std::int32_t storedWait = 0;
    // The preview loop waits this long before every poll; a negative value (which
    // setWaitTime refuses) would read as an endless wait there.
    if (root.queryInt(settings::kWaitTimeValue, storedWait)) waitTime_ = storedWait < 0 ? 0 : storedWait;
    (void)root.queryInt(settings::kClockValue, halfClock_);
}

} // namespace orvix
