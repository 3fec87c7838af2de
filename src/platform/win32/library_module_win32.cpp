#include "platform/library_module.h"

#include <windows.h>

namespace orvix::platform {

void pinLibrary() {
    HMODULE module = nullptr;
    // The module that holds this function, pinned: FreeLibrary no longer unloads it.
    (void)GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                             reinterpret_cast<LPCSTR>(&pinLibrary), &module);
}

} // namespace orvix::platform
