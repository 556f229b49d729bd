#include "opstation/platform/library_endings.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <windows.h>

#include "opstation/drive_library.h"

namespace opstation::platform {

namespace {

LibraryEndings g_endings{};

wire::Call callUnderWay() { return libraryActivity().call.load(); }
long cycleUnderWay() { return libraryActivity().cycle.load(); }

struct ExceptionName {
    DWORD code;
    const char *name;
};

constexpr ExceptionName kExceptionNames[] = {
    {EXCEPTION_ACCESS_VIOLATION, "Access violation"},
    {EXCEPTION_ILLEGAL_INSTRUCTION, "Illegal instruction"},
    {EXCEPTION_PRIV_INSTRUCTION, "Privileged instruction"},
    {EXCEPTION_INT_DIVIDE_BY_ZERO, "Integer division by zero"},
    {EXCEPTION_INT_OVERFLOW, "Integer overflow"},
    {EXCEPTION_FLT_DIVIDE_BY_ZERO, "Floating-point division by zero"},
    {EXCEPTION_FLT_INVALID_OPERATION, "Invalid floating-point operation"},
    {EXCEPTION_STACK_OVERFLOW, "Stack overflow"},
    {EXCEPTION_IN_PAGE_ERROR, "In-page error"},
    {EXCEPTION_DATATYPE_MISALIGNMENT, "Misaligned data"},
    {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, "Array bounds exceeded"},
    {EXCEPTION_BREAKPOINT, "Breakpoint"},
};

// "Access violation (exception 0xC0000005)".
void describe(DWORD code, char (&text)[96]) {
    const char *name = "Unhandled exception";
    for (const ExceptionName &known : kExceptionNames)
        if (known.code == code) name = known.name;
    std::snprintf(text, sizeof text, "%s (exception 0x%08lX)", name, static_cast<unsigned long>(code));
}

// Says which call crashed and how, then lets the process end with the
// exception's code, as it would have.
LONG WINAPI onException(EXCEPTION_POINTERS *exception) {
    const DWORD code = exception->ExceptionRecord->ExceptionCode;
    char text[96];
    describe(code, text);
    if (const wire::Call call = callUnderWay(); call != wire::Call::none && g_endings.crashed != nullptr)
        g_endings.crashed(call, cycleUnderWay(), code, text);
    return EXCEPTION_EXECUTE_HANDLER;
}

// abort() in the library: the C runtime raises SIGABRT.
void onAbort(int) {
    if (const wire::Call call = callUnderWay(); call != wire::Call::none && g_endings.crashed != nullptr)
        g_endings.crashed(call, cycleUnderWay(), 3, "Aborted (abort() was called)");
    _exit(3);
}

// The C runtime does not tell an exit handler the status.
void onExit() {
    if (const wire::Call call = callUnderWay(); call != wire::Call::none && g_endings.exited != nullptr)
        g_endings.exited(call, cycleUnderWay(), -1);
}

}  // namespace

void watchLibraryEndings(LibraryEndings endings) {
    g_endings = endings;
    // No error boxes: a crash is reported, not shown to a desktop.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(onException);
    std::signal(SIGABRT, onAbort);
    std::atexit(onExit);
}

}  // namespace opstation::platform
