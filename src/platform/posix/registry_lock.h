#pragma once
// The exclusive lock on "<file>.lock" under which the settings file is changed, taken
// with a bounded wait (see registry_file.h for the rule and its constants).

#include <chrono>
#include <string>

#include "platform/posix/registry_file_io.h"

namespace orvix::platform::regfile {

class SettingsLock {
public:
    // Opens (creating it when needed) the lock file beside `file` and waits at most
    // `wait` for the lock, or, while an earlier wait for the same lock ran out less
    // than `stuckGrace` ago, tries once. A lock file that is not a regular file is
    // refused without blocking.
    SettingsLock(const std::string& file, std::chrono::milliseconds wait, std::chrono::milliseconds stuckGrace);
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;

    bool held() const { return held_; }

private:
    FileDescriptor fd_; // closing it releases the lock
    bool held_ = false;
};

} // namespace orvix::platform::regfile
