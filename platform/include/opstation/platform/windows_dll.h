// Which Windows a drive.dll is built for, read from its PE header, and what
// it takes to run it: the Windows drive host of its width, under wine on
// Linux.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace opstation::platform {

struct WindowsMachine {
    uint16_t peMachine;          // the PE header's machine field
    std::string_view name;       // names the Windows drive host built for it
    std::string_view bits;       // "32-bit", "64-bit"
    std::string_view loader;     // wine's loader for its programs
    std::string_view packages;   // what installs that loader on Debian
    std::string_view elsewhere;  // what to do on a machine that cannot run its programs
};

// A file to run as a Windows DLL: its name ends in .dll, or it starts as a
// Windows program does.
bool looksLikeWindowsDll(const std::string &file);

// The machine `file` is built for. Throws DriveLibraryError with the
// reason (no such file, no PE file, a machine wine cannot run here).
const WindowsMachine &dllMachine(const std::string &file);

// The 64-bit machine, whose wine prepares a prefix that serves both.
const WindowsMachine &widestMachine();
// The machine this program is built for, on Windows.
const WindowsMachine &ownMachine();

// The path under which a Windows program run by wine finds a Unix file:
// drive Z: is the Unix root in every wine prefix.
std::string windowsPath(const std::string &unixPath);

}  // namespace opstation::platform
