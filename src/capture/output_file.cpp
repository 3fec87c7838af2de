#include "capture/output_file.h"

namespace orvix {

bool OutputFile::open(const char* path) {
    discard();
    failed_ = false;
    return platform::beginFile(path, file_);
}

bool OutputFile::write(const void* data, std::size_t count) {
    if (!isOpen()) return false;
    if (count > 0 && !platform::writeFile(file_.handle, data, count)) failed_ = true;
    return !failed_;
}

bool OutputFile::writeParts(const platform::FilePart* parts, std::size_t count) {
    if (!isOpen()) return false;
    if (!platform::writeFileParts(file_.handle, parts, count)) failed_ = true;
    return !failed_;
}

std::FILE* OutputFile::stream() {
    if (!stream_ && isOpen()) stream_ = platform::openStream(file_.handle);
    return stream_;
}

bool OutputFile::closeStream() {
    if (!stream_) return true;
    const bool clean = std::ferror(stream_) == 0;
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    return clean && closed;
}

bool OutputFile::finish() {
    if (!isOpen()) return false;
    if (!closeStream() || failed_) {
        discard();
        return false;
    }
    return platform::commitFile(file_);
}

void OutputFile::discard() {
    closeStream();
    platform::discardFile(file_);
}

} // namespace orvix
