// The locale-name rule shared by the hosts.

#include "platform/language.h"

#include <cstring>

namespace orvix::platform {

std::uint16_t langIdOfLocaleName(const char* name) {
    return name && std::strncmp(name, "ja", 2) == 0 ? 0x411 : 0x409;
}

} // namespace orvix::platform
