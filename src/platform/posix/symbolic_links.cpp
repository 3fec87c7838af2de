#include "platform/posix/symbolic_links.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace orvix::platform::posix {

std::string folderPrefix(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string followLinks(const std::string& path) {
    constexpr int kMaxLinks = 40; // as many as the kernel follows in one path
    std::string current = path;
    for (int link = 0; link < kMaxLinks; ++link) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0) return errno == ENOENT ? current : std::string();
        if (!S_ISLNK(info.st_mode)) return current;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(current.c_str(), target, sizeof target);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) return {};
        const std::string next(target, static_cast<std::size_t>(length));
        current = next.front() == '/' ? next : folderPrefix(current) + next;
    }
    return {};
}

} // namespace orvix::platform::posix
