#include "capture/output_file.h"

namespace orvix {

bool OutputFile::open(const char* path) {
    close();
    file_ = platform::openFileForWriting(path);
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

} // namespace orvix
