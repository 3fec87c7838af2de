// Sample instructions under a vectored exception handler. While a probe runs, the
// handler resumes a faulting probe at its landing (which returns 0); every other
// exception is left to the handlers after it.

#include "platform/cpu.h"

#include "platform/x86_probes.h"

#if defined(ORVIX_X86)

#include <windows.h>

#include <mutex>

namespace orvix::platform {

namespace {

std::mutex probeMutex; // one probe (and one installed handler) at a time

LONG CALLBACK onException(EXCEPTION_POINTERS* exception) {
    CONTEXT* context = exception->ContextRecord;
#if defined(__x86_64__)
    auto& ip = context->Rip;
#else
    auto& ip = context->Eip;
#endif
    const std::uintptr_t landing = detail::probeLanding(static_cast<std::uintptr_t>(ip));
    if (landing == 0) return EXCEPTION_CONTINUE_SEARCH;
    ip = landing;
    return EXCEPTION_CONTINUE_EXECUTION;
}

} // namespace

bool executes(SampleInstruction instruction) {
    const detail::ProbeRoutine* routine = detail::probeRoutine(instruction);
    if (!routine) return false;
    std::lock_guard<std::mutex> lock(probeMutex);
    void* handler = AddVectoredExceptionHandler(1, onException);
    if (!handler) return false;
    const int ran = routine->run();
    RemoveVectoredExceptionHandler(handler);
    return ran != 0;
}

} // namespace orvix::platform

#else

namespace orvix::platform {
bool executes(SampleInstruction) { return false; }
} // namespace orvix::platform

#endif
