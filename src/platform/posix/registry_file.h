#pragma once
// The settings file on disk: where it lives, reading it, and changing it safely.
//
// Location: $ORVIX_REGISTRY_FILE, else $XDG_CONFIG_HOME/quelm/OrvixK62DT4Sdk.reg
// (an absolute $XDG_CONFIG_HOME only), else $HOME/.config/quelm/OrvixK62DT4Sdk.reg
// (the home folder from the user database when $HOME is unset).
//
// Reads take no lock: the file is only ever replaced by an atomic rename. Each version
// of the file is parsed once: a read compares the file's device, inode, size and
// modification time (in nanoseconds) with the version parsed last and reuses that
// parse when they are equal, so a value query costs one stat() and a hash lookup.
// Every rewrite gives the file a modification time later than the one before, so two
// versions never look alike even within one tick of the file system's clock.
// Only regular files are read: a FIFO, device or folder where the file should be
// reads as unreadable (without blocking), and is never replaced. A missing file reads
// as an empty store.
//
// A change that the file already holds (a value set to what it is, a key created that
// exists) takes no lock and writes nothing. Any other change takes an exclusive flock
// on "<file>.lock" (never renamed or removed), re-reads the file under it, applies
// the change, writes "<file>.tmp", fsyncs it and renames it over the file. A file
// that was not fully understood is first copied to "<file>.corrupt-<UTC time>"
// (never overwritten), so nothing is lost silently.
//
// The lock is waited for at most kLockWait. When that wait runs out (another process
// holds the lock and does not let go), the change fails as any registry failure does:
// nothing is written and the file stays as it was. The store then takes the holder
// for stuck: for kStuckLockGrace after that, changes try the lock once without waiting
// (a change made while the lock is free still goes through), so a call that writes
// many values waits kLockWait once, not once per value.
//
// A symbolic link as settings file is written through: the file it points to is
// replaced (its temporary file and lock lie beside it), the link stays.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/posix/registry_document.h"

namespace orvix::platform::regfile {

// The longest a change waits for another process's lock.
inline constexpr std::chrono::milliseconds kLockWait{3000};
// How long after a lock wait ran out changes do not wait for the lock at all.
inline constexpr std::chrono::milliseconds kStuckLockGrace{10000};

// Path of the settings file; empty when no location can be determined.
std::string settingsFilePath();

// The current contents; null when the file is missing, is no regular file or cannot
// be read. Documents are shared between readers and never change.
std::shared_ptr<const Document> load(const std::string& file);

// A change of the settings: `holds` tells whether a document already holds it,
// `apply` makes it and returns true when the document changed.
struct Change {
    std::function<bool(const Document&)> holds;
    std::function<bool(Document&)> apply;
};

// Makes the change unless the file holds it already (then true, without a lock).
// False when the file could not be read, locked in time, backed up or written (the
// file is then unchanged).
bool update(const std::string& file, const Change& change);

// Test hook: when set, called after the temporary file is written and synced and
// before it is renamed over the settings file (a test makes it end the process there).
// Unset in normal operation.
extern std::atomic<void (*)()> testHookBeforeRename;

} // namespace orvix::platform::regfile
