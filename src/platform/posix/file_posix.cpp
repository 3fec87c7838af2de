#include "platform/file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvix::platform {

FileHandle openFileForWriting(const char* path) {
    if (!path) return kNoFile;
    int fd = ::open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return fd < 0 ? kNoFile : static_cast<FileHandle>(fd);
}

bool writeFile(FileHandle file, const void* data, std::size_t count) {
    if (file == kNoFile) return false;
    const auto* bytes = static_cast<const char*>(data);
    while (count > 0) {
        const ssize_t n = ::write(static_cast<int>(file), bytes, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

bool closeFile(FileHandle file) {
    if (file == kNoFile) return false;
    return ::close(static_cast<int>(file)) == 0;
}

bool removePartialFile(const char* path) {
    struct stat info {};
    if (!path || ::lstat(path, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    return ::unlink(path) == 0;
}

} // namespace orvix::platform
