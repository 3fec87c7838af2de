#include "platform/posix/registry_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace orvix::platform::regfile {

std::atomic<void (*)()> testHookBeforeRename{nullptr};

namespace {

constexpr const char* kFolderName = "quelm";
constexpr const char* kFileName = "OrvixK62DT4Sdk.reg";
// Far above any real settings file; a larger file is treated as unreadable.
constexpr std::size_t kMaxFileSize = 32u << 20;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now and reports whether close succeeded (it can report a failed write).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd_;
};

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string homeFolder() {
    std::string home = environment("HOME");
    if (!home.empty()) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir) {
        home = found->pw_dir;
    }
    return home;
}

enum class ReadResult { Read, Missing, Failed };

ReadResult readWholeFile(const std::string& path, std::string& bytes, mode_t* mode = nullptr) {
    bytes.clear();
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat info {};
    if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return ReadResult::Failed;
    if (static_cast<unsigned long long>(info.st_size) > kMaxFileSize) return ReadResult::Failed;
    if (mode) *mode = info.st_mode & 07777;
    char chunk[65536];
    while (true) {
        const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return ReadResult::Failed;
        if (got == 0) break;
        bytes.append(chunk, static_cast<std::size_t>(got));
        if (bytes.size() > kMaxFileSize) return ReadResult::Failed;
    }
    return ReadResult::Read;
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

// mkdir -p with private permissions for what it creates.
bool makeFolders(const std::string& folder) {
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos != folder.size() && folder[pos] != '/') continue;
        const std::string prefix = folder.substr(0, pos);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A symbolic link is written through: the file it points to is replaced, the link
// stays. Empty when a link cannot be resolved.
std::string writeTarget(const std::string& file) {
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return file;
    char resolved[PATH_MAX];
    return ::realpath(file.c_str(), resolved) ? std::string(resolved) : std::string();
}

bool lockExclusively(int fd) {
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

// Copies the bytes of a file about to be rewritten to a new "<file>.corrupt-<time>".
bool writeBackup(const std::string& file, const std::string& bytes) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    char stamp[32] = "unknown-time";
    if (gmtime_r(&now, &utc)) std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    const std::string base = file + ".corrupt-" + stamp;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name = attempt == 0 ? base : base + "-" + std::to_string(attempt);
        FileDescriptor fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
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

// Writes the new contents beside the file and renames them over it.
bool replaceFile(const std::string& file, const std::string& contents, std::optional<mode_t> mode) {
    const std::string temporary = file + ".tmp";
    FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid()) return false;
    const bool written = (!mode || ::fchmod(fd.get(), *mode) == 0) && writeAll(fd.get(), contents) &&
                         ::fsync(fd.get()) == 0;
    if (!fd.close() || !written) {
        ::unlink(temporary.c_str());
        return false;
    }
    if (auto hook = testHookBeforeRename.load(std::memory_order_relaxed)) hook();
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

std::string settingsFilePath() {
    const std::string chosen = environment("ORVIX_REGISTRY_FILE");
    if (!chosen.empty()) return chosen;
    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') { // relative values are to be ignored
        const std::string home = homeFolder();
        if (home.empty()) return {};
        config = home + "/.config";
    }
    return config + "/" + kFolderName + "/" + kFileName;
}

std::optional<Document> load(const std::string& file) {
    std::string bytes;
    if (file.empty() || readWholeFile(file, bytes) != ReadResult::Read) return std::nullopt;
    return Document::parse(bytes);
}

bool update(const std::string& file, const std::function<bool(Document&)>& change) {
    if (file.empty()) return false;
    const std::string target = writeTarget(file);
    if (target.empty() || !makeFolders(parentFolder(target))) return false;

    FileDescriptor lock(::open((target + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock.valid() || !lockExclusively(lock.get())) return false;

    std::string bytes;
    mode_t mode = 0600;
    const ReadResult read = readWholeFile(target, bytes, &mode);
    if (read == ReadResult::Failed) return false; // never replace what could not be read
    Document document = read == ReadResult::Read ? Document::parse(bytes) : Document();
    if (!change(document)) return true;
    if (read == ReadResult::Read && !document.complete() && !writeBackup(target, bytes)) return false;
    return replaceFile(target, document.serialize(),
                       read == ReadResult::Read ? std::optional<mode_t>(mode) : std::nullopt);
    // The lock is released when `lock` closes.
}

} // namespace orvix::platform::regfile
