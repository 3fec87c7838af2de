#pragma once
// The system calls behind the settings file: reading a regular file without blocking
// on anything else, telling versions of a file apart, and writing a file beside
// another and renaming it over it.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace orvix::platform::regfile {

// Owns a file descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now and reports whether close succeeded (it can report a failed write).
    bool close();
    // Gives the descriptor up without closing it.
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// What tells one version of a file from another.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    bool operator==(const FileIdentity& other) const;
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

enum class ReadResult { Read, Missing, Failed };

struct FileState {
    ReadResult result = ReadResult::Failed;
    FileIdentity identity; // when Read
    mode_t mode = 0600;    // permission bits, when Read
};

// The state of the file at `path` without opening it: Missing, Failed (not a regular
// file, or stat failed for another reason) or Read (identity and mode filled in).
FileState inspectFile(const std::string& path);

// Reads a whole regular file (at most `maxBytes`). A FIFO, device or folder is
// refused without blocking (Failed). The state describes the version read.
FileState readRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes);

bool writeAll(int fd, const std::string& data);

// mkdir -p with private permissions for what it creates; true when `folder` is a
// folder afterwards.
bool makeFolders(const std::string& folder);

std::string parentFolder(const std::string& path);

// The file a settings path names: itself, or for a symbolic link the file it points
// to, followed link by link (it need not exist yet). Empty when a link cannot be read
// or the links go round in a circle.
std::string resolveLink(const std::string& path);

// Copies bytes to a new "<file>.corrupt-<UTC time>[-n]"; never overwrites anything.
bool writeBackup(const std::string& file, const std::string& bytes);

// How the new version of a file is made.
struct Replacement {
    std::string contents;
    std::optional<mode_t> mode;                    // the old file's permissions, if any
    std::optional<FileIdentity> previous;          // the old version, if any
    void (*beforeRename)() = nullptr;              // test hook
};

// Writes `<file>.tmp` (removing a left-over one first), fsyncs it, gives it a
// modification time after the previous version's and renames it over `file`. The
// identity of the new version, or nothing when any step failed (the temporary file is
// then removed and `file` is unchanged).
std::optional<FileIdentity> replaceFile(const std::string& file, const Replacement& replacement);

} // namespace orvix::platform::regfile
