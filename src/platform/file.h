#pragma once
// Writing files that take the place of others, so a file is never seen half written.
//
// A new file is written under a temporary name in the folder of its destination,
// "<name>.<number>.tmp", and renamed over the destination only once every byte has
// been written and the file closed without an error (Linux: rename; Windows:
// MoveFileExA with MOVEFILE_REPLACE_EXISTING). So the destination holds its old
// contents or the new ones, whatever happens to the writing process, and a failed
// write leaves the destination as it was and no temporary file. A process killed while
// writing can leave its temporary file behind. The new file is not flushed to the disk
// before the rename (the file system orders the rename after the data as far as it
// does so for renames; a frame's fsync would cost ten times its encoding).
//
// The destination must be a regular file or not exist; a folder, FIFO, device or
// socket is refused without being opened for reading or writing (Linux: its type is
// read from an O_PATH descriptor of the path itself), as is a read-only file (as a
// truncating open refused it). A symbolic link is followed, link by link, to the file
// it points to, which is then replaced in its own folder: the link stays. A replaced
// file keeps its permission bits (and, when the process may, its owner); a new file
// gets the permissions an ordinary create gives.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace orvix::platform {

using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// A new file being written in place of its destination.
struct PendingFile {
    FileHandle handle = kNoFile;
    std::string temporaryPath;
    std::string destinationPath; // the file replaced in the end (a link's target)
};

// Opens the temporary file of a new file for `path`. False (nothing created) for a
// null or empty path, a destination that is not a regular file, a link that cannot be
// followed, a read-only destination or a temporary file that cannot be created.
bool beginFile(const char* path, PendingFile& file);

// True when all `count` bytes were written.
bool writeFile(FileHandle file, const void* data, std::size_t count);

struct FilePart {
    const void* data;
    std::size_t count;
};
// Writes the parts one after the other (Linux: gathered into few system calls).
bool writeFileParts(FileHandle file, const FilePart* parts, std::size_t partCount);

// A C stream ("wb") on a duplicate of the file's handle, for the image libraries; the
// caller closes it with fclose before the file is committed. Null when it cannot be
// made.
std::FILE* openStream(FileHandle file);

// Closes the file and renames it over its destination. False when closing or renaming
// failed; the temporary file is then deleted and the destination is unchanged.
bool commitFile(PendingFile& file);

// Closes the file and deletes it; the destination is unchanged. Does nothing for a
// file that is not open.
void discardFile(PendingFile& file);

} // namespace orvix::platform
