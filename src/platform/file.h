#pragma once
// Writing files. A file is opened for writing by truncating an existing file, or,
// when there is none, by creating a new one (Windows: CreateFileA with
// TRUNCATE_EXISTING, then CREATE_NEW, no sharing; Linux: open with O_TRUNC, then
// O_CREAT | O_EXCL).

#include <cstddef>
#include <cstdint>

namespace orvix::platform {

using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// kNoFile when the file can be neither truncated nor created (or path is null).
FileHandle openFileForWriting(const char* path);
// True when all `count` bytes were written.
bool writeFile(FileHandle file, const void* data, std::size_t count);
// True when the file was closed without an error (buffered data reached the system).
bool closeFile(FileHandle file);
// Deletes a file that a writer created or truncated but could not finish, so no
// half-written file is left behind. Only plain files are deleted, never a device,
// a pipe, a directory or a link. True when a file was deleted.
bool removePartialFile(const char* path);

} // namespace orvix::platform
