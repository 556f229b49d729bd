// Which Windows a drive.dll is built for, read from its PE header, and what
// it takes to run it under wine: the bridge picks the Windows drive host
// and the wine loader by it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace opstation::winbridge {

struct WindowsMachine {
    uint16_t peMachine;          // the PE header's machine field
    std::string_view name;       // names the Windows drive host built for it
    std::string_view bits;       // "32-bit", "64-bit"
    std::string_view loader;     // wine's loader for its programs
    std::string_view packages;   // what installs that loader on Debian
    std::string_view elsewhere;  // what to do on a machine that cannot run its programs
};

// The machine `file` is built for. Throws DriveLibraryError with the
// reason (no such file, no PE file, a machine wine cannot run here).
const WindowsMachine &dllMachine(const std::string &file);

// The 64-bit machine, whose wine prepares a prefix that serves both.
const WindowsMachine &widestMachine();

// The path under which a Windows program run by wine finds a Unix file:
// drive Z: is the Unix root in every wine prefix.
std::string windowsPath(const std::string &unixPath);

}  // namespace opstation::winbridge
