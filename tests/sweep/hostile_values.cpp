#include "sweep/hostile_values.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace orvix::sweep {

namespace {

constexpr std::size_t kNamesBytes = 10 * 256; // Orvix_EnumDevice's array

// ---- memory -----------------------------------------------------------------------------

ORVIX_WINDOW windowOf(long long which, const SweepWorld& world) {
    switch (which) {
    case 1: return world.liveWindow;
    case 2: return world.destroyedWindow;
    case 3: return static_cast<ORVIX_WINDOW>(0x7FFFFFF0u);
    case 4: return static_cast<ORVIX_WINDOW>(1);
    case 5: return static_cast<ORVIX_WINDOW>(~0ul);
    case 6: return world.rootWindow;
    default: return ORVIX_WINDOW{};
    }
}

const char* textOf(long long which, ArgumentMemory& memory, const SweepWorld& world) {
    std::string text;
    switch (which) {
    case 0: return nullptr;
    case 1: text = ""; break;
    case 2: text = world.folder + "/" + std::string(5000, 'n') + ".bmp"; break; // longer than a name may be
    case 3: text = world.folder; break;                                        // a folder
    case 4: text = world.folder + "/missing/folder/image.bmp"; break;
    case 5: text = world.folder + "/image.bmp/"; break; // a file name that ends as a folder
    default: text = world.folder + "/sweep-image.bmp"; break;
    }
    auto* copy = static_cast<char*>(memory.block(text.size() + 1));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

// ---- applying variants ------------------------------------------------------------------

void setInteger(SweepArgs& a, std::size_t i, ArgumentMemory&, const SweepWorld&, long long v) {
    a[i].integer = static_cast<int>(v);
}
void setWindow(SweepArgs& a, std::size_t i, ArgumentMemory&, const SweepWorld& w, long long v) {
    a[i].window = windowOf(v, w);
}
void setNullIntPointer(SweepArgs& a, std::size_t i, ArgumentMemory&, const SweepWorld&, long long) {
    a[i].intPointer = nullptr;
}
void setIntPointer(SweepArgs& a, std::size_t i, ArgumentMemory& m, const SweepWorld&, long long) {
    a[i].intPointer = m.integer();
}
void setText(SweepArgs& a, std::size_t i, ArgumentMemory& m, const SweepWorld& w, long long v) {
    a[i].text = textOf(v, m, w);
}

// A buffer and its size: exactly `v` bytes, or an untouchable pointer for a size of
// zero or less.
void setBufferOfSize(SweepArgs& a, std::size_t i, ArgumentMemory& m, const SweepWorld&, long long v) {
    a[i].buffer = v > 0 ? m.block(static_cast<std::size_t>(v)) : m.untouchable();
    a[i].chars = static_cast<char*>(a[i].buffer);
    a[i + 1].integer = static_cast<int>(v);
}
void setNullBufferWithSize(SweepArgs& a, std::size_t i, ArgumentMemory&, const SweepWorld&, long long v) {
    a[i].buffer = nullptr;
    a[i].chars = nullptr;
    a[i + 1].integer = static_cast<int>(v);
}
// Room for the largest image, and a size that claims more.
void setLargeBufferClaimingMore(SweepArgs& a, std::size_t i, ArgumentMemory& m, const SweepWorld&, long long v) {
    a[i].buffer = m.imageBuffer();
    a[i].chars = static_cast<char*>(a[i].buffer);
    a[i + 1].integer = static_cast<int>(v);
}
void setNullChars(SweepArgs& a, std::size_t i, ArgumentMemory&, const SweepWorld&, long long) { a[i].chars = nullptr; }
void setNames(SweepArgs& a, std::size_t i, ArgumentMemory& m, const SweepWorld&, long long) {
    a[i].chars = static_cast<char*>(m.block(kNamesBytes));
}

// A camera information record whose size field says `v`, in as many bytes as it
// claims up to the record's own size (at least the size field itself).
void setCameraInfo(SweepArgs& a, std::size_t i, ArgumentMemory& m, const SweepWorld&, long long v) {
    std::size_t bytes = sizeof(CameraInfo);
    if (v < static_cast<long long>(sizeof(CameraInfo))) bytes = v < 4 ? 4 : static_cast<std::size_t>(v);
    auto* record = static_cast<CameraInfo*>(m.block(bytes));
    record->size = static_cast<std::int32_t>(v);
    a[i].cameraInfo = record;
}
void setNullCameraInfo(SweepArgs& a, std::size_t i, ArgumentMemory&, const SweepWorld&, long long) {
    a[i].cameraInfo = nullptr;
}

// ---- value lists ------------------------------------------------------------------------

std::vector<long long> integers(bool thorough) {
    if (!thorough) return {0, 1, -1, 255, 65536, INT_MAX, INT_MIN};
    return {0,    1,     -1,    2,     3,     7,       8,       16,      24,          63,         64,         255,
            256,  1023,  1024,  1360,  16383, 65535,   65536,   INT_MAX, INT_MAX - 1, INT_MIN,    INT_MIN + 1};
}

int defaultInteger(const char* name) {
    struct Named {
        const char* name;
        int value;
    };
    static const Named kDefaults[] = {{"hTotal", 1360}, {"hStart", 0},      {"hEffective", 1360}, {"vTotal", 1024},
                                      {"vStart", 0},    {"vEffective", 1024}, {"width", 640},     {"height", 480},
                                      {"bits", 24},     {"address", 16},    {"id", 1},            {"topDown", 1}};
    for (const Named& n : kDefaults)
        if (std::strcmp(n.name, name) == 0) return n.value;
    return 0;
}

bool isPairedBuffer(const SweepExport& e, std::size_t index) {
    const SweepParam::Kind kind = e.params[index].kind;
    return (kind == SweepParam::Buffer || kind == SweepParam::CharBuffer) && index + 1 < e.params.size() &&
           e.params[index + 1].kind == SweepParam::Int;
}

std::string describe(const SweepParam& p, const std::string& what) { return std::string(p.name) + " = " + what; }

std::string integerText(long long v) {
    if (v == INT_MAX) return "INT_MAX";
    if (v == INT_MIN) return "INT_MIN";
    if (v == INT_MAX - 1) return "INT_MAX - 1";
    if (v == INT_MIN + 1) return "INT_MIN + 1";
    return std::to_string(v);
}

std::vector<Variant> pairVariants(const SweepExport& e, std::size_t index) {
    const SweepParam& buffer = e.params[index];
    const SweepParam& size = e.params[index + 1];
    const auto pair = [&](const std::string& b, long long v) {
        return std::string(buffer.name) + " = " + b + ", " + size.name + " = " + integerText(v);
    };
    std::vector<Variant> v;
    for (long long s : {0ll, -1ll, static_cast<long long>(INT_MIN)})
        v.push_back({pair("untouchable", s), setBufferOfSize, s});
    for (long long s : {1ll, 3ll, 15ll, 16ll, 255ll, 4095ll, 1360ll * 1024 - 1, 1360ll * 1024 * 3 - 1})
        v.push_back({pair(std::to_string(s) + " bytes", s), setBufferOfSize, s});
    v.push_back({pair("null", 0), setNullBufferWithSize, 0});
    v.push_back({pair("null", kLargestImageBytes), setNullBufferWithSize, kLargestImageBytes});
    v.push_back({pair("the largest image's bytes", INT_MAX), setLargeBufferClaimingMore, INT_MAX});
    return v;
}

} // namespace

// ---- ArgumentMemory ---------------------------------------------------------------------

ArgumentMemory::ArgumentMemory() {
    pageBytes_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    page_ = mmap(nullptr, pageBytes_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page_ == MAP_FAILED) page_ = nullptr;
}

ArgumentMemory::~ArgumentMemory() {
    if (page_) munmap(page_, pageBytes_);
}

void* ArgumentMemory::block(std::size_t bytes) {
    if (bytes == 0) bytes = 1;
    blocks_.push_back(std::unique_ptr<unsigned char[]>(new unsigned char[bytes]));
    std::memset(blocks_.back().get(), 0xA5, std::min<std::size_t>(bytes, 1u << 20));
    return blocks_.back().get();
}

void* ArgumentMemory::imageBuffer() {
    if (!image_) image_ = std::unique_ptr<unsigned char[]>(new unsigned char[kLargestImageBytes]);
    return image_.get();
}

int* ArgumentMemory::integer() {
    auto* p = static_cast<int*>(block(sizeof(int)));
    *p = kUnwritten;
    return p;
}

void ArgumentMemory::clear() { blocks_.clear(); }

// ---- defaults and variants ----------------------------------------------------------------

bool isSizeOfPrecedingBuffer(const SweepExport& e, std::size_t index) {
    return index > 0 && isPairedBuffer(e, index - 1);
}

void applyDefaults(const SweepExport& e, SweepArgs& args, ORVIX_HANDLE handle, ArgumentMemory& memory,
                   const SweepWorld& world) {
    for (std::size_t i = 0; i < e.params.size(); ++i) {
        const SweepParam& p = e.params[i];
        switch (p.kind) {
        case SweepParam::Handle: args[i].handle = handle; break;
        case SweepParam::Int:
            if (!isSizeOfPrecedingBuffer(e, i)) args[i].integer = defaultInteger(p.name);
            break;
        case SweepParam::Window:
            // Frame messages go to a window that exists; everything else gets none.
            args[i].window = std::strcmp(p.name, "window") == 0 ? world.liveWindow : ORVIX_WINDOW{};
            break;
        case SweepParam::IntPointer: args[i].intPointer = memory.integer(); break;
        case SweepParam::Buffer:
        case SweepParam::CharBuffer:
            if (isPairedBuffer(e, i) && p.kind == SweepParam::Buffer) {
                args[i].buffer = memory.imageBuffer();
                args[i + 1].integer = kLargestImageBytes;
            } else if (isPairedBuffer(e, i)) {
                setBufferOfSize(args, i, memory, world, 256);
            } else {
                setNames(args, i, memory, world, 0);
            }
            break;
        case SweepParam::Text: args[i].text = textOf(6, memory, world); break;
        case SweepParam::CameraInfoPointer: setCameraInfo(args, i, memory, world, sizeof(CameraInfo)); break;
        }
    }
}

std::vector<Variant> hostileVariants(const SweepExport& e, std::size_t index, bool thorough) {
    const SweepParam& p = e.params[index];
    std::vector<Variant> v;
    switch (p.kind) {
    case SweepParam::Handle: break; // the states and the unknown handles cover it
    case SweepParam::Int:
        if (isSizeOfPrecedingBuffer(e, index)) break;
        for (long long value : integers(thorough)) v.push_back({describe(p, integerText(value)), setInteger, value});
        break;
    case SweepParam::Window: {
        static const char* const kNames[] = {"0",    "a live window", "a destroyed window", "0x7FFFFFF0",
                                             "1",    "~0",            "the root window"};
        for (long long w = 0; w < 7; ++w) v.push_back({describe(p, kNames[w]), setWindow, w});
        break;
    }
    case SweepParam::IntPointer:
        v.push_back({describe(p, "null"), setNullIntPointer, 0});
        v.push_back({describe(p, "an int"), setIntPointer, 0});
        break;
    case SweepParam::Buffer:
    case SweepParam::CharBuffer:
        if (isPairedBuffer(e, index)) return pairVariants(e, index);
        v.push_back({describe(p, "null"), setNullChars, 0});
        v.push_back({describe(p, "10 x 256 bytes"), setNames, 0});
        break;
    case SweepParam::Text: {
        static const char* const kNames[] = {"null",   "\"\"",          "a 5000-character name", "a folder",
                                             "a path through a missing folder", "a name ending in /", "a file"};
        for (long long t = 0; t < 7; ++t) v.push_back({describe(p, kNames[t]), setText, t});
        break;
    }
    case SweepParam::CameraInfoPointer:
        v.push_back({describe(p, "null"), setNullCameraInfo, 0});
        for (long long size : {static_cast<long long>(INT_MIN), -1ll, 0ll, 4ll, 35ll, 36ll, 37ll, 1000ll,
                               static_cast<long long>(INT_MAX)})
            v.push_back({describe(p, "a record of size " + integerText(size)), setCameraInfo, size});
        break;
    }
    return v;
}

void applyUnknownHandle(const SweepExport& e, SweepArgs& args, ORVIX_HANDLE handle, ArgumentMemory& memory) {
    for (std::size_t i = 0; i < e.params.size(); ++i) {
        SweepArg& a = args[i];
        switch (e.params[i].kind) {
        case SweepParam::Handle: a.handle = handle; break;
        case SweepParam::IntPointer: a.intPointer = static_cast<int*>(memory.untouchable()); break;
        case SweepParam::Buffer: a.buffer = memory.untouchable(); break;
        case SweepParam::CharBuffer: a.chars = static_cast<char*>(memory.untouchable()); break;
        case SweepParam::CameraInfoPointer: a.cameraInfo = static_cast<CameraInfo*>(memory.untouchable()); break;
        default: break;
        }
    }
}

} // namespace orvix::sweep
