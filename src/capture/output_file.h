#pragma once
// A file being written by the image writers, in place of the file at its path (see
// platform/file.h): open() starts a new file beside the destination, write() and
// stream() fill it, finish() puts it in place. Until finish() succeeds the
// destination keeps its old contents; discard(), a failed finish() and the
// destructor of an unfinished file delete the new file, so a failed save leaves
// neither a half-written image nor a changed one.

#include <cstddef>
#include <cstdio>

#include "platform/file.h"

namespace orvix {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Discards a file already open, then starts the new file for `path`. False when
    // the path is refused (not a regular file, a read-only one, a broken link) or the
    // new file cannot be created.
    bool open(const char* path);
    bool isOpen() const { return file_.handle != platform::kNoFile; }

    // False when the file is not open or not every byte was written; a failed write
    // also makes finish() fail.
    bool write(const void* data, std::size_t count);
    bool writeParts(const platform::FilePart* parts, std::size_t count);

    // A C stream on the file for the image libraries, made on the first call and
    // closed by finish() or discard(). Null when the file is not open or no stream
    // can be made. Bytes go either through the stream or through write(), not both.
    std::FILE* stream();

    // Closes the stream and the file and puts the file in place of the destination.
    // False, with the destination unchanged, when nothing was open, a write failed or
    // the system reported an error.
    bool finish();
    // Deletes the new file. Does nothing when no file is open.
    void discard();

private:
    bool closeStream();

    platform::PendingFile file_;
    std::FILE* stream_ = nullptr;
    bool failed_ = false;
};

} // namespace orvix
