#include "in_process.h"

#include <cstdlib>
#include <thread>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "opstation/drive_library.h"
#include "opstation/platform/close_requests.h"
#include "opstation/platform/library_endings.h"
#include "opstation/platform/output_file.h"
#include "opstation/runner/script_runner.h"
#include "opstation/runner/transcript.h"

namespace opstation {

namespace {

using platform::SafeText;

const DriveLibrary *g_library = nullptr;
platform::OutputFile *g_transcript = nullptr;

void writeError(const SafeText &text) {
#if defined(_WIN32)
    _write(2, text.data(), text.size());
#else
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
#endif
}

bool inCycle(wire::Call call) { return call == wire::Call::download || call == wire::Call::upload; }

// The cycles that ended before the call under way.
long cyclesDone(wire::Call call, long cycle) { return inCycle(call) ? cycle - 1 : cycle; }

// "the drive library F <what> in opstat_upload" and the cycle, as the drive
// host's client says it.
SafeText &namingTheCall(SafeText &text, const char *what, wire::Call call) {
    return text << "op-station-run: the drive library " << g_library->shownName().c_str() << what
                << std::string_view(wire::entryPointName(call)).data();
}

SafeText &cycleNote(SafeText &text, wire::Call call, long cycle) {
    if (inCycle(call)) text << ", in exchange cycle " << cycle;
    return text;
}

// What is in the transcript goes out, with the line a failed run ends with.
void endTranscript(long cycles, const char *outcome) {
    if (g_transcript == nullptr) return;
    g_transcript->flushNow();
    const long ms = cycles * static_cast<long>(kCycleMilliseconds);
    SafeText line;
    line << "end after cycle " << cycles << " at " << ms / 1000 << "." << (ms % 1000 < 100 ? "0" : "")
         << (ms % 1000 < 10 ? "0" : "") << ms % 1000 << " s: " << outcome << "\n";
    g_transcript->sputn(line.data(), line.size());
    g_transcript->flushNow();
}

void onCrash(wire::Call call, long cycle, unsigned, const char *text) {
    SafeText message;
    namingTheCall(message, " crashed in ", call) << ": " << text;
    writeError(cycleNote(message, call, cycle) << "\n");
    endTranscript(cyclesDone(call, cycle), "the drive library failed");
    std::_Exit(kExitLibraryFailed);
}

void onExit(wire::Call call, long cycle, int status) {
    SafeText message;
    namingTheCall(message, " ended its process in ", call);
    if (status >= 0) message << " with exit status " << static_cast<long>(status);
    writeError(cycleNote(message, call, cycle) << ", which counts as a failure\n");
    endTranscript(cyclesDone(call, cycle), "the drive library failed");
    std::_Exit(kExitLibraryFailed);
}

// After the first close request: a call that is still the same one after
// the grace will not return; the runner ends as the request would have.
[[noreturn]] void stopHangingCalls(std::chrono::milliseconds grace) {
    platform::awaitCloseRequest();
    LibraryActivity &activity = libraryActivity();
    for (;;) {
        const int64_t since = activity.since;
        std::this_thread::sleep_for(activity.call == wire::Call::none ? std::chrono::milliseconds(10) : grace);
        const wire::Call call = activity.call;
        if (call == wire::Call::none || activity.since != since) continue;
        const long cycle = activity.cycle;
        SafeText message;
        namingTheCall(message, " was stopped in ", call);
        writeError(cycleNote(message, call, cycle) << ": the program was asked to close before the call returned\n");
        endTranscript(cyclesDone(call, cycle), "the drive library failed");
        writeError(SafeText() << "op-station-run: interrupted after cycle " << cyclesDone(call, cycle) << "\n");
        platform::endAsRequested();
    }
}

}  // namespace

void guardInProcess(const DriveLibrary &library, platform::OutputFile *transcript, std::chrono::milliseconds grace) {
    g_library = &library;
    g_transcript = transcript;
    platform::watchLibraryEndings({.crashed = onCrash, .exited = onExit});
    std::thread(stopHangingCalls, grace).detach();
}

}  // namespace opstation
