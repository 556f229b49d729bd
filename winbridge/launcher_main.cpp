// op-station-wine: the panel, or a script run, on a Windows drive library
// for a user who has only the DLL. It checks the DLL, prepares the wine
// prefix on first use (before the panel's watchdog counts), and starts
// op-station, or op-station-run, with --library DRIVE.DLL: those programs
// run the DLL in the Windows drive host under wine. See op-station-wine(1).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "opstation/drive_library.h"
#include "opstation/platform/program.h"
#include "opstation/platform/wine.h"

namespace {

namespace fs = std::filesystem;
using namespace opstation;

constexpr std::string_view kProgram = "op-station-wine";
constexpr int kExitUsage = 2;

constexpr const char *kHelp = R"(Usage: op-station-wine [--run SCRIPT [OPTIONS]] DRIVE.DLL

Opens the OP Station panel on a Windows drive library, a 32-bit or 64-bit
drive.dll, which runs under wine in OP Station's Windows drive host. It
prepares the wine prefix on first use (about 10 s), then starts op-station
with --library DRIVE.DLL.

  --run SCRIPT   run SCRIPT with op-station-run instead of opening the
                 window; OPTIONS between SCRIPT and DRIVE.DLL go to
                 op-station-run (--transcript FILE, --real-time, ...)
  --help         show this help and exit
  --version      show the version and exit

Environment:
  OPSTATION_WINEPREFIX  the wine prefix (default: $XDG_DATA_HOME/op-station/wine,
                        or ~/.local/share/op-station/wine); never ~/.wine
  OPSTATION_WINE_DIR    the folder of wine's loaders wine and wine64 (default:
                        /usr/lib/wine, then PATH)

Exit status: that of op-station or op-station-run; 2 for a wrong command
line or a DLL that cannot be read; op-station's or op-station-run's failure
status (1 or 3) when the DLL cannot run or the wine prefix cannot be made.
See op-station-wine(1).
)";

struct Request {
    std::string dll;
    std::optional<std::string> script;
    std::vector<std::string> runnerOptions;
};

[[noreturn]] void fail(int status, const std::string &message, bool pointToHelp = false) {
    std::fprintf(stderr, "%s: %s\n", kProgram.data(), message.c_str());
    if (pointToHelp) std::fprintf(stderr, "Try '%s --help'.\n", kProgram.data());
    std::exit(status);
}

Request parse(int argc, char **argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "--version")) {
        if (args[0] == "--help") std::fputs(kHelp, stdout);
        else std::printf("%s %s\n", kProgram.data(), OPSTATION_VERSION);
        std::exit(0);
    }
    if (args.empty()) fail(kExitUsage, "no drive library given", true);
    Request request;
    request.dll = args.back();
    if (args.size() == 1) return request;
    if (args[0] != "--run" || args.size() < 3) fail(kExitUsage, "expected --run SCRIPT [OPTIONS] DRIVE.DLL, or DRIVE.DLL alone", true);
    request.script = args[1];
    request.runnerOptions.assign(args.begin() + 2, args.end() - 1);
    for (const std::string &option : request.runnerOptions)
        if (option.rfind("--library", 0) == 0) fail(kExitUsage, "--library is op-station-wine's to choose", true);
    return request;
}

[[noreturn]] void start(const Request &request, const std::string &dll, int failure) {
    const std::string program = platform::programFolder() + "/" + (request.script ? "op-station-run" : "op-station");
    std::vector<std::string> args{program, "--library", dll};
    if (request.script) {
        args.insert(args.end(), request.runnerOptions.begin(), request.runnerOptions.end());
        args.push_back("--");
        args.push_back(*request.script);
    }
    std::vector<char *> argv;
    for (std::string &arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    fail(failure, "cannot start " + program + ": " + std::strerror(errno));
}

}  // namespace

int main(int argc, char **argv) {
    const Request request = parse(argc, argv);
    const int failure = request.script ? 3 : 1;  // the started program's status for a library that failed
    std::error_code error;
    const fs::path dll = fs::canonical(request.dll, error);
    if (error || fs::is_directory(dll)) fail(kExitUsage, "cannot read the drive library " + request.dll + ": " +
                                                         (error ? error.message() : "it is a folder"));
    try {
        platform::dllMachine(dll.string());
        // Prepared here, outside the watchdog of the first call; without
        // wine the program started says what to install.
        if (const auto loader = platform::preparingLoader()) {
            const std::string prefix = platform::winePrefix();
            platform::prepareWinePrefix({*loader, *loader, {}, prefix, platform::wineEnvironment(prefix)}, kProgram);
        }
    } catch (const DriveLibraryError &cause) {
        fail(failure, "cannot load the drive library " + dll.string() + ": " + cause.what());
    }
    start(request, dll.string(), failure);
}
