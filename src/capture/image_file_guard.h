#pragma once
// Helpers of the library-backed image writers (PNG, JPEG, TIFF): the C stream the
// PNG and JPEG libraries write to, and a guard that deletes a file whose writing
// failed, so a failed save leaves no half-written image behind.

#include <cstdio>

#include "platform/file.h"

namespace orvix {

// Deletes the file it watches when it goes away, unless keep() was called. A writer
// sets it to watch a path only once it has opened (and so created or truncated)
// that file.
class PartialFileGuard {
public:
    PartialFileGuard() = default;
    explicit PartialFileGuard(const char* path) : path_(path) {}
    ~PartialFileGuard() {
        if (path_) platform::removePartialFile(path_);
    }
    PartialFileGuard(const PartialFileGuard&) = delete;
    PartialFileGuard& operator=(const PartialFileGuard&) = delete;

    void watch(const char* path) { path_ = path; }
    void keep() { path_ = nullptr; }

private:
    const char* path_ = nullptr;
};

// A C stream opened with "wb" (replacing an existing file), closed when the object
// goes away. A failed write deletes the file again unless finish() succeeded.
class BinaryStream {
public:
    explicit BinaryStream(const char* path) : file_(path ? std::fopen(path, "wb") : nullptr), guard_(path) {
        if (!file_) guard_.keep(); // nothing of ours to delete
    }
    ~BinaryStream() {
        if (file_) std::fclose(file_);
    }
    BinaryStream(const BinaryStream&) = delete;
    BinaryStream& operator=(const BinaryStream&) = delete;

    std::FILE* get() const { return file_; }
    explicit operator bool() const { return file_ != nullptr; }

    // Closes the stream; true when every buffered byte reached the file without an
    // error. The file is kept only then.
    bool finish() {
        if (!file_) return false;
        const bool ok = std::ferror(file_) == 0;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (ok && closed) guard_.keep();
        return ok && closed;
    }

private:
    std::FILE* file_;
    PartialFileGuard guard_;
};

} // namespace orvix
