#pragma once
// The library's own module.

namespace orvix::platform {

// Keeps the module holding this code loaded for the rest of the process: a later
// dlclose / FreeLibrary no longer unmaps it. Called when the first camera is
// created, because cameras that are never released keep threads running in this
// code. Safe to call repeatedly; best effort (nothing happens when the module cannot
// be found, as in a program linked with the code statically).
void pinLibrary();

} // namespace orvix::platform
