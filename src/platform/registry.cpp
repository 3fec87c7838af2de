#include "platform/registry.h"

#include <cstring>

namespace orvix::platform {

bool RegistryKey::queryInt(const std::string& name, std::int32_t& value) const {
    std::uint32_t stored = 0;
    if (!queryDword(name, stored)) return false;
    std::memcpy(&value, &stored, sizeof value); // the same 32 bits, read as signed
    return true;
}

} // namespace orvix::platform
