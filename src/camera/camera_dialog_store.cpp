// Load and save of the camera settings dialog's working copy.

#include "camera/camera_dialog_store.h"

#include "platform/registry.h"

namespace orvix {

namespace {

constexpr VideoFormat kBlankRecord{0, 0, 0, 0, 0, 0, 10};

} // namespace

CameraDialogState::CameraDialogState() { formats.fill(kBlankRecord); }

bool CameraDialogState::load() {
    const platform::RegistryKey root = platform::RegistryKey::openCurrentUser(platform::kSettingsKeyPath);
    if (!root) return false;
    // Records are read over what they hold, as the built-in blank.
    formatCount = settings::readFormatList(root, formats.data(), kMaxFormats, kBlankRecord);
    (void)root.queryInt(settings::kSelectedFormatValue, selectedFormat);
    (void)root.queryInt(settings::kColorValue, color);
    (void)root.queryInt(settings::kSubSampleValue, subSample);
    (void)root.queryInt(settings::kWaitTimeValue, waitTime);
    (void)root.queryInt(settings::kClockValue, clock);
    if (selectedFormat < 0 || selectedFormat > formatCount) selectedFormat = 0;
    return true;
}

bool CameraDialogState::save() const {
    platform::RegistryKey root = platform::RegistryKey::createCurrentUser(platform::kSettingsKeyPath);
    if (!root) return false;
    const int count = formatCount < kMaxFormats ? formatCount : kMaxFormats;
    for (int n = 0; n < count; ++n) {
        platform::RegistryKey record = root.createSubkey(settings::formatRecordName(n));
        if (!record) break;
        (void)settings::writeVideoFormat(record, formats[static_cast<std::size_t>(n)]);
    }
    (void)root.setInt(settings::kSelectedFormatValue, selectedFormat);
    (void)root.setInt(settings::kColorValue, color);
    (void)root.setInt(settings::kSubSampleValue, subSample);
    (void)root.setInt(settings::kWaitTimeValue, waitTime);
    (void)root.setInt(settings::kClockValue, clock);
    return true;
}

} // namespace orvix
