#pragma once
// The requests an emulator refused, written where a test run can see them from
// outside the process or library they happened in.
//
// When ORVIX_K62DT4_EMULATE_REJECTIONS names a folder (read at the first refusal),
// each emulator keeps one file there, "rejected-<id>.txt" with an id of its own: the
// number of refused requests no test has cleared on the first line, then one line per
// request (the first kListedRequests). The file is rewritten at every change and
// removed when the count returns to 0, so an empty folder means nothing was refused.
// Programs started with the variable write their own files into the same folder.

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

#include "emulator/request_log.h"

namespace orvix::emulator {

// One line describing a refused request.
std::string describeRejection(const LogEntry& entry);

class RejectionReport {
public:
    // Writes the report of `count` refused requests, the oldest of them in `kept`.
    void update(std::size_t count, const std::deque<LogEntry>& kept);

    static constexpr std::size_t kListedRequests = 100;

private:
    const std::string& filePath(); // empty without the variable

    std::mutex mutex_;
    bool resolved_ = false;
    std::string path_;
};

} // namespace orvix::emulator
