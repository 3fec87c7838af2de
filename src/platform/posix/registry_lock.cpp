#include "platform/posix/registry_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <thread>

namespace orvix::platform::regfile {

namespace {

using Clock = std::chrono::steady_clock;

// The lock file whose last wait ran out, and when.
class StuckLocks {
public:
    bool stuck(const std::string& lockFile, Clock::time_point now, std::chrono::milliseconds grace) {
        const std::lock_guard<std::mutex> guard(mutex_);
        return lockFile == file_ && now - since_ < grace;
    }
    void markStuck(const std::string& lockFile, Clock::time_point now) {
        const std::lock_guard<std::mutex> guard(mutex_);
        file_ = lockFile;
        since_ = now;
    }
    void markFree(const std::string& lockFile) {
        const std::lock_guard<std::mutex> guard(mutex_);
        if (lockFile == file_) file_.clear();
    }

private:
    std::mutex mutex_;
    std::string file_;
    Clock::time_point since_{};
};

StuckLocks& stuckLocks() {
    static StuckLocks locks;
    return locks;
}

enum class Attempt { Taken, Busy, Failed };

Attempt tryLock(int fd) {
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        return errno == EWOULDBLOCK ? Attempt::Busy : Attempt::Failed;
    }
    return Attempt::Taken;
}

int openLockFile(const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return fd.release();
}

} // namespace

SettingsLock::SettingsLock(const std::string& file, std::chrono::milliseconds wait,
                           std::chrono::milliseconds stuckGrace)
    : fd_(openLockFile(file + ".lock")) {
    if (!fd_.valid()) return;
    const std::string lockFile = file + ".lock";
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = stuckLocks().stuck(lockFile, start, stuckGrace) ? start : start + wait;
    // A writer holds the lock for milliseconds (mostly its fsync): short sleeps.
    std::chrono::milliseconds pause{1};
    while (true) {
        const Attempt attempt = tryLock(fd_.get());
        if (attempt == Attempt::Taken) {
            held_ = true;
            stuckLocks().markFree(lockFile);
            return;
        }
        const Clock::time_point now = Clock::now();
        if (attempt == Attempt::Failed) return;
        if (now >= deadline) {
            if (deadline != start) stuckLocks().markStuck(lockFile, now);
            return;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds{4});
    }
}

} // namespace orvix::platform::regfile
