// Wine as the station uses it to run a Windows drive library on Linux: the
// loader for a DLL's machine, the station's own wine prefix (never the
// user's ~/.wine), prepared once on first use, and the environment of
// every wine process it starts.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "opstation/platform/windows_dll.h"

namespace opstation::platform {

struct Wine {
    std::string loader;    // full path: the drive host's client runs it with execve
    std::string preparer;  // the loader that prepares the prefix
    std::string server;    // wineserver, if it is found
    std::string prefix;
    std::vector<std::string> environment;  // NAME=value, for wine's processes alone
};

// Wine for a DLL of `machine`. Throws DriveLibraryError with the reason:
// wine is missing (naming the Debian packages), or this machine cannot run
// that wine loader at all.
Wine wineFor(const WindowsMachine &machine);

// The loader that prepares prefixes: the 64-bit one where it is installed
// (its prefix serves 32-bit programs too), else the 32-bit one.
std::optional<std::string> preparingLoader();

// OPSTATION_WINEPREFIX, else $XDG_DATA_HOME/op-station/wine, else
// ~/.local/share/op-station/wine.
std::string winePrefix();

std::vector<std::string> wineEnvironment(const std::string &prefix);

// Prepares the prefix unless it is ready (wineboot --init, about 10 s),
// saying so on stderr under `program`'s name; once, however many programs
// start at the same time. Throws DriveLibraryError with the reason.
void prepareWinePrefix(const Wine &wine, std::string_view program,
                       std::chrono::seconds limit = std::chrono::seconds(120));

// Starts wine's session in the prefix unless one runs, with `host` (a
// Windows program that ends at once when asked for its version) as its
// first program. Wine's server never ends, and every later program of the
// prefix hangs, when the program that starts a session is killed while it
// does: as a drive host would be if the panel were killed at that moment.
// So the session is started by a program that nothing kills, and its
// server stays 2 s after its last program, long enough for the host to
// come. It ends 2 s after the host.
void startWineSession(const Wine &wine, const std::string &host);

}  // namespace opstation::platform
