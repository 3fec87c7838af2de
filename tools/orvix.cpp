// orvix: command-line front end of the K62DT4 camera SDK, written against the public
// C interface only.

#include <cstdio>
#include <cstring>
#include <string>

#include "OrvixSdk_K62DT4.h"

namespace {

void printUsage(std::FILE* out) {
    std::fputs("usage: orvix <command> [options]\n"
               "\n"
               "commands:\n"
               "  version    print the library version\n"
               "  help       show this text\n",
               out);
}

int commandVersion() {
    const unsigned version = static_cast<unsigned>(Orvix_GetDllVersion());
    std::printf("OrvixSdk_K62DT4 %u.%u.%u (0x%08X)\n", (version >> 16) & 0xFFFFu, (version >> 8) & 0xFFu,
                version & 0xFFu, version);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return 2;
    }
    const std::string command = argv[1];
    if (command == "version" || command == "--version") return commandVersion();
    if (command == "help" || command == "--help" || command == "-h") {
        printUsage(stdout);
        return 0;
    }
    std::fprintf(stderr, "orvix: unknown command '%s'\n\n", command.c_str());
    printUsage(stderr);
    return 2;
}
