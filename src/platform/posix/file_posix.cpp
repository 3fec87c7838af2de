#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/posix/symbolic_links.h"

namespace orvix::platform {

namespace {

int toFd(FileHandle file) { return static_cast<int>(file); }

// Longest name kept in a temporary file's name; longer ones give a generic name, so
// the suffix never makes a name too long for the file system.
constexpr std::size_t kMaxKeptNameLength = 200;

std::string temporaryNameFor(const std::string& destination) {
    static std::atomic<unsigned> sequence{0};
    const std::string folder = posix::folderPrefix(destination);
    std::string name = destination.substr(folder.size());
    if (name.size() > kMaxKeptNameLength) name = "orvix-image";
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%lx-%x.tmp", static_cast<unsigned long>(::getpid()),
                  sequence.fetch_add(1, std::memory_order_relaxed));
    return folder + name + suffix;
}

struct Destination {
    bool exists = false;
    struct stat info {};
};

// What is at the destination, looked at without opening the thing itself (O_PATH
// opens neither a FIFO nor a device). False for anything but a regular file or
// nothing, and for a read-only file.
bool inspectDestination(const std::string& path, Destination& destination) {
    const int fd = ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    const bool known = ::fstat(fd, &destination.info) == 0;
    ::close(fd);
    if (!known || !S_ISREG(destination.info.st_mode)) return false;
    destination.exists = true;
    return ::access(path.c_str(), W_OK) == 0;
}

// The replaced file's permission bits, and its owner where this process may set it.
void takeOver(int fd, const struct stat& old) {
    (void)::fchmod(fd, old.st_mode & 07777);
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) (void)::fchown(fd, old.st_uid, old.st_gid);
}

} // namespace

bool beginFile(const char* path, PendingFile& file) {
    discardFile(file);
    if (!path || !*path) return false;
    const std::string destination = posix::followLinks(path);
    Destination existing;
    if (destination.empty() || !inspectDestination(destination, existing)) return false;
    const std::string temporary = temporaryNameFor(destination);
    const int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    if (existing.exists) takeOver(fd, existing.info);
    file.handle = static_cast<FileHandle>(fd);
    file.temporaryPath = temporary;
    file.destinationPath = destination;
    return true;
}

bool writeFile(FileHandle file, const void* data, std::size_t count) {
    const FilePart part{data, count};
    return writeFileParts(file, &part, 1);
}

bool writeFileParts(FileHandle file, const FilePart* parts, std::size_t partCount) {
    if (file == kNoFile) return false;
    constexpr std::size_t kBatch = 1024; // IOV_MAX on Linux
    std::vector<iovec> pending;
    pending.reserve(std::min(partCount, kBatch));
    std::size_t next = 0;
    while (next < partCount || !pending.empty()) {
        while (next < partCount && pending.size() < kBatch) {
            if (parts[next].count > 0)
                pending.push_back(iovec{const_cast<void*>(parts[next].data), parts[next].count});
            ++next;
        }
        if (pending.empty()) break;
        ssize_t written = ::writev(toFd(file), pending.data(), static_cast<int>(pending.size()));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        // Drop what was written; a part written in part stays with its rest.
        std::size_t done = 0;
        while (done < pending.size() && static_cast<std::size_t>(written) >= pending[done].iov_len) {
            written -= static_cast<ssize_t>(pending[done].iov_len);
            ++done;
        }
        if (done < pending.size()) {
            pending[done].iov_base = static_cast<char*>(pending[done].iov_base) + written;
            pending[done].iov_len -= static_cast<std::size_t>(written);
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(done));
    }
    return true;
}

std::FILE* openStream(FileHandle file) {
    if (file == kNoFile) return nullptr;
    const int copy = ::fcntl(toFd(file), F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return nullptr;
    std::FILE* stream = ::fdopen(copy, "wb");
    if (!stream) ::close(copy);
    return stream;
}

bool commitFile(PendingFile& file) {
    if (file.handle == kNoFile) return false;
    const bool closed = ::close(toFd(file.handle)) == 0;
    file.handle = kNoFile;
    if (closed && ::rename(file.temporaryPath.c_str(), file.destinationPath.c_str()) == 0) {
        file.temporaryPath.clear();
        return true;
    }
    ::unlink(file.temporaryPath.c_str());
    file.temporaryPath.clear();
    return false;
}

void discardFile(PendingFile& file) {
    if (file.handle == kNoFile) return;
    ::close(toFd(file.handle));
    file.handle = kNoFile;
    ::unlink(file.temporaryPath.c_str());
    file.temporaryPath.clear();
}

} // namespace orvix::platform
