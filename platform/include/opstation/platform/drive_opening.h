// The one way every program of the station opens its drive library. The
// library runs in the drive host, a process of our own, unless asked to
// run in the program's own process; the host is the one that fits the
// library file:
//
//   a Linux library (libdrive.so)   op-station-drive-host beside the program
//   a Windows DLL (drive.dll)       op-station-drive-host-<width>.exe for
//                                   the DLL's width (read from its PE
//                                   header), beside the program on Windows,
//                                   under wine on Linux, in the station's
//                                   own wine prefix
//
// One process, one round trip per exchange cycle, one watchdog, the same
// messages naming the library file, the entry point and the cause.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "opstation/drive_library.h"
#include "opstation/drive_link.h"
#include "opstation/hosted_drive.h"

namespace opstation::platform {

struct DriveRequest {
    // A name without a slash is found by the library search; a path is
    // used as it stands.
    std::string libraryFile = kDefaultDriveLibrary;
    // In the program's own process (not for a Windows DLL on Linux, which
    // always runs in its host under wine).
    bool inProcess = false;
    // This program's name, for its words on standard error ("op-station-run:
    // preparing the wine prefix ...").
    std::string program = "op-station";
    HostLimits limits{};
    // The folder of the drive hosts; empty for this program's own folder
    // (an installed tree also keeps the Windows hosts in its library
    // folder).
    std::string hostFolder;
    // Readable when the program is asked to close; by default the close
    // requests' descriptor (close_requests.h).
    std::optional<int> interruptFd;
};

// The link, with its drive host already starting (the library itself is
// loaded at the first call). Nothing here throws: a host that cannot be
// started fails the first call, naming the library and the cause.
std::unique_ptr<DriveLink> openDrive(const DriveRequest &request);

// The same, always in a drive host, for callers that watch the host itself.
std::unique_ptr<HostedDrive> openHostedDrive(const DriveRequest &request);

// Every program says once, on standard error, which library file it
// loaded (DriveLink::loadedFile, a full path): "PROGRAM: drive library
// PATH". Nothing for an empty path (nothing loaded yet).
void sayLoadedLibrary(const std::string &program, const std::string &loadedFile);

}  // namespace opstation::platform
