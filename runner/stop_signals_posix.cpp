#include "stop_signals.h"

#include <initializer_list>

#include <fcntl.h>
#include <unistd.h>

namespace opstation {

namespace {
volatile std::sig_atomic_t *g_signalled = nullptr;
int g_signalPipe[2] = {-1, -1};
}  // namespace

// The handler goes with the first signal (SA_RESETHAND), so a second one
// ends the runner; the pipe tells a drive host call that is waiting.
int stopOnSignals(volatile std::sig_atomic_t *signalled) {
    g_signalled = signalled;
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) g_signalPipe[0] = g_signalPipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = [](int signal) {
        *g_signalled = signal;
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = g_signalPipe[1] >= 0 ? ::write(g_signalPipe[1], &byte, 1) : 0;
    };
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    return g_signalPipe[0];
}

void binaryStandardStreams() {}

}  // namespace opstation
