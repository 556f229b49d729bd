// Runs a parsed script against a drive: the panel's own session (key model,
// exchange cycle, LED refresh) with the display held in memory, so what a
// condition reads is what the window would show.
#pragma once

#include <csignal>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "opstation/drive_link.h"
#include "opstation/runner/script.h"

namespace opstation {

struct RunSettings {
    std::ostream *transcript = nullptr;  // none when null
    bool realTime = false;               // cycle n at n x 40 ms after the load, else as fast as the drive answers
    // Set (by a signal handler) to stop the run after the cycle under way.
    const volatile std::sig_atomic_t *interrupted = nullptr;
    // Called after every cycle with its number.
    std::function<void(uint64_t)> afterCycle;
    // Called once the library is loaded, with its file's full path.
    std::function<void(const std::string &)> loaded;
};

struct Verdict {
    enum class Outcome { passed, failed, libraryFailed, interrupted };
    Outcome outcome = Outcome::passed;
    // failed: "script:line: the expectation: what was seen at which cycle";
    // libraryFailed: the library's error, as the panel gives it.
    std::string message;
    uint64_t cycles = 0;         // cycles run
    uint64_t expectations = 0;   // expectations that held
};

// 0 passed, 1 an expectation failed, 3 the drive library failed; an
// interrupted run has no status of its own (the signal ends the program).
inline constexpr int kExitPassed = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitLibraryFailed = 3;
int exitStatus(Verdict::Outcome outcome);

// Loads the drive, runs the statements, and unloads the drive, whatever the
// outcome, unless the library itself failed. The first expectation that
// does not hold ends the run.
Verdict runScript(const Script &script, DriveLink &drive, const RunSettings &settings);

}  // namespace opstation
