#include "stop_signals.h"

#include <initializer_list>

#include <cstdio>

#include <fcntl.h>
#include <io.h>

namespace opstation {

namespace {
volatile std::sig_atomic_t *g_signalled = nullptr;

// The C runtime puts the default back before it calls a handler, so a
// second Ctrl+C ends the runner.
extern "C" void onStopSignal(int signal) { *g_signalled = signal; }
}  // namespace

// The library runs in the runner's own process here: no drive host call to
// tell, so no descriptor.
int stopOnSignals(volatile std::sig_atomic_t *signalled) {
    g_signalled = signalled;
    for (int signal : {SIGINT, SIGTERM, SIGBREAK}) std::signal(signal, onStopSignal);
    return -1;
}

void binaryStandardStreams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace opstation
