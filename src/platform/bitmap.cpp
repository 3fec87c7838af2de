// The parts of the bitmap service that do not depend on the operating system.

#include "platform/bitmap.h"

#include <algorithm>
#include <atomic>

#include "platform/heap_pixels.h"

namespace orvix::platform {

namespace {
std::atomic<unsigned> injectedFaults{0};
}

void setBitmapFaultsForTesting(unsigned faults) { injectedFaults.store(faults); }
bool bitmapFaultForTesting(BitmapFault fault) { return (injectedFaults.load() & fault) != 0; }

ColorTable grayRamp() {
    ColorTable table{};
    for (int i = 0; i < kColorTableEntries; ++i) {
        const auto level = static_cast<std::uint8_t>(i);
        table[static_cast<std::size_t>(i)] = ColorEntry{level, level, level, 0};
    }
    return table;
}

namespace detail {

bool HeapPixels::allocate(std::size_t byteCount) {
    memory_.reset();
    if (bitmapFaultForTesting(kFailHeap)) return false;
    memory_.reset(static_cast<std::uint8_t*>(std::calloc(std::max<std::size_t>(byteCount, 1), 1)));
    return memory_ != nullptr;
}

void storeColors(ColorTable& table, int start, int count, const ColorEntry* entries) {
    if (!entries || count <= 0) return;
    const long first = std::max<long>(start, 0);
    const long end = std::min<long>(static_cast<long>(start) + count, kColorTableEntries);
    for (long i = first; i < end; ++i) {
        table[static_cast<std::size_t>(i)] = entries[i - start];
    }
}

} // namespace detail
} // namespace orvix::platform
