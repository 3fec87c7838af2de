#pragma once
// The hostile arguments of the sweep, per parameter kind, and the memory they point
// at.
//
// Pointers are valid for what the contract says they hold: a buffer of `size` bytes
// is a heap block of exactly that many bytes (so AddressSanitizer sees any write past
// it), a size of zero or less comes with a pointer into a page that may not be
// touched at all, and so do the out-parameters of a call with an unknown handle. The
// sweep attacks sizes and values, never the caller's own memory safety.

#include <memory>
#include <string>
#include <vector>

#include "sweep/sweep_table.h"

namespace orvix::sweep {

// What the sweep's arguments refer to in the world outside the library.
struct SweepWorld {
    ORVIX_WINDOW liveWindow{};      // an application window that stays
    ORVIX_WINDOW destroyedWindow{}; // one that existed and is gone
    ORVIX_WINDOW rootWindow{};
    std::string folder; // a temporary folder for saved files
};

// Bytes of the largest image (1360 x 1024 at 64 bits per pixel).
inline constexpr int kLargestImageBytes = 1360 * 1024 * 8;

// Memory for the arguments of one call: blocks of exact sizes, freed by clear().
class ArgumentMemory {
public:
    ArgumentMemory();
    ~ArgumentMemory();
    ArgumentMemory(const ArgumentMemory&) = delete;
    ArgumentMemory& operator=(const ArgumentMemory&) = delete;

    // A page mapped without any access: touching it ends the program.
    void* untouchable() const { return page_; }
    // A block of exactly `bytes` bytes (at least 1), filled with a pattern up to a
    // megabyte.
    void* block(std::size_t bytes);
    // Room for the largest image, exactly kLargestImageBytes, kept from call to call.
    void* imageBuffer();
    // An int holding kUnwritten.
    int* integer();
    void clear();

    static constexpr int kUnwritten = 0x5A5A5A5A;

private:
    void* page_ = nullptr;
    std::size_t pageBytes_ = 0;
    std::vector<std::unique_ptr<unsigned char[]>> blocks_;
    std::unique_ptr<unsigned char[]> image_;
};

// One way to set the arguments of a call.
struct Variant {
    std::string description;
    void (*apply)(SweepArgs& args, std::size_t index, ArgumentMemory& memory, const SweepWorld& world,
                  long long value);
    long long value;
};

// Plausible arguments for every parameter: the live handle, values by parameter name
// (a whole capture window for the capture window's parameters, 24 bits for a colour
// mode, ...), room for the largest image, valid pointers and a path in the folder.
void applyDefaults(const SweepExport& e, SweepArgs& args, ORVIX_HANDLE handle, ArgumentMemory& memory,
                   const SweepWorld& world);

// Whether parameter `index` is the size or length that belongs to the buffer before
// it (it is swept together with that buffer).
bool isSizeOfPrecedingBuffer(const SweepExport& e, std::size_t index);

// The hostile variants of parameter `index`; `thorough` adds the values between the
// extremes (the idle state gets them all, the others the extremes).
std::vector<Variant> hostileVariants(const SweepExport& e, std::size_t index, bool thorough);

// Out-parameters and buffers of a call with an unknown handle: all untouchable.
void applyUnknownHandle(const SweepExport& e, SweepArgs& args, ORVIX_HANDLE handle, ArgumentMemory& memory);

} // namespace orvix::sweep
