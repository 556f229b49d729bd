// op-station-run: the panel without a window, driven by a script. It runs
// the panel's own session against a drive library and says whether every
// expectation held; see op-station-run(1).
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "in_process.h"
#include "opstation/platform/close_requests.h"
#include "opstation/platform/command_line.h"
#include "opstation/platform/drive_opening.h"
#include "opstation/platform/output_file.h"
#include "opstation/platform/program.h"
#include "opstation/runner/script.h"
#include "opstation/runner/script_runner.h"
#include "opstation/runner/text_form.h"
#include "opstation/runner/transcript.h"

namespace {

using namespace opstation;

constexpr std::string_view kProgram = "op-station-run";

constexpr std::string_view kHelp = R"(Usage: op-station-run [OPTIONS] SCRIPT

Runs the OP Station panel without a window. The script works the panel's
keys and checks its display, LEDs and title; the drive library is passed
exactly what the window would pass it. SCRIPT is a file, or - for standard
input.

Options:
  --library PATH     load this drive library file (default: )" OPSTATION_DEFAULT_LIBRARY R"(,
                     found by the normal library search)
  --transcript FILE  write the transcript to FILE (- for standard output)
  --real-time        pace the cycles at 40 ms (default: as fast as the
                     library answers, each cycle counting as 40 ms)
  --in-process       run the library in this program's own process: faster,
                     but a library that ends the process with _exit() or
                     corrupts memory is caught only in the default mode,
                     in the drive host
  --strict           a script that checks nothing is an error (status 2)
  --quiet            do not say which library file was loaded
  --help             show this help and exit
  --version          show the version and exit

Statements (one a line, # starts a comment):
  press KEY...   release KEY...   tap KEY...     panel keys: up down esc
  key NAME down|up                               menu dir jog local run stop disp
  wait N         wait until CONDITION within N
  expect CONDITION               repeat N ... end
Conditions:
  line 1|2 shows "TEXT"       the 16 characters the display shows (control
                              characters as blanks; trailing blanks ignored)
  line 1|2 is "TEXT"          all 20 characters the library wrote (trailing
                              NULs and blanks ignored); is exactly: all 20
  line 1|2 contains "TEXT"    anywhere in the 20 characters
  led NAME is on|off|flashing   led NAME words ON FLASH
  title is "TEXT"      title contains "TEXT"
  LEDs: health fwd rev run stop seq ref

Exit status: 0 every expectation held; 1 an expectation failed; 2 the script
or the command line is wrong, or a file cannot be read or written; 3 the
drive library failed. See op-station-run(1).
)";

using platform::UsageError;

struct Options {
    platform::DriveRequest drive{.program = std::string(kProgram)};
    std::optional<std::string> transcript;
    bool realTime = false;
    bool strict = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::optional<std::string> script;
};

constexpr std::array<platform::Option<Options>, 8> kOptions = {{
    {"--library", true, [](Options &o, const std::string &v) { o.drive.libraryFile = v; }},
    {"--transcript", true, [](Options &o, const std::string &v) { o.transcript = v; }},
    {"--real-time", false, [](Options &o, const std::string &) { o.realTime = true; }},
    {"--in-process", false, [](Options &o, const std::string &) { o.drive.inProcess = true; }},
    {"--strict", false, [](Options &o, const std::string &) { o.strict = true; }},
    {"--quiet", false, [](Options &o, const std::string &) { o.quiet = true; }},
    {"--help", false, [](Options &o, const std::string &) { o.help = true; }},
    {"--version", false, [](Options &o, const std::string &) { o.version = true; }},
}};

Options parseCommandLine(int argc, char **argv) {
    Options options;
    platform::readCommandLine(argc, argv, kOptions, options, [](Options &o, std::string script) {
        if (o.script) throw UsageError{"one script only: " + *o.script + " and " + script};
        o.script = std::move(script);
    });
    if (!options.script && !options.help && !options.version) throw UsageError{"no script given"};
    return options;
}

// The whole script file, or standard input for "-".
std::string readScript(const std::string &path) {
    FILE *file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (file == nullptr) throw UsageError{"cannot read the script " + path + ": " + std::strerror(errno), false};
    std::string text;
    std::array<char, 65536> chunk;
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) text.append(chunk.data(), got);
    const int error = std::ferror(file) ? errno : 0;
    if (file != stdin) std::fclose(file);
    if (error != 0) throw UsageError{"cannot read the script " + path + ": " + std::strerror(error), false};
    return text;
}

// Progress words for runs that take seconds: at most one line every two
// seconds, none for a run that ends sooner.
class Progress {
public:
    void afterCycle(uint64_t cycle) {
        if (cycle % 16 != 0) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < std::chrono::seconds(2)) return;
        last_ = now;
        std::cerr << kProgram << ": cycle " << cycle << " (" << stationTime(cycle) << " of station time)" << std::endl;
    }

private:
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// The first close request stops the run after the cycle under way, so the
// library is unloaded and the transcript ends; a call of the drive host
// that does not return gets a moment, then the host is stopped. The runner
// then ends as the request would have.
[[noreturn]] void stopAsRequested(const Verdict &verdict) {
    std::cerr << kProgram << ": interrupted after cycle " << verdict.cycles << std::endl;
    platform::endAsRequested();
}

std::string summary(const Script &script, const Verdict &verdict) {
    return std::string(kProgram) + ": " + script.name + ": passed, " + counted(verdict.expectations, "expectation") +
           " held in " + counted(verdict.cycles, "cycle") + " (" + stationTime(verdict.cycles) + " of station time)";
}

int run(const Options &options) {
    const std::string name = *options.script == "-" ? "stdin" : *options.script;
    const ParsedScript parsed = parseScript(readScript(*options.script), name);
    for (const std::string &line : describe(name, parsed.errors)) std::cerr << line << '\n';
    if (!parsed.errors.empty()) return kExitUsage;

    if (checksNothing(parsed.script)) {
        const std::string says = name + " checks nothing (no expect and no wait until), so passing proves nothing";
        if (options.strict) throw UsageError{says, false};
        std::cerr << kProgram << ": warning: " << says << '\n';
    }

    // Standard output is the transcript's alone: a library that prints
    // (in this process) writes to standard error instead.
    const int standardOutput = platform::keepStandardOutput();
    std::unique_ptr<platform::OutputFile> file;
    if (options.transcript) {
        file = *options.transcript == "-" ? std::make_unique<platform::OutputFile>(standardOutput)
                                          : std::make_unique<platform::OutputFile>(*options.transcript);
        if (file->failed())
            throw UsageError{"cannot write the transcript " + *options.transcript + ": " + std::strerror(file->error()), false};
    }
    std::ostream transcript(file.get());

    platform::catchCloseRequests();
    Progress progress;
    RunSettings settings;
    settings.transcript = file ? &transcript : nullptr;
    settings.realTime = options.realTime;
    settings.interrupted = &platform::closeRequestFlag();
    settings.afterCycle = [&progress](uint64_t cycle) { progress.afterCycle(cycle); };
    if (!options.quiet)
        settings.loaded = [](const std::string &file) { platform::sayLoadedLibrary(std::string(kProgram), file); };

    Verdict verdict;
    try {
        const std::unique_ptr<DriveLink> link = platform::openDrive(options.drive);
        if (const auto *inProcess = dynamic_cast<const DriveLibrary *>(link.get()))
            guardInProcess(*inProcess, file.get(), options.drive.limits.grace);
        verdict = runScript(parsed.script, *link, settings);
    } catch (const std::exception &error) {  // the link could not be set up
        verdict.outcome = Verdict::Outcome::libraryFailed;
        verdict.message = error.what();
    }
    if (file && !file->flushNow()) {
        std::cerr << kProgram << ": cannot write the transcript " << *options.transcript << ": " << std::strerror(file->error())
                  << '\n';
        return kExitUsage;
    }

    switch (verdict.outcome) {
        case Verdict::Outcome::passed: std::cerr << summary(parsed.script, verdict) << '\n'; break;
        case Verdict::Outcome::failed: std::cerr << verdict.message << '\n'; break;
        case Verdict::Outcome::libraryFailed:
            std::cerr << kProgram << ": " << verdict.message << '\n';
            if (platform::closeRequest() != 0) stopAsRequested(verdict);  // a call given up on the request
            break;
        case Verdict::Outcome::interrupted: stopAsRequested(verdict);
    }
    return exitStatus(verdict.outcome);
}

}  // namespace

int main(int argc, char **argv) {
    std::ios::sync_with_stdio(false);
    platform::binaryStandardStreams();
    setLoadFaultExit(std::string(kProgram), kExitLibraryFailed);
    try {
        const Options options = parseCommandLine(argc, argv);
        if (options.help) return std::cout << kHelp, kExitPassed;
        if (options.version) return std::cout << kProgram << ' ' << OPSTATION_VERSION << '\n', kExitPassed;
        return run(options);
    } catch (const UsageError &error) {
        std::cerr << kProgram << ": " << error.message << '\n';
        if (error.pointToHelp) std::cerr << "Try '" << kProgram << " --help'.\n";
        return kExitUsage;
    }
}
