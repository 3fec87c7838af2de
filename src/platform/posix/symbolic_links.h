#pragma once
// Following symbolic links to the file they name, for writers that replace that file.

#include <string>

namespace orvix::platform::posix {

// The path itself when it is no symbolic link (or does not exist); for a link, the
// path it points to, followed link by link (the last one need not exist; relative
// links count from the link's folder). Empty when a link cannot be read or links go
// round in a circle.
std::string followLinks(const std::string& path);

// The folder part of a path, with its last slash ("" for a bare name).
std::string folderPrefix(const std::string& path);

} // namespace orvix::platform::posix
