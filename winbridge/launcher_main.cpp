// op-station-wine: the panel on a Windows drive library for a user who has
// only the DLL. It makes a drive-library folder for it (the bridge as
// libdrive.so and the DLL as drive.dll, both symbolic links), prepares the
// wine prefix on first use, and starts op-station, or op-station-run, with
// that folder first on LD_LIBRARY_PATH. See op-station-wine(1).
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
#include "windows_dll.h"
#include "wine.h"

namespace {

namespace fs = std::filesystem;
using namespace opstation;

constexpr std::string_view kProgram = "op-station-wine";
constexpr int kExitUsage = 2;

constexpr const char *kHelp = R"(Usage: op-station-wine [--run SCRIPT [OPTIONS]] DRIVE.DLL

Opens the OP Station panel on a Windows drive library, a 32-bit or 64-bit
drive.dll, which runs under wine through the panel's bridge. It makes a
drive-library folder for the DLL (symbolic links to the bridge and to
DRIVE.DLL, below the folder of the wine prefix), prepares the bridge's wine
prefix on first use (about 10 s), then starts op-station with that folder
first on LD_LIBRARY_PATH.

  --run SCRIPT   run SCRIPT with op-station-run instead of opening the
                 window; OPTIONS between SCRIPT and DRIVE.DLL go to
                 op-station-run (--transcript FILE, --real-time, --in-process)
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

fs::path ownFolder() { return fs::read_symlink("/proc/self/exe").parent_path(); }

// The bridge where it is installed, or in the build tree beside bin/.
fs::path bridge(int failure) {
    for (const char *relative : {OPSTATION_BRIDGE_FROM_BIN, OPSTATION_BRIDGE_IN_BUILD}) {
        std::error_code error;
        const fs::path candidate = fs::canonical(ownFolder() / relative, error);
        if (!error) return candidate;
    }
    fail(failure, "the bridge to Windows drive libraries is not installed: no " +
                      (ownFolder() / OPSTATION_BRIDGE_FROM_BIN).lexically_normal().string());
}

// One folder per DLL, named by a hash of its path, kept for the next start.
std::string folderName(const std::string &dll) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const unsigned char c : dll) hash = (hash ^ c) * 1099511628211ull;
    char name[17];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
    return name;
}

// Points `link` at `target`, replacing what was there in one step.
void linkTo(const fs::path &target, const fs::path &link) {
    const fs::path fresh = link.string() + ".new" + std::to_string(::getpid());
    fs::create_symlink(target, fresh);
    fs::rename(fresh, link);
}

fs::path driveLibraryFolder(const std::string &dll, const fs::path &bridgeFile, const std::string &prefix) {
    const fs::path folder = fs::path(prefix).parent_path() / "drives" / folderName(dll);
    fs::create_directories(folder);
    linkTo(bridgeFile, folder / "libdrive.so");
    linkTo(dll, folder / "drive.dll");
    return folder;
}

[[noreturn]] void start(const Request &request, const fs::path &folder, int failure) {
    const std::string previous = std::getenv("LD_LIBRARY_PATH") != nullptr ? std::getenv("LD_LIBRARY_PATH") : "";
    const std::string path = folder.string() + (previous.empty() ? "" : ":" + previous);
    ::setenv("LD_LIBRARY_PATH", path.c_str(), 1);
    std::string program = (ownFolder() / (request.script ? "op-station-run" : "op-station")).string();
    std::vector<std::string> args{program};
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
        winbridge::dllMachine(dll.string());
        const std::string prefix = winbridge::winePrefix();
        const fs::path folder = driveLibraryFolder(dll.string(), bridge(failure), prefix);
        // Prepared here, outside the panel's time limit for its first call;
        // without wine the bridge says what to install.
        if (const auto loader = winbridge::preparingLoader())
            winbridge::prepareWinePrefix({*loader, *loader, {}, prefix, winbridge::wineEnvironment(prefix)}, kProgram);
        start(request, folder, failure);
    } catch (const DriveLibraryError &cause) {
        fail(failure, "cannot load the drive library " + dll.string() + ": " + cause.what());
    } catch (const fs::filesystem_error &cause) {
        fail(failure, "cannot make the drive-library folder for " + dll.string() + ": " + cause.what());
    }
}
