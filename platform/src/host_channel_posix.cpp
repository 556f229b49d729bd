#include "opstation/platform/host_channel.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "opstation/drive_library.h"

namespace opstation::platform {

namespace {

volatile sig_atomic_t g_call = 0;
int g_channelOut = -1;

// Signals that mean the library crashed. abort() raises SIGABRT.
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGSYS};

void sendLastWord(const wire::FrameWriter &frame) {
    const auto bytes = frame.frame();
    [[maybe_unused]] const ssize_t written = ::write(g_channelOut, bytes.data(), bytes.size());
}

wire::Call currentCall() { return static_cast<wire::Call>(g_call); }

// Says which call crashed, then lets the signal end the host as it would
// have: the panel side reads the signal from the exit status.
void onCrash(int signal) {
    wire::FrameWriter frame(wire::Kind::crashed, currentCall());
    frame.u32(static_cast<uint32_t>(signal));
    sendLastWord(frame);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);  // pending until this handler returns; a fault recurs at once
}

void onExit() {
    if (currentCall() != wire::Call::none) sendLastWord(wire::FrameWriter(wire::Kind::exited, currentCall()));
}

void onLoadFault(const char *message, std::size_t size) {
    wire::FrameWriter frame(wire::Kind::failed, wire::Call::initialise);
    frame.bytes(message, size);
    sendLastWord(frame);
    ::_exit(1);
}

int moveAway(int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 3); }

}  // namespace

Channel takeStandardStreams() {
    Channel channel{moveAway(STDIN_FILENO), moveAway(STDOUT_FILENO)};
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nothing >= 0) {
        ::dup2(nothing, STDIN_FILENO);
        ::close(nothing);
    }
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    // A panel that went away leaves a write error, not a signal.
    ::signal(SIGPIPE, SIG_IGN);
    return channel;
}

long readSome(int fd, std::span<uint8_t> into, std::chrono::microseconds spin) {
    const auto until = std::chrono::steady_clock::now() + spin;
    while (spin.count() > 0) {
        const ssize_t got = ::recv(fd, into.data(), into.size(), MSG_DONTWAIT);
        if (got >= 0) return static_cast<long>(got);
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) break;  // not a socket: read as usual
        if (std::chrono::steady_clock::now() >= until) break;
    }
    for (;;) {
        const ssize_t got = ::read(fd, into.data(), into.size());
        if (got >= 0 || errno != EINTR) return static_cast<long>(got);
    }
}

bool writeAll(int fd, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::write(fd, bytes.data(), bytes.size());
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(sent));
    }
    return true;
}

void reportEndingsOn(int channelOut) {
    g_channelOut = channelOut;
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
    std::atexit(onExit);
    setLoadFaultReport(&onLoadFault);
}

void setCallInProgress(wire::Call call) { g_call = static_cast<sig_atomic_t>(call); }

}  // namespace opstation::platform
