#pragma once
// Independent readers of saved image files, run as programs (Linux only): Pillow
// through read_images.py, tiffinfo and pngcheck.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orvix::test {

struct CommandResult {
    int status = -1; // exit status, -1 when the program could not be run
    std::string output; // standard output and standard error
};
CommandResult runCommand(const std::string& command);
std::string shellQuoted(const std::string& text);

struct PillowImage {
    std::map<std::string, std::string> fields; // "format", "mode", "size", "error", ...
    std::vector<std::uint16_t> samples;        // Pillow's pixels, top row first
    std::vector<std::uint16_t> strip;          // TIFF: the strip's samples as stored
    std::string field(const std::string& key) const {
        const auto it = fields.find(key);
        return it == fields.end() ? std::string() : it->second;
    }
};
// Reads every file in one run of the reader script. Files the script could not
// read come back with an "error" field; a missing reader makes all of them so.
std::map<std::string, PillowImage> readWithPillow(const std::vector<std::string>& paths);

} // namespace orvix::test
