#include "platform/file.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace orvix::platform {

namespace {

HANDLE toHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

std::string temporaryNameFor(const std::string& destination) {
    static std::atomic<unsigned> sequence{0};
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%lx-%x.tmp", static_cast<unsigned long>(GetCurrentProcessId()),
                  sequence.fetch_add(1, std::memory_order_relaxed));
    return destination + suffix;
}

// The file a symbolic link or junction at `path` leads to; `path` itself otherwise.
// Empty when the link cannot be followed.
std::string followLinks(const std::string& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return path;
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    char target[MAX_PATH + 8];
    const DWORD length = GetFinalPathNameByHandleA(h, target, sizeof target, FILE_NAME_NORMALIZED);
    CloseHandle(h);
    if (length == 0 || length >= sizeof target) return {};
    return std::string(target, length);
}

// A regular, writable file or nothing; anything else (a folder, a device such as CON
// or a pipe) is refused without being opened.
bool acceptableDestination(const std::string& path, DWORD attributes) {
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
    const DWORD refused = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_READONLY;
    return (attributes & refused) == 0 && !path.empty();
}

} // namespace

bool beginFile(const char* path, PendingFile& file) {
    discardFile(file);
    if (!path || !*path) return false;
    const DWORD linkAttributes = GetFileAttributesA(path);
    const std::string destination =
        linkAttributes == INVALID_FILE_ATTRIBUTES ? std::string(path) : followLinks(path, linkAttributes);
    if (destination.empty()) return false;
    if (!acceptableDestination(destination, GetFileAttributesA(destination.c_str()))) return false;
    const std::string temporary = temporaryNameFor(destination);
    HANDLE h = CreateFileA(temporary.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    file.handle = reinterpret_cast<FileHandle>(h);
    file.temporaryPath = temporary;
    file.destinationPath = destination;
    return true;
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

bool writeFileParts(FileHandle file, const FilePart* parts, std::size_t partCount) {
    for (std::size_t i = 0; i < partCount; ++i) {
        if (!writeFile(file, parts[i].data, parts[i].count)) return false;
    }
    return file != kNoFile;
}

std::FILE* openStream(FileHandle file) {
    if (file == kNoFile) return nullptr;
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), toHandle(file), GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(copy), _O_BINARY);
    if (fd < 0) {
        CloseHandle(copy);
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, "wb");
    if (!stream) _close(fd);
    return stream;
}

bool commitFile(PendingFile& file) {
    if (file.handle == kNoFile) return false;
    const bool closed = CloseHandle(toHandle(file.handle)) != 0;
    file.handle = kNoFile;
    if (closed && MoveFileExA(file.temporaryPath.c_str(), file.destinationPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        file.temporaryPath.clear();
        return true;
    }
    DeleteFileA(file.temporaryPath.c_str());
    file.temporaryPath.clear();
    return false;
}

void discardFile(PendingFile& file) {
    if (file.handle == kNoFile) return;
    CloseHandle(toHandle(file.handle));
    file.handle = kNoFile;
    DeleteFileA(file.temporaryPath.c_str());
    file.temporaryPath.clear();
}

} // namespace orvix::platform
