#pragma once
// The settings file on disk: where it lives, reading it, and changing it safely.
//
// Location: $ORVIX_REGISTRY_FILE, else $XDG_CONFIG_HOME/quelm/OrvixK62DT4Sdk.reg
// (an absolute $XDG_CONFIG_HOME only), else $HOME/.config/quelm/OrvixK62DT4Sdk.reg
// (the home folder from the user database when $HOME is unset).
//
// Reads take no lock: the file is only ever replaced by an atomic rename. A missing or
// unreadable file reads as an empty store.
//
// A change takes an exclusive flock on "<file>.lock" (never renamed or removed),
// re-reads the file under it, applies the change, writes "<file>.tmp", fsyncs it and
// renames it over the file. A file that was not fully understood is first copied to
// "<file>.corrupt-<UTC time>" (never overwritten), so nothing is lost silently.

#include <atomic>
#include <functional>
#include <optional>
#include <string>

#include "platform/posix/registry_document.h"

namespace orvix::platform::regfile {

// Path of the settings file; empty when no location can be determined.
std::string settingsFilePath();

// The current contents; empty when the file is missing or cannot be read.
std::optional<Document> load(const std::string& file);

// Applies `change` to the current contents under the lock. `change` returns true when
// it modified the document; only then is the file rewritten. False when the file could
// not be read, backed up or written (the file is then unchanged).
bool update(const std::string& file, const std::function<bool(Document&)>& change);

// Test hook: when set, called after the temporary file is written and synced and
// before it is renamed over the settings file (a test makes it end the process there).
// Unset in normal operation.
extern std::atomic<void (*)()> testHookBeforeRename;

} // namespace orvix::platform::regfile
