// System language from the locale variables, in the order the C library reads them.

#include <cstdlib>
#include <initializer_list>

#include "platform/language.h"

namespace orvix::platform {

std::uint16_t systemDefaultLangId() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return langIdOfLocaleName(value);
    }
    return 0x409;
}

} // namespace orvix::platform
