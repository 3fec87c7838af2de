#include "platform/file.h"

#include <windows.h>

#include <algorithm>

namespace orvix::platform {

namespace {
HANDLE toHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
} // namespace

FileHandle openFileForWriting(const char* path) {
    if (!path) return kNoFile;
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(h);
}

bool writeFile(FileHandle file, const void* data, std::size_t count) {
    if (file == kNoFile) return false;
    const auto* bytes = static_cast<const char*>(data);
    while (count > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count, 0x40000000u));
        DWORD written = 0;
        if (!WriteFile(toHandle(file), bytes, chunk, &written, nullptr) || written == 0) return false;
        bytes += written;
        count -= written;
    }
    return true;
}

bool closeFile(FileHandle file) {
    if (file == kNoFile) return false;
    return CloseHandle(toHandle(file)) != 0;
}

bool removePartialFile(const char* path) {
    if (!path) return false;
    const DWORD attributes = GetFileAttributesA(path);
    const DWORD notPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & notPlain) != 0) return false;
    return DeleteFileA(path) != 0;
}

} // namespace orvix::platform
