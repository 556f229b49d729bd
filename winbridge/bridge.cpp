#include "bridge.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include <unistd.h>

#include "opstation/host_process.h"
#include "wine.h"
#include "windows_dll.h"

namespace opstation::winbridge {

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr const char *kDllName = "drive.dll";

std::string hostFileName(const WindowsMachine &machine) {
    return "op-station-drive-host-" + std::string(machine.name) + ".exe";
}

// The Windows drive host lies where the bridge is installed: beside the
// bridge's own file with symbolic links resolved, or, for a copy of the
// bridge, in the folder it is installed to, or in its build tree.
std::string windowsHost(const std::string &bridgeFile, const WindowsMachine &machine) {
    std::vector<fs::path> folders;
    std::error_code error;
    if (const fs::path real = fs::canonical(bridgeFile, error); !error) folders.push_back(real.parent_path());
    folders.emplace_back(OPSTATION_WINBRIDGE_INSTALLED);
    folders.emplace_back(OPSTATION_WINBRIDGE_BUILT);
    std::string sought;
    for (const fs::path &folder : folders) {
        const fs::path host = folder / hostFileName(machine);
        if (::access(host.c_str(), R_OK) == 0) return host.string();
        sought += (sought.empty() ? "" : ", ") + folder.string();
    }
    throw DriveLibraryError("the Windows drive host for " + std::string(machine.bits) + " DLLs, " +
                            hostFileName(machine) + ", is not installed in " + sought);
}

// drive.dll in the bridge's folder, named by the file it is: a symbolic
// link (op-station-wine makes one) leads to the user's own file.
std::string dllIn(const std::string &bridgeFile) {
    const fs::path linked = fs::path(bridgeFile).parent_path() / kDllName;
    std::error_code error;
    const fs::path real = fs::canonical(linked, error);
    return error ? linked.string() : real.string();
}

void replaceAll(std::string &text, const std::string &from, const std::string &to) {
    if (from.empty()) return;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

}  // namespace

Bridge::Bridge(std::string bridgeFile) : bridgeFile_(std::move(bridgeFile)), dll_(dllIn(bridgeFile_)) {}

template <typename Call>
void Bridge::guarded(const char *entryPoint, Call &&call) {
    if (failure_) return;
    try {
        call();
    } catch (const DriveLibraryError &error) {
        failure_ = underOurNames(error.what());
    } catch (const std::exception &error) {
        failure_ = "the drive library " + dll_ + " failed in " + entryPoint + ": its bridge " + bridgeFile_ + " ran into " +
                   error.what();
    }
}

void Bridge::initialise(int32_t station, char *title) {
    guarded("opstat_initialise", [&] { start(station, title); });
}

void Bridge::start(int32_t station, char *title) {
    const auto started = steady_clock::now();
    std::string host;
    Wine wine;
    try {
        const WindowsMachine &machine = dllMachine(dll_);
        host = windowsHost(bridgeFile_, machine);
        wine = wineFor(machine);
        prepareWinePrefix(wine, "op-station");
        startWineSession(wine, host);
    } catch (const DriveLibraryError &error) {
        throw DriveLibraryError("cannot load the drive library " + dll_ + ": " + error.what());
    }
    windowsDll_ = windowsPath(dll_);
    HostLimits limits = kBridgeLimits;
    limits.initialise = std::max<milliseconds>(
        1s, kBridgeLimits.initialise - std::chrono::duration_cast<milliseconds>(steady_clock::now() - started));
    drive_ = std::make_unique<HostedDrive>(
        dll_, std::make_unique<HostProcess>(wine.loader, std::vector<std::string>{host, windowsDll_}, -1, wine.environment),
        limits);
    drive_->initialiseInto(station, title);
}

void Bridge::terminate(int32_t station) {
    guarded("opstat_terminate", [&] {
        if (drive_) drive_->terminate(station);
        drive_.reset();  // the host reads the end of its input and ends
    });
}

void Bridge::download(const DownloadKeys &keys) { keys_ = keys; }

int16_t Bridge::upload(const UploadLedWords &leds, char *line1, char *line2) {
    int16_t result = 0;
    guarded("opstat_upload", [&] {
        if (!drive_) throw DriveLibraryError("the drive library " + dll_ + " was called before opstat_initialise");
        result = drive_->exchangeInto(keys_, leds, line1, line2);
    });
    return result;
}

// The Windows host names the DLL by its Windows path; messages name it as
// the user knows it.
std::string Bridge::underOurNames(std::string message) const {
    replaceAll(message, windowsDll_, dll_);
    return message;
}

}  // namespace opstation::winbridge
