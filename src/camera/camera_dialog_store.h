#pragma once
// The camera settings dialog's working copy of the stored capture formats and stream
// settings, with its load from and save to the settings store. The dialog edits this
// copy; OK and Apply save it back.

#include <array>
#include <cstdint>

#include "device/video_format.h"
#include "camera/settings_store.h"
#include "platform/window_handle.h"

namespace orvix {

struct CameraDialogState {
    static constexpr int kMaxFormats = settings::kMaxFormatRecords;

    CameraDialogState();

    platform::WindowHandle dialogWindow = 0;
    // Each record all zero except bufferCount 10 until loaded or entered.
    std::array<VideoFormat, kMaxFormats> formats;
    std::int32_t formatCount = 0;
    // Index of the selected record; formatCount when a new ("custom") format is chosen.
    std::int32_t selectedFormat = 0;
    std::int32_t color = 0;
    std::int32_t subSample = 0;
    std::int32_t waitTime = 10;
    std::int32_t clock = 0;

    // Reads the stored list (up to the first gap, at most kMaxFormats records) and the
    // five root values. Without the key the built-in values stay. A stored selection
    // outside 0..formatCount is taken as 0, so the dialog never indexes outside
    // the list. False when the key could not be opened.
    bool load();
    // Writes records 0 .. formatCount - 1 (stopping at the first that cannot be
    // created) and the five root values. Records are only added or overwritten. False
    // when the key could not be created.
    bool save() const;

    // A new format can only be added while the list has room for it.
    bool canAddFormat() const { return formatCount < kMaxFormats; }
};

} // namespace orvix
