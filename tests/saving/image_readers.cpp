#include "saving/image_readers.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <sys/wait.h>

#include "saving/saving_support.h"

namespace orvix::test {

namespace {

std::vector<std::uint16_t> readSamples(const std::string& path) {
    const Bytes bytes = readFile(path);
    std::vector<std::uint16_t> values(bytes.size() / 2);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    std::remove(path.c_str());
    return values;
}

// The first interpreter that has Pillow: $ORVIX_TEST_PYTHON, the system's, the one
// on the path (which may be a separate installation without it).
std::string pythonWithPillow() {
    static const std::string chosen = [] {
        std::vector<std::string> candidates;
        if (const char* preset = std::getenv("ORVIX_TEST_PYTHON")) candidates.emplace_back(preset);
        candidates.emplace_back("/usr/bin/python3");
        candidates.emplace_back("python3");
        for (const std::string& python : candidates) {
            if (runCommand(shellQuoted(python) + " -c 'import PIL'").status == 0) return python;
        }
        return std::string();
    }();
    return chosen;
}

} // namespace

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

CommandResult runCommand(const std::string& command) {
    CommandResult result;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::map<std::string, PillowImage> readWithPillow(const std::vector<std::string>& paths) {
    std::map<std::string, PillowImage> images;
    const std::string python = pythonWithPillow();
    const char* sourceDir = std::getenv("ORVIX_TEST_SOURCE_DIR");
    if (python.empty() || !sourceDir) {
        for (const std::string& p : paths) images[p].fields["error"] = "no Python with Pillow (python3-pil)";
        return images;
    }
    std::string command = shellQuoted(python) + " " + shellQuoted(std::string(sourceDir) + "/tests/saving/read_images.py");
    for (const std::string& p : paths) command += " " + shellQuoted(p);
    const CommandResult run = runCommand(command);

    std::istringstream lines(run.output);
    std::string line;
    PillowImage* current = nullptr;
    std::string currentPath;
    while (std::getline(lines, line)) {
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (key == "file") {
            currentPath = value;
            current = &images[value];
        } else if (key == "end" && current) {
            if (fileExists(currentPath + ".samples")) current->samples = readSamples(currentPath + ".samples");
            if (fileExists(currentPath + ".strip")) current->strip = readSamples(currentPath + ".strip");
            current = nullptr;
        } else if (current) {
            current->fields[key] = value;
        }
    }
    for (const std::string& p : paths) {
        if (!images.count(p)) images[p].fields["error"] = "not read: " + run.output;
    }
    return images;
}

} // namespace orvix::test
