#include "usb/umockdev_preload.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace orvix::test::usb {

namespace {

constexpr char kPreloadLibrary[] = "libumockdev-preload.so.0";
// Set for the second start, so a preload that does not load ends in a message, not in
// a loop of starts.
constexpr char kRestartedVariable[] = "ORVIX_USB_TEST_UNDER_UMOCKDEV";

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

} // namespace

bool umockdevPreloadLoaded() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find("libumockdev-preload") != std::string::npos) return true;
    return false;
}

void runUnderUmockdevPreload(char** argv) {
    if (umockdevPreloadLoaded()) return;
    if (std::getenv(kRestartedVariable)) {
        std::fprintf(stderr, "%s: started again with LD_PRELOAD=%s, but umockdev's preload library is not loaded "
                             "(is the package umockdev installed?)\n", argv[0], kPreloadLibrary);
        std::exit(1);
    }
    const char* preload = std::getenv("LD_PRELOAD");
    std::string preloads = kPreloadLibrary;
    if (preload && *preload) preloads += std::string(" ") + preload;
    setenv("LD_PRELOAD", preloads.c_str(), 1);
    if (kAddressSanitizer) {
        const char* options = std::getenv("ASAN_OPTIONS");
        std::string asan = options && *options ? std::string(options) + ":" : std::string();
        setenv("ASAN_OPTIONS", (asan + "verify_asan_link_order=0").c_str(), 1);
    }
    setenv(kRestartedVariable, "1", 1);
    execv("/proc/self/exe", argv);
    std::fprintf(stderr, "%s: could not start again under umockdev: %s\n", argv[0], std::strerror(errno));
    std::exit(1);
}

} // namespace orvix::test::usb
