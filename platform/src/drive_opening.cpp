#include "opstation/platform/drive_opening.h"

#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

#include "opstation/platform/close_requests.h"
#include "opstation/platform/host_process.h"
#include "opstation/platform/program.h"
#include "opstation/platform/windows_dll.h"
#if !defined(_WIN32)
#include "opstation/platform/wine.h"
#endif

namespace opstation::platform {

namespace {

namespace fs = std::filesystem;

constexpr const char *kHostProgram = "op-station-drive-host";

std::string windowsHostName(const WindowsMachine &machine) {
    return std::string(kHostProgram) + "-" + std::string(machine.name) + ".exe";
}

fs::path hostFolder(const DriveRequest &request) {
    return request.hostFolder.empty() ? fs::path(programFolder()) : fs::path(request.hostFolder);
}

// The Windows drive host for `machine`: in the hosts' folder (a build tree,
// or the Windows download), else where an installed tree keeps it.
std::string windowsHost(const DriveRequest &request, const WindowsMachine &machine) {
    const std::vector<fs::path> folders = {hostFolder(request), hostFolder(request) / OPSTATION_WINDOWS_HOSTS_FROM_BIN};
    std::string sought;
    for (const fs::path &folder : folders) {
        const fs::path host = (folder / windowsHostName(machine)).lexically_normal();
        std::error_code error;
        if (fs::is_regular_file(host, error)) return host.string();
        sought += (sought.empty() ? "" : " or ") + folder.lexically_normal().string();
    }
    throw DriveLibraryError("the Windows drive host for " + std::string(machine.bits) + " DLLs, " +
                            windowsHostName(machine) + ", is not installed in " + sought);
}

#if !defined(_WIN32)
HostCommand nativeHost(const DriveRequest &request) {
    return {{(hostFolder(request) / kHostProgram).string(), request.libraryFile}, {}};
}
#endif

#if defined(_WIN32)
// The Windows drive host of the DLL's width, beside this program: a 64-bit
// program runs a 32-bit DLL as well. A DLL whose width cannot be read (a
// missing file, say) goes to the host of this program's width, which says
// what is wrong.
HostCommand hostOnWindows(const DriveRequest &request) {
    const std::string &file = request.libraryFile;
    const bool bare = file.find_first_of("/\\") == std::string::npos;
    const WindowsMachine *machine = &ownMachine();
    try {
        machine = &dllMachine(bare ? (hostFolder(request) / file).string() : file);
    } catch (const DriveLibraryError &) {
    }
    try {
        return {{windowsHost(request, *machine), file}, {}};
    } catch (const DriveLibraryError &error) {
        throw DriveLibraryError("cannot load the drive library " + file + ": " + error.what());
    }
}
#else
// Wine runs the Windows host of the DLL's width; the host names the DLL
// by the path its user gave, not by the path wine hands it.
HostCommand hostUnderWine(const DriveRequest &request) {
    const std::string &dll = request.libraryFile;
    try {
        const WindowsMachine &machine = dllMachine(dll);
        const std::string host = windowsHost(request, machine);
        const Wine wine = wineFor(machine);
        prepareWinePrefix(wine, request.program);
        startWineSession(wine, host);
        const std::string full = fs::absolute(dll).lexically_normal().string();
        return {{wine.loader, host, "--name", full, windowsPath(full)}, wine.environment};
    } catch (const DriveLibraryError &error) {
        throw DriveLibraryError("cannot load the drive library " + dll + ": " + error.what());
    }
}
#endif

}  // namespace

std::unique_ptr<HostedDrive> openHostedDrive(const DriveRequest &request) {
    const int interruptFd = request.interruptFd.value_or(closeRequestFd());
#if defined(_WIN32)
    HostProcess::Preparation prepare = [request] { return hostOnWindows(request); };
#else
    HostProcess::Preparation prepare = [request] { return nativeHost(request); };
    if (looksLikeWindowsDll(request.libraryFile)) prepare = [request] { return hostUnderWine(request); };
#endif
    auto drive = std::make_unique<HostedDrive>(request.libraryFile, std::make_unique<HostProcess>(std::move(prepare), interruptFd),
                                               request.limits);
    drive->start();
    return drive;
}

void sayLoadedLibrary(const std::string &program, const std::string &loadedFile) {
    if (loadedFile.empty()) return;
    std::fprintf(stderr, "%s: drive library %s\n", program.c_str(), loadedFile.c_str());
    std::fflush(stderr);
}

std::unique_ptr<DriveLink> openDrive(const DriveRequest &request) {
#if defined(_WIN32)
    if (request.inProcess) return std::make_unique<DriveLibrary>(request.libraryFile);
#else
    // A Windows DLL cannot run in a Linux process: it always has its host.
    if (request.inProcess && !looksLikeWindowsDll(request.libraryFile))
        return std::make_unique<DriveLibrary>(request.libraryFile);
#endif
    return openHostedDrive(request);
}

}  // namespace opstation::platform
