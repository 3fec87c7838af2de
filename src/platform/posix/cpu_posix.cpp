// Sample instructions under a SIGILL guard. While a probe runs, a SIGILL handler is
// installed that resumes a faulting probe at its landing (which returns 0); any other
// SIGILL goes to the disposition that was installed before.

#include "platform/cpu.h"

#include "platform/x86_probes.h"

#if defined(ORVIX_X86)

#include <signal.h>
#include <ucontext.h>

#include <mutex>

namespace orvix::platform {

namespace {

std::mutex probeMutex; // one probe (and one installed handler) at a time
struct sigaction previousAction;

void passOn(int signal, siginfo_t* info, void* context) {
    if ((previousAction.sa_flags & SA_SIGINFO) != 0) {
        if (previousAction.sa_sigaction) previousAction.sa_sigaction(signal, info, context);
        return;
    }
    if (previousAction.sa_handler == SIG_DFL || previousAction.sa_handler == SIG_IGN) {
        // The faulting instruction runs again on return and gets the default action.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(SIGILL, &fallback, nullptr);
        return;
    }
    previousAction.sa_handler(signal);
}

void onIllegalInstruction(int signal, siginfo_t* info, void* context) {
    auto* state = static_cast<ucontext_t*>(context);
#if defined(__x86_64__)
    greg_t& ip = state->uc_mcontext.gregs[REG_RIP];
#else
    greg_t& ip = state->uc_mcontext.gregs[REG_EIP];
#endif
    const std::uintptr_t landing = detail::probeLanding(static_cast<std::uintptr_t>(ip));
    if (landing != 0) {
        ip = static_cast<greg_t>(landing);
        return;
    }
    passOn(signal, info, context);
}

} // namespace

bool executes(SampleInstruction instruction) {
    const detail::ProbeRoutine* routine = detail::probeRoutine(instruction);
    if (!routine) return false;
    std::lock_guard<std::mutex> lock(probeMutex);

    struct sigaction guard {};
    guard.sa_sigaction = onIllegalInstruction;
    guard.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&guard.sa_mask);
    if (sigaction(SIGILL, &guard, &previousAction) != 0) return false;
    // A blocked synchronous SIGILL would end the process; let it reach the guard.
    sigset_t illegal, previousMask;
    sigemptyset(&illegal);
    sigaddset(&illegal, SIGILL);
    pthread_sigmask(SIG_UNBLOCK, &illegal, &previousMask);

    const int ran = routine->run();

    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    sigaction(SIGILL, &previousAction, nullptr);
    return ran != 0;
}

} // namespace orvix::platform

#else

namespace orvix::platform {
bool executes(SampleInstruction) { return false; }
} // namespace orvix::platform

#endif
