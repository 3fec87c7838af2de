#pragma once
// Layout of the stored capture formats below the library's settings key:
//
//   root values  "Size" (index of the selected record), "Color", "SubSample",
//                "WaitTime", "Clock"
//   Size_00 ...  one VideoFormat each: "TH", "TV", "EH", "EV", "EHS", "EVS", "Buf"
//
// The list is the run of consecutive records from Size_00 up to the first number
// whose subkey does not open; a record after a gap is never seen, and at most
// kMaxFormatRecords are read.

#include <string>

#include "device/video_format.h"
#include "platform/registry.h"

namespace orvix::settings {

inline constexpr int kMaxFormatRecords = 100;

// Defaults written when the key does not exist yet.
inline constexpr std::int32_t kDefaultSelectedFormat = 0;
inline constexpr std::int32_t kDefaultColorType = 2;
inline constexpr std::int32_t kDefaultSubSample = 0;
inline constexpr std::int32_t kDefaultWaitTime = 10;
inline constexpr std::int32_t kDefaultClock = 0;

// Root value names.
inline constexpr char kSelectedFormatValue[] = "Size";
inline constexpr char kColorValue[] = "Color";
inline constexpr char kSubSampleValue[] = "SubSample";
inline constexpr char kWaitTimeValue[] = "WaitTime";
inline constexpr char kClockValue[] = "Clock";

// "Size_%02d" of n.
std::string formatRecordName(int n);

// Reads the seven values of a record into `format`; a missing value leaves its field
// as it was.
void readVideoFormat(const platform::RegistryKey& record, VideoFormat& format);
// Writes all seven values; false when any write failed.
bool writeVideoFormat(platform::RegistryKey& record, const VideoFormat& format);

// Reads the stored list into records[0 .. capacity), each record first set to `blank`
// so that a missing value reads as the blank's field. Returns the number read.
int readFormatList(const platform::RegistryKey& root, VideoFormat* records, int capacity, const VideoFormat& blank);

} // namespace orvix::settings
