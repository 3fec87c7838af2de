#pragma once
// A file being written by the image writers. open() truncates an existing file or
// creates a new one; the file is closed by close() or when the object goes away.
// A writer ends with finish(), or, when it fails after opening, with discard(),
// which closes the file and deletes it, so no half-written image stays on disk.

#include <cstddef>
#include <string>

#include "platform/file.h"

namespace orvix {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { close(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Closes a file already open, then opens `path`. False when it cannot be opened.
    bool open(const char* path);
    bool isOpen() const { return file_ != platform::kNoFile; }
    // False when the file is not open or not every byte was written.
    bool write(const void* data, std::size_t count);
    // False when nothing was open or the system reported an error on closing.
    bool close();
    // Closes the file and deletes it. Does nothing when no file is open.
    void discard();
    // Closes a completely written file; when closing reports an error the file is
    // deleted and the result is false.
    bool finish();

private:
    platform::FileHandle file_ = platform::kNoFile;
    std::string path_;
};

} // namespace orvix
