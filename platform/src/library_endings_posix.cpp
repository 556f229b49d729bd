#include "opstation/platform/library_endings.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "opstation/drive_library.h"

namespace opstation::platform {

namespace {

// Signals that mean the library crashed. abort() raises SIGABRT.
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGSYS};

LibraryEndings g_endings{};
// "Segmentation fault (signal 11)" for each crash signal, made before any
// handler may need it: strsignal is no call for a signal handler.
char g_names[NSIG][64] = {};

wire::Call callUnderWay() { return libraryActivity().call.load(); }
long cycleUnderWay() { return libraryActivity().cycle.load(); }

// Says which call crashed, then lets the signal end the process as it
// would have, unless the handler ends it first.
void onCrash(int signal) {
    if (const wire::Call call = callUnderWay(); call != wire::Call::none && g_endings.crashed != nullptr)
        g_endings.crashed(call, cycleUnderWay(), static_cast<unsigned>(signal), g_names[signal]);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);  // pending until this handler returns; a fault recurs at once
}

void onExit(int status, void *) {
    if (const wire::Call call = callUnderWay(); call != wire::Call::none && g_endings.exited != nullptr)
        g_endings.exited(call, cycleUnderWay(), status);
}

}  // namespace

void watchLibraryEndings(LibraryEndings endings) {
    g_endings = endings;
    for (const int signal : kCrashSignals) {
        const std::string name = std::string(::strsignal(signal)) + " (signal " + std::to_string(signal) + ")";
        std::strncpy(g_names[signal], name.c_str(), sizeof g_names[signal] - 1);
    }
    // A stack overflow in the library leaves no stack to report it on.
    static char alternateStack[64 * 1024];
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    ::sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_handler = onCrash;
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int signal : kCrashSignals) ::sigaction(signal, &action, nullptr);
    ::on_exit(onExit, nullptr);  // glibc's atexit with the status
}

}  // namespace opstation::platform
