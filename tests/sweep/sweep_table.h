#pragma once
// The exported functions as the sweep sees them: name, result, parameters by kind
// and name, and a thunk that calls the function with the arguments of a SweepArgs.
// The table itself (kSweepExports) is generated from the public header at build
// time, so a new export is swept as soon as it is declared.

#include <cstdint>
#include <vector>

#include "OrvixSdk_K62DT4.h"

namespace orvix::sweep {

enum class SweepResult { Int, Handle };

struct SweepParam {
    enum Kind { Handle, Int, Window, IntPointer, Buffer, CharBuffer, Text, CameraInfoPointer };
    Kind kind;
    const char* name;
};

// One argument of each kind a parameter can have; a call reads the member of its
// parameter's kind.
struct SweepArg {
    ORVIX_HANDLE handle = nullptr;
    int integer = 0;
    ORVIX_WINDOW window{};
    int* intPointer = nullptr;
    void* buffer = nullptr;
    char* chars = nullptr;
    const char* text = nullptr;
    CameraInfo* cameraInfo = nullptr;
};

class SweepArgs {
public:
    explicit SweepArgs(std::size_t count) : args_(count) {}
    SweepArg& operator[](std::size_t i) { return args_[i]; }
    const SweepArg& operator[](std::size_t i) const { return args_[i]; }

    ORVIX_HANDLE handle(std::size_t i) const { return args_[i].handle; }
    int integer(std::size_t i) const { return args_[i].integer; }
    ORVIX_WINDOW window(std::size_t i) const { return args_[i].window; }
    int* intPointer(std::size_t i) const { return args_[i].intPointer; }
    void* buffer(std::size_t i) const { return args_[i].buffer; }
    char* chars(std::size_t i) const { return args_[i].chars; }
    const char* text(std::size_t i) const { return args_[i].text; }
    CameraInfo* cameraInfo(std::size_t i) const { return args_[i].cameraInfo; }

private:
    std::vector<SweepArg> args_;
};

inline std::int64_t sweepHandleValue(ORVIX_HANDLE handle) {
    return static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(handle));
}

struct SweepExport {
    const char* name;
    SweepResult result;
    std::vector<SweepParam> params;
    std::int64_t (*call)(const SweepArgs& args);
};

// The generated table (sweep_table.inc), in the header's order.
const std::vector<SweepExport>& sweepExports();
// Whether an unknown handle makes the function return -1 rather than 0.
bool returnsMinusOneForUnknownHandle(const char* name);

} // namespace orvix::sweep
