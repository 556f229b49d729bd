// What op-station-run needs of its platform: hearing that it is asked to
// stop, and standard streams that carry bytes as they are.
#pragma once

#include <csignal>

namespace opstation {

// From now on the first SIGINT, SIGTERM or SIGHUP (on Windows: Ctrl+C,
// Ctrl+Break) sets *signalled to its number, and the next one ends the
// runner as that signal does. Returns a descriptor that becomes readable
// at the first one, for the drive host's client to watch, or -1.
int stopOnSignals(volatile std::sig_atomic_t *signalled);

// Scripts and transcripts on standard input and output pass byte for byte
// (on Windows the C runtime would turn LF into CR LF).
void binaryStandardStreams();

}  // namespace opstation
