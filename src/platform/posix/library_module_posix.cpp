#include "platform/library_module.h"

#include <dlfcn.h>

namespace orvix::platform {

void pinLibrary() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&pinLibrary), &info) == 0 || !info.dli_fname) return;
    // RTLD_NOLOAD only finds the module already loaded; RTLD_NODELETE then keeps it
    // mapped whatever dlclose calls follow. The extra reference is never dropped.
    (void)dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}

} // namespace orvix::platform
