#include "capture/output_file.h"

namespace orvix {

bool OutputFile::open(const char* path) {
    close();
    file_ = platform::openFileForWriting(path);
    if (isOpen()) path_ = path;
    return isOpen();
}

bool OutputFile::write(const void* data, std::size_t count) {
    if (!isOpen()) return false;
    return count == 0 || platform::writeFile(file_, data, count);
}

bool OutputFile::close() {
    if (!isOpen()) return false;
    const bool ok = platform::closeFile(file_);
    file_ = platform::kNoFile;
    return ok;
}

void OutputFile::discard() {
    if (!isOpen()) return;
    close();
    platform::removePartialFile(path_.c_str());
}

bool OutputFile::finish() {
    if (!isOpen()) return false;
    if (close()) return true;
    platform::removePartialFile(path_.c_str());
    return false;
}

} // namespace orvix
