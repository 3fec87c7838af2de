#pragma once
// Zeroed heap pixel memory with a colour table beside it: the whole backing of a
// bitmap on Linux and the fallback when Windows refuses a DIB section. Internal to
// the platform layer.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/bitmap.h"

namespace orvix::platform::detail {

struct FreeDeleter {
    void operator()(std::uint8_t* p) const { std::free(p); }
};

class HeapPixels {
public:
    // Allocates `byteCount` zeroed bytes (at least one, so an allocation never comes
    // back as a null "success"). False when the memory is not available.
    bool allocate(std::size_t byteCount);
    std::uint8_t* bits() const { return memory_.get(); }

    ColorTable table{};

private:
    std::unique_ptr<std::uint8_t, FreeDeleter> memory_;
};

// Writes entries [start, start + count) of `entries` into `table`, keeping only the
// part of the range that lies inside 0..255.
void storeColors(ColorTable& table, int start, int count, const ColorEntry* entries);

} // namespace orvix::platform::detail
