#include "platform/posix/registry_file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "platform/posix/symbolic_links.h"

namespace orvix::platform::regfile {

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

bool FileDescriptor::close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
}

bool FileIdentity::operator==(const FileIdentity& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modifiedSeconds == other.modifiedSeconds && modifiedNanoseconds == other.modifiedNanoseconds;
}

namespace {

FileState stateOf(const struct stat& info) {
    FileState state;
    if (!S_ISREG(info.st_mode)) return state; // Failed
    state.result = ReadResult::Read;
    state.identity.device = static_cast<std::uint64_t>(info.st_dev);
    state.identity.inode = static_cast<std::uint64_t>(info.st_ino);
    state.identity.size = static_cast<std::int64_t>(info.st_size);
    state.identity.modifiedSeconds = static_cast<std::int64_t>(info.st_mtim.tv_sec);
    state.identity.modifiedNanoseconds = static_cast<std::int64_t>(info.st_mtim.tv_nsec);
    state.mode = info.st_mode & 07777;
    return state;
}

// A modification time one nanosecond after `identity`'s.
timespec justAfter(const FileIdentity& identity) {
    timespec later{};
    later.tv_sec = static_cast<time_t>(identity.modifiedSeconds);
    later.tv_nsec = static_cast<long>(identity.modifiedNanoseconds) + 1;
    if (later.tv_nsec >= 1000000000L) {
        later.tv_sec += 1;
        later.tv_nsec = 0;
    }
    return later;
}

bool isAfter(const FileIdentity& a, const FileIdentity& b) {
    return a.modifiedSeconds != b.modifiedSeconds ? a.modifiedSeconds > b.modifiedSeconds
                                                  : a.modifiedNanoseconds > b.modifiedNanoseconds;
}

// Moves the modification time of an open file past the previous version's, where the
// clock has not done so (several rewrites within one tick of the file system clock).
bool stampAfter(int fd, const FileIdentity& previous, FileIdentity& identity) {
    if (isAfter(identity, previous)) return true;
    const timespec times[2] = {{0, UTIME_OMIT}, justAfter(previous)};
    if (::futimens(fd, times) != 0) return false;
    identity.modifiedSeconds = times[1].tv_sec;
    identity.modifiedNanoseconds = times[1].tv_nsec;
    return true;
}

} // namespace

FileState inspectFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        FileState state;
        if (errno == ENOENT) state.result = ReadResult::Missing;
        return state;
    }
    return stateOf(info);
}

FileState readRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes) {
    bytes.clear();
    FileState state;
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it has no effect on the
    // regular files that are read.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno == ENOENT) state.result = ReadResult::Missing;
        return state;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return state;
    state = stateOf(info);
    if (state.result != ReadResult::Read) return state;
    state.result = ReadResult::Failed;
    if (static_cast<unsigned long long>(info.st_size) > maxBytes) return state;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[65536];
    while (true) {
        const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return state;
        if (got == 0) break;
        bytes.append(chunk, static_cast<std::size_t>(got));
        if (bytes.size() > maxBytes) return state;
    }
    state.result = ReadResult::Read;
    return state;
}

bool writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t put = ::write(fd, data.data() + done, data.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

std::string parentFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool makeFolders(const std::string& folder) {
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos != folder.size() && folder[pos] != '/') continue;
        const std::string prefix = folder.substr(0, pos);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string resolveLink(const std::string& path) { return posix::followLinks(path); }

bool writeBackup(const std::string& file, const std::string& bytes) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    char stamp[32] = "unknown-time";
    if (gmtime_r(&now, &utc)) std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    const std::string base = file + ".corrupt-" + stamp;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name = attempt == 0 ? base : base + "-" + std::to_string(attempt);
        FileDescriptor fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd.valid()) {
            if (errno == EEXIST) continue;
            return false;
        }
        if (writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0 && fd.close()) return true;
        ::unlink(name.c_str());
        return false;
    }
    return false;
}

std::optional<FileIdentity> replaceFile(const std::string& file, const Replacement& replacement) {
    const std::string temporary = file + ".tmp";
    // Whatever a crashed writer left there (the caller holds the lock, so no writer
    // is using it now); O_EXCL then makes sure the name is a new regular file.
    ::unlink(temporary.c_str());
    FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) return std::nullopt;
    struct stat info {};
    bool written = (!replacement.mode || ::fchmod(fd.get(), *replacement.mode) == 0) &&
                   writeAll(fd.get(), replacement.contents) && ::fstat(fd.get(), &info) == 0;
    FileIdentity identity = stateOf(info).identity;
    if (written && replacement.previous) written = stampAfter(fd.get(), *replacement.previous, identity);
    written = written && ::fsync(fd.get()) == 0;
    if (!fd.close() || !written) {
        ::unlink(temporary.c_str());
        return std::nullopt;
    }
    if (replacement.beforeRename) replacement.beforeRename();
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return std::nullopt;
    }
    return identity;
}

} // namespace orvix::platform::regfile
