#include "emulator/rejection_report.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

#include "emulator/emulation_config.h"

namespace orvix::emulator {

namespace {

// An id no other emulator (of this process, its libraries or another process) takes.
std::string uniqueId(const void* owner) {
    std::random_device device;
    const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    const auto mixed = (static_cast<unsigned long long>(device()) << 32) ^ now ^
                       static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(owner));
    char text[24];
    std::snprintf(text, sizeof(text), "%016llx", mixed);
    return text;
}

} // namespace

std::string describeRejection(const LogEntry& entry) {
    std::string line = "slot " + std::to_string(entry.slot) + ", " + rejectionName(entry.rejection) + ": ";
    return line + entry.reason;
}

const std::string& RejectionReport::filePath() {
    if (!resolved_) {
        resolved_ = true;
        const char* folder = std::getenv(kRejectionReportVariable);
        if (folder && *folder) {
            path_ = folder;
            if (path_.back() != '/' && path_.back() != '\\') path_ += '/';
            path_ += "rejected-" + uniqueId(this) + ".txt";
        }
    }
    return path_;
}

void RejectionReport::update(std::size_t count, const std::deque<LogEntry>& kept) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string& path = filePath();
    if (path.empty()) return;
    if (count == 0) {
        std::remove(path.c_str());
        return;
    }
    std::ofstream out(path, std::ios::trunc);
    out << "requests refused by the emulated driver: " << count << '\n';
    std::size_t listed = 0;
    for (const LogEntry& entry : kept) {
        if (listed++ == kListedRequests) break;
        out << describeRejection(entry) << '\n';
    }
}

} // namespace orvix::emulator
