#pragma once
// The system's default language id: GetSystemDefaultLangID on Windows; on Linux
// 0x411 (Japanese) when the first set of LC_ALL, LC_MESSAGES and LANG starts with
// "ja", else 0x409.

#include <cstdint>

namespace orvix::platform {

std::uint16_t systemDefaultLangId();

// The POSIX rule on a given locale name (nullptr or empty: not set).
std::uint16_t langIdOfLocaleName(const char* name);

} // namespace orvix::platform
