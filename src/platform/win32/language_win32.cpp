// System language of Windows.

#include <windows.h>

#include "platform/language.h"

namespace orvix::platform {

std::uint16_t systemDefaultLangId() { return GetSystemDefaultLangID(); }

} // namespace orvix::platform
