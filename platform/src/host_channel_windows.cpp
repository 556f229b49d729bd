#include "opstation/platform/host_channel.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "opstation/drive_library.h"

namespace opstation::platform {

namespace {

volatile LONG g_call = 0;
int g_channelOut = -1;

wire::Call currentCall() { return static_cast<wire::Call>(g_call); }

void sendLastWord(const wire::FrameWriter &frame) {
    const auto bytes = frame.frame();
    _write(g_channelOut, bytes.data(), static_cast<unsigned>(bytes.size()));
}

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
    wire::FrameWriter frame(wire::Kind::crashed, currentCall());
    frame.u32(code).text(text);
    sendLastWord(frame);
    return EXCEPTION_EXECUTE_HANDLER;
}

// abort() in the library: the C runtime raises SIGABRT.
void onAbort(int) {
    wire::FrameWriter frame(wire::Kind::crashed, currentCall());
    frame.u32(3).text("Aborted (abort() was called)");
    sendLastWord(frame);
    _exit(3);
}

void onExit() {
    if (currentCall() != wire::Call::none) sendLastWord(wire::FrameWriter(wire::Kind::exited, currentCall()));
}

// The C runtime's descriptor and the Win32 standard handle of a stream both
// point elsewhere: a library may write through either.
void redirect(int fd, DWORD standard, HANDLE to, int toFd) {
    _dup2(toFd, fd);
    SetStdHandle(standard, to);
}

}  // namespace

Channel takeStandardStreams() {
    // No translation of 0x0A or 0x1A: the channel carries bytes.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    Channel channel{_dup(_fileno(stdin)), _dup(_fileno(stdout))};
    const int nothing = _open("NUL", _O_RDONLY | _O_BINARY);
    if (nothing >= 0) {
        redirect(_fileno(stdin), STD_INPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(nothing)), nothing);
        _close(nothing);
    }
    redirect(_fileno(stdout), STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE), _fileno(stderr));
    return channel;
}

long readSome(int fd, std::span<uint8_t> into, std::chrono::microseconds) {
    return _read(fd, into.data(), static_cast<unsigned>(into.size()));
}

bool writeAll(int fd, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const int sent = _write(fd, bytes.data(), static_cast<unsigned>(bytes.size()));
        if (sent <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(sent));
    }
    return true;
}

void reportEndingsOn(int channelOut) {
    g_channelOut = channelOut;
    // No error boxes: a crash is reported on the channel, not to a desktop.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(onException);
    std::signal(SIGABRT, onAbort);
    std::atexit(onExit);
}

void setCallInProgress(wire::Call call) { InterlockedExchange(&g_call, static_cast<LONG>(call)); }

}  // namespace opstation::platform
