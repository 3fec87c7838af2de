#include "sweep/sweep_table.h"

#include <cstring>

namespace orvix::sweep {

namespace {
#include "sweep_table.inc"
} // namespace

const std::vector<SweepExport>& sweepExports() {
    static const std::vector<SweepExport> table(std::begin(kSweepExports), std::end(kSweepExports));
    return table;
}

bool returnsMinusOneForUnknownHandle(const char* name) {
    for (const char* n : kMinusOneForUnknownHandle)
        if (std::strcmp(n, name) == 0) return true;
    return false;
}

} // namespace orvix::sweep
