#include "opstation/platform/close_requests.h"

#include <cstdlib>
#include <initializer_list>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace opstation::platform {

namespace {

volatile std::sig_atomic_t g_request = 0;
int g_pipe[2] = {-1, -1};

constexpr std::initializer_list<int> kCloseSignals = {SIGTERM, SIGINT, SIGHUP};
bool g_caught[NSIG] = {};

// Async-signal-safe: a flag, the defaults back for every signal caught, so
// that a second request of any kind ends the program, and a byte.
extern "C" void onCloseRequest(int signal) {
    g_request = signal;
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    for (const int caught : kCloseSignals)
        if (g_caught[caught]) ::sigaction(caught, &fallback, nullptr);
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = g_pipe[1] >= 0 ? ::write(g_pipe[1], &byte, 1) : 0;
}

}  // namespace

void catchCloseRequests() {
    static const bool caught = [] {
        if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) g_pipe[0] = g_pipe[1] = -1;
        struct sigaction action {};
        action.sa_handler = onCloseRequest;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        for (const int signal : kCloseSignals) sigaddset(&action.sa_mask, signal);  // one request at a time
        for (const int signal : kCloseSignals) {
            struct sigaction previous {};
            if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
            g_caught[signal] = true;
            ::sigaction(signal, &action, nullptr);
        }
        return true;
    }();
    (void)caught;
}

int closeRequest() { return g_request; }
const volatile std::sig_atomic_t &closeRequestFlag() { return g_request; }
int closeRequestFd() { return g_pipe[0]; }

void awaitCloseRequest() {
    while (g_request == 0) {
        pollfd fd{g_pipe[0], POLLIN, 0};
        ::poll(&fd, 1, g_pipe[0] >= 0 ? -1 : 100);  // the byte stays for others to see
    }
}

void endAsRequested() {
    const int signal = g_request != 0 ? static_cast<int>(g_request) : SIGTERM;
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    std::_Exit(128 + signal);  // the signal was blocked
}

}  // namespace opstation::platform
